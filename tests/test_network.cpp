// Network services: the portable ioctl and packet length, address text, the socket
// wrappers and the Ethernet header.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CKelEtherHeader.h"
#include "KelIoctl.h"
#include "KelIoctlInternal.h"
#include "KelNetwork.h"
#include "KelNetworkInternal.h"
#include "support/Support.h"

namespace {

// The block is 16 bytes: the text, then zeros to its end.
std::string Text(char* block)
{
    std::string text(block);
    EXPECT_EQ(std::string(16 - text.size(), '\0'), std::string(block + text.size(), 16 - text.size()))
        << text;
    std::free(block);
    return text;
}

std::vector<unsigned char> Bytes(unsigned char* block, std::size_t size)
{
    std::vector<unsigned char> bytes(block, block + size);
    std::free(block);
    return bytes;
}

}  // namespace

TEST(Ioctl, CountsWaitingBytesAndRefusesTheRest)
{
    StreamPair pair;
    EXPECT_EQ(0, KelGetSocketPacketLength(pair.reader()));
    pair.Send("0123456789");
    EXPECT_EQ(10, KelGetSocketPacketLength(pair.reader()));
    for (const KelIoctlEnum request : {KEL_I_NREAD, KEL_TIOCINQ, KEL_SOCKET_N_READ}) {
        std::uint32_t count = 0;
        EXPECT_EQ(0, KelIoctl(pair.reader(), request, &count)) << request;
        EXPECT_EQ(10u, count) << request;
    }
    for (const int request : {+KEL_I_PUSH, +KEL_I_LOOK, +KEL_SIOCGIFCONF, +KEL_SIOCGARP, +KEL_FIONREAD, 0, 7,
                              31, 34, 47, 49, -1, INT_MAX}) {
        std::uint32_t count = 12345;
        errno = 0;
        EXPECT_EQ(-1, KelIoctl(pair.reader(), static_cast<KelIoctlEnum>(request), &count)) << request;
        EXPECT_EQ(EINVAL, errno) << request;
        EXPECT_EQ(12345u, count) << request;
    }
    EXPECT_EQ("0123456789", pair.Receive(16)) << "nothing taken from the socket";

    // The families serve only their own requests; two of them leave errno alone.
    std::uint32_t count = 0;
    errno = 0;
    EXPECT_EQ(-1, KelIoctl_TIOC(pair.reader(), KEL_I_NREAD, &count));
    EXPECT_EQ(EINVAL, errno);
    errno = 0;
    EXPECT_EQ(-1, KelIoctl_SIOC(pair.reader(), KEL_SIOCGIFFLAGS, &count));
    EXPECT_EQ(EINVAL, errno);
    errno = 1234;
    EXPECT_EQ(-1, KelIoctl_FION(pair.reader(), KEL_FIONREAD, &count));
    EXPECT_EQ(-1, KelIoctl_ArpReq(pair.reader(), &count));
    EXPECT_EQ(1234, errno);
}

TEST(Ioctl, UnusableSocketsGiveZero)
{
    for (const auto& unusable : UnusableDescriptors()) {
        std::uint32_t count = 0;
        EXPECT_EQ(0, KelGetSocketPacketLength(unusable.fd)) << unusable.what;
        EXPECT_LT(KelIoctl(unusable.fd, KEL_SOCKET_N_READ, &count), 0) << unusable.what;
    }
}

TEST(IoctlDeathTest, OtherFailuresAndStrayRequestsAreFatal)
{
    StreamPair pair;
    EXPECT_EXIT(
        KelIoctl(pair.reader(), KEL_SOCKET_N_READ, reinterpret_cast<void*>(8)), Aborted,
        testing::Eq(AbortOutput("Fatal warning : Ioctl failed for function call in ../KelIoctl at line 378.\n"
                                "Bad address Aborting ......\n")));
    ScopedValue<int> level(__Kelvora_Debug_Level, 2);
    JuZadTrc::SetRecordHandler([](const JuZadTrc::Record& r) { std::fputs(r.text, stderr); });
    EXPECT_EXIT(KelIoctl_I(0, KEL_I_PUSH, nullptr), Aborted,
                testing::Eq(AbortOutput(
                    "Non KEL_I_ ioctl passed to KelIoctl_I function!\n"
                    "Fatal warning : A generic fatal error has occured in ../KelIoctl at line 195 "
                    "Aborting ......\n")));
    JuZadTrc::SetRecordHandler(nullptr);
}

TEST(AddressText, BothWays)
{
    const in_addr tenOneTwoThree = Address(htonl(0x0A010203));
    EXPECT_EQ("10.1.2.3", Text(KelGetIPStr(tenOneTwoThree)));
    EXPECT_EQ("10.1.2.3", Text(KelGetIPStr(static_cast<unsigned long>(tenOneTwoThree.s_addr))));
    EXPECT_EQ("10.1.2.3", Text(KelGetIPStrH(Address(0x0A010203))));
    EXPECT_EQ("0.0.0.0", Text(KelGetIPStr(0UL)));
    const auto high = static_cast<unsigned long>(0xFFFF000000000000ULL);  // where unsigned long has them
    EXPECT_EQ("10.1.2.3", Text(KelGetIPStr(high | tenOneTwoThree.s_addr)));
    char* broadcast = KelGetIPStr(0xFFFFFFFFUL);
    char* again = KelGetIPStr(0xFFFFFFFFUL);
    EXPECT_STREQ("255.255.255.255", broadcast);
    EXPECT_NE(broadcast, again);
    std::free(broadcast);
    std::free(again);

    const std::pair<const char*, std::uint32_t> texts[] = {
        {"10.1.2.3", htonl(0x0A010203)},
        {"127.1", htonl(0x7F000001)},
        {"255.255.255.255", 0},
        {"300.1.1.1", 0},
        {"", 0},
    };
    for (const auto& [text, expected] : texts) {
        in_addr result = Address(0xDEADBEEF);
        std::string writable(text);
        EXPECT_EQ(expected != 0 ? 1 : 0, KelInetAtoN(writable.data(), &result)) << text;
        EXPECT_EQ(expected, result.s_addr) << text;
    }
}

