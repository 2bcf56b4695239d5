#include <climits>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "KelDebug.h"
#include "KelDebugBlock.h"
#include "ju.h"
#include "support/TraceCapture.h"

using testing::ElementsAre;
using testing::IsEmpty;

TEST(DebugBlock, RunsWhenTheLevelIsNonZeroAndHighEnough)
{
    const int blockLevels[] = {1, 2, 4};
    struct Case {
        int debugLevel;
        std::vector<std::string> expected;  // the blocks of levels 1, 2 and 4 that ran
    };
    const Case cases[] = {
        {0, {}},
        {1, {"1\n"}},
        {2, {"1\n", "2\n"}},
        {3, {"1\n", "2\n"}},
        {4, {"1\n", "2\n", "4\n"}},
        {INT_MAX, {"1\n", "2\n", "4\n"}},
        {-1, {}},
        {INT_MIN, {}},
    };
    for (const auto& c : cases) {
        ScopedValue<int> level(__Kelvora_Debug_Level, c.debugLevel);
        TraceCapture capture;
        for (const int blockLevel : blockLevels) {
            KEL_DEBUG(blockLevel, cout << blockLevel << std::endl);
        }
        EXPECT_EQ(c.expected, capture.Texts()) << "debug level " << c.debugLevel;
    }
}

TEST(DebugBlock, EvaluatesNothingWhenOff)
{
    ScopedValue<int> level(__Kelvora_Debug_Level, 3);
    int evaluated = 0;
    KEL_DEBUG(4, cout << ++evaluated << std::endl);
    EXPECT_EQ(0, evaluated);
    KEL_DEBUG(3, cout << ++evaluated << std::endl);
    EXPECT_EQ(1, evaluated);
}

// A block at level 6 shows the level it hands on: level 6 reaches the memory-usage object.
TEST(DebugBlock, TracesCoutAtItsLevelThenCerrAtLevelZero)
{
    ScopedValue<int> level(__Kelvora_Debug_Level, 6);
    TraceCapture capture;
    KEL_DEBUG(6, cerr << "to level 0"; cout << "to level 6" << std::endl);
    const auto records = capture.Records();
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ("to level 6\n", records[0].text);
    EXPECT_EQ("Memory Usage", records[0].component);
    EXPECT_EQ("to level 0", records[1].text);
    EXPECT_EQ("ZeltaDiscovery", records[1].component);
}

TEST(DebugBlock, EmptyStreamsMakeNoCall)
{
    ScopedValue<int> level(__Kelvora_Debug_Level, 4);
    TraceCapture capture;
    KEL_DEBUG(4, cout << "");
    KEL_DEBUG(4, static_cast<void>(0));
    EXPECT_THAT(capture.Records(), IsEmpty());
}

TEST(DebugBlock, KeepsLongTextsWhole)
{
    ScopedValue<int> level(__Kelvora_Debug_Level, 4);
    TraceCapture capture;
    std::string expected;
    for (int i = 0; i < 2000; ++i) {
        expected += std::to_string(i) + ",";
    }
    KEL_DEBUG(4, for (int i = 0; i < 2000; ++i) cout << i << ','; cout << std::string(300, 'x') << 'y');
    EXPECT_THAT(capture.Texts(), ElementsAre(expected + std::string(300, 'x') + "y"));
}

TEST(GenZADTrace, RoutesLevelSixToMemoryUsageAndTheRestToTheGeneralObject)
{
    struct Case {
        int level;
        const char* component;
        JuZadTrc::StdCategory_e category;
        std::uint32_t line;
    };
    const Case cases[] = {
        {6, "Memory Usage", JuZadTrc::fResMgmt_k, 78},     {0, "ZeltaDiscovery", JuZadTrc::fTrace_k, 83},
        {4, "ZeltaDiscovery", JuZadTrc::fTrace_k, 83},     {5, "ZeltaDiscovery", JuZadTrc::fTrace_k, 83},
        {7, "ZeltaDiscovery", JuZadTrc::fTrace_k, 83},     {-1, "ZeltaDiscovery", JuZadTrc::fTrace_k, 83},
        {-6, "ZeltaDiscovery", JuZadTrc::fTrace_k, 83},
    };
    for (const auto& c : cases) {
        TraceCapture capture;
        char text[] = "KelIoctl()\n";
        genZADTrace(text, c.level);
        const auto records = capture.Records();
        ASSERT_EQ(1u, records.size()) << "level " << c.level;
        EXPECT_EQ(c.component, records[0].component) << "level " << c.level;
        EXPECT_EQ(c.category, records[0].category);
        EXPECT_EQ(8u, records[0].attributes);
        EXPECT_EQ("KelIoctl()\n", records[0].text);
        EXPECT_EQ("KelDebug", records[0].file);
        EXPECT_EQ(c.line, records[0].line) << "level " << c.level;
    }
}

