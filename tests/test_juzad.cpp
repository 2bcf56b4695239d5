#include <cstdlib>
#include <ctime>
#if !defined(_WIN32)
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#endif
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "JuZadConfig.h"
#include "JuZadFormat.h"
#include "support/Subprocess.h"
#include "support/System.h"

using JuZadTrc::Format;
using JuZadTrc::SinkKind;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;

namespace {

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The text form's line less the time stamp, which the tests cannot know.
std::string WithoutTime(const std::string& line)
{
    const auto end = line.find("] ");
    return end == std::string::npos ? line : line.substr(end + 2);
}

ProcessResult Emit(const std::vector<std::string>& args, const std::vector<std::string>& env)
{
    std::vector<std::string> argv{JUZAD_EMIT};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProcess(argv, env);
}

}  // namespace

TEST(JuZadConfig, ParsesAttributeWords)
{
    struct Case {
        const char* value;
        std::uint32_t all;
        std::map<std::string, std::uint32_t, std::less<>> byComponent;
    };
    const Case cases[] = {
        {"8", 8, {}},
        {"0x8", 8, {}},
        {"0XfF", 255, {}},
        {"4294967295", 0xFFFFFFFF, {}},
        {"ZeltaDiscovery=0x8,Memory Usage=0", 0xFFFFFFFF, {{"ZeltaDiscovery", 8}, {"Memory Usage", 0}}},
        {" ZeltaDiscovery = 8 , Memory Usage=0 ", 0xFFFFFFFF, {{"ZeltaDiscovery", 8}, {"Memory Usage", 0}}},
        {"0,Memory Usage=8", 0, {{"Memory Usage", 8}}},
    };
    for (const auto& c : cases) {
        const auto parsed = JuZadTrc::ParseAttributes(c.value);
        ASSERT_TRUE(parsed.has_value()) << c.value;
        EXPECT_EQ(c.all, parsed->all) << c.value;
        EXPECT_EQ(c.byComponent, parsed->byComponent) << c.value;
    }
    for (const char* bad : {"", "x", "0x", "-1", "+1", "4294967296", "8 9", "=8", "A=", "A=8,", "8,9", ",", "A=0xg"}) {
        EXPECT_FALSE(JuZadTrc::ParseAttributes(bad).has_value()) << "'" << bad << "'";
    }
}

TEST(JuZadConfig, ParsesSinks)
{
    struct Case {
        const char* value;
        SinkKind kind;
        const char* path;
        std::size_t maxBytes;
        std::size_t maxFiles;
    };
    const Case cases[] = {
        {"stderr", SinkKind::Stderr, "", 0, 0},
        {"stdout", SinkKind::Stdout, "", 0, 0},
        {"syslog", SinkKind::Syslog, "", 0, 0},
        {"null", SinkKind::Null, "", 0, 0},
        {"file:/tmp/trace.log", SinkKind::File, "/tmp/trace.log", 0, 0},
        {"file:a:b", SinkKind::File, "a:b", 0, 0},
        {"rotate:/tmp/t.log:1048576:3", SinkKind::Rotate, "/tmp/t.log", 1048576, 3},
        {"rotate:/tmp/a:b.log:0x100:0", SinkKind::Rotate, "/tmp/a:b.log", 256, 0},
    };
    for (const auto& c : cases) {
        const auto parsed = JuZadTrc::ParseSink(c.value);
        ASSERT_TRUE(parsed.has_value()) << c.value;
        EXPECT_EQ(c.kind, parsed->kind) << c.value;
        EXPECT_EQ(c.path, parsed->path) << c.value;
        EXPECT_EQ(c.maxBytes, parsed->maxBytes) << c.value;
        EXPECT_EQ(c.maxFiles, parsed->maxFiles) << c.value;
    }
    for (const char* bad : {"", "file", "file:", "FILE:/x", "stderr ", "rotate:/x:10", "rotate:/x:0:3",
                            "rotate::10:2", "rotate:/x:ten:2", "rotate:/x:10:-1", "tcp:host:514"}) {
        EXPECT_FALSE(JuZadTrc::ParseSink(bad).has_value()) << "'" << bad << "'";
    }
}

TEST(JuZadConfig, ParsesFormats)
{
    EXPECT_EQ(Format::Text, JuZadTrc::ParseFormat("text"));
    EXPECT_EQ(Format::Json, JuZadTrc::ParseFormat("json"));
    for (const char* bad : {"", "JSON", "xml", "text "}) {
        EXPECT_FALSE(JuZadTrc::ParseFormat(bad).has_value()) << "'" << bad << "'";
    }
}

