#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "KelAtoll.h"
#include "KelDL.h"
#include "KelDebug.h"
#include "KelProcess.h"
#include "KelSysInfo.h"
#include "KelSysInfoInternal.h"
#include "KelThreads.h"
#include "support/System.h"
#include "support/TraceCapture.h"

using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::IsEmpty;

TEST(SysInfo, AnswersTheHostNameWithItsLengthAndTerminator)
{
    ScopedValue<int> level(__Kelvora_Debug_Level, 4);
    TraceCapture capture;
    const std::string expected = HostName();
    char buf[256];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(static_cast<long>(expected.size()) + 1, KelSysInfo(E_KSIHostname, buf, sizeof buf));
    EXPECT_EQ(expected, std::string(buf));
    EXPECT_THAT(capture.Texts(), ElementsAre("KelSysInfo()\n"));

    // The whole terminated name must fit.
    errno = 0;
    EXPECT_EQ(-1, KelSysInfo(E_KSIHostname, buf, static_cast<long>(expected.size())));
    EXPECT_EQ(ENAMETOOLONG, errno);
}

TEST(SysInfo, RefusesEveryOtherQuery)
{
    for (int query = -1; query <= 14; ++query) {
        if (query == E_KSIHostname) {
            continue;
        }
        char buf[16];
        std::memset(buf, '#', sizeof buf);
        errno = 0;
        testing::internal::CaptureStderr();
        const long result = KelSysInfo(static_cast<EKelSysInfo>(query), buf, sizeof buf);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(-1, result) << query;
        EXPECT_EQ(EINVAL, errno) << query;
        EXPECT_EQ(std::string(16, '#'), std::string(buf, sizeof buf)) << query;
        const bool named = query >= 1 && query <= 12;
        EXPECT_EQ(named ? "Call not implemented yet!!!\n" : "", err) << query;
    }
}

TEST(SysInfo, GetHostNameTracesItselfThenTheQuery)
{
    ScopedValue<int> level(__Kelvora_Debug_Level, 4);
    TraceCapture capture;
    char* name = KelGetHostName();
    ASSERT_NE(nullptr, name);
    EXPECT_EQ(HostName(), name);
    std::free(name);
    EXPECT_THAT(capture.Texts(), ElementsAre("KelGetHostName()\n", "KelSysInfo()\n"));
}

TEST(Process, ForkTracesOnceBeforeForking)
{
    ScopedValue<int> level(__Kelvora_Debug_Level, 4);
    // Every record, from parent or child, goes down one pipe.
    int records[2];
    ASSERT_EQ(0, OpenPipe(records));
    JuZadTrc::SetRecordHandler([&records](const JuZadTrc::Record& r) { WriteAll(records[1], r.text); });
    errno = 0;
    const int pid = KelFork();
    if (pid == 0) {
        EndChild(42);
    }
    const int error = errno;
    JuZadTrc::SetRecordHandler(nullptr);
    if (kHasFork) {
        ASSERT_GT(pid, 0);
        EXPECT_EQ(42, WaitForChild(pid));
    } else {
        EXPECT_EQ(-1, pid);
        EXPECT_EQ(ENOSYS, error);
    }
    EXPECT_EQ("KelFork()\n", ReadToEnd(records));
}

TEST(Process, GetPidIsTheProcessIdAndTracesNothing)
{
    ScopedValue<int> level(__Kelvora_Debug_Level, 4);
    TraceCapture capture;
    EXPECT_EQ(ProcessId(), KelGetPid());
    EXPECT_EQ(KelGetPid(), KelGetPid());
    EXPECT_THAT(capture.Records(), IsEmpty());
}

TEST(Threads, GrantsEveryRequestAndTracesItAtLevelFour)
{
    for (const int request : {8, 0, -1, INT_MAX, INT_MIN}) {
        ScopedValue<int> level(__Kelvora_Debug_Level, 4);
        TraceCapture capture;
        EXPECT_EQ(request, KelMaxThreads(request));
        const std::string value = std::to_string(request);
        EXPECT_THAT(capture.Texts(), ElementsAre("../KelThreads:65 KelMaxThreads -w- request = " + value + "\n",
                                                 "../KelThreads:124 Returning value of " + value + "\n"));
    }
    ScopedValue<int> level(__Kelvora_Debug_Level, 3);
    TraceCapture capture;
    EXPECT_EQ(8, KelMaxThreads(8));
    EXPECT_THAT(capture.Records(), IsEmpty());
}

