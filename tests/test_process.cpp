// The built library as a program meets it: loaded and unloaded at run time, ended while its
// threads trace, and forked while they do.
#include <map>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "KelDL.h"
#include "support/Support.h"

TEST(Library, MakesItsTraceObjectsAtLoadAndDestroysThemInReverseAtUnload)
{
    std::vector<std::string> events;
    JuZadTrc::SetObjectHandler([&events](const JuZadTrc::ObjectEvent& e) {
        events.push_back(std::string(e.alive ? "+" : "-") + e.component + "/" + std::to_string(e.category));
    });
    HINSTANCE library = KelDLOpen(KELPORT_LIBRARY, 0);
    ASSERT_NE(nullptr, library);
    EXPECT_THAT(events, testing::ElementsAre("+ZeltaDiscovery/2", "+Memory Usage/9"));
    EXPECT_EQ(0, *static_cast<int*>(KelDLSym(library, "__Kelvora_Debug_Level")));
    EXPECT_EQ(1, *static_cast<int*>(KelDLSym(library, "g_OqlUse")));
    EXPECT_EQ(nullptr, *static_cast<char**>(KelDLSym(library, "g_OdbcUse")));
    EXPECT_EQ(nullptr, *static_cast<char**>(KelDLSym(library, "g_OqlLog")));
    events.clear();
    ASSERT_EQ(0, KelDLClose(library));
    EXPECT_THAT(events, testing::ElementsAre("-Memory Usage/9", "-ZeltaDiscovery/2"));
    JuZadTrc::SetObjectHandler(nullptr);
}

// Services end with threads still tracing (main returns, a handler calls exit): the library's
// trace objects are destroyed under them. Each run must end, at once and normally, whether the
// records go to a file or to a record handler of the program's own.
TEST(Library, EndsWhileOtherThreadsTrace)
{
    TempDir dir;
    const std::string sink = "JUZAD_TRACE_SINK=file:" + dir.File("trace.log");
    for (const bool handler : {false, true}) {
        for (int run = 0; run < 20; ++run) {
            SCOPED_TRACE("run " + std::to_string(run) + (handler ? " with a record handler" : ""));
            const auto ended =
                RunProgram({KELPORT_HELPER, "--end-while-tracing", handler ? "--handler" : "--file"}, {sink},
                           std::chrono::seconds(10));
            ASSERT_EQ(0, ended.exitCode) << ended.err;
        }
    }
    EXPECT_NE(std::string::npos, ReadFile(dir.File("trace.log")).find("KelMaxThreads -w- request = 0\n"))
        << "the threads traced into the file";
}

// KelFork from a process whose other threads are tracing: every child finishes, and its
// record arrives whole and once, with the child's own pid; each fork is traced once, by the
// parent, before it forks.
TEST(Fork, ChildrenTraceAndEndWhileOtherThreadsTraceAtOnce)
{
    if (KELPORT_WINDOWS) {
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
        // Each child has 5 seconds to end, and all of them 2 minutes; under an emulator, 30 s and 4 min.
        const auto run =
            RunProgram({KELPORT_HELPER, "--fork", std::to_string(children), kEmulated ? "30" : "5"}, env,
                       std::chrono::minutes(kEmulated ? 4 : 2));
        ASSERT_EQ(0, run.exitCode) << run.out;
        long parent = 0;
        ASSERT_EQ(1, std::sscanf(run.out.c_str(), "parent %ld", &parent)) << run.out;

        std::map<long, int> seen;  // child number: records
        int forks = 0;
        for (const auto& line : Lines(toFile ? ReadFile(path) : run.err)) {
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
