// The library's calls as a caller meets them, where runs.golden cannot show it: system and
// process services, the network calls and the reentrant calls.
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "KelPort.h"
#include "ju.h"
#include "support/Support.h"

TEST(SysInfo, AnswersTheHostNameAndRefusesTheRest)
{
    const std::string name = HostName();
    char buf[256];
    EXPECT_EQ(static_cast<long>(name.size()) + 1, KelSysInfo(E_KSIHostname, buf, sizeof buf));
    EXPECT_EQ(name, buf);
    errno = 0;
    // No room for the terminator.
    EXPECT_EQ(-1, KelSysInfo(E_KSIHostname, buf, static_cast<long>(name.size())));
    EXPECT_EQ(ENAMETOOLONG, errno);
    EXPECT_EQ(-1, KelSysInfo(E_KSIHostname, buf, 0));
    EXPECT_EQ(EINVAL, errno);

    // The queries that are not served leave the buffer as it was.
    for (const int query : {-1, 1, 12, 14}) {
        std::memset(buf, '#', sizeof buf);
        testing::internal::CaptureStderr();
        EXPECT_EQ(-1, KelSysInfo(static_cast<EKelSysInfo>(query), buf, sizeof buf)) << query;
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::string(sizeof buf, '#'), std::string(buf, sizeof buf)) << query;
    }
}

TEST(Process, PidIsThisProcesss)
{
    EXPECT_EQ(ProcessId(), KelGetPid());
}

// What the test program itself offers the system's loader (see tests/CMakeLists.txt).
#if defined(_WIN32)
extern "C" __declspec(dllexport) int kel_test_program_answer()
#else
extern "C" __attribute__((visibility("default"))) int kel_test_program_answer()
#endif
{
    return 7;
}

TEST(DynamicLoading, LoadsFindsAndReleases)
{
    ASSERT_FALSE(IsLoaded(KEL_TEST_PLUGIN));
    HINSTANCE plugin = KelDLOpen(KEL_TEST_PLUGIN, 0);
    ASSERT_NE(nullptr, plugin);
    auto answer = reinterpret_cast<int (*)()>(KelDLSym(plugin, "kel_test_answer"));
    ASSERT_NE(nullptr, answer);
    EXPECT_EQ(42, answer());
    EXPECT_EQ(nullptr, KelDLSym(plugin, "no_such_symbol"));
    for (const int mode : {1, -1, 0x7fffffff}) {  // the mode plays no part
        HINSTANCE again = KelDLOpen(KEL_TEST_PLUGIN, mode);
        EXPECT_EQ(plugin, again) << mode;
        EXPECT_EQ(0, KelDLClose(again));
    }
    EXPECT_EQ(0, KelDLClose(plugin));
    EXPECT_FALSE(IsLoaded(KEL_TEST_PLUGIN)) << "released";

    EXPECT_EQ(nullptr, KelDLOpen(nullptr, 0));
    EXPECT_EQ(reinterpret_cast<void*>(&kel_test_program_answer), KelDLSym(nullptr, "kel_test_program_answer"))
        << "no library: the program itself";
    EXPECT_EQ(nullptr, KelDLSym(nullptr, "no_such_symbol"));
    EXPECT_EQ(-1, KelDLClose(nullptr));
    EXPECT_EQ(nullptr, KelDLError());
}

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

