// The tracing library: its configuration, its record formats, and its sinks as a program
// meets them (through juzad_emit).
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "JuZadConfig.h"
#include "JuZadFormat.h"
#include "support/Support.h"

#if !defined(_WIN32)
#  include <fcntl.h>
#  include <sys/resource.h>
#  include <sys/stat.h>
#  include <sys/statvfs.h>
#  include <unistd.h>
#endif

using JuZadTrc::Format;

namespace {

// A configuration as one line, or "- " and what is wrong when the value cannot be used.
std::string Attributes(const char* value)
{
    std::string why;
    const auto parsed = JuZadTrc::ParseAttributes(value, &why);
    std::string shown = parsed ? std::to_string(parsed->all) : "- " + why;
    for (const auto& [name, word] : parsed ? parsed->byComponent : decltype(parsed->byComponent){}) {
        shown += "," + name + "=" + std::to_string(word);
    }
    return shown;
}

std::string Sink(const char* value)
{
    std::string why;
    const auto parsed = JuZadTrc::ParseSink(value, &why);
    if (!parsed) {
        return "- " + why;
    }
    return std::to_string(static_cast<int>(parsed->kind)) + " " + parsed->path + " " +
           std::to_string(parsed->maxBytes) + " " + std::to_string(parsed->maxFiles);
}

// Bounded: a sink that made the program wait would hold up every test after it.
ProcessResult Emit(std::vector<std::string> args, const std::vector<std::string>& env)
{
    args.insert(args.begin(), JUZAD_EMIT);
    return RunProgram(args, env, std::chrono::seconds(60));
}

#if !defined(_WIN32)
// Emit with one of this process's limits lowered to VALUE for the run, which the child inherits.
ProcessResult EmitLimited(int resource, rlim_t value, const std::vector<std::string>& args,
                          const std::vector<std::string>& env)
{
    rlimit saved{};
    EXPECT_EQ(0, ::getrlimit(resource, &saved));
    rlimit lowered = saved;
    lowered.rlim_cur = value;
    EXPECT_EQ(0, ::setrlimit(resource, &lowered));
    auto emitted = Emit(args, env);
    ::setrlimit(resource, &saved);
    return emitted;
}
#endif

// A text line less its time, which no test can know.
std::string Untimed(const std::string& line)
{
    return MaskNumbers(line.substr(line.find("] ") + 2));
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

TEST(JuZadConfig, ReadsWhatItCanUseAndNothingElse)
{
    const std::pair<const char*, std::string> attributes[] = {
        {"8", "8"},
        {"0XfF", "255"},
        {"4294967295", "4294967295"},
        {" ZeltaDiscovery = 0x8 , Memory Usage=0 ", "4294967295,Memory Usage=0,ZeltaDiscovery=8"},
        {"0,Memory Usage=8", "0,Memory Usage=8"},
        {"", "- an entry is empty"},
        {"0x", "- '0x' is not a WORD"},
        {"-1", "- '-1' is not a WORD"},
        {"4294967296", "- '4294967296' is not a WORD"},
        {"8 9", "- '8 9' is not a WORD"},
        {"=8", "- '=8' names no component"},
        {"A=8,", "- an entry is empty"},
        {"8,9", "- more than one bare WORD"},
        {"A=0xg", "- '0xg' of A is not a WORD"},
    };
    for (const auto& [value, expected] : attributes) {
        EXPECT_EQ(expected, Attributes(value)) << "'" << value << "'";
    }
    const std::pair<const char*, std::string> sinks[] = {
        {"stderr", "0  0 0"},
        {"stdout", "1  0 0"},
        {"syslog", "4  0 0"},
        {"debugger", "5  0 0"},
        {"null", "6  0 0"},
        {"file::", "2 : 0 0"},
        {"rotate:/t.log:1048576:3", "3 /t.log 1048576 3"},
        {"rotate:/a:b.log:0x100:0", "3 /a:b.log 256 0"},
        {"", "- no such sink"},
        {"file:", "- file: needs a PATH"},
        {"FILE:/x", "- no such sink"},
        {"stderr ", "- no such sink"},
        {"rotate:/x:10", "- rotate: needs PATH:BYTES:FILES"},
        {"rotate:/x:0:3", "- BYTES must be a number above 0, not '0'"},
        {"rotate::10:2", "- rotate: needs a PATH"},
        {"rotate:/x:ten:2", "- BYTES must be a number above 0, not 'ten'"},
        {"rotate:/x:10:-1", "- FILES must be a number, 0 or more, not '-1'"},
    };
    for (const auto& [value, expected] : sinks) {
        EXPECT_EQ(expected, Sink(value)) << "'" << value << "'";
    }
    EXPECT_EQ(Format::Json, JuZadTrc::ParseFormat("json"));
    EXPECT_EQ(Format::Text, JuZadTrc::ParseFormat("text"));
    EXPECT_FALSE(JuZadTrc::ParseFormat("JSON").has_value());
}

TEST(JuZadFormat, TextAndJsonRecords)
{
    SetTimeZone("UTC");
    const std::string head =
        "[2025-12-05 15:01:22.123456] [ZeltaDiscovery] [Trace] [pid 1234 tid 1240] KelDebug:83 ";
    const std::pair<const char*, std::string> texts[] = {
        {"two\nlines\n", "two\nlines"}, {"kept\n\n", "kept\n"}, {"no line feed", "no line feed"}, {"", ""}};
    for (const auto& [text, shown] : texts) {
        EXPECT_EQ(head + shown + "\n", Render(text, Format::Text)) << text;
    }

    const char* text = "quote \" backslash \\ tab \t return \r bell \x07 end\n";
    const std::string line = Render(text, Format::Json);
    const auto object = nlohmann::ordered_json::parse(line);
    std::vector<std::string> keys;
    for (const auto& item : object.items()) {
        keys.push_back(item.key());
    }
    EXPECT_EQ((std::vector<std::string>{"time", "pid", "tid", "component", "category", "attributes", "file",
                                        "line", "text"}),
              keys);
    EXPECT_EQ(R"(["2025-12-05T15:01:22.123456+00:00",1234,1240,"ZeltaDiscovery","Trace",8,"KelDebug",83])",
              nlohmann::json({object["time"], object["pid"], object["tid"], object["component"],
                              object["category"], object["attributes"], object["file"], object["line"]})
                  .dump());
    std::string categories;
    for (int category = 0; category <= 12; ++category) {
        categories +=
            JuZadTrc::CategoryName(static_cast<JuZadTrc::StdCategory_e>(category)) + std::string(" ");
    }
    EXPECT_EQ(
        "Unknown Uncategorized Trace Proc Sec Init Cleanup Operation Event ResMgmt Parms Results Unknown ",
        categories);

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

TEST(JuZadSinks, StreamsFilesAndWords)
{
#if defined(_WIN32)
    const std::vector<std::string> quiet = {"null", "debugger"};
    const std::string theirs = "syslog";
#else
    const std::vector<std::string> quiet = {"null"};
    const std::string theirs = "debugger";
    // The system log gets each record whole and without its line end, at debug priority, from
    // JuZad with its process id (LOG_PID), as a user's (LOG_USER).
    const auto logged = Lines(Emit({"hello\n"}, {"JUZAD_TRACE_SINK=syslog"}).out);
    ASSERT_EQ(3u, logged.size());
    EXPECT_EQ("openlog JuZad 1 8", logged[0]);
    EXPECT_EQ("syslog 7 [[", logged[1].substr(0, 11));
    EXPECT_EQ("[ZeltaDiscovery] [Trace] [pid N tid N] emit:1 hello]", Untimed(logged[1]));
#endif
    // Two runs differ in their times and ids, and an id's digits can differ in number too.
    const auto untimedLines = [](const std::string& text) {
        std::vector<std::string> untimed;
        for (const auto& line : Lines(text)) {
            untimed.push_back(Untimed(line));
        }
        return untimed;
    };
    const auto byDefault = untimedLines(Emit({"hello\n"}, {}).err);
    EXPECT_EQ(std::vector<std::string>({"[ZeltaDiscovery] [Trace] [pid N tid N] emit:1 hello",
                                        "[Memory Usage] [ResMgmt] [pid N tid N] emit:2 hello"}),
              byDefault);
    EXPECT_EQ(byDefault, untimedLines(Emit({"hello\n"}, {"JUZAD_TRACE_SINK=stdout"}).out));
    for (const std::string& sink : quiet) {
        const auto result = Emit({"hello\n"}, {"JUZAD_TRACE_SINK=" + sink});
        EXPECT_EQ("", result.out + result.err) << sink;
    }

    TempDir dir;
#if defined(_WIN32)
    const std::string device = "NUL";
#else
    // Not a regular file, and the test's own: a rotation that went ahead anyway would rename
    // nothing of the system's. Its reader is held open, so that opening it to write goes on.
    const std::string device = dir.File("pipe");
    ASSERT_EQ(0, ::mkfifo(device.c_str(), 0600));
    const int reader = ::open(device.c_str(), O_RDONLY | O_NONBLOCK);
    // One that nobody reads, which a program that traces must not wait for.
    const std::string unread = dir.File("unread");
    ASSERT_EQ(0, ::mkfifo(unread.c_str(), 0600));
#endif
    const std::vector<std::string> json = {"JUZAD_TRACE_SINK=file:" + dir.File("sub/trace.json"),
                                           "JUZAD_TRACE_FORMAT=json"};
    Emit({"first\n"}, json);
    Emit({"second\n"}, {json[0], json[1], "JUZAD_TRACE=Memory Usage=0"});
    std::vector<std::string> records;
    for (const auto& line : Lines(ReadFile(dir.File("sub/trace.json")))) {
        const auto object = nlohmann::json::parse(line);
        records.push_back(object["component"].get<std::string>() + " " + object["text"].get<std::string>());
        EXPECT_GT(object["pid"].get<long>() * object["tid"].get<long>(), 0) << line;
    }
    EXPECT_EQ(std::vector<std::string>(
                  {"ZeltaDiscovery first\n", "Memory Usage first\n", "ZeltaDiscovery second\n"}),
              records);

    const std::pair<std::string, std::string> unusable[] = {
        {"JUZAD_TRACE_SINK=rotate:x:0:1", "JUZAD_TRACE_SINK='rotate:x:0:1' cannot be used (BYTES must be a "
                                          "number above 0, not '0': it takes stderr, "
                                          "stdout, file:PATH, rotate:PATH:BYTES:FILES with BYTES above 0, "
                                          "syslog on POSIX systems, debugger on Windows, "
                                          "or null); using the default (stderr)"},
        {"JUZAD_TRACE_FORMAT=xml", "JUZAD_TRACE_FORMAT='xml' cannot be used (no such format: it takes text "
                                   "or json); using the default (text)"},
        {"JUZAD_TRACE=A=lots", "JUZAD_TRACE='A=lots' cannot be used ('lots' of A is not a WORD: it takes a "
                               "WORD for every component, or "
                               "Component Name=WORD pairs separated by commas, each WORD decimal or 0x hex "
                               "up to 0xFFFFFFFF); using the "
                               "default (every attribute)"},
        {"JUZAD_TRACE=Zelta=0",
         "JUZAD_TRACE: no trace object has the component 'Zelta' (this program's are Memory "
         "Usage, ZeltaDiscovery); its word is ignored"},
        {"JUZAD_TRACE_SINK=" + theirs,
         "JUZAD_TRACE_SINK='" + theirs + "' cannot be used (not on this system); using the default (stderr)"},
        {"JUZAD_TRACE_SINK=rotate:" + device + ":100:1",
         "JUZAD_TRACE_SINK='rotate:" + device +
             ":100:1' cannot be used (not a regular file of this user's with one "
             "name, which rotation could rename); using the default (stderr)"},
        {"JUZAD_TRACE_SINK=file:" + dir.File("sub/trace.json/x"),
         "JUZAD_TRACE_SINK='file:" + dir.File("sub/trace.json/x") + "' cannot be used ("},
#if !defined(_WIN32)
        {"JUZAD_TRACE_SINK=file:" + unread,
         "JUZAD_TRACE_SINK='file:" + unread +
             "' cannot be used (nobody reads it); using the default (stderr)"},
        {"JUZAD_TRACE_SINK=rotate:" + unread + ":100:1",
         "JUZAD_TRACE_SINK='rotate:" + unread +
             ":100:1' cannot be used (nobody reads it); using the default (stderr)"},
#endif
    };
    for (const auto& [variable, said] : unusable) {
        const auto lines = Lines(Emit({"x"}, {variable}).err);
        ASSERT_EQ(3u, lines.size()) << variable;
        EXPECT_EQ("JuZad: " + said, lines[0].substr(0, said.size() + 7)) << variable;
        EXPECT_EQ("[ZeltaDiscovery] [Trace] [pid N tid N] emit:1 x", Untimed(lines[1])) << variable;
    }
#if !defined(_WIN32)
    ::close(reader);
#endif
}

TEST(JuZadSinks, RotatingFilesKeepWholeRecords)
{
    TempDir dir;
    const std::vector<std::string> args = {"--threads", "1", "--count", "400"};
    const std::string sink = "JUZAD_TRACE_SINK=rotate:" + dir.File("trace.log") + ":2000:2";
#if defined(_WIN32)
    EXPECT_EQ("", Emit(args, {sink}).err);
#else
    // Some sixteen rotations with ten descriptors: a sink that kept its old files open would run out.
    EXPECT_EQ("", EmitLimited(RLIMIT_NOFILE, 10, args, {sink}).err);
#endif
    std::set<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        files.insert(entry.path().filename().string());
        EXPECT_LE(std::filesystem::file_size(entry.path()), 2000u) << entry.path();
        for (const auto& line : Lines(ReadFile(entry.path().string()))) {
            EXPECT_EQ("[ZeltaDiscovery] [Trace] [pid N tid N] emit:1 thread 0 record N",
                      MaskNumbers(Untimed(line), {"record "}));
        }
    }
    EXPECT_EQ((std::set<std::string>{"trace.log", "trace.1.log", "trace.2.log"}), files);

    // A record larger than BYTES has a file to itself, and no empty file is rotated away for it.
    // A name that begins with its only dot has no extension.
    TempDir large;
    Emit({"--threads", "1", "--count", "2"}, {"JUZAD_TRACE_SINK=rotate:" + large.File(".trace") + ":10:2"});
    files.clear();
    for (const auto& entry : std::filesystem::directory_iterator(large.Path())) {
        files.insert(entry.path().filename().string());
    }
    EXPECT_EQ((std::set<std::string>{".trace", ".trace.1"}), files);
}

// A record that cannot be written is lost, said once, and counted; the program goes on.
TEST(JuZadSinks, FailuresAreSaidOnceAndCounted)
{
    TempDir dir;
    EXPECT_EQ(0, Emit({"--reopen-stderr", dir.File("err"), "a", "b"}, {}).exitCode);
    const auto back = Lines(ReadFile(dir.File("err")));
    ASSERT_EQ(5u, back.size());
    EXPECT_EQ("JuZad: the default sink (stderr) can be written again; 4 records were dropped", back[1])
        << "after the first record that could be written";
#if !defined(_WIN32)
    // A reader gone away is a failure like the others, not a signal that ends the program.
    const auto broken = Emit({"--broken-stdout", "a"}, {"JUZAD_TRACE_SINK=stdout"});
    if (broken.exitCode != 3) {
        EXPECT_EQ(0, broken.exitCode);
        EXPECT_EQ(
            "JuZad: 2 records were dropped: JUZAD_TRACE_SINK='stdout' could not be written (Broken pipe)",
            Lines(broken.err).at(1));
    }
    // Nor is a file grown to the size limit that the program started with, whichever sink writes it.
    const struct {
        std::string sink;
        std::string file;  // empty: standard error
    } atLimit[] = {{"stderr", ""},
                   {"file:" + dir.File("trace.log"), dir.File("trace.log")},
                   {"rotate:" + dir.File("turn.log") + ":2000:2", dir.File("turn.log")}};
    for (const auto& row : atLimit) {
        SCOPED_TRACE(row.sink);
        const auto run = EmitLimited(RLIMIT_FSIZE, 1000, std::vector<std::string>(20, "a"),
                                     {"JUZAD_TRACE_SINK=" + row.sink});
        EXPECT_EQ(0, run.exitCode);
        EXPECT_EQ(1000u, row.file.empty() ? run.err.size() : std::filesystem::file_size(row.file));
        if (!row.file.empty()) {
            const std::string sink = "JUZAD_TRACE_SINK='" + row.sink + "'";
            EXPECT_EQ("JuZad: cannot write to " + sink +
                          " (File too large); records are dropped until it can be "
                          "written again\nJuZad: N records were dropped: " +
                          sink + " could not be written (File too large)\n",
                      MaskNumbers(run.err, {"JuZad: "}));
        }
    }
#endif
    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full here";
    }
    const auto full = Emit({"a", "b", "c"}, {"JUZAD_TRACE_SINK=file:/dev/full"});
    EXPECT_EQ(0, full.exitCode);
    const std::string sink = "JUZAD_TRACE_SINK='file:/dev/full'";
    EXPECT_EQ("JuZad: cannot write to " + sink +
                  " (No space left on device); records are dropped until it can be "
                  "written again\nJuZad: 6 records were dropped: " +
                  sink + " could not be written (No space left on device)\n",
              full.err);
}

#if !defined(_WIN32)
// Where a privileged program's traces go is not for whoever runs it to choose.
TEST(JuZadSinks, NoLinksNoOthersWritingNoVariablesInSetuidPrograms)
{
    TempDir dir;
    const std::string target = dir.File("target");
    std::ofstream(target) << "untouched\n";
    std::filesystem::create_symlink(target, dir.File("link"));
    for (const std::string& value : {"file:" + dir.File("link"), "rotate:" + dir.File("link") + ":100:2"}) {
        EXPECT_EQ("JuZad: JUZAD_TRACE_SINK='" + value +
                      "' cannot be used (it is a symbolic link); using the default (stderr)",
                  Lines(Emit({"x"}, {"JUZAD_TRACE_SINK=" + value}).err).at(0));
    }
    EXPECT_EQ("untouched\n", ReadFile(target));

    const mode_t saved = ::umask(0);
    Emit({"--threads", "1", "--count", "50"},
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
    const std::string copy = dir.File("juzad_emit");
    std::filesystem::copy_file(JUZAD_EMIT, copy);
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

// A signal whose handler has no SA_RESTART (a timer's, SIGCHLD's) interrupts a record's write
// to standard error while a slow reader keeps it waiting: the write goes on where it stopped.
TEST(JuZadSinks, InterruptedWritesGoOn)
{
    const auto run = Emit({"--interrupted", "20000"}, {});
    EXPECT_EQ(0, run.exitCode);
    EXPECT_EQ("20000 20000\n", run.out) << "records in place, and lines";
}
#endif
