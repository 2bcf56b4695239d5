// The emulation's own rules: its errno numbers for failed socket requests, its messages, the
// host name's length and look-up records of the calling thread.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ju.h"
#include "support/Support.h"

#if defined(_WIN32)
#  include <malloc.h>
// Windows Sockets: a closed socket is no socket, a request it does not know is invalid, and a
// listening socket has 0 bytes waiting.
constexpr unsigned long kOtherRequest = 0x12345678;
constexpr int kUnknownRequest = EINVAL;
constexpr int kListening = 0;
#else
#  include <sys/ioctl.h>
constexpr unsigned long kOtherRequest = TIOCGWINSZ;  // a terminal's
constexpr int kUnknownRequest = ju::JU_ENOTSOCK;     // ENOTTY: no such request for the descriptor
constexpr int kListening = ju::JU_ENOTCONN;
#endif

TEST(Ju, TranslatesTheErrnoOfFailedSocketRequests)
{
    StreamPair pair;
    const int listening = LoopbackSocket(SOCK_STREAM);
    std::uint32_t count = 0;
    struct Case {
        std::string what;
        int fd;
        unsigned long request;
        void* arg;
        int expected;  // 0: succeeds
    };
    std::vector<Case> cases = {
        {"bad pointer", pair.reader(), ju::JU_FIONREAD, reinterpret_cast<void*>(8), EFAULT},
        {"request the socket does not serve", pair.reader(), kOtherRequest, &count, kUnknownRequest},
        {"listening socket", listening, ju::JU_FIONREAD, &count, kListening},
    };
    for (const auto& unusable : UnusableDescriptors()) {
        const int expected = unusable.message == "Bad socket descriptor" ? ju::JU_EBADSOCK : ju::JU_ENOTSOCK;
        cases.push_back({unusable.what, unusable.fd, ju::JU_FIONREAD, &count, expected});
    }
    for (const auto& c : cases) {
        errno = 0;
        EXPECT_EQ(c.expected != 0 ? -1 : 0, ju::ioctl(c.fd, c.request, c.arg)) << c.what;
        EXPECT_EQ(c.expected, errno) << c.what;
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
    EXPECT_STREQ("Bad address", ju::strerror_new(EFAULT));
    EXPECT_STREQ(std::strerror(227), ju::strerror_new(227));
    EXPECT_STREQ(std::strerror(237), ju::strerror_new(237));
}

TEST(Ju, HostNameOnlyWhenTheTerminatedNameFits)
{
    const std::string expected = HostName();
    const long size = static_cast<long>(expected.size()) + 1;
    const std::pair<long, int> cases[] = {
        {256, 0}, {size, 0}, {size - 1, ENAMETOOLONG}, {0, EINVAL}, {-1, EINVAL}};
    for (const auto& [length, error] : cases) {
        char buffer[256] = "#";
        errno = 0;
        EXPECT_EQ(error == 0 ? 0 : -1, ju::gethostname_new(buffer, length)) << length;
        EXPECT_EQ(error, errno) << length;
        EXPECT_EQ(error == 0 ? expected : "#", buffer) << length;
    }
}

TEST(Ju, LookUpRecordsBelongToTheCallingThreadAndLookUp)
{
    const protoent* mine = ju::getprotobyname_new("tcp");
    ASSERT_NE(nullptr, mine);
    EXPECT_EQ(mine, ju::getprotobyname_new("tcp"));
    std::string theirs;
    std::thread([&] { theirs = ju::getprotobyname_new("udp")->p_name; }).join();
    EXPECT_EQ("udp", theirs);
    EXPECT_STREQ("tcp", mine->p_name);

    const hostent* byName = ju::gethostbyname_new("localhost");
    const in_addr loopback = Address(htonl(INADDR_LOOPBACK));
    const hostent* byAddress = ju::gethostbyaddr_new(reinterpret_cast<const char*>(&loopback), 4, AF_INET);
    ASSERT_NE(nullptr, byName);
    ASSERT_NE(nullptr, byAddress);
    EXPECT_STREQ("localhost", byName->h_name) << "not overwritten by the other look-up";
}

#if defined(_WIN32)
// Windows has no program break: the top is where the committed memory of the runtime heap's
// first segment ends. It lies above the heap's start, does not fall while the heap grows, and
// nothing can move it.
TEST(Ju, TheHeapTopLiesInTheHeapAndDoesNotFall)
{
    const auto top = reinterpret_cast<std::uintptr_t>(ju::sbrk(0));
    EXPECT_GT(top, static_cast<std::uintptr_t>(::_get_heap_handle()));
    std::vector<void*> blocks;
    for (int i = 0; i < 4096; ++i) {
        blocks.push_back(std::malloc(1024));
    }
    EXPECT_GE(reinterpret_cast<std::uintptr_t>(ju::sbrk(0)), top);
    for (void* block : blocks) {
        std::free(block);
    }
    errno = 0;
    EXPECT_EQ(reinterpret_cast<void*>(-1), ju::sbrk(1));
    EXPECT_EQ(ENOMEM, errno);
}
#endif
