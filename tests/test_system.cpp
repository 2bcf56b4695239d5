// System and process services: what each call answers.
#include <cerrno>
#include <cmath>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "KelPort.h"
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

    // The queries that are not served leave the buffer as it was.
    for (const int query : {-1, 1, 12, 14}) {
        std::memset(buf, '#', sizeof buf);
        testing::internal::CaptureStderr();
        EXPECT_EQ(-1, KelSysInfo(static_cast<EKelSysInfo>(query), buf, sizeof buf)) << query;
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::string(sizeof buf, '#'), std::string(buf, sizeof buf)) << query;
    }
}

TEST(Process, PidIsThisProcesss)
{
    EXPECT_EQ(ProcessId(), KelGetPid());
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