TEST(SocketWrappers, PassLengthsInAndOut)
{
    const int receiver = LoopbackSocket(SOCK_DGRAM);
    const int sender = LoopbackSocket(SOCK_DGRAM);
    const sockaddr_in to = Loopback(PortOf(receiver));
    const std::string payload(100, 'd');
    ASSERT_EQ(100,
              ::sendto(sender, payload.data(), 100, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to));
    char buffer[256];
    sockaddr_in from{};
    int length = 16;
    EXPECT_EQ(100,
              KelRecvFrom(receiver, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length));
    EXPECT_EQ(16, length);
    EXPECT_EQ(PortOf(sender), ntohs(from.sin_port));
    EXPECT_EQ(payload, std::string(buffer, 100));
    ASSERT_EQ(0, ::sendto(sender, buffer, 0, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to));
    EXPECT_EQ(0, KelRecvFrom(receiver, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length))
        << "an empty datagram";
    const std::string counted = "0123456789abcdefghij";
    ASSERT_EQ(20, ::sendto(sender, counted.data(), 20, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to));
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(10, KelRecvFrom(receiver, buffer, 10, 0, reinterpret_cast<sockaddr*>(&from), &length))
        << "cut short";
    EXPECT_EQ("0123456789#", std::string(buffer, 11));
    EXPECT_EQ(16, length);
    SetNonBlocking(receiver);
    errno = 0;
    EXPECT_EQ(-1,
              KelRecvFrom(receiver, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length))
        << "nothing waiting";
    EXPECT_EQ(EAGAIN, errno);
    length = 16;
    EXPECT_LT(
        KelRecvFrom(ClosedSocket(), buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length),
        0);
    EXPECT_EQ(16, length);

    const int listener = LoopbackSocket(SOCK_STREAM);
    const int client = static_cast<int>(::socket(AF_INET, SOCK_STREAM, 0));
    length = 16;
    EXPECT_EQ(-1, KelGetPeerName(static_cast<unsigned>(client), reinterpret_cast<sockaddr*>(&from), &length));
    EXPECT_EQ(16, length);
    const sockaddr_in server = Loopback(PortOf(listener));
    ASSERT_EQ(0, ::connect(client, reinterpret_cast<const sockaddr*>(&server), sizeof server));
    length = 64;
    EXPECT_EQ(0, KelGetPeerName(static_cast<unsigned>(client), reinterpret_cast<sockaddr*>(&from), &length));
    EXPECT_EQ(16, length);
    EXPECT_EQ(PortOf(listener), ntohs(from.sin_port));
    for (const int socket : {receiver, sender, listener, client}) {
        CloseSocket(socket);
    }
}

TEST(EtherHeader, AnswersFromItsOwnCopyOfTheHeader)
{
    struct Case {
        std::vector<unsigned char> frame;
        long long destination;
        long long source;
        unsigned short type;
    };
    const Case cases[] = {
        {{1, 2, 3, 4, 5, 6, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x08, 0x00},
         0x010203040506LL,
         0x102030405060LL,
         2048},
        {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0x86, 0xDD}, -1, 0, 0x86DD},
        {{0x80, 0, 0, 0, 0, 1, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0x08, 0x06},
         -140737488355327LL,
         140737488355326LL,
         0x0806},
    };
    for (const auto& c : cases) {
        std::vector<unsigned char> frame = c.frame;
        frame.resize(64, 0xEE);  // a longer frame: only its header counts
        CKelEtherHeader header(frame.data());
        std::fill(frame.begin(), frame.end(), 0x55);  // the caller's frame changes afterwards
        EXPECT_EQ(c.destination, header.KEHGetEtherDhost());
        EXPECT_EQ(c.source, header.KEHGetEtherShost());
        EXPECT_EQ(c.type, header.KEHGetEtherType());
        EXPECT_EQ(std::vector<unsigned char>(c.frame.begin(), c.frame.begin() + 6),
                  Bytes(header.KEHGetEtherDhostAsUCHAR(), 6));
        EXPECT_EQ(std::vector<unsigned char>(c.frame.begin() + 6, c.frame.begin() + 12),
                  Bytes(header.KEHGetEtherShostAsUCHAR(), 6));
        unsigned char* first = header.KEHGetPacketHeader();
        EXPECT_EQ(c.frame, Bytes(header.KEHGetPacketHeader(), 14)) << "a fresh copy each time";
        EXPECT_EQ(c.frame, Bytes(first, 14));
    }
}
