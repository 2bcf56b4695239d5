#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "CKelEtherHeader.h"
#include "KelDebug.h"
#include "KelIoctl.h"
#include "KelIoctlInternal.h"
#include "KelNetwork.h"
#include "KelNetworkInternal.h"
#include "support/System.h"
#include "support/TraceCapture.h"

using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::IsEmpty;

namespace {

std::string Text(char* block)
{
    std::string text(block);
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

TEST(PacketLength, CountsTheBytesQueuedOnASocket)
{
    StreamPair pair;
    pair.Send("0123456789");
    ScopedValue<int> level(__Kelvora_Debug_Level, 4);
    TraceCapture capture;
    EXPECT_EQ(10, KelGetSocketPacketLength(pair.reader()));
    const std::string fd = std::to_string(pair.reader());
    EXPECT_THAT(capture.Texts(), ElementsAre("KelGetSocketPacketLength(" + fd + ")\n", "KelIoctl()\n",
                                             "KelIoctl_PktLen()\n"));

    struct Case {
        KelIoctlEnum request;
        const char* familyTrace;
    };
    for (const Case& c : {Case{KEL_I_NREAD, "KelIoctl_I()\n"}, Case{KEL_TIOCINQ, "KelIoctl_TIOC()\n"},
                          Case{KEL_SOCKET_N_READ, "KelIoctl_PktLen()\n"}}) {
        TraceCapture requestCapture;
        std::uint32_t count = 0;
        EXPECT_EQ(0, KelIoctl(pair.reader(), c.request, &count)) << c.request;
        EXPECT_EQ(10u, count) << c.request;
        EXPECT_THAT(requestCapture.Texts(), ElementsAre("KelIoctl()\n", c.familyTrace));
    }
}

TEST(PacketLength, UnusableDescriptorsGiveZeroWithTwoInformationReports)
{
    const auto cases = UnusableDescriptors();
    for (const auto& c : cases) {
        ScopedValue<int> level(__Kelvora_Debug_Level, 4);
        TraceCapture capture;
        EXPECT_EQ(0, KelGetSocketPacketLength(c.fd)) << c.what;
        const std::string report = "Be aware : Given socket descriptor is invalid. in ../KelIoctl at line ";
        EXPECT_THAT(capture.Texts(), ElementsAre("KelGetSocketPacketLength(" + std::to_string(c.fd) + ")\n",
                                                 "KelIoctl()\n", "KelIoctl_PktLen()\n",
                                                 report + "372.\n" + c.message + "\n",
                                                 report + "408.\n" + c.message + "\n"))
            << c.what;
    }
    // Below level 4 the failure is silent, with the same result.
    ScopedValue<int> level(__Kelvora_Debug_Level, 3);
    TraceCapture capture;
    EXPECT_EQ(0, KelGetSocketPacketLength(cases.back().fd));
    EXPECT_THAT(capture.Records(), IsEmpty());
    CloseDescriptors(cases);
}

TEST(PacketLengthDeathTest, BadPointerIsFatal)
{
    StreamPair pair;
    EXPECT_EXIT(KelIoctl(pair.reader(), KEL_SOCKET_N_READ, reinterpret_cast<void*>(8)), Aborted,
                testing::Eq(AbortOutput("Fatal warning : Ioctl failed for function call in ../KelIoctl at line 378.\n"
                                        "Bad address Aborting ......\n")));
}

TEST(Ioctl, RefusesEveryOtherRequestWithoutTouchingTheDescriptor)
{
    StreamPair pair;
    pair.Send("abc");
    const int refused[] = {KEL_I_PUSH, KEL_I_STR, KEL_I_FLUSH, KEL_I_POP, KEL_I_LOOK, KEL_SIOCGIFCONF,
                           KEL_SIOCGIFFLAGS, KEL_SIOCGIFADDR, KEL_SIOCGIFNETMASK, KEL_SIOCGARP, KEL_FIONREAD,
                           0, 7, 21, 34, 47, 49, -1, INT_MAX};
    ScopedValue<int> level(__Kelvora_Debug_Level, 4);
    for (const int request : refused) {
        TraceCapture capture;
        std::uint32_t count = 12345;
        errno = 0;
        EXPECT_EQ(-1, KelIoctl(pair.reader(), static_cast<KelIoctlEnum>(request), &count)) << request;
        EXPECT_EQ(EINVAL, errno) << request;
        EXPECT_EQ(12345u, count) << request;
        EXPECT_THAT(capture.Texts(), ElementsAre("KelIoctl()\n")) << request;
    }
    EXPECT_EQ("abc", pair.Receive(4));
}

TEST(Ioctl, FamilyFunctionsServeOnlyTheirOwnRequest)
{
    ScopedValue<int> level(__Kelvora_Debug_Level, 4);
    TraceCapture capture;
    std::uint32_t count = 0;
    errno = 0;
    EXPECT_EQ(-1, KelIoctl_TIOC(0, KEL_I_NREAD, &count));
    EXPECT_EQ(EINVAL, errno);
    errno = 0;
    EXPECT_EQ(-1, KelIoctl_SIOC(3, KEL_SIOCGIFFLAGS, reinterpret_cast<void*>(0x12FF40)));
    EXPECT_EQ(EINVAL, errno);
    errno = 1234;
    EXPECT_EQ(-1, KelIoctl_FION(3, KEL_FIONREAD, &count));
    EXPECT_EQ(1234, errno);
    EXPECT_EQ(-1, KelIoctl_ArpReq(3, &count));
    EXPECT_EQ(1234, errno);
    EXPECT_THAT(capture.Texts(), ElementsAre("KelIoctl_TIOC()\n", "KelIoctl_SIOC( Fd = 3 request = 17 arg = 0x12ff40)\n",
                                             "KelIoctl_ArpReq\n"));
}

TEST(IoctlDeathTest, IFamilyGivenAnotherRequestIsFatal)
{
    ScopedValue<int> level(__Kelvora_Debug_Level, 2);
    TraceToStderr traces;
    EXPECT_EXIT(KelIoctl_I(0, KEL_I_PUSH, nullptr), Aborted,
                testing::Eq(AbortOutput("Non KEL_I_ ioctl passed to KelIoctl_I function!\n"
                                        "Fatal warning : A generic fatal error has occured in ../KelIoctl at line 195 "
                                        "Aborting ......\n")));
}

TEST(AddressText, FormsDottedQuads)
{
    in_addr tenOneTwoThree;
    const unsigned char bytes[] = {0x0A, 0x01, 0x02, 0x03};
    std::memcpy(&tenOneTwoThree, bytes, sizeof bytes);
    EXPECT_EQ("10.1.2.3", Text(KelGetIPStr(tenOneTwoThree)));
    EXPECT_EQ("10.1.2.3", Text(KelGetIPStr(static_cast<unsigned long>(tenOneTwoThree.s_addr))));
    EXPECT_EQ("10.1.2.3", Text(KelGetIPStrH(Address(0x0A010203))));
    EXPECT_EQ("0.0.0.0", Text(KelGetIPStr(0UL)));
    // Only the low 32 bits count, where unsigned long has more.
    const auto high = static_cast<unsigned long>(0xFFFF000000000000ULL);
    EXPECT_EQ("10.1.2.3", Text(KelGetIPStr(high | tenOneTwoThree.s_addr)));

    char* broadcast = KelGetIPStr(0xFFFFFFFFUL);
    EXPECT_STREQ("255.255.255.255", broadcast);
    EXPECT_EQ('\0', broadcast[15]);
    char* again = KelGetIPStr(0xFFFFFFFFUL);
    EXPECT_NE(broadcast, again);
    EXPECT_STREQ(broadcast, again);
    std::free(broadcast);
    std::free(again);
}

TEST(AddressText, TracesEachFormOnItsWay)
{
    ScopedValue<int> level(__Kelvora_Debug_Level, 4);
    struct Case {
        std::function<char*()> call;
        std::vector<std::string> traces;
    };
    const Case cases[] = {
        {[] { return KelGetIPStr(1UL); }, {"KelGetIPStr()\n"}},
        {[] { return KelGetIPStr(Address(1)); }, {"KelGetIPStr()\n", "KelGetIPStr()\n"}},
        {[] { return KelGetIPStrH(Address(1)); }, {"KelGetIPStrH()\n", "KelGetIPStr()\n", "KelGetIPStr()\n"}},
    };
    for (const auto& c : cases) {
        TraceCapture capture;
        std::free(c.call());
        EXPECT_THAT(capture.Texts(), ElementsAreArray(c.traces));
    }
}

TEST(AddressText, ReadsTextByInetAddrsRule)
{
    const std::pair<const char*, std::uint32_t> cases[] = {
        {"10.1.2.3", htonl(0x0A010203)},
        {"127.1", htonl(0x7F000001)},
        {"255.255.255.255", 0},  // cannot be told from text that is no address
        {"300.1.1.1", 0},
        {"no address", 0},
        {"", 0},
    };
    for (const auto& [text, expected] : cases) {
        in_addr result = Address(0xDEADBEEF);
        std::string writable(text);
        EXPECT_EQ(expected != 0 ? 1 : 0, KelInetAtoN(writable.data(), &result)) << text;
        EXPECT_EQ(expected, result.s_addr) << text;
    }
}

TEST(SocketWrappers, RecvFromGivesTheDatagramAndItsSender)
{
    const int receiver = LoopbackSocket(SOCK_DGRAM);
    const int sender = LoopbackSocket(SOCK_DGRAM);
    const sockaddr_in to = Loopback(PortOf(receiver));
    const std::string payload(100, 'd');
    ASSERT_EQ(100, ::sendto(sender, payload.data(), static_cast<int>(payload.size()), 0,
                            reinterpret_cast<const sockaddr*>(&to), sizeof to));

    ScopedValue<int> level(__Kelvora_Debug_Level, 4);
    TraceCapture capture;
    char buffer[256];
    sockaddr_in from{};
    int fromLength = 16;
    EXPECT_EQ(100, KelRecvFrom(receiver, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength));
    EXPECT_EQ(16, fromLength);
    EXPECT_EQ(htonl(INADDR_LOOPBACK), from.sin_addr.s_addr);
    EXPECT_EQ(PortOf(sender), ntohs(from.sin_port));
    EXPECT_EQ(payload, std::string(buffer, 100));

    int failedLength = 16;
    EXPECT_LT(KelRecvFrom(ClosedSocket(), buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from),
                          &failedLength), 0);
    EXPECT_EQ(16, failedLength);
    EXPECT_THAT(capture.Records(), IsEmpty());
    CloseSocket(receiver);
    CloseSocket(sender);
}

TEST(SocketWrappers, GetPeerNameAnswersForConnectedSocketsOnly)
{
    const int listener = LoopbackSocket(SOCK_STREAM);
    const int client = static_cast<int>(::socket(AF_INET, SOCK_STREAM, 0));

    ScopedValue<int> level(__Kelvora_Debug_Level, 4);
    TraceCapture capture;
    sockaddr_in peer{};
    int length = 16;
    EXPECT_EQ(-1, KelGetPeerName(static_cast<unsigned>(client), reinterpret_cast<sockaddr*>(&peer), &length));
    EXPECT_EQ(16, length);

    const sockaddr_in to = Loopback(PortOf(listener));
    ASSERT_EQ(0, ::connect(client, reinterpret_cast<const sockaddr*>(&to), sizeof to));
    length = 64;
    EXPECT_EQ(0, KelGetPeerName(static_cast<unsigned>(client), reinterpret_cast<sockaddr*>(&peer), &length));
    EXPECT_EQ(16, length);
    EXPECT_EQ(htonl(INADDR_LOOPBACK), peer.sin_addr.s_addr);
    EXPECT_EQ(PortOf(listener), ntohs(peer.sin_port));
    EXPECT_THAT(capture.Records(), IsEmpty());
    CloseSocket(client);
    CloseSocket(listener);
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
        {{1, 2, 3, 4, 5, 6, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x08, 0x00}, 0x010203040506LL, 0x102030405060LL, 2048},
        {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0x86, 0xDD}, -1, 0, 0x86DD},
        {{0x80, 0, 0, 0, 0, 1, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x08, 0x06}, -140737488355327LL,
         140737488355327LL, 0x0806},
    };
    for (const auto& c : cases) {
        std::vector<unsigned char> frame = c.frame;
        frame.resize(64, 0xEE);  // a longer frame: only its header counts
        CKelEtherHeader header(frame.data());
        std::fill(frame.begin(), frame.end(), 0x55);  // the caller's frame changes afterwards

        EXPECT_EQ(c.destination, header.KEHGetEtherDhost());
        EXPECT_EQ(c.source, header.KEHGetEtherShost());
        EXPECT_EQ(c.type, header.KEHGetEtherType());
        const std::vector<unsigned char> destination(c.frame.begin(), c.frame.begin() + 6);
        const std::vector<unsigned char> source(c.frame.begin() + 6, c.frame.begin() + 12);
        EXPECT_EQ(destination, Bytes(header.KEHGetEtherDhostAsUCHAR(), 6));
        EXPECT_EQ(source, Bytes(header.KEHGetEtherShostAsUCHAR(), 6));
        EXPECT_EQ(c.frame, Bytes(header.KEHGetPacketHeader(), 14));
    }
}

