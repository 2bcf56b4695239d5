// The emulation's ioctl replaced at link time, for the errno numbers that no real descriptor
// gives on this system. This definition takes the place of the library's.
#include <cerrno>
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "KelIoctl.h"
#include "ju.h"
#include "support/Support.h"

namespace {

int g_failWith = 0;  // the errno that every count request fails with

}  // namespace

int ju::ioctl(int, unsigned long, void*)
{
    errno = g_failWith;
    return -1;
}

// The count requests of the other two families pass a failure on as it is; the socket's own
// request tells a socket that can no longer be used from every other failure, which is fatal.
TEST(IoctlDoubleDeathTest, SixErrnoNumbersAreUnusableSocketsAndTheRestFatal)
{
    std::uint32_t count = 0;
    for (const int error : {228, 229, 230, 231, 232, 235}) {
        g_failWith = error;
        EXPECT_EQ(0, KelGetSocketPacketLength(5)) << error;
        EXPECT_EQ(-1, KelIoctl(5, KEL_SOCKET_N_READ, &count)) << error;
        errno = 0;
        EXPECT_EQ(-1, KelIoctl(5, KEL_I_NREAD, &count)) << error;
        EXPECT_EQ(error, errno);
    }
    for (const int error : {227, 233, 234, 236, EFAULT, EINVAL}) {
        g_failWith = error;
        EXPECT_EQ(-1, KelIoctl(5, KEL_TIOCINQ, &count)) << error;
        EXPECT_EQ(error, errno);
        EXPECT_EXIT(KelGetSocketPacketLength(5), Aborted,
                    testing::Eq(AbortOutput(
                        "Fatal warning : Ioctl failed for function call in ../KelIoctl at line 378.\n" +
                        std::string(ju::strerror_new(error)) + " Aborting ......\n")))
            << error;
    }
    g_failWith = 0;
}