class JuZadFormatTest : public testing::Test {
protected:
    // Times are shown in local time; these tests read them in UTC.
    static void SetUpTestSuite()
    {
        SetTimeZone("UTC");
    }

    static std::string Render(const char* text, Format format, bool eol = true)
    {
        const JuZadTrc::Record record{"ZeltaDiscovery", JuZadTrc::fTrace_k, 8, text, "KelDebug", 83};
        const auto time = std::chrono::system_clock::time_point(std::chrono::microseconds(1764946882123456));
        spdlog::memory_buf_t out;
        JuZadTrc::FormatRecord(record, JuZadTrc::Stamp{time, 1234, 1240}, format, eol, out);
        return std::string(out.data(), out.size());
    }
};

TEST_F(JuZadFormatTest, TextDropsOneTrailingLineFeed)
{
    const std::string head = "[2025-12-05 15:01:22.123456] [ZeltaDiscovery] [Trace] [pid 1234 tid 1240] KelDebug:83 ";
    const std::pair<const char*, std::string> cases[] = {
        {"KelIoctl()\n", "KelIoctl()"},
        {"two\nlines\n", "two\nlines"},
        {"kept\n\n", "kept\n"},
        {"no line feed", "no line feed"},
        {"", ""},
    };
    for (const auto& [text, shown] : cases) {
        EXPECT_EQ(head + shown + "\n", Render(text, Format::Text)) << text;
    }
    EXPECT_EQ(head + "x", Render("x\n", Format::Text, false));
}

TEST_F(JuZadFormatTest, JsonKeepsUtf8AndReplacesWhatIsNot)
{
    const std::pair<const char*, const char*> cases[] = {
        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"},
        {"\xc0\x80", "\\ufffd\\ufffd"},                 // an overlong form
        {"\xed\xa0\x80", "\\ufffd\\ufffd\\ufffd"},         // a surrogate
        {"\xf4\x90\x80\x80", "\\ufffd\\ufffd\\ufffd\\ufffd"},  // past U+10FFFF
        {"end \xe2\x82", "end \\ufffd\\ufffd"},         // cut short
        {"\xff", "\\ufffd"},
    };
    for (const auto& [text, shown] : cases) {
        const std::string line = Render(text, Format::Json);
        EXPECT_NE(std::string::npos, line.find(std::string("\"text\":\"") + shown + "\"}")) << line;
        EXPECT_FALSE(nlohmann::json::parse(line, nullptr, false).is_discarded()) << line;
    }
}

TEST_F(JuZadFormatTest, JsonIsOneObjectWithItsKeysInOrder)
{
    const char* text = "quote \" backslash \\ tab \t bell \x07 end\n";
    const std::string line = Render(text, Format::Json);
    ASSERT_EQ('\n', line.back());
    EXPECT_EQ(std::string::npos, line.substr(0, line.size() - 1).find('\n'));
    const auto object = nlohmann::ordered_json::parse(line);
    std::vector<std::string> keys;
    for (const auto& item : object.items()) {
        keys.push_back(item.key());
    }
    EXPECT_THAT(keys, ElementsAre("time", "pid", "tid", "component", "category", "attributes", "file", "line", "text"));
    EXPECT_EQ("2025-12-05T15:01:22.123456+00:00", object["time"]);
    EXPECT_EQ(1234, object["pid"]);
    EXPECT_EQ(1240, object["tid"]);
    EXPECT_EQ("ZeltaDiscovery", object["component"]);
    EXPECT_EQ("Trace", object["category"]);
    EXPECT_EQ(8, object["attributes"]);
    EXPECT_EQ("KelDebug", object["file"]);
    EXPECT_EQ(83, object["line"]);
    EXPECT_EQ(text, object["text"]);
}

