// Programs run as a user runs them, and the tracing library's settings as it reads them,
// against the golden file that KELPORT_RUNS names (runs/*.golden, one ctest test each). With
// KELPORT_UPDATE_RUNS=1 in the environment, a run that gives something else has its expected
// lines rewritten from what it gave (its patterns too), to be reviewed as a diff. A file reads:
//
//   $ [TAG]... [NAME=VALUE]... PROGRAM ARG...
//                 a run of kelport, demo (the demonstration) or helper (tests/helper.cpp), with
//                 the test's environment less every JUZAD_ variable, plus each NAME=VALUE; words
//                 are separated by blanks, and a word in single quotes keeps its own (and \n
//                 in it is a line end)
//   ? STATUS      its exit status, or "abort" (0 when not given)
//   > LINE        a line of standard output, in order; a run writes no other
//   ! LINE        a line of standard error, likewise
//   $ read PATH   not a run: the file's lines are its standard output; status 1 if there is none
//   $ attributes VALUE, $ sink VALUE, $ category NUMBER
//                 not a run: what the tracing library makes of JUZAD_TRACE or
//                 JUZAD_TRACE_SINK set to VALUE, or the name it gives a category, as
//                 standard output
//   # ...         a comment
//
// A TAG limits a run to POSIX systems [posix], Windows [win32], a build whose programs run
// without an emulator [native], or a kelport with [pcap] or without [nopcap] its capture reader.
// In a run and in what it gives, DIR is a folder of the test's own (one for the whole file),
// HOST the host's name, MATH the file name of the C math library and SOURCE the folder of the
// file. In what a run gives, a line "..." (after > or !) stands for any lines and {...} in a
// line for any text, and what no test can know is written as the runner writes it: [T] for a
// text record's time, "time":"T" for a JSON record's, and N for a pid, a tid or a child's; and
// a record of the library's own, which begins
// "[T] [ZeltaDiscovery] [Trace] [pid N tid N] KelDebug:83 ", begins "* " instead. Some lines end
// in a blank, as the program writes them.
#include <algorithm>
#include <cstdio>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/Setting.h"
#include "support/Support.h"

namespace {

struct GoldenRun {
    std::size_t first, end;  // its lines in the file: the command, to one past its last
    std::string command;     // as the golden file writes it
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

// Every from in text, as to.
std::string Replaced(std::string text, const std::string& from, const std::string& to)
{
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// The lines that expect what a run gave, with its file's names in place of their values.
std::vector<std::string> Expected(const std::string& status, const std::vector<std::string>& out,
                                  const std::vector<std::string>& err,
                                  const std::vector<std::pair<std::string, std::string>>& names)
{
    std::vector<std::string> lines;
    if (status != "0") {
        lines.push_back("? " + status);
    }
    for (const auto& [mark, stream] : {std::pair{"> ", &out}, std::pair{"! ", &err}}) {
        for (std::string line : *stream) {
            for (const auto& [name, value] : names) {
                line = Replaced(line, value, name);
            }
            lines.push_back(mark + line);
        }
    }
    return lines;
}

}  // namespace

TEST(Runs, EachGivesWhatItsGoldenFileSays)
{
    const char* const source = std::getenv("KELPORT_RUNS");
    ASSERT_NE(nullptr, source) << "KELPORT_RUNS names no golden file";
    const char* const update = std::getenv("KELPORT_UPDATE_RUNS");
    TempDir dir;
    const std::string file = source;
    const std::vector<std::pair<std::string, std::string>> names = {
        {"DIR", dir.Path()},
        {"SOURCE", file.substr(0, file.find_last_of("/\\"))},
        {"MATH", KELPORT_WINDOWS ? "msvcrt.dll" : "libm.so.6"},
        {"HOST", HostName()}};
    const std::pair<std::string, std::string> programs[] = {
        {"kelport", KELPORT_PROGRAM}, {"demo", KELPORT_DEMO}, {"helper", KELPORT_HELPER}};
    const std::pair<std::string, bool> tags[] = {{"[posix]", !KELPORT_WINDOWS},
                                                 {"[win32]", KELPORT_WINDOWS},
                                                 {"[native]", !kEmulated},
                                                 {"[pcap]", KELPORT_CAPTURE_READER},
                                                 {"[nopcap]", !KELPORT_CAPTURE_READER}};

    std::vector<std::string> lines;
    std::vector<GoldenRun> runs;
    std::ifstream golden(file);
    ASSERT_TRUE(golden) << file;
    for (std::string line; std::getline(golden, line); lines.push_back(line)) {
        std::string rest = line.size() > 2 ? line.substr(2) : "";
        for (const auto& [name, value] : names) {
            rest = Replaced(rest, name, value);
        }
        if (line.rfind("$ ", 0) == 0) {
            runs.push_back({lines.size(), lines.size() + 1, line, Words(rest), "0", {}, {}});
        } else if (line.rfind("? ", 0) == 0) {
            runs.back().status = rest;
        } else if (!line.empty() && (line[0] == '>' || line[0] == '!')) {
            (line[0] == '>' ? runs.back().out : runs.back().err).push_back(rest);
        }
        if (!runs.empty() && !line.empty() && line[0] != '#' && line[0] != '$') {
            runs.back().end = lines.size() + 1;
        }
    }
    // Runs whose lines are rewritten, from the last, so that the earlier ones stay where they are.
    std::vector<std::pair<const GoldenRun*, std::vector<std::string>>> rewritten;
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
            result.exitCode = words[0] == "read" && !std::filesystem::exists(words.at(1)) ? 1 : 0;
            result.out = words[0] == "read" ? ReadFile(words.at(1)) : Setting(words[0], words.at(1)) + "\n";
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
            run.err = Lines(AbortOutput(Shown(run.err)));
        }
        const std::string status =
            run.status == "abort" && result.exitCode == -1 ? "abort" : std::to_string(result.exitCode);
        const auto out = Masked(result.out);
        const auto err = Masked(result.err);
        const bool outRight = Matches(run.out, 0, out, 0);
        const bool errRight = Matches(run.err, 0, err, 0);
        if (update != nullptr && (status != run.status || !outRight || !errRight)) {
            rewritten.emplace_back(&run, Expected(status, out, err, names));
            continue;
        }
        EXPECT_EQ(run.status, status);
        EXPECT_TRUE(outRight) << "standard output:\n" << Shown(out) << "not:\n" << Shown(run.out);
        EXPECT_TRUE(errRight) << "standard error:\n" << Shown(err) << "not:\n" << Shown(run.err);
    }
    for (auto at = rewritten.rbegin(); at != rewritten.rend(); ++at) {
        const auto first = lines.begin() + at->first->first + 1;
        lines.insert(lines.erase(first, lines.begin() + at->first->end), at->second.begin(),
                     at->second.end());
    }
    if (!rewritten.empty()) {
        std::ofstream(file, std::ios::binary) << Shown(lines);
        std::printf("%zu runs rewritten in %s from what they gave: review the diff\n", rewritten.size(),
                    file.c_str());
    }
}
