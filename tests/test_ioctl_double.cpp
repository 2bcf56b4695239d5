// The emulation's ioctl and host name replaced at link time: for the errno numbers that no
// real descriptor gives on this system, and for a name that fills its buffer without a
// terminating zero, as a system may leave it. These definitions take the place of the library's.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "KelIoctl.h"
#include "KelSysInfoInternal.h"
#include "ju.h"
#include "support/Support.h"

namespace {

std::vector<unsigned long> g_requests;
int g_failWith = 0;  // the errno of a failure, or 0 to succeed and store 7
bool g_noHostName = false;

}  // namespace

int ju::ioctl(int fd, unsigned long request, void* arg)
{
    g_requests.push_back(fd == 5 ? request : 0);
    if (g_failWith != 0) {
        errno = g_failWith;
        return -1;
    }
    *static_cast<std::uint32_t*>(arg) = 7;
    return 0;
}

int ju::gethostname_new(char* buf, long len)
{
    if (g_noHostName) {
        errno = ENAMETOOLONG;
        return -1;
    }
    const char name[] = {'f', 'u', 'l', 'l'};
    std::memcpy(buf, name, std::min(sizeof name, static_cast<std::size_t>(len)));
    return 0;
}

TEST(HostNameDouble, AnUnterminatedNameEndsWhereItEnds)
{
    char* name = KelGetHostName();
    EXPECT_STREQ("full", name);
    std::free(name);
    // No name to be had: no block either (a leak checker sees one kept).
    ScopedValue<bool> noName(g_noHostName, true);
    EXPECT_EQ(nullptr, KelGetHostName());
}

TEST(IoctlDouble, RoutedRequestsIssueTheEmulationsCountOnce)
{
    for (const KelIoctlEnum request : {KEL_I_NREAD, KEL_TIOCINQ, KEL_SOCKET_N_READ}) {
        g_requests.clear();
        std::uint32_t count = 0;
        EXPECT_EQ(0, KelIoctl(5, request, &count));
        EXPECT_EQ(7u, count);
        EXPECT_EQ(std::vector<unsigned long>{0x4004667FUL}, g_requests) << request;
    }
    // Failures of the other two families pass on as they are, unreported.
    g_failWith = ju::JU_ENETDOWN;
    std::uint32_t count = 0;
    EXPECT_EQ(std::vector<std::string>{}, Traces(3, [&] {
                  EXPECT_EQ(-1, KelIoctl(5, KEL_I_NREAD, &count));
                  EXPECT_EQ(ju::JU_ENETDOWN, errno);
                  EXPECT_EQ(-1, KelIoctl(5, KEL_TIOCINQ, &count));
              }));
    g_failWith = 0;
}

TEST(IoctlDoubleDeathTest, SixErrnoNumbersAreUnusableSocketsAndTheRestFatal)
{
    const std::string invalid = "Be aware : Given socket descriptor is invalid. in ../KelIoctl at line ";
    for (const int error : {228, 229, 230, 231, 232, 235}) {
        g_failWith = error;
        const std::string message = ju::strerror_new(error);
        EXPECT_EQ((std::vector<std::string>{"KelGetSocketPacketLength(5)\n", "KelIoctl()\n",
                                            "KelIoctl_PktLen()\n", invalid + "372.\n" + message + "\n",
                                            invalid + "408.\n" + message + "\n"}),
                  Traces(4, [] { EXPECT_EQ(0, KelGetSocketPacketLength(5)); }))
            << error;
        std::uint32_t count = 0;
        EXPECT_EQ(-1, KelIoctl(5, KEL_SOCKET_N_READ, &count)) << error;
    }
    for (const int error : {227, 233, 234, 236, EFAULT, EINVAL}) {
        g_failWith = error;
        EXPECT_EXIT(KelGetSocketPacketLength(5), Aborted,
                    testing::Eq(AbortOutput(
                        "Fatal warning : Ioctl failed for function call in ../KelIoctl at line 378.\n" +
                        std::string(ju::strerror_new(error)) + " Aborting ......\n")))
            << error;
    }
    g_failWith = 0;
}
