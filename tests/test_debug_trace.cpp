// The trace sink and the heap top: which trace object a text goes to, and what is printed.
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "ju.h"
#include "support/Support.h"

TEST(GenZADTrace, RoutesByLevelAndRecordsOnlyWithAttributeEight)
{
    const std::pair<int, std::string> routes[] = {{6, "Memory Usage:78 KelDebug 8 KelIoctl()\n"},
                                                  {5, "ZeltaDiscovery:83 KelDebug 8 KelIoctl()\n"},
                                                  {7, "ZeltaDiscovery:83 KelDebug 8 KelIoctl()\n"}};
    char text[] = "KelIoctl()\n";
    for (const auto& [level, expected] : routes) {
        const auto records = Records(0, [&, level = level] { genZADTrace(text, level); });
        ASSERT_EQ(1u, records.size()) << level;
        const Caught& r = records[0];
        EXPECT_EQ(expected, r.component + ":" + std::to_string(r.line) + " " + r.file + " " +
                                std::to_string(r.attributes) + " " + r.text);
    }
    JuZadTrc::SetAttributes("ZeltaDiscovery", 0xFFFFFFF7);
    EXPECT_TRUE(Records(0, [&] { genZADTrace(text, 0); }).empty()) << "every attribute but 0x8";
    JuZadTrc::SetAttributes("ZeltaDiscovery", 0xFFFFFFFF);
}

TEST(PrintMemoryUsage, WritesTheHeapTopOnStandardOutputEvenAtLevelZero)
{
    testing::internal::CaptureStdout();
    const auto before = reinterpret_cast<std::uintptr_t>(ju::sbrk(0));
    printMemoryUsage();
    const auto after = reinterpret_cast<std::uintptr_t>(ju::sbrk(0));
    const std::string out = testing::internal::GetCapturedStdout();
    std::size_t digits = 0;
    const auto top = std::stoull(out.substr(25), &digits, 16);
    EXPECT_EQ(" [sbrk] top of heap is 0x" + out.substr(25, digits) + "\n", out);
    EXPECT_GE(top, before);
    EXPECT_LE(top, after);
}
