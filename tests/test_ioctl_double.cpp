// The emulation's ioctl replaced at link time, for the errno numbers that no real descriptor
// gives on this system. This definition takes the place of the library's.
#include <cerrno>
#include <cstdint>
#include <cstring>
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

// The count requests of the other two families pass a failure on as it is. The socket's own
// request reports a socket that can no longer be used and answers 0, and ends the process on
// any other failure; each report ends in the emulation's message for the errno number.
TEST(IoctlDoubleDeathTest, UnusableSocketsAreReportedAndTheRestFatal)
{
    const struct {
        int error;
        bool unusable;
        std::string message;
    } cases[] = {
        {227, false, std::strerror(227)},
        {228, true, "Socket operation on non-socket"},
        {229, true, "Bad socket descriptor"},
        {230, true, "Socket is not connected"},
        {231, true, "Cannot send after socket shutdown"},
        {232, true, "Connection reset by peer"},
        {233, false, "Network is down"},
        {234, false, "Operation now in progress"},
        {235, true, "Software caused connection abort"},
        {236, false, "Network dropped connection on reset"},
        {237, false, std::strerror(237)},
    };
    for (const auto& c : cases) {
        g_failWith = c.error;
        std::uint32_t count = 0;
        errno = 0;
        EXPECT_EQ(-1, KelIoctl(5, c.unusable ? KEL_I_NREAD : KEL_TIOCINQ, &count)) << c.error;
        EXPECT_EQ(c.error, errno) << c.error;
        if (c.unusable) {
            EXPECT_EQ(0, KelGetSocketPacketLength(5)) << c.error;
            EXPECT_EQ("Be aware : Given socket descriptor is invalid. in ../KelIoctl at line 408.\n" +
                          c.message + "\n",
                      Traces(4, [] { KelGetSocketPacketLength(5); }).back())
                << c.error;
        } else {
            EXPECT_EXIT(KelGetSocketPacketLength(5), Aborted,
                        testing::Eq(AbortOutput(
                            "Fatal warning : Ioctl failed for function call in ../KelIoctl at line 378.\n" +
                            c.message + " Aborting ......\n")))
                << c.error;
        }
    }
}