TEST(JuZadSinks, StandardStreams)
{
    const auto byDefault = Emit({"hello\n"}, {});
    EXPECT_EQ(0, byDefault.exitCode);
    EXPECT_EQ("", byDefault.out);
    const auto lines = Lines(byDefault.err);
    ASSERT_EQ(2u, lines.size()) << byDefault.err;
    EXPECT_EQ("[ZeltaDiscovery] [Trace] [pid N tid N] emit:1 hello", MaskNumbers(WithoutTime(lines[0])));
    EXPECT_EQ("[Memory Usage] [ResMgmt] [pid N tid N] emit:2 hello", MaskNumbers(WithoutTime(lines[1])));

    const auto toStdout = Emit({"hello\n"}, {"JUZAD_TRACE_SINK=stdout"});
    EXPECT_EQ("", toStdout.err);
    EXPECT_EQ(lines.size(), Lines(toStdout.out).size());

#if defined(_WIN32)
    const char* systemLog = "JUZAD_TRACE_SINK=debugger";
#else
    const char* systemLog = "JUZAD_TRACE_SINK=syslog";
#endif
    for (const char* quiet : {"JUZAD_TRACE_SINK=null", systemLog}) {
        const auto result = Emit({"hello\n"}, {quiet});
        EXPECT_EQ(0, result.exitCode) << quiet;
        EXPECT_EQ("", result.out) << quiet;
        EXPECT_EQ("", result.err) << quiet;
    }
}

TEST(JuZadSinks, FileAppendsOneJsonObjectPerRecord)
{
    TempDir dir;
    const std::string path = dir.File("trace.json");
    const std::vector<std::string> env{"JUZAD_TRACE_SINK=file:" + path, "JUZAD_TRACE_FORMAT=json"};
    ASSERT_EQ(0, Emit({"first\n"}, env).exitCode);
    const auto second = Emit({"second\nline\n"}, env);
    EXPECT_EQ("", second.err);

    const auto lines = Lines(ReadFile(path));
    ASSERT_EQ(4u, lines.size());
    const char* texts[] = {"first\n", "first\n", "second\nline\n", "second\nline\n"};
    const char* components[] = {"ZeltaDiscovery", "Memory Usage", "ZeltaDiscovery", "Memory Usage"};
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto object = nlohmann::json::parse(lines[i]);
        EXPECT_EQ(texts[i], object["text"]);
        EXPECT_EQ(components[i], object["component"]);
        EXPECT_EQ("emit", object["file"]);
        EXPECT_GT(object["pid"].get<long>(), 0);
    }
}

TEST(JuZadSinks, RotatingFilesKeepWholeRecords)
{
    TempDir dir;
    const std::string path = dir.File("trace.log");
    const auto result = Emit({"--threads", "1", "--count", "200"}, {"JUZAD_TRACE_SINK=rotate:" + path + ":2000:2"});
    ASSERT_EQ(0, result.exitCode);
    EXPECT_EQ("", result.err);
    std::set<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        files.insert(entry.path().filename().string());
        EXPECT_LE(std::filesystem::file_size(entry.path()), 2000u) << entry.path();
        for (const auto& line : Lines(ReadFile(entry.path().string()))) {
            EXPECT_EQ("[ZeltaDiscovery] [Trace] [pid N tid N] emit:1 thread 0 record N",
                      MaskNumbers(WithoutTime(line), {"pid ", "tid ", "record "}));
        }
    }
    EXPECT_EQ((std::set<std::string>{"trace.log", "trace.1.log", "trace.2.log"}), files);
}

TEST(JuZadSinks, RecordsFromManyThreadsArriveWholeAndOnce)
{
    TempDir dir;
    const std::string path = dir.File("trace.json");
    const int threads = 4;
    const int count = 500;
    const auto result = Emit({"--threads", std::to_string(threads), "--count", std::to_string(count)},
                             {"JUZAD_TRACE_SINK=file:" + path, "JUZAD_TRACE_FORMAT=json"});
    ASSERT_EQ(0, result.exitCode);
    std::multiset<std::string> texts;
    for (const auto& line : Lines(ReadFile(path))) {
        texts.insert(nlohmann::json::parse(line)["text"].get<std::string>());
    }
    ASSERT_EQ(static_cast<std::size_t>(threads * count), texts.size());
    for (int t = 0; t < threads; ++t) {
        for (int i = 0; i < count; ++i) {
            const std::string text = "thread " + std::to_string(t) + " record " + std::to_string(i) + "\n";
            EXPECT_EQ(1u, texts.count(text)) << text;
        }
    }
}

