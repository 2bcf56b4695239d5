// What a report does besides its catalogue text: an exit report runs the exit handlers, and a
// code outside the catalogue aborts.
#include <cstdio>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "CKelError.h"
#include "support/Support.h"

using testing::Eq;

namespace {

void SayExitHandlersRan()
{
    std::fputs("exit handlers ran\n", stderr);
}

}  // namespace

TEST(ErrorHandlerDeathTest, ReportsThatEndTheProcess)
{
    for (const int code : {-220567, -220402}) {  // either side of the catalogue
        EXPECT_EXIT(CKelError(code, "../X", 12, ""), Aborted,
                    Eq(AbortOutput("Error unrecognised aborting...\nError code is " + std::to_string(code) +
                                   "\nIn file ../X at line 12\n")));
    }
    EXPECT_EXIT((std::atexit(SayExitHandlersRan), CKelError(-220469, "../X", -1, nullptr)),
                testing::ExitedWithCode(1),
                Eq("Termination : Exit function called in ../X\nexit handlers ran\n"));
}
