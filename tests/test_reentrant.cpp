#include <algorithm>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "KelDebug.h"
#include "KelReentrant.h"
#include "support/System.h"
#include "support/TraceCapture.h"

using testing::ElementsAre;
using testing::IsEmpty;

namespace {

constexpr unsigned char kMarker = 0xA5;

template <typename Record>
bool HoldsMarker(const Record& record)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
    return std::all_of(bytes, bytes + sizeof record, [](unsigned char b) { return b == kMarker; });
}

bool Within(const void* pointer, const char* buffer, std::size_t size)
{
    const auto* at = static_cast<const char*>(pointer);
    return at >= buffer && at < buffer + size;
}

const in_addr kLoopback = Address(htonl(INADDR_LOOPBACK));

// Look-ups that miss the hosts file go on to DNS, and a test sends nothing off this machine.
// These the resolver refuses before it would send a query: a name with a label longer than
// DNS allows, and an address shorter than its family's.
const std::string kUnknownName = std::string(70, 'x') + ".example";
const in_addr kUnknownAddress = Address(htonl(0xC0000201));
constexpr int kTooShort = 2;

}  // namespace

TEST(Reentrant, LooksUpProtocolsAndHostsOfThisMachine)
{
    char buffer[512];
    int herr = 12345;

    protoent proto;
    for (const auto& [name, number] : {std::pair{"tcp", 6}, std::pair{"udp", 17}}) {
        ASSERT_EQ(&proto, KelGetProtoByName_r(name, &proto, buffer, sizeof buffer)) << name;
        EXPECT_STREQ(name, proto.p_name);
        EXPECT_EQ(number, proto.p_proto);
        EXPECT_FALSE(Within(proto.p_name, buffer, sizeof buffer));
    }

    hostent host;
    ASSERT_EQ(&host, KelGetHostByName_r("localhost", &host, buffer, sizeof buffer, &herr));
    EXPECT_STREQ("localhost", host.h_name);
    EXPECT_EQ(AF_INET, host.h_addrtype);
    EXPECT_EQ(0, std::memcmp(&kLoopback, host.h_addr_list[0], sizeof kLoopback));
    EXPECT_FALSE(Within(host.h_name, buffer, sizeof buffer));

    // No buffer and no error variable serve as well.
    hostent byAddress;
    ASSERT_EQ(&byAddress, KelGetHostByAddr_r(reinterpret_cast<const char*>(&kLoopback), sizeof kLoopback, AF_INET,
                                             &byAddress, nullptr, 0, nullptr));
    EXPECT_STREQ("localhost", byAddress.h_name);
    EXPECT_EQ(12345, herr);
}

TEST(Reentrant, LeavesEverythingAloneWhenNothingIsFound)
{
    char buffer[64];
    std::memset(buffer, kMarker, sizeof buffer);
    int herr = 12345;
    protoent proto;
    hostent host;
    std::memset(&proto, kMarker, sizeof proto);
    std::memset(&host, kMarker, sizeof host);

    EXPECT_EQ(nullptr, KelGetProtoByName_r("no-such-protocol", &proto, buffer, sizeof buffer));
    EXPECT_EQ(nullptr, KelGetHostByName_r(kUnknownName.c_str(), &host, buffer, sizeof buffer, &herr));
    EXPECT_EQ(nullptr, KelGetHostByAddr_r(reinterpret_cast<const char*>(&kUnknownAddress), kTooShort, AF_INET,
                                          &host, buffer, sizeof buffer, &herr));
    EXPECT_TRUE(HoldsMarker(proto));
    EXPECT_TRUE(HoldsMarker(host));
    EXPECT_EQ(12345, herr);
    EXPECT_EQ(std::string(sizeof buffer, static_cast<char>(kMarker)), std::string(buffer, sizeof buffer));
}

