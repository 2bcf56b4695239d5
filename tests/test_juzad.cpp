// The tracing library: its configuration, its record formats, and its sinks as a program
// meets them (through kelport_helper).
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "JuZadFormat.h"
#include "support/Support.h"

#if !defined(_WIN32)
#  include <fcntl.h>
#  include <sys/stat.h>
#  include <sys/statvfs.h>
#  include <unistd.h>
#endif

using JuZadTrc::Format;

namespace {

// Bounded: a sink that made the program wait would hold up every test after it.
ProcessResult Emit(std::vector<std::string> args, const std::vector<std::string>& env)
{
    args.insert(args.begin(), KELPORT_HELPER);
    return RunProgram(args, env, std::chrono::seconds(60));
}

std::string Render(const char* text, Format format, std::int64_t microseconds = 1764946882123456)
{
    const JuZadTrc::Record record{"ZeltaDiscovery", JuZadTrc::fTrace_k, 8, text, "KelDebug", 83};
    const auto time = std::chrono::system_clock::time_point(std::chrono::microseconds(microseconds));
    spdlog::memory_buf_t out;
    // A thread keeps the local time of the last second it saw: each rendering gets a new one.
    std::thread([&] {
        JuZadTrc::FormatRecord(record, JuZadTrc::Stamp{time, 1234, 1240}, format, true, out);
    }).join();
    return std::string(out.data(), out.size());
}

}  // namespace

// The record's shape in both formats is in runs.golden; here, what needs a time or bytes that
// a program's arguments cannot give.
TEST(JuZadFormat, Utf8AndLocalTime)
{
    // Each byte of what is not UTF-8 becomes U+FFFD (the fuzz oracle sees that UTF-8 is kept).
    const std::pair<const char*, const char*> utf8[] = {
        {"\xc0\x80", "\\ufffd\\ufffd"},                        // overlong
        {"\xed\xa0\x80", "\\ufffd\\ufffd\\ufffd"},             // a surrogate
        {"\xf4\x90\x80\x80", "\\ufffd\\ufffd\\ufffd\\ufffd"},  // past U+10FFFF
        {"\xe0\x9f\xbf\xc1\xbf\x7f\x1f",
         "\\ufffd\\ufffd\\ufffd\\ufffd\\ufffd\x7f\\u001f"},  // edges that are not
        {"end \xe2\x82", "end \\ufffd\\ufffd"},
        {"\xc3( \xf0\x9f\x98( \xf0\x9f(\x80",
         "\\ufffd( \\ufffd\\ufffd\\ufffd( \\ufffd\\ufffd(\\ufffd"},  // cut short
    };
    for (const auto& [raw, shown] : utf8) {
        const std::string json = Render(raw, Format::Json);
        EXPECT_NE(std::string::npos, json.find(std::string("\"text\":\"") + shown + "\"}")) << json;
    }

    // Local time, the JSON time with its offset from UTC (POSIX zones: the offset is west).
    const std::pair<const char*, std::string> zones[] = {{"JST-9", "2025-12-06T00:01:22.123456+09:00"},
                                                         {"NST3:30", "2025-12-05T11:31:22.123456-03:30"}};
    for (const auto& [zone, time] : zones) {
        SetTimeZone(zone);
        EXPECT_EQ(time, nlohmann::json::parse(Render("x", Format::Json))["time"]) << zone;
        EXPECT_EQ("[" + time.substr(0, 10) + " " + time.substr(11, 15) + "]",
                  Render("x", Format::Text).substr(0, 28));
    }
    SetTimeZone("UTC");
}

