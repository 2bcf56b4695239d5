#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ju.h"
#include "support/Sockets.h"

namespace {

// A descriptor that closes itself.
class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

}  // namespace

TEST(JuIoctl, TranslatesTheErrnoOfUnusableDescriptors)
{
    Fd directory(::open("/", O_RDONLY | O_DIRECTORY));
    Fd listening(ListeningTcp());
    int pair[2];
    ASSERT_EQ(0, ::socketpair(AF_UNIX, SOCK_STREAM, 0, pair));
    Fd reader(pair[0]), writer(pair[1]);
    const int closed = ClosedDescriptor();

    struct Case {
        const char* what;
        int fd;
        unsigned long request;
        void* arg;
        int expectedErrno;
    };
    std::uint32_t count = 0;
    const Case cases[] = {
        {"closed descriptor", closed, ju::JU_FIONREAD, &count, ju::JU_EBADSOCK},
        {"directory", directory.get(), ju::JU_FIONREAD, &count, ju::JU_ENOTSOCK},
        {"listening socket", listening.get(), ju::JU_FIONREAD, &count, ju::JU_ENOTCONN},
        {"bad pointer", reader.get(), ju::JU_FIONREAD, reinterpret_cast<void*>(8), EFAULT},
        {"request the socket does not serve", reader.get(), TIOCGWINSZ, &count, ju::JU_ENOTSOCK},
    };
    for (const auto& c : cases) {
        errno = 0;
        EXPECT_EQ(-1, ju::ioctl(c.fd, c.request, c.arg)) << c.what;
        EXPECT_EQ(c.expectedErrno, errno) << c.what;
    }
}

TEST(JuRecvFrom, TranslatesSocketErrorsOnly)
{
    Fd listening(ListeningTcp());
    Fd client(::socket(AF_INET, SOCK_STREAM, 0));
    const sockaddr_in to = Loopback(PortOf(listening.get()));
    ASSERT_EQ(0, ::connect(client.get(), reinterpret_cast<const sockaddr*>(&to), sizeof to));
    const int closed = ClosedDescriptor();

    struct Case {
        const char* what;
        int fd;
        int flags;
        int expectedErrno;
    };
    const Case cases[] = {
        {"closed descriptor", closed, 0, ju::JU_EBADSOCK},
        {"listening socket", listening.get(), 0, ju::JU_ENOTCONN},
        // EINVAL means a listening socket only for FIONREAD; here it stays itself.
        {"no urgent data", client.get(), MSG_OOB, EINVAL},
    };
    for (const auto& c : cases) {
        char buffer[16];
        int length = 0;
        errno = 0;
        EXPECT_EQ(-1, ju::junx_recvfrom(c.fd, buffer, sizeof buffer, c.flags, nullptr, &length)) << c.what;
        EXPECT_EQ(c.expectedErrno, errno) << c.what;
    }
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
        {4321, "Unknown error 4321"},
    };
    for (const auto& [errnum, message] : cases) {
        EXPECT_STREQ(message, ju::strerror_new(errnum)) << errnum;
    }
}

TEST(JuGetHostName, SucceedsOnlyWhenTheTerminatedNameFits)
{
    char expected[256] = {};
    ASSERT_EQ(0, ::gethostname(expected, sizeof expected - 1));
    const long size = static_cast<long>(std::strlen(expected)) + 1;

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
            EXPECT_STREQ(expected, buffer);
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
    const in_addr loopback{htonl(INADDR_LOOPBACK)};
    const hostent* byAddress = ju::gethostbyaddr_new(reinterpret_cast<const char*>(&loopback), 4, AF_INET);
    EXPECT_NE(byName, byAddress);
}