TEST(Reentrant, ThreadsLookingUpAtOnceEachGetTheirOwnAnswers)
{
    const std::pair<const char*, int> protocols[] = {{"tcp", 6}, {"udp", 17}, {"icmp", 1}, {"ipv6", 41}};
    std::vector<int> wrong(std::size(protocols));
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < std::size(protocols); ++t) {
        threads.emplace_back([&, t] {
            const char* hostName = t % 2 == 0 ? "localhost" : kUnknownName.c_str();
            for (int i = 0; i < 300; ++i) {
                protoent proto;
                hostent host;
                if (KelGetProtoByName_r(protocols[t].first, &proto, nullptr, 0) != &proto ||
                    proto.p_proto != protocols[t].second || std::strcmp(proto.p_name, protocols[t].first) != 0) {
                    ++wrong[t];
                }
                hostent* found = KelGetHostByName_r(hostName, &host, nullptr, 0, nullptr);
                if ((t % 2 == 0) != (found == &host) || (found != nullptr && std::strcmp(host.h_name, hostName) != 0)) {
                    ++wrong[t];
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_THAT(wrong, testing::Each(0));
}

TEST(Reentrant, CtimeWritesTheCallersBufferWhateverItsLength)
{
    const long clock = 1764946882;
    const std::string expected = SystemCTime(clock);
    ASSERT_EQ(25u, expected.size());
    for (const int length : {26, 0}) {
        char buffer[26];
        std::memset(buffer, kMarker, sizeof buffer);
        ASSERT_EQ(buffer, KelCTime_r(&clock, buffer, length));
        EXPECT_EQ(24u, std::strlen(buffer) - 1);
        EXPECT_EQ('\n', buffer[24]);
        EXPECT_EQ(expected, buffer);
    }
}

TEST(Reentrant, AsctimeAnswersFromStorageOfTheCallingThread)
{
    std::tm epoch{};
    epoch.tm_mday = 1;
    epoch.tm_year = 70;
    epoch.tm_wday = 4;
    std::tm later = epoch;
    later.tm_year = 126;
    // The runtime's own texts, its day of the month padded as it pads it.
    const std::string epochText = std::asctime(&epoch);
    const std::string laterText = std::asctime(&later);

    char buffer[26];
    std::memset(buffer, kMarker, sizeof buffer);
    char* first = KelAscTime_r(&epoch, buffer, sizeof buffer);
    ASSERT_NE(nullptr, first);
    EXPECT_NE(buffer, first);
    EXPECT_EQ(epochText, first);
    EXPECT_EQ("Thu Jan", epochText.substr(0, 7));
    EXPECT_EQ(std::string(sizeof buffer, static_cast<char>(kMarker)), std::string(buffer, sizeof buffer));

    EXPECT_EQ(first, KelAscTime_r(&later, nullptr, 0));
    EXPECT_EQ(laterText, first);

    char* other = nullptr;
    std::thread([&] { other = KelAscTime_r(&epoch, nullptr, 0); }).join();
    EXPECT_NE(first, other);
    EXPECT_EQ(laterText, first);
}

TEST(Reentrant, ReadDirServesNoEntry)
{
    DIR* directory = ::opendir(".");
    ASSERT_NE(nullptr, directory);
    dirent entry;
    std::memset(&entry, kMarker, sizeof entry);
    EXPECT_EQ(nullptr, KelReadDir_r(directory, &entry));
    EXPECT_TRUE(HoldsMarker(entry));
    EXPECT_EQ(nullptr, KelReadDir_r(nullptr, nullptr));
    ::closedir(directory);
}

TEST(Reentrant, TracesOneLineEachAtLevelFour)
{
    const long clock = 0;
    const std::tm time{};
    char buffer[26];
    protoent proto;
    hostent host;
    const auto callEach = [&] {
        KelGetProtoByName_r("tcp", &proto, nullptr, 0);
        KelGetHostByName_r("localhost", &host, nullptr, 0, nullptr);
        KelGetHostByAddr_r(reinterpret_cast<const char*>(&kLoopback), sizeof kLoopback, AF_INET, &host, nullptr, 0,
                           nullptr);
        KelCTime_r(&clock, buffer, sizeof buffer);
        KelAscTime_r(&time, nullptr, 0);
        KelReadDir_r(nullptr, nullptr);
    };
    {
        ScopedValue<int> level(__Kelvora_Debug_Level, 4);
        TraceCapture capture;
        callEach();
        EXPECT_THAT(capture.Texts(), ElementsAre("KelGetProtoByName_r\n", "KelGetHostByName_r()\n",
                                                 "*KelGetHostByAddr_r()\n", "KelCTime_r()\n", "KelAscTime_r()\n"));
    }
    ScopedValue<int> level(__Kelvora_Debug_Level, 3);
    TraceCapture capture;
    callEach();
    EXPECT_THAT(capture.Records(), IsEmpty());
}
