// Reports: the catalogue whole against its golden file; and the heap top, against the heap
// (where a text goes by its level is in runs/kelport.golden).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#if defined(_WIN32)
#  include <malloc.h>
#endif

#include "CKelError.h"
#include "KelErrorDB.h"
#include "ju.h"
#include "support/Support.h"

using testing::ElementsAre;
using testing::Eq;
using testing::IsEmpty;

namespace {

void SayExitHandlersRan()
{
    std::fputs("exit handlers ran\n", stderr);
}

}  // namespace

TEST(CatalogueDeathTest, EveryEntryReportsAsTheGoldenFileSays)
{
    std::ifstream golden(KELPORT_CATALOGUE);
    int next = -220566;
    for (std::string line; std::getline(golden, line);) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const int code = std::stoi(line);
        const std::string severity = line.substr(line.find(' ') + 1, line.find(" \"") - line.find(' ') - 1);
        const std::string message = line.substr(line.find('"') + 1, line.size() - line.find('"') - 2);
        ASSERT_EQ(next++, code) << line;
        EXPECT_EQ(code, kelErrorDB[code - kelFirstErrorCode].S_Code) << "the entry's own code";
        const auto report = [code] { CKelError(code, "../golden", 7, "why"); };
        const std::string body = message + " in ../golden at line 7.\nwhy";
        if (severity == "information" || severity == "sick") {
            const bool information = severity == "information";
            const int needs = information ? 4 : 1;
            const std::string prefix = information ? "Be aware : " : "Possible threat to execution : ";
            EXPECT_THAT(Traces(needs, report), ElementsAre(prefix + body + "\n")) << line;
            EXPECT_THAT(Traces(needs - 1, report), IsEmpty()) << line;
        } else if (severity == "fatal") {
            EXPECT_EXIT(report(), Aborted, Eq(AbortOutput("Fatal warning : " + body + " Aborting ......\n")))
                << line;
        } else {
            // The process ends as exit ends it: the exit handlers run.
            ASSERT_EQ("exit", severity) << line;
            EXPECT_EXIT((std::atexit(SayExitHandlersRan), report()), testing::ExitedWithCode(1),
                        Eq("Termination : " + body + "\nexit handlers ran\n"))
                << line;
        }
    }
    EXPECT_EQ(-220402, next) << "the golden file " << KELPORT_CATALOGUE << " holds every entry";
}

TEST(PrintMemoryUsage, WritesTheHeapTopOnStandardOutputEvenAtLevelZero)
{
    testing::internal::CaptureStdout();
    const auto before = reinterpret_cast<std::uintptr_t>(ju::sbrk(0));
    printMemoryUsage();
    const auto after = reinterpret_cast<std::uintptr_t>(ju::sbrk(0));
    const std::string out = testing::internal::GetCapturedStdout();
    std::size_t digits = 0;
    const auto top = std::stoull(out.substr(25), &digits, 16);
    EXPECT_EQ(" [sbrk] top of heap is 0x" + out.substr(25, digits) + "\n", out);
    EXPECT_GE(top, before);
    EXPECT_LE(top, after);
#if defined(_WIN32)
    // No program break there: the top is where the committed memory of the runtime heap's first
    // segment ends, above the heap's start.
    EXPECT_GT(top, static_cast<std::uintptr_t>(::_get_heap_handle()));
#endif
}