TEST(JuZadSinks, AttributeWordsChooseWhatIsRecorded)
{
    struct Case {
        const char* trace;
        std::vector<std::string> components;
    };
    const Case cases[] = {
        {"0x8", {"ZeltaDiscovery", "Memory Usage"}},
        {"0", {}},
        {"7", {}},
        {"Memory Usage=0", {"ZeltaDiscovery"}},
        {"0,Memory Usage=0xFF", {"Memory Usage"}},
    };
    for (const auto& c : cases) {
        const auto result = Emit({"x"}, {std::string("JUZAD_TRACE=") + c.trace, "JUZAD_TRACE_FORMAT=json"});
        std::vector<std::string> components;
        for (const auto& line : Lines(result.err)) {
            components.push_back(nlohmann::json::parse(line)["component"]);
        }
        EXPECT_EQ(c.components, components) << c.trace;
    }
}

TEST(JuZadSinks, UnusableValuesGetOneLineThenTheDefault)
{
    struct Case {
        std::string variable;
        std::string expectedLine;
    };
    TempDir dir;
    const std::string notADirectory = dir.File("file");
    std::ofstream(notADirectory) << "a file where a directory should be";
#if defined(_WIN32)
    const char* otherSystemsLog = "syslog";
#else
    const char* otherSystemsLog = "debugger";
#endif
    const Case cases[] = {
        {"JUZAD_TRACE_SINK=bogus", "JuZad: JUZAD_TRACE_SINK='bogus' cannot be used; using the default (stderr)"},
        {"JUZAD_TRACE_FORMAT=xml", "JuZad: JUZAD_TRACE_FORMAT='xml' cannot be used; using the default (text)"},
        {"JUZAD_TRACE=Memory Usage=lots",
         "JuZad: JUZAD_TRACE='Memory Usage=lots' cannot be used; using the default (every attribute)"},
        {"JUZAD_TRACE_SINK=file:" + notADirectory + "/trace.log",
         "JuZad: JUZAD_TRACE_SINK='file:" + notADirectory + "/trace.log' cannot be used ("},
        {std::string("JUZAD_TRACE_SINK=") + otherSystemsLog,
         std::string("JuZad: JUZAD_TRACE_SINK='") + otherSystemsLog +
             "' cannot be used (not on this system); using the default (stderr)"},
    };
    for (const auto& c : cases) {
        const auto result = Emit({"x"}, {c.variable});
        EXPECT_EQ(0, result.exitCode) << c.variable;
        const auto lines = Lines(result.err);
        ASSERT_EQ(3u, lines.size()) << c.variable << " err: " << result.err << " out: " << result.out;
        EXPECT_EQ(0u, lines[0].rfind(c.expectedLine, 0)) << lines[0];
        EXPECT_THAT(lines[1], HasSubstr("[ZeltaDiscovery] [Trace]"));
        EXPECT_THAT(lines[2], HasSubstr("[Memory Usage] [ResMgmt]"));
    }
}

// A record that cannot be written is lost, said once, and counted; the program goes on.
TEST(JuZadSinks, FailuresAreSaidOnceAndCounted)
{
    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full here";
    }
    const auto full = Emit({"a", "b", "c"}, {"JUZAD_TRACE_SINK=file:/dev/full"});
    EXPECT_EQ(0, full.exitCode);
    const std::string sink = "JUZAD_TRACE_SINK='file:/dev/full'";
    EXPECT_EQ("JuZad: cannot write to " + sink + " (No space left on device); records are dropped until it can be "
              "written again\n"
              "JuZad: 6 records were dropped: " + sink + " could not be written (No space left on device)\n",
              full.err);

    // Standard output closed, then open again on a file.
    TempDir dir;
    const auto back = Emit({"--reopen-stdout", dir.File("out"), "a", "b"}, {"JUZAD_TRACE_SINK=stdout"});
    EXPECT_EQ(0, back.exitCode);
    EXPECT_EQ("JuZad: cannot write to JUZAD_TRACE_SINK='stdout' (Bad file descriptor); records are dropped until it "
              "can be written again\n"
              "JuZad: JUZAD_TRACE_SINK='stdout' can be written again; 4 records were dropped\n",
              back.err);
    EXPECT_EQ(4u, Lines(ReadFile(dir.File("out"))).size());
}

