// Allocations that fail at one given place. The program is linked with --wrap for malloc,
// calloc, realloc and free, so the library's calls come here first (a compiler may turn malloc
// and memset into calloc).
#include <cstdlib>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "KelPort.h"
#include "support/Support.h"

namespace {

bool g_failNext = false;
long g_outstanding = 0;  // blocks taken by malloc and not given back

}  // namespace

extern "C" {
void* __real_malloc(std::size_t size);
void* __real_calloc(std::size_t count, std::size_t size);
void* __real_realloc(void* block, std::size_t size);
void __real_free(void* block);

void* __wrap_malloc(std::size_t size)
{
    ++g_outstanding;
    return std::exchange(g_failNext, false) ? nullptr : __real_malloc(size);
}

void __wrap_free(void* block)
{
    g_outstanding -= block != nullptr ? 1 : 0;
    __real_free(block);
}

void* __wrap_calloc(std::size_t count, std::size_t size)
{
    return std::exchange(g_failNext, false) ? nullptr : __real_calloc(count, size);
}

void* __wrap_realloc(void* block, std::size_t size)
{
    return __real_realloc(block, size);
}
}

// A traced report whose text is longer than a trace holds in place gives back what it takes,
// and without memory for it is cut short rather than lost.
TEST(ErrorReport, ALongTextKeepsNoMemoryAndIsCutShortWithoutIt)
{
    std::string text;
    text.reserve(2000);  // taking a record allocates nothing
    JuZadTrc::SetRecordHandler([&text](const JuZadTrc::Record& r) { text = r.text; });
    ScopedValue<int> level(__Kelvora_Debug_Level, 4);
    const std::string report = "Be aware : Given socket descriptor is invalid. in ../X at line 1.\n";
    const std::string longText(1000, 'x');
    const long before = g_outstanding;
    CKelError(-220459, "../X", 1, longText.c_str());
    EXPECT_EQ(before, g_outstanding);
    EXPECT_EQ(report + longText + "\n", text);
    g_failNext = true;
    CKelError(-220459, "../X", 1, longText.c_str());
    EXPECT_EQ(report + "\n", text);
    JuZadTrc::SetRecordHandler(nullptr);
}

TEST(AllocationDeathTest, AnAddressTextWithoutMemoryIsFatal)
{
    EXPECT_EXIT((g_failNext = true, KelGetIPStr(1UL)), Aborted,
                testing::Eq(AbortOutput("Fatal warning : Malloc failure - out of memory in ../KelNetwork at "
                                        "line 105 Aborting ......\n")));
}