TEST(EtherHeader, BlocksAreFreshCopies)
{
    unsigned char frame[14] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
    CKelEtherHeader header(frame);
    unsigned char* first = header.KEHGetPacketHeader();
    unsigned char* second = header.KEHGetPacketHeader();
    EXPECT_NE(first, second);
    std::free(first);
    EXPECT_EQ(0, std::memcmp(frame, second, sizeof frame));
    std::free(second);
}

// The header sits against a page that may not be read: a read past its 14 bytes would fault.
TEST(EtherHeader, ReadsNoFurtherThanTheHeader)
{
    GuardedBytes frame(14);
    const unsigned char header[14] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0x08, 0x00};
    std::memcpy(frame.data(), header, sizeof header);
    CKelEtherHeader copy(frame.data());
    EXPECT_EQ(2048, copy.KEHGetEtherType());
}

TEST(EtherHeader, TracesByDebugLevel)
{
    const std::vector<std::string> atFour = {
        "CKelEtherHeader::CKelEtherHeader\n",
        "CKelEtherHeader::KEHGetEtherDhost\n",
        "CKelEtherHeader::KEHGetEtherDhost - Morix\n",
        "CKelEtherHeader::KEHGetEtherShost\n",
        "CKelEtherHeader::KEHGetEtherShost - Morix\n",
        "CKelEtherHeader::KEHGetEtherDhostAsUCHAR()\n",
        "*CKelEtherHeader::KEHGetEtherShostAsUCHAR\n",
        "CKelEtherHeader::KEHGetPacketHeader()\n",
        "u_short CKelEtherHeader::KEHGetEtherType( void )\n",
        "CKelEtherHeader::KEHGetEtherType = 2048\n",
        "CKelEtherHeader Destructor!\n",
    };
    const std::vector<std::string> atTwo = {
        "CKelEtherHeader::KEHGetEtherDhost - Morix\n",
        "CKelEtherHeader::KEHGetEtherShost - Morix\n",
    };
    const std::pair<int, std::vector<std::string>> cases[] = {
        {0, {}}, {1, {}}, {2, atTwo}, {3, atTwo}, {4, atFour}, {9, atFour},
    };
    unsigned char frame[14] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0x08, 0x00};
    for (const auto& [debugLevel, expected] : cases) {
        ScopedValue<int> level(__Kelvora_Debug_Level, debugLevel);
        TraceCapture capture;
        {
            CKelEtherHeader header(frame);
            header.KEHGetEtherDhost();
            header.KEHGetEtherShost();
            std::free(header.KEHGetEtherDhostAsUCHAR());
            std::free(header.KEHGetEtherShostAsUCHAR());
            std::free(header.KEHGetPacketHeader());
            header.KEHGetEtherType();
        }
        EXPECT_THAT(capture.Texts(), ElementsAreArray(expected)) << "debug level " << debugLevel;
    }
}