#if !defined(_WIN32)
// A symbolic link as the trace file is a value that cannot be used: whoever made it chose
// what a privileged program would write to.
TEST(JuZadSinks, SymbolicLinksAreRefused)
{
    TempDir dir;
    const std::string target = dir.File("target");
    std::ofstream(target) << "untouched\n";
    const std::string link = dir.File("trace.log");
    std::filesystem::create_symlink(target, link);
    for (const std::string& value : {"file:" + link, "rotate:" + link + ":100:2"}) {
        const auto result = Emit({"x"}, {"JUZAD_TRACE_SINK=" + value});
        EXPECT_EQ(0, result.exitCode);
        const auto lines = Lines(result.err);
        ASSERT_EQ(3u, lines.size()) << result.err;
        EXPECT_EQ("JuZad: JUZAD_TRACE_SINK='" + value + "' cannot be used (it is a symbolic link); using the default (stderr)",
                  lines[0]);
    }
    EXPECT_EQ("untouched\n", ReadFile(target));
}

TEST(JuZadSinks, TraceFilesAreWritableByTheirOwnerAlone)
{
    TempDir dir;
    const mode_t saved = ::umask(0);
    Emit({"--threads", "1", "--count", "50"}, {"JUZAD_TRACE_SINK=rotate:" + dir.File("trace.log") + ":1000:2"});
    Emit({"x"}, {"JUZAD_TRACE_SINK=file:" + dir.File("file.log")});
    ::umask(saved);
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        ++files;
        const auto permissions = entry.status().permissions();
        EXPECT_EQ(std::filesystem::perms::none,
                  permissions & (std::filesystem::perms::group_write | std::filesystem::perms::others_write))
            << entry.path();
    }
    EXPECT_EQ(4, files);
}

// A setuid copy of a traced program, run by an unprivileged user, who sets JUZAD_TRACE_SINK.
TEST(JuZadSinks, SetuidProgramsIgnoreTheVariables)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "making a setuid copy of a program that another user runs takes root";
    }
    TempDir dir;
    struct statvfs volume;
    if (::statvfs(dir.Path().c_str(), &volume) != 0 || (volume.f_flag & ST_NOSUID) != 0) {
        GTEST_SKIP() << dir.Path() << " is on a volume that ignores setuid";
    }
    std::filesystem::permissions(dir.Path(), std::filesystem::perms::all & ~std::filesystem::perms::others_write &
                                                 ~std::filesystem::perms::group_write);
    const std::string copy = dir.File("juzad_emit");
    std::filesystem::copy_file(JUZAD_EMIT, copy);
    ASSERT_EQ(0, ::chmod(copy.c_str(), 04755));
    const std::string chosen = dir.File("chosen.log");
    const auto result = RunProcess({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", copy, "x"},
                                   {"JUZAD_TRACE_SINK=file:" + chosen});
    if (result.exitCode != 0 && result.err.find("JuZad") == std::string::npos) {
        GTEST_SKIP() << "an unprivileged user cannot run the copy here: " << result.err;
    }
    EXPECT_EQ(0, result.exitCode);
    EXPECT_FALSE(std::filesystem::exists(chosen));
    const auto lines = Lines(result.err);
    ASSERT_EQ(3u, lines.size()) << result.err;
    EXPECT_EQ("JuZad: JUZAD_TRACE_SINK is ignored in a program that runs with privileges it was given; using the "
              "default (stderr)",
              lines[0]);
}
#endif

// The JSON time carries the offset from UTC of the zone it was made in; the text one does not.
TEST_F(JuZadFormatTest, TimesAreLocalAndJsonSaysItsOffset)
{
    struct Case {
        const char* zone;  // POSIX form: the offset is west of UTC
        const char* json;
        const char* text;
    };
    const Case cases[] = {
        {"UTC", "2025-12-05T15:01:22.123456+00:00", "[2025-12-05 15:01:22.123456]"},
        {"JST-9", "2025-12-06T00:01:22.123456+09:00", "[2025-12-06 00:01:22.123456]"},
        {"NST3:30", "2025-12-05T11:31:22.123456-03:30", "[2025-12-05 11:31:22.123456]"},
    };
    for (const auto& c : cases) {
        SetTimeZone(c.zone);
        // A thread keeps the local time of the last second it saw: each zone gets a new one.
        std::string json;
        std::string text;
        std::thread([&] {
            json = nlohmann::json::parse(Render("x", Format::Json))["time"];
            text = Render("x", Format::Text).substr(0, 28);
        }).join();
        EXPECT_EQ(c.json, json) << c.zone;
        EXPECT_EQ(c.text, text) << c.zone;
    }
    SetTimeZone("UTC");
}
