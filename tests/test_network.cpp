// Network services: the portable ioctl and packet length, address text and the socket
// wrappers.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "KelIoctl.h"
#include "KelNetwork.h"
#include "KelNetworkInternal.h"
#include "support/Support.h"

// A socket that is not there is reported as a warning at level 4 (with the emulation's
// message), and the caller goes on: no bytes waiting.
TEST(Ioctl, UnusableSocketsAreReportedAndGiveZero)
{
    const std::string invalid = "Be aware : Given socket descriptor is invalid. in ../KelIoctl at line ";
    for (const auto& unusable : UnusableDescriptors()) {
        std::uint32_t count = 0;
        const auto call = [&] {
            EXPECT_EQ(0, KelGetSocketPacketLength(unusable.fd)) << unusable.what;
            EXPECT_LT(KelIoctl(unusable.fd, KEL_I_NREAD, &count), 0) << unusable.what;
        };
        EXPECT_EQ((std::vector<std::string>{
                      "KelGetSocketPacketLength(" + std::to_string(unusable.fd) + ")\n", "KelIoctl()\n",
                      "KelIoctl_PktLen()\n", invalid + "372.\n" + unusable.message + "\n",
                      invalid + "408.\n" + unusable.message + "\n", "KelIoctl()\n", "KelIoctl_I()\n"}),
                  Traces(4, call))
            << unusable.what;
        EXPECT_EQ(std::vector<std::string>{}, Traces(3, call)) << unusable.what;
        EXPECT_EQ(std::vector<std::string>{}, Traces(-1, call)) << "a negative level traces nothing";
    }
}

TEST(IoctlDeathTest, OtherFailuresAreFatal)
{
    const int socket = LoopbackSocket(SOCK_DGRAM);
    EXPECT_EXIT(
        KelIoctl(socket, KEL_SOCKET_N_READ, reinterpret_cast<void*>(8)), Aborted,
        testing::Eq(AbortOutput("Fatal warning : Ioctl failed for function call in ../KelIoctl at line 378.\n"
                                "Bad address Aborting ......\n")));
    CloseSocket(socket);
}

// A fresh block of 16 bytes each time: the text, then zeros to its end. Only the low 32 bits
// of an unsigned long that has more are an address.
TEST(AddressText, FreshBlocksOfTheLow32Bits)
{
    const auto high = static_cast<unsigned long>(0xFFFF000000000000ULL);  // where unsigned long has them
    char* first = KelGetIPStr(high | static_cast<unsigned long>(htonl(0x0A010203)));
    char* second = KelGetIPStr(0xFFFFFFFFUL);
    EXPECT_EQ(std::string("10.1.2.3\0\0\0\0\0\0\0\0", 16), std::string(first, 16));
    EXPECT_EQ(std::string("255.255.255.255\0", 16), std::string(second, 16));
    std::free(first);
    std::free(second);
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