TEST(JuZadSinks, RotatingFilesKeepWholeRecords)
{
    TempDir dir;
    const std::string sink = "JUZAD_TRACE_SINK=rotate:" + dir.File("trace.log") + ":2000:2";
    // Some sixteen rotations with ten descriptors (where a limit can be set): a sink that kept
    // its old files open would run out.
    std::vector<std::string> args =
        KELPORT_WINDOWS ? std::vector<std::string>{} : std::vector<std::string>{"--nofile", "10"};
    args.resize(args.size() + 400, "record");
    EXPECT_EQ("", Emit(args, {sink, "JUZAD_TRACE=Memory Usage=0"}).err);
    std::set<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        files.insert(entry.path().filename().string());
        const auto size = std::filesystem::file_size(entry.path());
        EXPECT_LE(size, 2000u) << entry.path();
        EXPECT_TRUE(size > 1000 || entry.path().filename() == "trace.log") << entry.path() << " not full";
        for (const auto& line : Lines(ReadFile(entry.path().string()))) {
            // Every number as N: the time and the ids no test can know.
            EXPECT_EQ("[N-N-N N:N:N.N] [ZeltaDiscovery] [Trace] [pid N tid N] emit:N record",
                      std::regex_replace(line, std::regex("[0-9]+"), "N"));
        }
    }
    EXPECT_EQ((std::set<std::string>{"trace.log", "trace.1.log", "trace.2.log"}), files);

    // A record larger than BYTES has a file to itself, and no empty file is rotated away for it.
    // A name that begins with its only dot has no extension.
    TempDir large;
    Emit({"first", "second"},
         {"JUZAD_TRACE_SINK=rotate:" + large.File(".trace") + ":10:2", "JUZAD_TRACE=Memory Usage=0"});
    files.clear();
    for (const auto& entry : std::filesystem::directory_iterator(large.Path())) {
        files.insert(entry.path().filename().string());
    }
    EXPECT_EQ((std::set<std::string>{".trace", ".trace.1"}), files);
}

#if !defined(_WIN32)
// Where a privileged program's traces go is not for whoever runs it to choose.
TEST(JuZadSinks, NoLinksNoOthersWritingNoVariablesInSetuidPrograms)
{
    TempDir dir;
    const std::string target = dir.File("target");
    std::ofstream(target) << "untouched\n";
    std::filesystem::create_symlink(target, dir.File("link"));
    // A fifo is the test's own: a rotation that went ahead anyway would rename nothing of the
    // system's. One has its reader held open, so that opening it to write goes on; nobody reads
    // the other, which a program that traces must not wait for.
    const std::string fifo = dir.File("fifo");
    const std::string unread = dir.File("unread");
    ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600));
    ASSERT_EQ(0, ::mkfifo(unread.c_str(), 0600));
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    const std::pair<std::string, std::string> refused[] = {
        {"file:" + dir.File("link"), "it is a symbolic link"},
        {"rotate:" + dir.File("link") + ":100:2", "it is a symbolic link"},
        {"rotate:" + fifo + ":100:1",
         "not a regular file of this user's with one name, which rotation could rename"},
        {"file:" + unread, "nobody reads it"},
        {"rotate:" + unread + ":100:1", "nobody reads it"},
    };
    for (const auto& [value, why] : refused) {
        EXPECT_EQ("JuZad: JUZAD_TRACE_SINK='" + value + "' cannot be used (" + why +
                      "); using the default (stderr)",
                  Lines(Emit({"x"}, {"JUZAD_TRACE_SINK=" + value}).err).at(0));
    }
    ::close(reader);
    EXPECT_EQ("untouched\n", ReadFile(target));

    const mode_t saved = ::umask(0);
    Emit(std::vector<std::string>(50, "record"),
         {"JUZAD_TRACE_SINK=rotate:" + dir.File("trace.log") + ":1000:1"});
    ::umask(saved);
    for (const std::string name : {"trace.log", "trace.1.log"}) {
        const auto permissions = std::filesystem::status(dir.File(name)).permissions();
        EXPECT_EQ(std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                      std::filesystem::perms::group_read | std::filesystem::perms::others_read,
                  permissions)
            << name;
    }

    struct statvfs volume;
    if (::geteuid() != 0 || ::statvfs(dir.Path().c_str(), &volume) != 0 || (volume.f_flag & ST_NOSUID) != 0) {
        GTEST_SKIP() << "a setuid copy run by another user needs root and a volume that honours setuid";
    }
    std::filesystem::permissions(dir.Path(), std::filesystem::perms::others_exec,
                                 std::filesystem::perm_options::add);
    const std::string copy = dir.File("kelport_helper");
    std::filesystem::copy_file(KELPORT_HELPER, copy);
    ASSERT_EQ(0, ::chmod(copy.c_str(), 04755));
    const auto result =
        RunProgram({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", copy, "x"},
                   {"JUZAD_TRACE_SINK=file:" + dir.File("chosen.log")});
    if (result.exitCode != 0) {
        GTEST_SKIP() << "an unprivileged user cannot run the copy here: " << result.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.File("chosen.log")));
    EXPECT_EQ(
        "JuZad: JUZAD_TRACE_SINK is ignored in a program that runs with privileges it was given; using the "
        "default (stderr)",
        Lines(result.err).at(0));
}
#endif
