// The reentrant look-ups, time texts and directory reading.
#include <atomic>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "KelReentrant.h"
#include "support/Support.h"

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
    // Each time's text is in runs.golden; here, that the length is not looked at.
    char buffer[26];
    const std::time_t now = std::time(nullptr);
    const long clock = static_cast<long>(now);
    ASSERT_EQ(buffer, KelCTime_r(&clock, buffer, 0));
    EXPECT_EQ(std::string(std::ctime(&now)), std::string(buffer));

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
