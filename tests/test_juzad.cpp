// The tracing library: its configuration, its record formats, and its sinks as a program
// meets them (through kelport_helper).
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
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

// A sink that made the program wait would hold up every test after it.
constexpr std::chrono::seconds kBounded(60);

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

// Where a record of kelport_helper --count arrived: the files it is in, and its time.
struct Arrival {
    std::vector<std::string> files;
    std::string time;
};

// What operators do to trace files under running programs: several processes, or a process and
// the children it forks while its threads trace, share one rotation or standard error; a file is
// moved or removed, or Debian's logrotate rotates it; a rotation is blocked by a folder of the
// next file's name, until the folder goes. No record is lost that a file could hold (but for
// what copytruncate loses between its copy and its cut), and from 1.1 s after an action on,
// records are at PATH.
TEST(JuZadSinks, WhatOperatorsDoWhileProcessesTraceAtOnce)
{
    const std::vector<std::string> acting = {"0", "0", "2", "3000", "1000"};
    const std::string logrotate = "/usr/sbin/logrotate";
    const struct {
        const char* what;
        std::string sink;                 // PATH for its path, in the test's folder
        std::vector<std::string> count;   // COPIES CHILDREN THREADS CALLS MICROSECONDS
        std::vector<std::string> action;  // ACTION MS ARG...
    } rows[] = {
        {"two processes", "rotate:PATH:262144:200", {"1", "0", "4", "5000", "0"}, {}},
        {"a parent and two children", "rotate:PATH:262144:200", {"0", "2", "4", "5000", "0"}, {}},
        {"eight children, to standard error", "stderr", {"0", "8", "3", "1000", "0"}, {}},
        {"a move", "file:PATH", acting, {"mv", "500", "PATH", "PATH.old"}},
        {"a move, rotating", "rotate:PATH:10000000:3", acting, {"mv", "500", "PATH", "PATH.old"}},
        {"a removal", "file:PATH", acting, {"rm", "500", "PATH"}},
        {"a blocked rotation", "rotate:PATH:20000:100", acting, {"rmdir", "500", "PATH.1"}},
        {"logrotate, create", "file:PATH", acting, {logrotate, "500", "-fs", "PATH-s", "PATH-create"}},
        {"copytruncate", "file:PATH", acting, {logrotate, "500", "-fs", "PATH-s", "PATH-copytruncate"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string action = row.action.empty() ? "" : row.action[0];
        // There KelFork makes no process, there is no logrotate, and a removed file stays until
        // it is closed.
        if (KELPORT_WINDOWS && (row.count[1] != "0" || action == logrotate || action == "rm")) {
            continue;
        }
        ASSERT_TRUE(action != logrotate || std::filesystem::exists(logrotate))
            << logrotate << " is not installed (./dev.sh test installs it)";
        TempDir dir;
        const auto named = [&dir](const std::string& text) {
            return std::regex_replace(text, std::regex("PATH"), dir.File("trace"));
        };
        std::vector<std::string> args = {KELPORT_HELPER, "--count", "0"};
        args.insert(args.end(), row.count.begin(), row.count.end());
        std::transform(row.action.begin(), row.action.end(), std::back_inserter(args), named);
        if (action == logrotate) {  // its configuration, named for its mode
            const std::string mode = row.action.back().substr(5);
            std::ofstream(named(row.action.back())) << named("PATH {\n    " + mode + "\n    rotate 2\n}\n");
        }
        if (action == "rmdir") {
            std::filesystem::create_directory(dir.File("trace.1"));
        }
        const auto run =
            RunProgram(args, {"JUZAD_TRACE_SINK=" + named(row.sink), "JUZAD_TRACE=Memory Usage=0", "TZ=UTC"},
                       std::chrono::minutes(3));
        ASSERT_EQ(0, run.exitCode) << run.err;
        // Each record "PROCESS.THREAD.CALL" (or the helper's "after") in the files (lock and
        // logrotate's files aside) and on standard error ("stderr"); a line of a file that is no
        // whole record under "", and one of standard error in what the library said.
        static const std::regex record(
            R"((\[[-0-9]+ [:.0-9]+\]) \[ZeltaDiscovery\] \[Trace\] \[pid \d+ tid [1-9]\d*\] emit:1 (\d+\.\d+\.\d+|after))");
        std::map<std::string, Arrival> arrived;
        std::vector<std::string> said;
        std::vector<std::pair<std::string, std::string>> texts = {{"stderr", run.err}};
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
            const std::string name = entry.path().filename().string();
            // A file rotated away was full: no writer rotated again what another had just made.
            EXPECT_TRUE(!action.empty() || name == "trace" || name == "trace.lock" ||
                        entry.file_size() > 262144 / 2)
                << name << " holds " << entry.file_size() << " bytes";
            if (name.find('-') == std::string::npos && name != "trace.lock") {
                texts.emplace_back(name, ReadFile(entry.path().string()));
            }
        }
        for (const auto& [name, text] : texts) {
            for (const auto& line : Lines(text)) {
                std::smatch match;
                if (!std::regex_match(line, match, record) && name == "stderr") {
                    said.push_back(line);
                    continue;
                }
                auto& arrival = arrived[match.empty() ? "" : match[2].str()];
                arrival.files.push_back(name);
                arrival.time = match.empty() ? line : match[1].str();
            }
        }
        EXPECT_EQ(0u, arrived.count("")) << "not whole: " << arrived[""].time;
        if (action == "rmdir") {
            EXPECT_THAT(said, testing::ElementsAre(
                                  testing::AllOf(testing::HasSubstr(": cannot rotate ("),
                                                 testing::EndsWith("); records go on into " + named("PATH") +
                                                                   " past its 20000 bytes")),
                                  testing::EndsWith(" can be written again; 0 records were dropped")));
        } else {
            EXPECT_THAT(said, testing::IsEmpty());
        }
        const std::string after = arrived["after"].time;
        EXPECT_EQ(action.empty(), after.empty()) << "the helper's record 1.1 s after it acted";
        // Each thread's records, each in one file, from 1.1 s after an action on at PATH: all of
        // them, or after a removal, all from the first that arrived, which is at most 1.1 s after it.
        int lost = 0;
        for (int p = 0; p <= std::stoi(row.count[0]) + std::stoi(row.count[1]); ++p) {
            for (int t = 0; t < std::stoi(row.count[2]); ++t) {
                const std::string thread = std::to_string(p) + "." + std::to_string(t) + ".";
                bool arriving = action != "rm";
                for (int call = 0; call < std::stoi(row.count[3]); ++call) {
                    const auto at = arrived.find(thread + std::to_string(call));
                    lost += arriving && at == arrived.end();
                    if (at == arrived.end()) {
                        continue;
                    }
                    const auto& [files, time] = at->second;
                    EXPECT_EQ(1u, files.size()) << at->first;
                    EXPECT_TRUE(arriving || time <= after) << at->first << " arrived first, at " << time;
                    EXPECT_TRUE(after.empty() || action == "rmdir" || time <= after || files[0] == "trace")
                        << at->first << " at " << time << " in " << files[0];
                    arriving = true;
                }
            }
        }
        // copytruncate loses what the program writes between logrotate's copy and its cut.
        EXPECT_LE(lost, !row.action.empty() && row.action.back() == "PATH-copytruncate" ? 60 : 0)
            << "records lost";
    }
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
        {"rotate:" + fifo + ":100:1",
         "not a regular file of this user's with one name, which rotation could rename"},
        {"file:" + unread, "nobody reads it"},
    };
    for (const auto& [value, why] : refused) {
        EXPECT_EQ(
            "JuZad: JUZAD_TRACE_SINK='" + value + "' cannot be used (" + why +
                "); using the default (stderr)",
            Lines(RunProgram({KELPORT_HELPER, "x"}, {"JUZAD_TRACE_SINK=" + value}, kBounded).err).at(0));
    }
    ::close(reader);
    EXPECT_EQ("untouched\n", ReadFile(target));

    const mode_t saved = ::umask(0);
    std::vector<std::string> records(51, "record");
    records[0] = KELPORT_HELPER;
    RunProgram(records, {"JUZAD_TRACE_SINK=rotate:" + dir.File("trace.log") + ":1000:1"}, kBounded);
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
