// The emulation's ioctl replaced at link time, for the errno numbers that no real descriptor
// gives on this system. This definition takes the place of the library's.
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "KelDebug.h"
#include "KelIoctl.h"
#include "ju.h"
#include "support/System.h"
#include "support/TraceCapture.h"

using testing::ElementsAre;
using testing::IsEmpty;

namespace {

struct Call {
    int fd;
    unsigned long request;
    void* arg;
    bool operator==(const Call& other) const
    {
        return fd == other.fd && request == other.request && arg == other.arg;
    }
};

std::vector<Call> g_calls;
int g_failWith = 0;           // the errno of a failure, or 0 to succeed
std::uint32_t g_waiting = 7;  // the count a success stores

}  // namespace

int ju::ioctl(int fd, unsigned long request, void* arg)
{
    g_calls.push_back({fd, request, arg});
    if (g_failWith != 0) {
        errno = g_failWith;
        return -1;
    }
    *static_cast<std::uint32_t*>(arg) = g_waiting;
    return 0;
}

class IoctlDouble : public testing::Test {
protected:
    void SetUp() override
    {
        g_calls.clear();
        g_failWith = 0;
    }
};

TEST_F(IoctlDouble, RoutedRequestsIssueTheEmulationsRequestOnce)
{
    for (const KelIoctlEnum request : {KEL_I_NREAD, KEL_TIOCINQ, KEL_SOCKET_N_READ}) {
        g_calls.clear();
        std::uint32_t count = 0;
        EXPECT_EQ(0, KelIoctl(5, request, &count));
        EXPECT_EQ(7u, count);
        EXPECT_THAT(g_calls, ElementsAre(Call{5, 0x4004667FUL, &count})) << request;
    }
    g_calls.clear();
    std::uint32_t count = 0;
    EXPECT_EQ(-1, KelIoctl(5, KEL_FIONREAD, &count));
    EXPECT_EQ(-1, KelIoctl(5, static_cast<KelIoctlEnum>(49), &count));
    EXPECT_THAT(g_calls, IsEmpty()) << "refused requests reach the platform";
}

TEST_F(IoctlDouble, OtherFamiliesPassFailuresOnWithoutAReport)
{
    ScopedValue<int> level(__Kelvora_Debug_Level, 4);
    g_failWith = ju::JU_ENETDOWN;
    TraceCapture capture;
    std::uint32_t count = 0;
    errno = 0;
    EXPECT_EQ(-1, KelIoctl(5, KEL_I_NREAD, &count));
    EXPECT_EQ(ju::JU_ENETDOWN, errno);
    EXPECT_EQ(-1, KelIoctl(5, KEL_TIOCINQ, &count));
    EXPECT_EQ(ju::JU_ENETDOWN, errno);
    EXPECT_THAT(capture.Texts(), ElementsAre("KelIoctl()\n", "KelIoctl_I()\n", "KelIoctl()\n", "KelIoctl_TIOC()\n"));
}

TEST_F(IoctlDouble, UnusableSocketsGiveZeroWithTwoReports)
{
    for (const int error : {228, 229, 230, 231, 232, 235}) {
        g_failWith = error;
        ScopedValue<int> level(__Kelvora_Debug_Level, 4);
        TraceCapture capture;
        EXPECT_EQ(0, KelGetSocketPacketLength(5)) << error;
        const std::string report = "Be aware : Given socket descriptor is invalid. in ../KelIoctl at line ";
        const std::string message = ju::strerror_new(error);
        EXPECT_THAT(capture.Texts(), ElementsAre("KelGetSocketPacketLength(5)\n", "KelIoctl()\n", "KelIoctl_PktLen()\n",
                                                 report + "372.\n" + message + "\n", report + "408.\n" + message + "\n"))
            << error;
        std::uint32_t count = 0;
        EXPECT_EQ(-1, KelIoctl(5, KEL_SOCKET_N_READ, &count)) << error;
    }
}

TEST_F(IoctlDouble, UnusableSocketsAreSilentBelowLevelFour)
{
    g_failWith = ju::JU_ECONNABORTED;
    ScopedValue<int> level(__Kelvora_Debug_Level, 3);
    TraceCapture capture;
    EXPECT_EQ(0, KelGetSocketPacketLength(5));
    EXPECT_THAT(capture.Records(), IsEmpty());
}

using IoctlDoubleDeathTest = IoctlDouble;

TEST_F(IoctlDoubleDeathTest, EveryOtherFailureIsFatal)
{
    const std::pair<int, const char*> cases[] = {
        {233, "Network is down"},
        {234, "Operation now in progress"},
        {236, "Network dropped connection on reset"},
        {EFAULT, "Bad address"},
        {EINVAL, "Invalid argument"},
    };
    for (const auto& [error, message] : cases) {
        g_failWith = error;
        EXPECT_EXIT(KelGetSocketPacketLength(5), Aborted,
                    testing::Eq(AbortOutput(std::string("Fatal warning : Ioctl failed for function call in "
                                                        "../KelIoctl at line 378.\n") + message + " Aborting ......\n")))
            << error;
    }
}
