// The emulation's own rules: its errno numbers for failed socket requests, its messages and
// the host name's length.
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "ju.h"
#include "support/Support.h"

#if defined(_WIN32)
#  include <malloc.h>
constexpr int kListening = 0;  // Windows Sockets: a listening socket has 0 bytes waiting
#else
constexpr int kListening = ju::JU_ENOTCONN;
#endif

TEST(Ju, TranslatesTheErrnoOfFailedSocketRequests)
{
    const int listening = LoopbackSocket(SOCK_STREAM);
    std::vector<std::tuple<std::string, int, int>> cases = {{"listening socket", listening, kListening}};
    for (const auto& unusable : UnusableDescriptors()) {
        const int expected = unusable.message == "Bad socket descriptor" ? ju::JU_EBADSOCK : ju::JU_ENOTSOCK;
        cases.emplace_back(unusable.what, unusable.fd, expected);
    }
    for (const auto& [what, fd, expected] : cases) {
        std::uint32_t count = 0;
        errno = 0;
        EXPECT_EQ(expected != 0 ? -1 : 0, ju::ioctl(fd, ju::JU_FIONREAD, &count)) << what;
        EXPECT_EQ(expected, errno) << what;
    }
    char buffer[16];
    int length = 0;
    EXPECT_EQ(-1, ju::junx_recvfrom(ClosedSocket(), buffer, sizeof buffer, 0, nullptr, &length));
    EXPECT_EQ(UnusableDescriptors().front().message, ju::strerror_new(errno));
    CloseSocket(listening);
}

TEST(Ju, MessagesAreTheEmulationsAndTheSystemsOwn)
{
    const char* const ours[] = {"Socket operation on non-socket",
                                "Bad socket descriptor",
                                "Socket is not connected",
                                "Cannot send after socket shutdown",
                                "Connection reset by peer",
                                "Network is down",
                                "Operation now in progress",
                                "Software caused connection abort",
                                "Network dropped connection on reset"};
    for (int errnum = 228; errnum <= 236; ++errnum) {
        EXPECT_STREQ(ours[errnum - 228], ju::strerror_new(errnum)) << errnum;
    }
    EXPECT_STREQ(std::strerror(227), ju::strerror_new(227));
    EXPECT_STREQ(std::strerror(237), ju::strerror_new(237));
}

TEST(Ju, HostNameOnlyWhenTheTerminatedNameFits)
{
    const std::string expected = HostName();
    const long size = static_cast<long>(expected.size()) + 1;
    const std::pair<long, int> cases[] = {{size, 0}, {size - 1, ENAMETOOLONG}, {0, EINVAL}, {-1, EINVAL}};
    for (const auto& [length, error] : cases) {
        char buffer[256] = "#";
        errno = 0;
        EXPECT_EQ(error == 0 ? 0 : -1, ju::gethostname_new(buffer, length)) << length;
        EXPECT_EQ(error, errno) << length;
        EXPECT_EQ(error == 0 ? expected : "#", buffer) << length;
    }
}

#if defined(_WIN32)
// Windows has no program break: the top is where the committed memory of the runtime heap's
// first segment ends, above the heap's start.
TEST(Ju, TheHeapTopLiesAboveTheHeapsStart)
{
    EXPECT_GT(reinterpret_cast<std::uintptr_t>(ju::sbrk(0)),
              static_cast<std::uintptr_t>(::_get_heap_handle()));
}
#endif
