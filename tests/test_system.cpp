// System and process services: what each call answers.
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "KelPort.h"
#include "KelGlobalsInternal.h"
#include "KelSysInfoInternal.h"
#include "support/Support.h"

TEST(SysInfo, AnswersTheHostNameAndRefusesTheRest)
{
    const std::string name = HostName();
    char buf[256];
    EXPECT_EQ(static_cast<long>(name.size()) + 1, KelSysInfo(E_KSIHostname, buf, sizeof buf));
    EXPECT_EQ(name, buf);
    errno = 0;
    EXPECT_EQ(-1,
              KelSysInfo(E_KSIHostname, buf, static_cast<long>(name.size())));  // no room for the terminator
    EXPECT_EQ(ENAMETOOLONG, errno);
    char* copy = KelGetHostName();
    ASSERT_NE(nullptr, copy);
    EXPECT_EQ(name, copy);
    std::free(copy);

    for (int query = -1; query <= 14; ++query) {
        if (query == E_KSIHostname) {
            continue;
        }
        std::memset(buf, '#', sizeof buf);
        errno = 0;
        testing::internal::CaptureStderr();
        EXPECT_EQ(-1, KelSysInfo(static_cast<EKelSysInfo>(query), buf, sizeof buf)) << query;
        const bool named = query >= 1 && query <= 12;
        EXPECT_EQ(named ? "Call not implemented yet!!!\n" : "", testing::internal::GetCapturedStderr())
            << query;
        EXPECT_EQ(EINVAL, errno) << query;
        EXPECT_EQ(std::string(sizeof buf, '#'), std::string(buf, sizeof buf)) << query;
    }
}

TEST(Process, PidThreadLimitAndTheBuildsIdentity)
{
    EXPECT_STREQ("NT", _JUgetURL_OS());
    EXPECT_EQ(0, _JUgetConsolidatedPatchNum());
    EXPECT_EQ(ProcessId(), KelGetPid());
    for (const int request : {8, 0, -1, INT_MAX, INT_MIN}) {
        EXPECT_EQ(request, KelMaxThreads(request));
    }
}

// What the test program itself offers the system's loader (see tests/CMakeLists.txt).
#if defined(_WIN32)
extern "C" __declspec(dllexport) int kel_test_program_answer()
#else
extern "C" __attribute__((visibility("default"))) int kel_test_program_answer()
#endif
{
    return 7;
}

TEST(DynamicLoading, LoadsFindsAndReleases)
{
    ASSERT_FALSE(IsLoaded(KEL_TEST_PLUGIN));
    HINSTANCE plugin = KelDLOpen(KEL_TEST_PLUGIN, 0);
    ASSERT_NE(nullptr, plugin);
    auto answer = reinterpret_cast<int (*)()>(KelDLSym(plugin, "kel_test_answer"));
    ASSERT_NE(nullptr, answer);
    EXPECT_EQ(42, answer());
    EXPECT_EQ(nullptr, KelDLSym(plugin, "no_such_symbol"));
    for (const int mode : {1, -1, 0x7fffffff}) {  // the mode plays no part
        HINSTANCE again = KelDLOpen(KEL_TEST_PLUGIN, mode);
        EXPECT_EQ(plugin, again) << mode;
        EXPECT_EQ(0, KelDLClose(again));
    }
    EXPECT_EQ(0, KelDLClose(plugin));
    EXPECT_FALSE(IsLoaded(KEL_TEST_PLUGIN)) << "released";

    HINSTANCE math = KelDLOpen(kMathLibrary, 0);
    ASSERT_NE(nullptr, math);
    auto cosine = reinterpret_cast<double (*)(double)>(KelDLSym(math, "cos"));
    ASSERT_NE(nullptr, cosine);
    EXPECT_DOUBLE_EQ(std::cos(0.5), cosine(0.5));
    EXPECT_EQ(0, KelDLClose(math));

    EXPECT_EQ(nullptr, KelDLOpen("/no/such/library.so", 0));
    EXPECT_EQ(nullptr, KelDLOpen(nullptr, 0));
    EXPECT_EQ(reinterpret_cast<void*>(&kel_test_program_answer), KelDLSym(nullptr, "kel_test_program_answer"))
        << "no library: the program itself";
    EXPECT_EQ(nullptr, KelDLSym(nullptr, "no_such_symbol"));
    EXPECT_EQ(-1, KelDLClose(nullptr));
    EXPECT_EQ(nullptr, KelDLError());
}

TEST(Atoll, FollowsTheLibrarysOwnRules)
{
    const std::pair<const char*, long long> cases[] = {
        {"", 0},
        {" \t \t", 0},
        {"42", 42},
        {"  \t-42", -42},
        {"-", 0},
        {"+17", 17},
        {"12abc34", 1234},
        {"1 2 3", 123},
        {"-1-2", -12},
        {"5-", 5},
        {"+-5", 5},
        {"--5", -5},
        {"\n-5", 5},
        {"x-5", 5},
        {"9/:0", 90},  // the characters either side of the digits
        {"\xb3\xff"
         "7\x80",
         7},
        {"9223372036854775808", LLONG_MIN},
        {"-9223372036854775808", LLONG_MIN},
        {"18446744073709551615", -1},
        {"99999999999999999999", 7766279631452241919LL},
        // Longer than what is read in place: the rest goes through the processor's kernel.
        {"- 1 2 3 4 5 6 7 8 9 0 1 2 3 4 5 6 7", -12345678901234567LL},
        {"1234567890123456789012345678901234567890", -5999815502254372142LL},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(expected, KelAtoll(text)) << '"' << text << '"';
    }
}
