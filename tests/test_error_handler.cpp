#include <climits>
#include <csignal>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "CKelError.h"
#include "KelDebug.h"
#include "support/System.h"
#include "support/TraceCapture.h"

using testing::ElementsAre;
using testing::Eq;
using testing::IsEmpty;

namespace {

struct TracedCase {
    int debugLevel;
    int code;
    int line;
    const char* msg;
    const char* expected;  // null: nothing is traced
};

const TracedCase kTracedCases[] = {
    // Information reports need level 4.
    {4, -220459, 372, "Bad socket descriptor",
     "Be aware : Given socket descriptor is invalid. in ../X at line 372.\nBad socket descriptor\n"},
    {9, -220459, 1, nullptr, "Be aware : Given socket descriptor is invalid. in ../X at line 1\n"},
    {3, -220459, 372, "Bad socket descriptor", nullptr},
    {0, -220459, 372, nullptr, nullptr},
    {-4, -220459, 372, nullptr, nullptr},
    {INT_MIN, -220459, 372, nullptr, nullptr},
    // Sick reports need level 1.
    {1, -220451, 44, "", "Possible threat to execution : A required dynamic library file is missing. in ../X at line 44.\n\n"},
    {2, -220409, 171, nullptr,
     "Possible threat to execution : The requested symbol does not exist within the dynamic library. in ../X at line 171\n"},
    {3, -220451, 0, nullptr, "Possible threat to execution : A required dynamic library file is missing. in ../X\n"},
    {4, -220451, -7, "why", "Possible threat to execution : A required dynamic library file is missing. in ../X.\nwhy\n"},
    {1, -220420, 0, nullptr, "Possible threat to execution : An argument is missing.  in ../X\n"},
    {0, -220451, 44, "", nullptr},
    {-1, -220451, 44, "", nullptr},
};

}  // namespace

TEST(ErrorHandler, InformationAndSickReportsAreTracedByLevel)
{
    for (const auto& c : kTracedCases) {
        SCOPED_TRACE(testing::Message() << "debug level " << c.debugLevel << ", code " << c.code);
        ScopedValue<int> level(__Kelvora_Debug_Level, c.debugLevel);
        TraceCapture capture;
        CKelError error(c.code, "../X", c.line, c.msg);
        const auto records = capture.Records();
        if (c.expected == nullptr) {
            EXPECT_THAT(records, IsEmpty());
            continue;
        }
        ASSERT_EQ(1u, records.size());
        EXPECT_EQ(c.expected, records[0].text);
        EXPECT_EQ("ZeltaDiscovery", records[0].component);
        EXPECT_EQ(8u, records[0].attributes);
        EXPECT_EQ("KelDebug", records[0].file);
        EXPECT_EQ(83u, records[0].line);
    }
}

TEST(ErrorHandler, ReportsGoNowhereElse)
{
    ScopedValue<int> level(__Kelvora_Debug_Level, 4);
    TraceCapture capture;
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    CKelError error(-220459, "../X", 1, nullptr);
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
    EXPECT_EQ(1u, capture.Records().size());
}

TEST(ErrorHandlerDeathTest, FatalReportsAbortWhateverTheLevel)
{
    struct Case {
        int debugLevel;
        int code;
        const char* at;
        int line;
        const char* msg;
        const char* expected;
    };
    const Case cases[] = {
        {0, -220553, "../KelNetwork", 105, nullptr,
         "Fatal warning : Malloc failure - out of memory in ../KelNetwork at line 105 Aborting ......\n"},
        {4, -220447, "../KelIoctl", 378, "Bad address",
         "Fatal warning : Ioctl failed for function call in ../KelIoctl at line 378.\nBad address Aborting ......\n"},
        {0, -220422, "../X", 0, "", "Fatal warning : A critical argument is missing.  in ../X.\n Aborting ......\n"},
    };
    for (const auto& c : cases) {
        ScopedValue<int> level(__Kelvora_Debug_Level, c.debugLevel);
        EXPECT_EXIT(CKelError(c.code, c.at, c.line, c.msg), Aborted, Eq(AbortOutput(c.expected)));
    }
}

TEST(ErrorHandlerDeathTest, ExitReportsEndWithStatusOne)
{
    struct Case {
        int code;
        int line;
        const char* msg;
        const char* expected;
    };
    const Case cases[] = {
        {-220550, 3, nullptr, "Termination : Invalid file name - file not found in ../X at line 3\n"},
        {-220434, 0, "", "Termination : A required command line argument has not been supplied. in ../X.\n\n"},
        {-220469, -1, "bye", "Termination : Exit function called in ../X.\nbye\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EXIT(CKelError(c.code, "../X", c.line, c.msg), testing::ExitedWithCode(1), Eq(c.expected));
    }
}

TEST(ErrorHandlerDeathTest, UnrecognisedCodesAbort)
{
    struct Case {
        int code;
        int line;
        const char* expected;
    };
    const Case cases[] = {
        {-220567, 12, "Error unrecognised aborting...\nError code is -220567\nIn file ../X at line 12\n"},
        {-220402, 0, "Error unrecognised aborting...\nError code is -220402\nIn file ../X at line 0\n"},
        {0, -3, "Error unrecognised aborting...\nError code is 0\nIn file ../X at line -3\n"},
        {INT_MAX, 1, "Error unrecognised aborting...\nError code is 2147483647\nIn file ../X at line 1\n"},
    };
    for (const auto& c : cases) {
        ScopedValue<int> level(__Kelvora_Debug_Level, 4);
        EXPECT_EXIT(CKelError(c.code, "../X", c.line, "never shown"), Aborted, Eq(AbortOutput(c.expected)));
    }
}