TEST(DynamicLoading, LoadsLibrariesAndFindsTheirSymbols)
{
    HINSTANCE plugin = KelDLOpen(KEL_TEST_PLUGIN, 0);
    ASSERT_NE(nullptr, plugin);
    auto answer = reinterpret_cast<int (*)()>(KelDLSym(plugin, "kel_test_answer"));
    ASSERT_NE(nullptr, answer);
    EXPECT_EQ(42, answer());

    HINSTANCE math = KelDLOpen(kMathLibrary, 0);
    ASSERT_NE(nullptr, math);
    auto cosine = reinterpret_cast<double (*)(double)>(KelDLSym(math, "cos"));
    ASSERT_NE(nullptr, cosine);
    EXPECT_DOUBLE_EQ(std::cos(0.5), cosine(0.5));

    // The mode plays no part: every value gives the library already loaded.
    for (const int mode : {1, 2, -1, 0x7fffffff}) {
        HINSTANCE again = KelDLOpen(KEL_TEST_PLUGIN, mode);
        EXPECT_EQ(plugin, again) << mode;
        EXPECT_EQ(0, KelDLClose(again));
    }
    EXPECT_EQ(0, KelDLClose(math));
    EXPECT_EQ(0, KelDLClose(plugin));
    EXPECT_EQ(-1, KelDLClose(nullptr));
    EXPECT_EQ(nullptr, KelDLError());
}

TEST(DynamicLoading, TracesAndReportsByDebugLevel)
{
    const std::string openPlugin = std::string("Inside KelDLOpen( ") + KEL_TEST_PLUGIN + " ) \n";
    const std::string missingFile =
        "Possible threat to execution : A required dynamic library file is missing. in ../KelDL at line 44.\n\n";
    const std::string missingSymbol = "Possible threat to execution : The requested symbol does not exist within "
                                      "the dynamic library. in ../KelDL at line 171\n";
    struct Case {
        int level;
        std::vector<std::string> open, openMissing, symbol, symbolMissing;
    };
    const Case cases[] = {
        {0, {}, {}, {}, {}},
        {1, {}, {}, {missingFile}, {missingSymbol}},
        {2,
         {openPlugin, "KelDLOpen returning successfully\n"},
         {"Inside KelDLOpen( /no/such/library.so ) \n", missingFile},
         {"Inside KelDLSym\n"},
         {"Inside KelDLSym\n", missingSymbol}},
        {4,
         {openPlugin, "KelDLOpen returning successfully\n"},
         {"Inside KelDLOpen( /no/such/library.so ) \n", missingFile},
         {"Inside KelDLSym\n"},
         {"Inside KelDLSym\n", "KelDLSym: missing symbol no_such_symbol\n", missingSymbol}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "debug level " << c.level);
        ScopedValue<int> level(__Kelvora_Debug_Level, c.level);
        HINSTANCE plugin = nullptr;
        {
            TraceCapture capture;
            plugin = KelDLOpen(KEL_TEST_PLUGIN, 0);
            EXPECT_THAT(capture.Texts(), ElementsAreArray(c.open));
        }
        {
            TraceCapture capture;
            EXPECT_EQ(nullptr, KelDLOpen("/no/such/library.so", 0));
            // Level 1 shows the sick report without the level-2 trace.
            EXPECT_THAT(capture.Texts(), ElementsAreArray(c.level == 1 ? c.symbol : c.openMissing));
        }
        {
            TraceCapture capture;
            EXPECT_NE(nullptr, KelDLSym(plugin, "kel_test_answer"));
            EXPECT_THAT(capture.Texts(), ElementsAreArray(c.level == 1 ? std::vector<std::string>{} : c.symbol));
        }
        {
            TraceCapture capture;
            EXPECT_EQ(nullptr, KelDLSym(plugin, "no_such_symbol"));
            EXPECT_THAT(capture.Texts(), ElementsAreArray(c.symbolMissing));
        }
        EXPECT_EQ(0, KelDLClose(plugin));
    }
}

TEST(Atoll, FollowsTheLibrarysOwnRules)
{
    const std::pair<const char*, long long> cases[] = {
        {"", 0},
        {" \t \t", 0},
        {"42", 42},
        {"  \t-42", -42},
        {"-0", 0},
        {"-", 0},
        {"+17", 17},
        {"12abc34", 1234},
        {"1,000,000", 1000000},
        {"1 2 3", 123},
        {"3.9", 39},
        {"-1-2", -12},
        {"5-", 5},
        {"+-5", 5},
        {"--5", -5},
        {"\n-5", 5},
        {"\v-5", 5},
        {"x-5", 5},
        {"\xb3\xff" "7\x80", 7},
        {"9223372036854775807", LLONG_MAX},
        {"9223372036854775808", LLONG_MIN},
        {"-9223372036854775808", LLONG_MIN},
        {"18446744073709551615", -1},
        {"18446744073709551616", 0},
        {"99999999999999999999", 7766279631452241919LL},
        {"1234567890123456789012345678901234567890", -5999815502254372142LL},
        {"- 1 2 3 4 5 6 7 8 9 0 1 2 3 4 5 6 7", -12345678901234567LL},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(expected, KelAtoll(text)) << '"' << text << '"';
    }
}
