// How a report is made of its pieces, and where it goes at each debug level.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "CKelError.h"
#include "support/Support.h"

using testing::Eq;

TEST(ErrorHandler, TracedReportsByLevelLineAndText)
{
    struct Case {
        int level;
        int code;
        int line;
        const char* msg;
        std::vector<std::string> expected;
    };
    const std::string invalid = "Be aware : Given socket descriptor is invalid. in ../X";
    const std::string missing =
        "Possible threat to execution : A required dynamic library file is missing. in ../X";
    const Case cases[] = {
        {INT_MAX, -220459, 372, "Bad socket", {invalid + " at line 372.\nBad socket\n"}},
        {4, -220459, 1, nullptr, {invalid + " at line 1\n"}},
        {3, -220459, 1, nullptr, {}},
        {1, -220451, 44, "", {missing + " at line 44.\n\n"}},
        {2, -220451, 0, nullptr, {missing + "\n"}},
        {3, -220451, -7, "why", {missing + ".\nwhy\n"}},
        {0, -220451, 44, nullptr, {}},
        {-4, -220459, 1, nullptr, {}},
        {INT_MIN, -220451, 1, nullptr, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, Traces(c.level, [&c] { CKelError(c.code, "../X", c.line, c.msg); }))
            << "level " << c.level << ", code " << c.code << ", line " << c.line;
    }
    // To the general object, as every record of the library, and nowhere else.
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const auto records = Records(4, [] { CKelError(-220459, "../X", 1, nullptr); });
    EXPECT_EQ("", testing::internal::GetCapturedStderr() + testing::internal::GetCapturedStdout());
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ("ZeltaDiscovery", records[0].component);
    EXPECT_EQ(8u, records[0].attributes);
    EXPECT_EQ("KelDebug", records[0].file);
    EXPECT_EQ(83u, records[0].line);
}

namespace {

void SayExitHandlersRan()
{
    std::fputs("exit handlers ran\n", stderr);
}

}  // namespace

TEST(ErrorHandlerDeathTest, ReportsThatEndTheProcess)
{
    ScopedValue<int> level(__Kelvora_Debug_Level, 4);
    struct Case {
        int code;
        int line;
        std::string expected;
    };
    const std::string unrecognised = "Error unrecognised aborting...\nError code is ";
    const Case aborting[] = {
        {-220567, 12, unrecognised + "-220567\nIn file ../X at line 12\n"},
        {-220402, 0, unrecognised + "-220402\nIn file ../X at line 0\n"},
        {INT_MAX, -3, unrecognised + "2147483647\nIn file ../X at line -3\n"},
        {-220422, 0, "Fatal warning : A critical argument is missing.  in ../X.\n Aborting ......\n"},
    };
    for (const auto& c : aborting) {
        EXPECT_EXIT(CKelError(c.code, "../X", c.line, ""), Aborted, Eq(AbortOutput(c.expected))) << c.code;
    }
    // An exit report ends the process normally: its exit handlers run.
    EXPECT_EXIT((std::atexit(SayExitHandlersRan), CKelError(-220469, "../X", -1, nullptr)),
                testing::ExitedWithCode(1),
                Eq("Termination : Exit function called in ../X\nexit handlers ran\n"));
}