TEST(SocketWrappers, PassLengthsInAndOut)
{
    const int receiver = LoopbackSocket(SOCK_DGRAM);
    const int sender = LoopbackSocket(SOCK_DGRAM);
    const sockaddr_in to = Loopback(PortOf(receiver));
    // A whole datagram and its sender are the example agents' exchange; here, the edges.
    char buffer[256];
    sockaddr_in from{};
    int length = 64;  // in: room for the address; out: its size
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
    EXPECT_EQ(PortOf(sender), ntohs(from.sin_port));
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
    EXPECT_EQ(UnusableDescriptors().front().message, ju::strerror_new(errno));
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

namespace {

constexpr unsigned char kMarker = 0xA5;

template <typename Record>
bool HoldsMarker(const Record& record)
{
    Record marked;
    std::memset(&marked, kMarker, sizeof marked);
    return std::memcmp(&marked, &record, sizeof record) == 0;
}

}  // namespace

// What each look-up finds is in runs.golden; here, what they leave alone.
TEST(Reentrant, LookUpsTouchNothingButTheirRecord)
{
    char buffer[64];
    std::memset(buffer, kMarker, sizeof buffer);
    int herr = 12345;
    protoent proto;
    hostent host;
    ASSERT_EQ(&proto, KelGetProtoByName_r("udp", &proto, buffer, sizeof buffer));
    ASSERT_EQ(&host, KelGetHostByName_r("localhost", &host, buffer, sizeof buffer, &herr));
    std::thread([] {
        protoent theirs;
        hostent theirHost;
        KelGetProtoByName_r("tcp", &theirs, nullptr, 0);
        KelGetHostByName_r("127.0.0.1", &theirHost, nullptr, 0, nullptr);
    }).join();
    EXPECT_STREQ("udp", proto.p_name) << "another thread's look-ups leave this thread's texts";
    EXPECT_STREQ("localhost", host.h_name);

    // Nothing found: nothing written. Look-ups that miss the hosts file go on to DNS, and a test
    // sends nothing off this machine: the resolver refuses these before it would ask, a label
    // longer than DNS allows and an address shorter than its family's.
    std::memset(&proto, kMarker, sizeof proto);
    std::memset(&host, kMarker, sizeof host);
    EXPECT_EQ(nullptr, KelGetProtoByName_r("no-such-protocol", &proto, buffer, sizeof buffer));
    const std::string unknown = std::string(70, 'x') + ".example";
    EXPECT_EQ(nullptr, KelGetHostByName_r(unknown.c_str(), &host, buffer, sizeof buffer, &herr));
    EXPECT_EQ(nullptr, KelGetHostByAddr_r("\x7f\x00", 2, AF_INET, &host, buffer, sizeof buffer, &herr));
    EXPECT_TRUE(HoldsMarker(proto));
    EXPECT_TRUE(HoldsMarker(host));
    EXPECT_TRUE(HoldsMarker(buffer)) << "the caller's buffer is never used";
    EXPECT_EQ(12345, herr);
}

TEST(Reentrant, ThreadsLookingUpAtOnceEachGetTheirOwnAnswers)
{
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (const char* name : {"tcp", "udp", "icmp", "ipv6"}) {
        threads.emplace_back([&wrong, name] {
            for (int i = 0; i < 300; ++i) {
                protoent proto;
                wrong += KelGetProtoByName_r(name, &proto, nullptr, 0) != &proto ||
                         std::strcmp(proto.p_name, name) != 0;
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(0, wrong);
}

TEST(Reentrant, TimeTextsAndDirectories)
{
    // Each time's text is in runs.golden; here, that the length is not looked at, and that no
    // more than the 26 bytes a time's text takes are written (kMarker after them).
    char buffer[28];
    std::memset(buffer, kMarker, sizeof buffer);
    SetTimeZone("UTC");
    const long zero = 0;
    ASSERT_EQ(buffer, KelCTime_r(&zero, buffer, 0));
    EXPECT_EQ(std::string("Thu Jan  1 00:00:00 1970\n\0\xA5\xA5", 28), std::string(buffer, sizeof buffer));

    // asctime's text lies in storage of the calling thread.
    std::tm epoch{};
    epoch.tm_mday = 1;
    epoch.tm_year = 70;
    epoch.tm_wday = 4;
    const std::string epochText = std::asctime(&epoch);  // as the system writes it
    std::memset(buffer, kMarker, sizeof buffer);
    const char* mine = KelAscTime_r(&epoch, buffer, sizeof buffer);
    EXPECT_EQ(epochText, mine);
    EXPECT_TRUE(HoldsMarker(buffer)) << "the caller's buffer is not used";
    std::tm later = epoch;
    later.tm_year = 126;
    std::thread([&later] { KelAscTime_r(&later, nullptr, 0); }).join();
    EXPECT_EQ(epochText, mine) << "another thread's call leaves this thread's text";

    DIR* directory = ::opendir(".");
    dirent entry;
    std::memset(&entry, kMarker, sizeof entry);
    EXPECT_EQ(nullptr, KelReadDir_r(directory, &entry));
    EXPECT_TRUE(HoldsMarker(entry));
    ::closedir(directory);
}
