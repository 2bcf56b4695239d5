// The emulation's own rules: its errno numbers for failed socket requests, seen in their
// messages (each message is checked in tests/test_ioctl_double.cpp), and the host name's length.
#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ju.h"
#include "support/Support.h"

#if defined(_WIN32)
#  include <malloc.h>
const char kListening[] = "";  // Windows Sockets: a listening socket has 0 bytes waiting
#else
const char kListening[] = "Socket is not connected";
#endif

TEST(Ju, TranslatesTheErrnoOfFailedSocketRequests)
{
    const int listening = LoopbackSocket(SOCK_STREAM);
    std::vector<Unusable> cases = UnusableDescriptors();
    cases.push_back({"listening socket", listening, kListening});
    for (const auto& c : cases) {
        std::uint32_t count = 0;
        const int rc = ju::ioctl(c.fd, ju::JU_FIONREAD, &count);
        EXPECT_EQ(c.message, rc < 0 ? ju::strerror_new(errno) : "") << c.what;
    }
    char buffer[16];
    int length = 0;
    EXPECT_EQ(-1, ju::junx_recvfrom(ClosedSocket(), buffer, sizeof buffer, 0, nullptr, &length));
    EXPECT_EQ(UnusableDescriptors().front().message, ju::strerror_new(errno));
    CloseSocket(listening);
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
