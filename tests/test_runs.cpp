// Programs run as a user runs them, against runs.golden (whose head says how it reads).
#include <algorithm>
#include <cctype>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/Support.h"

namespace {

struct GoldenRun {
    int line = 0;  // of the golden file
    std::vector<std::string> words;
    std::string status = "0";
    std::vector<std::string> out;
    std::vector<std::string> err;
};

// Blank-separated words; one in single quotes keeps its blanks, and \n in it is a line end.
std::vector<std::string> Words(const std::string& text)
{
    std::vector<std::string> words;
    for (std::size_t at = text.find_first_not_of(' '); at != std::string::npos;
         at = text.find_first_not_of(' ', at)) {
        const bool quoted = text[at] == '\'';
        const std::size_t end = quoted ? text.find('\'', at + 1) : text.find(' ', at);
        std::string word = text.substr(at + quoted, end == std::string::npos ? end : end - at - quoted);
        for (std::size_t n; quoted && (n = word.find("\\n")) != std::string::npos;) {
            word.replace(n, 2, "\n");
        }
        words.push_back(word);
        at = end == std::string::npos ? end : end + quoted;
    }
    return words;
}

std::string Substituted(std::string text, const std::vector<std::pair<std::string, std::string>>& names)
{
    for (const auto& [name, value] : names) {
        for (std::size_t at = 0; (at = text.find(name, at)) != std::string::npos; at += value.size()) {
            text.replace(at, name.size(), value);
        }
    }
    return text;
}

std::vector<std::string> Masked(const std::string& text)
{
    static const std::pair<std::regex, const char*> masks[] = {
        {std::regex(R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{6}\])"), "[T]"},
        {std::regex(R"x("time":"[^"]*")x"), R"x("time":"T")x"},
        {std::regex(R"(\b(pid|tid|child) \d+)"), "$1 N"},
        {std::regex(R"x("(pid|tid)":\d+)x"), R"x("$1":N)x"},
    };
    std::vector<std::string> lines = Lines(text);
    for (auto& line : lines) {
        for (const auto& [pattern, mask] : masks) {
            line = std::regex_replace(line, pattern, mask);
        }
    }
    return lines;
}

// Whether line is the pattern, each {...} in it any text.
bool LineMatches(const std::string& pattern, const std::string& line)
{
    const std::string any = "{...}";
    const std::size_t first = pattern.find(any);
    if (first == std::string::npos) {
        return pattern == line;
    }
    if (line.compare(0, first, pattern, 0, first) != 0) {
        return false;
    }
    std::size_t at = first;
    std::size_t piece = first + any.size();
    for (std::size_t next; (next = pattern.find(any, piece)) != std::string::npos;
         piece = next + any.size()) {
        at = line.find(pattern.substr(piece, next - piece), at);
        if (at == std::string::npos) {
            return false;
        }
        at += next - piece;
    }
    const std::size_t tail = pattern.size() - piece;
    return line.size() >= at + tail && line.compare(line.size() - tail, tail, pattern, piece) == 0;
}

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
    return a < actual.size() && LineMatches(expected[e], actual[a]) &&
           Matches(expected, e + 1, actual, a + 1);
}

std::string Shown(const std::vector<std::string>& lines)
{
    std::string shown;
    for (const auto& line : lines) {
        shown += "  " + line + "\n";
    }
    return shown;
}

}  // namespace

TEST(Runs, EachGivesWhatTheGoldenFileSays)
{
    TempDir dir;
    const std::string source = KELPORT_RUNS;
    const std::vector<std::pair<std::string, std::string>> names = {
        {"DIR", dir.Path()},
        {"HOST", HostName()},
        {"MATH", kMathLibrary},
        {"SOURCE", source.substr(0, source.find_last_of("/\\"))}};
    const std::vector<std::pair<std::string, std::string>> programs = {
        {"kelport", KELPORT_PROGRAM}, {"demo", KELPORT_DEMO}, {"helper", KELPORT_HELPER}};
    const std::vector<std::string> tags = {"[posix]", "[win32]", "[native]", "[pcap]", "[nopcap]"};
    const bool here[] = {!KELPORT_WINDOWS, KELPORT_WINDOWS, !kEmulated, KELPORT_CAPTURE_READER != 0,
                         KELPORT_CAPTURE_READER == 0};

    std::vector<GoldenRun> runs;
    std::ifstream golden(KELPORT_RUNS);
    ASSERT_TRUE(golden) << KELPORT_RUNS;
    int number = 0;
    for (std::string line; std::getline(golden, line);) {
        ++number;
        const std::string rest = line.size() > 2 ? Substituted(line.substr(2), names) : "";
        if (line.rfind("$ ", 0) == 0) {
            runs.emplace_back();
            runs.back().line = number;
            runs.back().words = Words(rest);
        } else if (line.rfind("? ", 0) == 0) {
            runs.back().status = rest;
        } else if (!line.empty() && (line[0] == '>' || line[0] == '!')) {
            (line[0] == '>' ? runs.back().out : runs.back().err).push_back(rest);
        }
    }
    for (auto& run : runs) {
        std::vector<std::string> env;
        auto& words = run.words;
        for (std::size_t t = 0; t < tags.size(); ++t) {
            if (std::find(words.begin(), words.end(), tags[t]) != words.end() && !here[t]) {
                words.clear();
            }
            words.erase(std::remove(words.begin(), words.end(), tags[t]), words.end());
        }
        while (!words.empty() && std::isupper(static_cast<unsigned char>(words[0][0])) &&
               words[0].find('=') != std::string::npos) {
            env.push_back(words[0]);
            words.erase(words.begin());
        }
        if (words.empty()) {
            continue;
        }
        SCOPED_TRACE("runs.golden:" + std::to_string(run.line));
        ProcessResult result;
        if (words[0] == "read") {
            result.exitCode = 0;
            result.out = ReadFile(words.at(1));
        } else {
            for (const auto& [name, path] : programs) {
                words[0] = words[0] == name ? path : words[0];
            }
            result = RunProgram(words, env, std::chrono::seconds(60));
        }
        if (run.status == "abort") {
            EXPECT_EQ(-1, result.exitCode);
            std::string written;
            for (const auto& line : run.err) {
                written += line + "\n";
            }
            run.err = Lines(AbortOutput(written));
        } else {
            EXPECT_EQ(run.status, std::to_string(result.exitCode));
        }
        const auto out = Masked(result.out);
        const auto err = Masked(result.err);
        EXPECT_TRUE(Matches(run.out, 0, out, 0)) << "standard output:\n"
                                                 << Shown(out) << "expected:\n"
                                                 << Shown(run.out);
        EXPECT_TRUE(Matches(run.err, 0, err, 0)) << "standard error:\n"
                                                 << Shown(err) << "expected:\n"
                                                 << Shown(run.err);
    }
}
