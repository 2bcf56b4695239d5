// The emulation's own rules: its errno numbers for failed socket requests, its messages, the
// host name's length and look-up records of the calling thread.
#include <cerrno>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ju.h"
#include "support/System.h"

#if defined(_WIN32)
// Windows Sockets: a closed socket is no socket, a request it does not know is invalid.
constexpr int kClosed = ju::JU_ENOTSOCK;
constexpr unsigned long kOtherRequest = 0x12345678;
constexpr int kUnknownRequest = EINVAL;
constexpr bool kListeningSocketCounts = true;
#else
#include <sys/ioctl.h>
constexpr int kClosed = ju::JU_EBADSOCK;
constexpr unsigned long kOtherRequest = TIOCGWINSZ;  // a terminal's
constexpr int kUnknownRequest = ju::JU_ENOTSOCK;  // ENOTTY: no such request for the descriptor
constexpr bool kListeningSocketCounts = false;
#endif

// What each system's socket layer says of a descriptor that cannot serve a request.
TEST(JuIoctl, TranslatesTheErrnoOfUnusableDescriptors)
{
    StreamPair pair;
    const int listening = LoopbackSocket(SOCK_STREAM);
    struct Case {
        std::string what;
        int fd;
        unsigned long request;
        void* arg;
        int expectedErrno;
    };
    std::uint32_t count = 0;
    std::vector<Case> cases = {
        {"bad pointer", pair.reader(), ju::JU_FIONREAD, reinterpret_cast<void*>(8), EFAULT},
        {"request the socket does not serve", pair.reader(), kOtherRequest, &count, kUnknownRequest},
    };
    const auto unusable = UnusableDescriptors();
    for (const auto& descriptor : unusable) {
        const int expected = descriptor.message == "Bad socket descriptor" ? ju::JU_EBADSOCK : ju::JU_ENOTSOCK;
        cases.push_back({descriptor.what, descriptor.fd, ju::JU_FIONREAD, &count, expected});
    }
    for (const auto& c : cases) {
        errno = 0;
        EXPECT_EQ(-1, ju::ioctl(c.fd, c.request, c.arg)) << c.what;
        EXPECT_EQ(c.expectedErrno, errno) << c.what;
    }
    // A listening socket has no data: POSIX systems refuse the count, Windows gives 0.
    count = 7;
    const int rc = ju::ioctl(listening, ju::JU_FIONREAD, &count);
    if (kListeningSocketCounts) {
        EXPECT_EQ(0, rc);
        EXPECT_EQ(0u, count);
    } else {
        EXPECT_EQ(-1, rc);
        EXPECT_EQ(ju::JU_ENOTCONN, errno);
    }
    CloseSocket(listening);
    CloseDescriptors(unusable);
}

TEST(JuRecvFrom, TranslatesSocketErrorsOnly)
{
    char buffer[16];
    int length = 0;
    errno = 0;
    EXPECT_EQ(-1, ju::junx_recvfrom(ClosedSocket(), buffer, sizeof buffer, 0, nullptr, &length));
    EXPECT_EQ(kClosed, errno);
}

TEST(JuStrerror, GivesTheEmulationsMessagesAndTheSystemsOwn)
{
    const std::pair<int, const char*> cases[] = {
        {228, "Socket operation on non-socket"},
        {229, "Bad socket descriptor"},
        {230, "Socket is not connected"},
        {231, "Cannot send after socket shutdown"},
        {232, "Connection reset by peer"},
        {233, "Network is down"},
        {234, "Operation now in progress"},
        {235, "Software caused connection abort"},
        {236, "Network dropped connection on reset"},
        {ENOENT, "No such file or directory"},
        {EFAULT, "Bad address"},
#if !defined(_WIN32)
        {4321, "Unknown error 4321"},
#endif
    };
    for (const auto& [errnum, message] : cases) {
        EXPECT_STREQ(message, ju::strerror_new(errnum)) << errnum;
    }
}

TEST(JuGetHostName, SucceedsOnlyWhenTheTerminatedNameFits)
{
    const std::string expected = HostName();
    const long size = static_cast<long>(expected.size()) + 1;

    struct Case {
        long length;
        int result;
        int expectedErrno;
    };
    const Case cases[] = {
        {256, 0, 0}, {size, 0, 0}, {size - 1, -1, ENAMETOOLONG}, {1, -1, ENAMETOOLONG},
        {0, -1, EINVAL}, {-1, -1, EINVAL},
    };
    for (const auto& c : cases) {
        char buffer[256];
        std::memset(buffer, '#', sizeof buffer);
        errno = 0;
        ASSERT_EQ(c.result, ju::gethostname_new(buffer, c.length)) << "length " << c.length;
        if (c.result == 0) {
            EXPECT_EQ(expected, buffer);
        } else {
            EXPECT_EQ(c.expectedErrno, errno) << "length " << c.length;
        }
    }
}

TEST(JuLookups, RecordsBelongToTheCallingThread)
{
    const protoent* mine = ju::getprotobyname_new("tcp");
    ASSERT_NE(nullptr, mine);
    EXPECT_EQ(mine, ju::getprotobyname_new("tcp"));  // the same record, overwritten

    const protoent* theirs = nullptr;
    std::string theirName;
    std::thread([&] {
        theirs = ju::getprotobyname_new("udp");
        theirName = theirs != nullptr ? theirs->p_name : "";
    }).join();
    EXPECT_NE(mine, theirs);
    EXPECT_EQ("udp", theirName);
    EXPECT_STREQ("tcp", mine->p_name);
    EXPECT_EQ(6, mine->p_proto);

    // Different look-ups keep different records on one thread.
    const hostent* byName = ju::gethostbyname_new("localhost");
    const in_addr loopback = Address(htonl(INADDR_LOOPBACK));
    const hostent* byAddress = ju::gethostbyaddr_new(reinterpret_cast<const char*>(&loopback), 4, AF_INET);
    EXPECT_NE(byName, byAddress);
}
