// How a report is made of its pieces, and where it goes.
#include <cstdio>
#include <cstdlib>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "CKelError.h"
#include "support/Support.h"

using testing::Eq;

TEST(ErrorHandler, TracedReportsShowTheLineOnlyWhenPositiveAndAnyText)
{
    const std::string invalid = "Be aware : Given socket descriptor is invalid. in ../X";
    const std::string missing =
        "Possible threat to execution : A required dynamic library file is missing. in ../X";
    const struct {
        int level;
        int code;
        int line;
        const char* msg;
        std::string expected;
    } cases[] = {
        {4, -220459, 1, nullptr, invalid + " at line 1\n"},
        {1, -220451, 44, "", missing + " at line 44.\n\n"},
        {1, -220451, 0, nullptr, missing + "\n"},
        {1, -220451, -7, "why", missing + ".\nwhy\n"},
    };
    for (const auto& c : cases) {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EXPECT_THAT(Traces(c.level, [&c] { CKelError(c.code, "../X", c.line, c.msg); }),
                    testing::ElementsAre(c.expected))
            << "code " << c.code << ", line " << c.line;
        EXPECT_EQ("", testing::internal::GetCapturedStderr() + testing::internal::GetCapturedStdout())
            << "traced, and nowhere else";
    }
}

namespace {

void SayExitHandlersRan()
{
    std::fputs("exit handlers ran\n", stderr);
}

}  // namespace

TEST(ErrorHandlerDeathTest, ReportsThatEndTheProcess)
{
    const std::string unrecognised = "Error unrecognised aborting...\nError code is ";
    EXPECT_EXIT(CKelError(-220567, "../X", 12, ""), Aborted,
                Eq(AbortOutput(unrecognised + "-220567\nIn file ../X at line 12\n")));
    EXPECT_EXIT(CKelError(-220402, "../X", 0, ""), Aborted,
                Eq(AbortOutput(unrecognised + "-220402\nIn file ../X at line 0\n")));
    // An exit report ends the process normally: its exit handlers run.
    EXPECT_EXIT((std::atexit(SayExitHandlersRan), CKelError(-220469, "../X", -1, nullptr)),
                testing::ExitedWithCode(1),
                Eq("Termination : Exit function called in ../X\nexit handlers ran\n"));
}
