// KelFork from a process whose other threads are tracing: every child finishes, and its
// record arrives whole and once, with the child's own pid; each fork is traced once, by the
// parent, before it forks.
#include <map>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "support/Support.h"

TEST(Fork, ChildrenOfABusyProcessTraceAndEnd)
{
    if (!kHasFork) {
        GTEST_SKIP() << "KelFork makes no process on this system";
    }
    const int children = 300;
    const std::string request = "../KelThreads:65 KelMaxThreads -w- request = ";
    for (const bool toFile : {true, false}) {
        SCOPED_TRACE(toFile ? "file sink" : "standard error");
        TempDir dir;
        const std::string path = dir.File("trace.json");
        std::vector<std::string> env = {"JUZAD_TRACE_FORMAT=json"};
        if (toFile) {
            env.push_back("JUZAD_TRACE_SINK=file:" + path);
        }
        // Each child has 5 seconds to end; under an emulator, 30.
        const auto run = RunProgram(
            {KELPORT_HELPER, "--fork", KELPORT_LIBRARY, std::to_string(children), kEmulated ? "30" : "5"},
            env);
        ASSERT_EQ(0, run.exitCode) << run.out;
        long parent = 0;
        ASSERT_EQ(1, std::sscanf(run.out.c_str(), "parent %ld", &parent)) << run.out;

        std::map<long, int> seen;  // child number: records
        int forks = 0;
        std::istringstream lines(toFile ? ReadFile(path) : run.err);
        for (std::string line; std::getline(lines, line);) {
            const auto record = nlohmann::json::parse(line, nullptr, false);
            ASSERT_FALSE(record.is_discarded()) << "not whole: " << line;
            const std::string text = record["text"];
            if (text == "KelFork()\n") {
                ++forks;
                EXPECT_EQ(parent, record["pid"].get<long>());
                EXPECT_EQ(parent, record["tid"].get<long>()) << "the main thread's id is its process's";
            }
            if (text.rfind(request, 0) == 0) {
                ++seen[std::stol(text.substr(request.size())) - 1000000];
                EXPECT_NE(parent, record["pid"].get<long>()) << text;
                EXPECT_EQ(record["pid"], record["tid"]) << "a child's one thread: " << text;
            }
        }
        EXPECT_EQ(children, forks);
        for (long child = 0; child < children; ++child) {
            EXPECT_EQ(1, seen[child]) << "child " << child;
        }
    }
}
