// The tracing library: its configuration, its record formats, and its sinks as a program
// meets them (through kelport_helper).
#include <filesystem>
#include <map>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
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

// What kelport_helper --count left in a folder's trace files (its lock file aside): for each
// record "PROCESS.THREAD.CALL", the files it is in and its time; a line that is no whole record
// counts as "".
struct Arrival {
    std::vector<std::string> files;
    std::string time;
};
std::map<std::string, Arrival> Arrived(const std::string& folder)
{
    static const std::regex record(
        R"((\[[-0-9]+ [:.0-9]+\]) \[ZeltaDiscovery\] \[Trace\] \[pid \d+ tid \d+\] emit:1 (\d+\.\d+\.\d+))");
    std::map<std::string, Arrival> arrived;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        for (const auto& line : name.find(".lock") == std::string::npos
                                    ? Lines(ReadFile(entry.path().string()))
                                    : std::vector<std::string>{}) {
            std::smatch match;
            auto& arrival = arrived[std::regex_match(line, match, record) ? match[2].str() : ""];
            arrival.files.push_back(name);
            arrival.time = match.empty() ? line : match[1].str();
        }
    }
    return arrived;
}

// What operators do to trace files under running programs: several processes, or a process and
// its forked children, share one rotation; a file is moved or removed; a rotation is blocked by
// a folder of the next file's name, until the folder goes. No record is lost that a file could
// hold, and from 1.1 s after a move or a removal on, records are at PATH again.
TEST(JuZadSinks, WhatOperatorsDoLosesNoRecord)
{
    const struct {
        const char* what;
        std::string sink;  // PATH for its path, in the test's folder
        std::vector<std::string> count;
        std::vector<std::string> action;
        const char* said;  // on standard error, the lines that begin with it
    } rows[] = {
        {"two processes", "rotate:PATH:262144:200", {"1", "0", "4", "5000", "0"}, {}, ""},
        {"a parent and two children", "rotate:PATH:262144:200", {"0", "2", "4", "5000", "0"}, {}, ""},
        {"FILES large", "rotate:PATH:262144:100000", {"1", "0", "4", "5000", "0"}, {}, ""},
        {"a move", "file:PATH", {"0", "0", "2", "1500", "1000"}, {"mv", "500", "PATH", "PATH.old"}, ""},
        {"a move, rotating",
         "rotate:PATH:100000:3",
         {"0", "0", "2", "1500", "1000"},
         {"mv", "500", "PATH", "PATH.old"},
         ""},
        {"a removal", "file:PATH", {"0", "0", "2", "1500", "1000"}, {"rm", "500", "PATH"}, ""},
        {"a blocked rotation",
         "rotate:PATH:20000:100",
         {"0", "0", "2", "1500", "1000"},
         {"rmdir", "500", "PATH.1"},
         "JuZad: JUZAD_TRACE_SINK='rotate:PATH:20000:100'"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        if (KELPORT_WINDOWS && row.count[1] != "0") {
            continue;  // KelFork makes no process there
        }
        TempDir dir;
        const std::string path = dir.File("trace");
        const auto named = [&path](std::string text) {
            return std::regex_replace(text, std::regex("PATH"), path);
        };
        std::filesystem::create_directory(path + ".1");
        if (row.action.empty() || row.action[0] != "rmdir") {
            std::filesystem::remove(path + ".1");
        }
        std::vector<std::string> args = {KELPORT_HELPER, "--count", "0"};
        args.insert(args.end(), row.count.begin(), row.count.end());
        for (const auto& word : row.action) {
            args.push_back(named(word));
        }
        const auto run =
            RunProgram(args, {"JUZAD_TRACE_SINK=" + named(row.sink), "JUZAD_TRACE=Memory Usage=0", "TZ=UTC"},
                       std::chrono::minutes(3));
        ASSERT_EQ(0, run.exitCode) << run.err;
        std::vector<std::string> said;
        for (const auto& line : Lines(run.err)) {
            said.push_back(line.substr(0, named(row.said).size()) == named(row.said) ? line
                                                                                     : "other: " + line);
        }
        const auto arrived = Arrived(dir.Path());
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
            // A file rotated away was full: no writer rotated again what another had just made.
            const std::string name = entry.path().filename().string();
            EXPECT_TRUE(row.action.size() > 0 || name == "trace" || name == "trace.lock" ||
                        entry.file_size() > 262144 / 2)
                << name << " holds " << entry.file_size() << " bytes";
        }
        EXPECT_EQ(0u, arrived.count("")) << "not whole: " << arrived.at("").time;
        const int processes = 1 + std::stoi(row.count[0]) + std::stoi(row.count[1]);
        const int threads = std::stoi(row.count[2]);
        const int calls = std::stoi(row.count[3]);
        std::string after;  // 1.1 s after a move or a removal
        if (row.action.size() > 2 && row.action[0] != "rmdir" && run.out.find('[') != std::string::npos) {
            after = run.out.substr(run.out.rfind('['), 28);
        }
        // Each thread's records: all of them, or after a removal, all from the first that
        // arrived, which is at most 1.1 s after it.
        const bool removed = !row.action.empty() && row.action[0] == "rm";
        for (int p = 0; p < processes; ++p) {
            for (int t = 0; t < threads; ++t) {
                const std::string thread = std::to_string(p) + "." + std::to_string(t) + ".";
                int first = -1;
                for (int call = 0; call < calls; ++call) {
                    const auto at = arrived.find(thread + std::to_string(call));
                    if (at == arrived.end()) {
                        EXPECT_TRUE(removed && first < 0) << thread << call << " is lost";
                        continue;
                    }
                    first = first < 0 ? call : first;
                    EXPECT_EQ(1u, at->second.files.size()) << at->first;
                    if (!after.empty() && (at->second.time > after || (removed && call == first))) {
                        EXPECT_NE("trace.old", at->second.files[0]) << at->first << " at " << at->second.time;
                        EXPECT_LE(at->second.time, removed && call == first ? after : at->second.time);
                    }
                }
            }
        }
        if (row.said[0] != '\0') {
            EXPECT_THAT(said, testing::ElementsAre(
                                  testing::HasSubstr(": cannot rotate ("),
                                  testing::EndsWith(" can be written again; 0 records were dropped")));
        } else {
            EXPECT_THAT(said, testing::IsEmpty());
        }
    }

    // A record larger than BYTES has a file to itself, and no empty file is rotated away for it.
    // A name that begins with its only dot has no extension.
    TempDir large;
    Emit({"first", "second"},
         {"JUZAD_TRACE_SINK=rotate:" + large.File(".trace") + ":10:2", "JUZAD_TRACE=Memory Usage=0"});
    std::set<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(large.Path())) {
        files.insert(entry.path().filename().string());
    }
    EXPECT_EQ((std::set<std::string>{".trace", ".trace.1", ".trace.lock"}), files);
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
