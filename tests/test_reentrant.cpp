// The reentrant look-ups, time texts and directory reading.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "KelReentrant.h"
#include "support/Support.h"

namespace {

constexpr unsigned char kMarker = 0xA5;

template <typename Record>
bool HoldsMarker(const Record& record)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
    return std::all_of(bytes, bytes + sizeof record, [](unsigned char b) { return b == kMarker; });
}

const in_addr kLoopback = Address(htonl(INADDR_LOOPBACK));
// Look-ups that miss the hosts file go on to DNS, and a test sends nothing off this machine:
// the resolver refuses these before it would ask, a label longer than DNS allows and an
// address shorter than its family's.
const std::string kUnknownName = std::string(70, 'x') + ".example";

}  // namespace

TEST(Reentrant, LooksUpThisMachinesProtocolsAndHosts)
{
    char buffer[64];
    int herr = 12345;
    protoent proto;
    ASSERT_EQ(&proto, KelGetProtoByName_r("udp", &proto, buffer, sizeof buffer));
    EXPECT_STREQ("udp", proto.p_name);
    EXPECT_EQ(17, proto.p_proto);
    EXPECT_FALSE(proto.p_name >= buffer && proto.p_name < buffer + sizeof buffer) << "the system's own text";
    protoent theirs;
    std::thread([&theirs] { KelGetProtoByName_r("tcp", &theirs, nullptr, 0); }).join();
    EXPECT_STREQ("udp", proto.p_name) << "another thread's look-up leaves this thread's text";
    hostent host;
    ASSERT_EQ(&host, KelGetHostByName_r("localhost", &host, buffer, sizeof buffer, &herr));
    EXPECT_STREQ("localhost", host.h_name);
    ASSERT_NE(nullptr, host.h_addr_list[0]);
    for (char** address = host.h_addr_list; *address != nullptr; ++address) {
        EXPECT_EQ(0, std::memcmp(&kLoopback, *address, sizeof kLoopback));
    }
    ASSERT_EQ(&host, KelGetHostByAddr_r(reinterpret_cast<const char*>(&kLoopback), 4, AF_INET, &host, nullptr,
                                        0, nullptr));
    EXPECT_STREQ("localhost", host.h_name);

    // Nothing found: nothing written.
    std::memset(buffer, kMarker, sizeof buffer);
    std::memset(&proto, kMarker, sizeof proto);
    std::memset(&host, kMarker, sizeof host);
    EXPECT_EQ(nullptr, KelGetProtoByName_r("no-such-protocol", &proto, buffer, sizeof buffer));
    EXPECT_EQ(nullptr, KelGetHostByName_r(kUnknownName.c_str(), &host, buffer, sizeof buffer, &herr));
    EXPECT_EQ(nullptr, KelGetHostByAddr_r(reinterpret_cast<const char*>(&kLoopback), 2, AF_INET, &host,
                                          buffer, sizeof buffer, &herr));
    EXPECT_TRUE(HoldsMarker(proto));
    EXPECT_TRUE(HoldsMarker(host));
    EXPECT_TRUE(HoldsMarker(buffer));
    EXPECT_EQ(12345, herr);
}

TEST(Reentrant, ThreadsLookingUpAtOnceEachGetTheirOwnAnswers)
{
    const std::pair<const char*, int> protocols[] = {{"tcp", 6}, {"udp", 17}, {"icmp", 1}, {"ipv6", 41}};
    std::vector<int> wrong(std::size(protocols));
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < std::size(protocols); ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 300; ++i) {
                protoent proto;
                hostent host;
                const bool right = KelGetProtoByName_r(protocols[t].first, &proto, nullptr, 0) == &proto &&
                                   proto.p_proto == protocols[t].second &&
                                   std::strcmp(proto.p_name, protocols[t].first) == 0 &&
                                   KelGetHostByName_r("localhost", &host, nullptr, 0, nullptr) == &host &&
                                   std::strcmp(host.h_name, "localhost") == 0;
                wrong[t] += right ? 0 : 1;
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_THAT(wrong, testing::Each(0));
}

TEST(Reentrant, TimeTextsAndDirectories)
{
    // The same text on every system for every time a 32-bit long holds, in local time.
    const struct {
        const char* zone;
        long clock;
        const char* text;
    } times[] = {
        {"UTC", INT32_MIN, "Fri Dec 13 20:45:52 1901\n"}, {"UTC", -1, "Wed Dec 31 23:59:59 1969\n"},
        {"UTC", 0, "Thu Jan  1 00:00:00 1970\n"},         {"UTC", 951782400, "Tue Feb 29 00:00:00 2000\n"},
        {"UTC", INT32_MAX, "Tue Jan 19 03:14:07 2038\n"}, {"JST-9", -1, "Thu Jan  1 08:59:59 1970\n"},
        {"NST3:30", 0, "Wed Dec 31 20:30:00 1969\n"},
    };
    const char* zone = std::getenv("TZ");
    const std::string savedZone = zone != nullptr ? zone : "";
    char buffer[26];
    for (const auto& t : times) {
        SetTimeZone(t.zone);
        for (const int length : {26, 0}) {  // the length is not looked at
            std::memset(buffer, kMarker, sizeof buffer);
            ASSERT_EQ(buffer, KelCTime_r(&t.clock, buffer, length)) << t.clock;
            EXPECT_EQ(std::string(t.text, 26), std::string(buffer, 26)) << t.zone << " " << t.clock;
        }
    }
    SetTimeZone(zone != nullptr ? savedZone.c_str() : nullptr);

    // asctime's text lies in storage of the calling thread.
    std::tm epoch{};
    epoch.tm_mday = 1;
    epoch.tm_year = 70;
    epoch.tm_wday = 4;
    const std::string epochText = std::asctime(&epoch);
    std::memset(buffer, kMarker, sizeof buffer);
    const char* mine = KelAscTime_r(&epoch, buffer, sizeof buffer);
    EXPECT_EQ(epochText, mine);
    EXPECT_TRUE(HoldsMarker(buffer)) << "the caller's buffer is not used";
    std::thread([&epoch] {
        std::tm later = epoch;
        later.tm_year = 126;
        KelAscTime_r(&later, nullptr, 0);
    }).join();
    EXPECT_EQ(epochText, mine) << "another thread's call leaves this thread's text";

    DIR* directory = ::opendir(".");
    dirent entry;
    std::memset(&entry, kMarker, sizeof entry);
    EXPECT_EQ(nullptr, KelReadDir_r(directory, &entry));
    EXPECT_TRUE(HoldsMarker(entry));
    ::closedir(directory);
}
