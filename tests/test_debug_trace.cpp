// The trace block and the sink: when a block runs, where the sink sends a text, and how a
// block writes integers.
#include <climits>
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "KelDebugBlock.h"
#include "ju.h"
#include "support/Support.h"

TEST(DebugBlock, RunsWhenTheLevelIsNonZeroAndHighEnough)
{
    const std::pair<int, std::vector<std::string>> cases[] = {
        {0, {}}, {1, {"1\n"}}, {3, {"1\n", "2\n"}}, {4, {"1\n", "2\n", "4\n"}}, {-1, {}},
    };
    for (const auto& [level, expected] : cases) {
        int evaluated = 0;
        EXPECT_EQ(expected, Traces(level,
                                   [&evaluated] {
                                       for (const int block : {1, 2, 4}) {
                                           KEL_DEBUG(block, cout << block << std::endl; ++evaluated);
                                       }
                                   }))
            << "debug level " << level;
        EXPECT_EQ(expected.size(), static_cast<std::size_t>(evaluated))
            << "a block that is off evaluates nothing";
    }
}

TEST(GenZADTrace, RoutesByLevelAndRecordsOnlyWithAttributeEight)
{
    const std::pair<int, std::string> routes[] = {
        {6, "Memory Usage:78"}, {5, "ZeltaDiscovery:83"}, {7, "ZeltaDiscovery:83"}};
    char text[] = "KelIoctl()\n";
    for (const auto& [level, expected] : routes) {
        const auto records = Records(0, [&, level = level] { genZADTrace(text, level); });
        ASSERT_EQ(1u, records.size()) << level;
        EXPECT_EQ(expected, records[0].component + ":" + std::to_string(records[0].line)) << level;
        EXPECT_EQ("KelIoctl()\n", records[0].text);
        EXPECT_EQ("KelDebug", records[0].file);
        EXPECT_EQ(8u, records[0].attributes);
    }
    JuZadTrc::SetAttributes("ZeltaDiscovery", 0xFFFFFFF7);
    EXPECT_TRUE(Records(0, [&] { genZADTrace(text, 0); }).empty()) << "every attribute but 0x8";
    JuZadTrc::SetAttributes("ZeltaDiscovery", 0xFFFFFFFF);
}

TEST(PrintMemoryUsage, WritesTheHeapTopOnStandardOutputAtAnyLevel)
{
    ScopedValue<int> level(__Kelvora_Debug_Level, 0);
    testing::internal::CaptureStdout();
    const auto before = reinterpret_cast<std::uintptr_t>(ju::sbrk(0));
    printMemoryUsage();
    const auto after = reinterpret_cast<std::uintptr_t>(ju::sbrk(0));
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string prefix = " [sbrk] top of heap is 0x";
    ASSERT_EQ(prefix, out.substr(0, prefix.size())) << out;
    std::size_t digits = 0;
    const auto top = std::stoull(out.substr(prefix.size()), &digits, 16);
    EXPECT_EQ("\n", out.substr(prefix.size() + digits)) << out;
    EXPECT_GE(top, before);
    EXPECT_LE(top, after);
}

// The library's traces hold texts, characters and integers; an integer as wide as its type
// allows, at either end, needs the most room.
TEST(DebugBlock, FormatsIntegersOfEveryWidth)
{
    EXPECT_EQ(
        std::vector<std::string>{"-2147483648 0 18446744073709551615 -9223372036854775808\n"}, Traces(4, [] {
            KEL_DEBUG(4, cout << INT_MIN << ' ' << 0U << ' ' << ULLONG_MAX << ' ' << LLONG_MIN << std::endl);
        }));
}
