// The trace block and the sink: when a block runs, where its two streams go, and how its
// streams format.
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "KelDebugBlock.h"
#include "ju.h"
#include "support/Support.h"

TEST(DebugBlock, RunsWhenTheLevelIsNonZeroAndHighEnough)
{
    const std::pair<int, std::vector<std::string>> cases[] = {
        {0, {}},
        {1, {"1\n"}},
        {3, {"1\n", "2\n"}},
        {4, {"1\n", "2\n", "4\n"}},
        {INT_MAX, {"1\n", "2\n", "4\n"}},
        {-1, {}},
        {INT_MIN, {}},
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

TEST(DebugBlock, TracesCoutAtItsLevelThenCerrAtLevelZeroAndNothingEmpty)
{
    const auto records = Records(6, [] {
        KEL_DEBUG(6, cerr << "to level 0"; cout << "to level 6" << std::endl);
        KEL_DEBUG(6, cout << "");
    });
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ("to level 6\n", records[0].text);
    EXPECT_EQ("Memory Usage", records[0].component);
    EXPECT_EQ("to level 0", records[1].text);
    EXPECT_EQ("ZeltaDiscovery", records[1].component);

    std::string expected;
    for (int i = 0; i < 2000; ++i) {
        expected += std::to_string(i) + ",";
    }
    EXPECT_EQ(std::vector<std::string>{expected},
              Traces(4, [] { KEL_DEBUG(4, for (int i = 0; i < 2000; ++i) cout << i << ','); }));
}

TEST(GenZADTrace, RoutesByLevelAndRecordsOnlyWithAttributeEight)
{
    const std::pair<int, std::string> routes[] = {{6, "Memory Usage:78"},
                                                  {0, "ZeltaDiscovery:83"},
                                                  {5, "ZeltaDiscovery:83"},
                                                  {7, "ZeltaDiscovery:83"},
                                                  {-6, "ZeltaDiscovery:83"}};
    for (const auto& route : routes) {
        const int level = route.first;
        const std::string& expected = route.second;
        char text[] = "KelIoctl()\n";
        const auto records = Records(0, [&] { genZADTrace(text, level); });
        ASSERT_EQ(1u, records.size()) << level;
        EXPECT_EQ(expected, records[0].component + ":" + std::to_string(records[0].line)) << level;
        EXPECT_EQ("KelIoctl()\n", records[0].text);
        EXPECT_EQ("KelDebug", records[0].file);
        EXPECT_EQ(8u, records[0].attributes);
    }
    for (const std::uint32_t word : {0x0u, 0x8u, 0x7u, 0xFFFFFFF7u, 0x9u}) {
        JuZadTrc::SetAttributes("ZeltaDiscovery", word);
        char text[] = "x";
        const auto records = Records(0, [&] { genZADTrace(text, 0); });
        EXPECT_EQ((word & 8) != 0 ? 1u : 0u, records.size()) << std::hex << word;
    }
    JuZadTrc::SetAttributes("ZeltaDiscovery", 0xFFFFFFFF);
}

TEST(PrintMemoryUsage, WritesTheHeapTopOnStandardOutputAtAnyLevel)
{
    testing::internal::CaptureStdout();
    std::uintptr_t before = 0;
    std::uintptr_t after = 0;
    EXPECT_TRUE(Records(0, [&] {
                    before = reinterpret_cast<std::uintptr_t>(ju::sbrk(0));
                    printMemoryUsage();
                    after = reinterpret_cast<std::uintptr_t>(ju::sbrk(0));
                }).empty());
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string prefix = " [sbrk] top of heap is 0x";
    ASSERT_EQ(prefix, out.substr(0, prefix.size())) << out;
    const std::string digits = out.substr(prefix.size(), out.size() - prefix.size() - 1);
    EXPECT_EQ('\n', out.back());
    EXPECT_EQ(std::string::npos, digits.find_first_not_of("0123456789abcdef")) << digits;
    EXPECT_NE('0', digits.front()) << digits;
    EXPECT_GE(std::strtoull(digits.c_str(), nullptr, 16), before);
    EXPECT_LE(std::strtoull(digits.c_str(), nullptr, 16), after);
}

namespace {

// What a block's stream and a standard output stream make of the same insertions.
template <typename... Items>
void ExpectFormattedAsByOstream(const Items&... items)
{
    std::ostringstream expected;
    (expected << ... << items);
    EXPECT_EQ(std::vector<std::string>{expected.str()},
              Traces(4, [&] { KEL_DEBUG(4, (cout << ... << items)); }));
}

enum Request { kRequest = 17 };

}  // namespace

TEST(DebugBlock, FormatsAsAnOutputStreamWould)
{
    int local = 0;
    std::ostream& (*const endl)(std::ostream&) = std::endl;
    ExpectFormattedAsByOstream("KelIoctl_SIOC( Fd = ", 3, " request = ", kRequest, ")", endl);
    ExpectFormattedAsByOstream(INT_MIN, ' ', -1, ' ', 0U, ' ', ULLONG_MAX, ' ', LLONG_MIN, ' ', true);
    ExpectFormattedAsByOstream(std::hex, -1, ' ', static_cast<short>(-2), ' ', 0x12FF40UL, std::oct, 8,
                               std::dec, ' ', 255);
    ExpectFormattedAsByOstream('c', static_cast<unsigned char>('u'), static_cast<signed char>('s'),
                               std::string("s"));
    ExpectFormattedAsByOstream(static_cast<const void*>(&local), ' ', static_cast<const void*>(nullptr));
}
