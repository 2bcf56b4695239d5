// The built library as a program meets it: loaded and unloaded at run time, and ended while its
// threads trace.
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

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
