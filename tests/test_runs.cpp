// Programs run as a user runs them, and the tracing library's settings as it reads them,
// against runs.golden (whose head says how it reads).
#include <algorithm>
#include <cctype>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "JuZadConfig.h"
#include "JuZadFormat.h"
#include "support/Support.h"

namespace {

struct GoldenRun {
    std::string command;  // as the golden file writes it
    std::vector<std::string> words;
    std::string status = "0";
    std::vector<std::string> out;
    std::vector<std::string> err;
};

// Blank-separated words; one in single quotes keeps its blanks, and \n in it is a line end.
std::vector<std::string> Words(const std::string& text)
{
    std::vector<std::string> words;
    for (std::size_t at = text.find_first_not_of(' '); at < text.size();
         at = text.find_first_not_of(' ', at)) {
        const bool quoted = text[at] == '\'';
        const std::size_t end = std::min(text.find(quoted ? '\'' : ' ', at + quoted), text.size());
        words.push_back(std::regex_replace(text.substr(at + quoted, end - at - quoted), std::regex(R"(\\n)"),
                                           quoted ? "\n" : "\\n"));
        at = end + quoted;
    }
    return words;
}

// What the tracing library makes of a setting (one line, or "- " and what is wrong with it), or
// the name it gives a category.
std::string Setting(const std::string& name, const std::string& value)
{
    std::string why;
    std::string shown;
    if (name == "category") {
        shown = JuZadTrc::CategoryName(static_cast<JuZadTrc::StdCategory_e>(std::stoi(value)));
    } else if (name == "attributes") {
        const auto parsed = JuZadTrc::ParseAttributes(value, &why);
        shown = parsed ? std::to_string(parsed->all) : "";
        for (const auto& [component, word] : parsed ? parsed->byComponent : decltype(parsed->byComponent){}) {
            shown += "," + component + "=" + std::to_string(word);
        }
    } else if (const auto parsed = JuZadTrc::ParseSink(value, &why)) {
        shown = std::to_string(static_cast<int>(parsed->kind)) + " " + parsed->path + " " +
                std::to_string(parsed->maxBytes) + " " + std::to_string(parsed->maxFiles);
    }
    return (why.empty() ? shown : "- " + why) + "\n";
}

// The lines as the golden file writes what no test can know.
std::vector<std::string> Masked(const std::string& text)
{
    static const std::pair<std::regex, const char*> masks[] = {
        {std::regex(R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{6}\])"), "[T]"},
        {std::regex(R"x("time":"[^"]*")x"), R"x("time":"T")x"},
        {std::regex(R"(\b(pid|tid|child) \d+)"), "$1 N"},
        {std::regex(R"x("(pid|tid)":\d+)x"), R"x("$1":N)x"},
        {std::regex(R"(^\[T\] \[ZeltaDiscovery\] \[Trace\] \[pid N tid N\] KelDebug:83 )"), "* "},
    };
    std::vector<std::string> lines = Lines(text);
    for (auto& line : lines) {
        for (const auto& [pattern, mask] : masks) {
            line = std::regex_replace(line, pattern, mask);
        }
    }
    return lines;
}

// Whether the lines from a are what the expected lines from e say.
bool Matches(const std::vector<std::string>& expected, std::size_t e, const std::vector<std::string>& actual,
             std::size_t a)
{
    if (e == expected.size()) {
        return a == actual.size();
    }
    if (expected[e] == "...") {
        for (std::size_t skip = a; skip <= actual.size(); ++skip) {
            if (Matches(expected, e + 1, actual, skip)) {
                return true;
            }
        }
        return false;
    }
    static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
    const std::string literal = std::regex_replace(expected[e], special, R"(\$&)");
    const std::regex line(std::regex_replace(literal, std::regex(R"(\\\{\\\.\\\.\\\.\\\})"), ".*"));
    return a < actual.size() && std::regex_match(actual[a], line) && Matches(expected, e + 1, actual, a + 1);
}

std::string Shown(const std::vector<std::string>& lines)
{
    std::string shown;
    for (const auto& line : lines) {
        shown += line + "\n";
    }
    return shown;
}

}  // namespace

TEST(Runs, EachGivesWhatTheGoldenFileSays)
{
    TempDir dir;
    const std::string source = KELPORT_RUNS;
    const std::pair<std::string, std::string> names[] = {
        {"DIR", dir.Path()},
        {"HOST", HostName()},
        {"MATH", KELPORT_WINDOWS ? "msvcrt.dll" : "libm.so.6"},
        {"SOURCE", source.substr(0, source.find_last_of("/\\"))}};
    const std::pair<std::string, std::string> programs[] = {
        {"kelport", KELPORT_PROGRAM}, {"demo", KELPORT_DEMO}, {"helper", KELPORT_HELPER}};
    const std::pair<std::string, bool> tags[] = {{"[posix]", !KELPORT_WINDOWS},
                                                 {"[win32]", KELPORT_WINDOWS},
                                                 {"[native]", !kEmulated},
                                                 {"[pcap]", KELPORT_CAPTURE_READER},
                                                 {"[nopcap]", !KELPORT_CAPTURE_READER}};

    std::vector<GoldenRun> runs;
    std::ifstream golden(KELPORT_RUNS);
    ASSERT_TRUE(golden) << KELPORT_RUNS;
    for (std::string line; std::getline(golden, line);) {
        std::string rest = line.size() > 2 ? line.substr(2) : "";
        for (const auto& [name, value] : names) {
            for (std::size_t at = 0; (at = rest.find(name, at)) != std::string::npos; at += value.size()) {
                rest.replace(at, name.size(), value);
            }
        }
        if (line.rfind("$ ", 0) == 0) {
            runs.push_back({line, Words(rest), "0", {}, {}});
        } else if (line.rfind("? ", 0) == 0) {
            runs.back().status = rest;
        } else if (!line.empty() && (line[0] == '>' || line[0] == '!')) {
            (line[0] == '>' ? runs.back().out : runs.back().err).push_back(rest);
        }
    }
    for (auto& run : runs) {
        auto& words = run.words;
        for (const auto& [tag, here] : tags) {
            const auto at = std::find(words.begin(), words.end(), tag);
            if (at != words.end() && !here) {
                words.clear();
            } else if (at != words.end()) {
                words.erase(at);
            }
        }
        std::vector<std::string> env;
        for (; !words.empty() && std::isupper(static_cast<unsigned char>(words[0][0]));
             words.erase(words.begin())) {
            env.push_back(words[0]);
        }
        if (words.empty()) {
            continue;
        }
        SCOPED_TRACE(run.command);
        ProcessResult result;
        if (words[0] == "read" || words[0] == "attributes" || words[0] == "sink" || words[0] == "category") {
            result.exitCode = 0;
            result.out = words[0] == "read" ? ReadFile(words.at(1)) : Setting(words[0], words.at(1));
        } else {
            for (const auto& [name, path] : programs) {
                words[0] = words[0] == name ? path : words[0];
            }
            if (words[0].empty()) {
                continue;  // a program this build does not make
            }
            result = RunProgram(words, env, std::chrono::seconds(60));
        }
        if (run.status == "abort") {
            EXPECT_EQ(-1, result.exitCode);
            run.err = Lines(AbortOutput(Shown(run.err)));
        } else {
            EXPECT_EQ(run.status, std::to_string(result.exitCode));
        }
        const auto out = Masked(result.out);
        const auto err = Masked(result.err);
        EXPECT_TRUE(Matches(run.out, 0, out, 0)) << "standard output:\n"
                                                 << Shown(out) << "not:\n"
                                                 << Shown(run.out);
        EXPECT_TRUE(Matches(run.err, 0, err, 0)) << "standard error:\n"
                                                 << Shown(err) << "not:\n"
                                                 << Shown(run.err);
    }
}