TEST(GenZADTrace, RecordsOnlyWhenTheObjectHasAttributeEight)
{
    struct Case {
        std::uint32_t word;
        bool recorded;
    };
    const Case cases[] = {
        {0x0, false}, {0x8, true}, {0x7, false}, {0xFFFFFFF7, false}, {0x9, true}, {0xFFFFFFFF, true},
    };
    for (const auto& c : cases) {
        TraceCapture capture;
        JuZadTrc::SetAttributes("ZeltaDiscovery", c.word);
        JuZadTrc::SetAttributes("Memory Usage", ~c.word);
        char text[] = "x";
        genZADTrace(text, 0);
        genZADTrace(text, 6);
        const auto records = capture.Records();
        ASSERT_EQ(1u, records.size()) << std::hex << c.word;
        EXPECT_EQ(c.recorded ? "ZeltaDiscovery" : "Memory Usage", records[0].component) << std::hex << c.word;
    }
    JuZadTrc::SetAttributes("ZeltaDiscovery", 0xFFFFFFFF);
    JuZadTrc::SetAttributes("Memory Usage", 0xFFFFFFFF);
}

TEST(PrintMemoryUsage, WritesTheHeapTopOnStandardOutputAtAnyLevel)
{
    ScopedValue<int> level(__Kelvora_Debug_Level, 0);
    TraceCapture capture;
    testing::internal::CaptureStdout();
    const auto before = reinterpret_cast<std::uintptr_t>(ju::sbrk(0));
    printMemoryUsage();
    const auto after = reinterpret_cast<std::uintptr_t>(ju::sbrk(0));
    const std::string out = testing::internal::GetCapturedStdout();

    const std::string prefix = " [sbrk] top of heap is 0x";
    ASSERT_EQ(prefix, out.substr(0, prefix.size())) << out;
    ASSERT_EQ('\n', out.back());
    const std::string digits = out.substr(prefix.size(), out.size() - prefix.size() - 1);
    EXPECT_EQ(std::string::npos, digits.find_first_not_of("0123456789abcdef")) << digits;
    EXPECT_NE('0', digits.front()) << digits;
    const auto top = std::strtoull(digits.c_str(), nullptr, 16);
    EXPECT_GE(top, before);
    EXPECT_LE(top, after);
    EXPECT_THAT(capture.Records(), IsEmpty());
}

namespace {

// What a block's stream and a standard output stream make of the same insertions.
template <typename... Items>
void ExpectFormattedAsByOstream(const Items&... items)
{
    std::ostringstream expected;
    (expected << ... << items);
    ScopedValue<int> level(__Kelvora_Debug_Level, 4);
    TraceCapture capture;
    KEL_DEBUG(4, (cout << ... << items));
    const auto texts = capture.Texts();
    ASSERT_EQ(1u, texts.size()) << expected.str();
    EXPECT_EQ(expected.str(), texts[0]);
}

enum Request { kRequest = 17 };

std::ostream& (*const kEndl)(std::ostream&) = std::endl;

}  // namespace

TEST(DebugBlock, FormatsAsAnOutputStreamWould)
{
    int local = 0;
    const std::string text = "string";
    ExpectFormattedAsByOstream("KelIoctl_SIOC( Fd = ", 3, " request = ", kRequest, ")", kEndl);
    ExpectFormattedAsByOstream(INT_MIN, ' ', -1, ' ', 0U, ' ', ULLONG_MAX, ' ', LLONG_MIN, ' ', true);
    ExpectFormattedAsByOstream(std::hex, -1, ' ', static_cast<short>(-2), ' ', 0x12FF40UL, std::dec, ' ', 255);
    ExpectFormattedAsByOstream('c', static_cast<unsigned char>('u'), static_cast<signed char>('s'), text);
    ExpectFormattedAsByOstream(static_cast<const void*>(&local), ' ', static_cast<const void*>(nullptr));
}
