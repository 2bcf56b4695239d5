// Allocations that fail at one given place. The program is linked with --wrap for malloc,
// calloc and realloc, so the library's calls come here first (a compiler may turn malloc and
// memset into calloc).
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "CKelEtherHeader.h"
#include "KelDebugBlock.h"
#include "KelNetwork.h"
#include "KelSysInfoInternal.h"
#include "support/Support.h"

namespace {

bool g_failNext = false;
bool g_failNextRealloc = false;
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
    return std::exchange(g_failNextRealloc, false) ? nullptr : __real_realloc(block, size);
}
}

// A trace text that outgrows the block's own storage gives back what it took; one whose storage
// cannot grow keeps the text it had.
TEST(DebugBlock, GivesBackWhatItTakesAndKeepsItsTextWhenItCannotGrow)
{
    std::string text;
    text.reserve(2000);  // taking a record allocates nothing
    JuZadTrc::SetRecordHandler([&text](const JuZadTrc::Record& r) { text = r.text; });
    ScopedValue<int> level(__Kelvora_Debug_Level, 4);
    const std::string longText(1000, 'x');
    const long before = g_outstanding;
    KEL_DEBUG(4, cout << "kept " << longText);
    EXPECT_EQ(before, g_outstanding);
    EXPECT_EQ("kept " + longText, text);
    KEL_DEBUG(4, cout << "kept " << (g_failNext = true, longText));
    EXPECT_EQ("kept ", text);
    JuZadTrc::SetRecordHandler(nullptr);
}

TEST(AllocationDeathTest, OutOfMemoryIsFatalWhereverItHappens)
{
    unsigned char frame[14] = {};
    CKelEtherHeader header(frame);
    struct Case {
        const char* source;
        int line;
        bool* fail;
        std::function<void()> call;
    };
    const Case cases[] = {
        {"../KelSysInfo", 158, &g_failNext, [] { KelGetHostName(); }},
        {"../KelSysInfo", 175, &g_failNextRealloc, [] { KelGetHostName(); }},
        {"../KelNetwork", 105, &g_failNext, [] { KelGetIPStr(1UL); }},
        {"../CKelEtherHeader", 135, &g_failNext, [&frame] { CKelEtherHeader another(frame); }},
        {"../CKelEtherHeader", 343, &g_failNext, [&header] { header.KEHGetEtherShostAsUCHAR(); }},
        {"../CKelEtherHeader", 403, &g_failNext, [&header] { header.KEHGetEtherDhostAsUCHAR(); }},
        {"../CKelEtherHeader", 463, &g_failNext, [&header] { header.KEHGetPacketHeader(); }},
    };
    for (const auto& c : cases) {
        EXPECT_EXIT(
            (*c.fail = true, c.call()), Aborted,
            testing::Eq(AbortOutput(std::string("Fatal warning : Malloc failure - out of memory in ") +
                                    c.source + " at line " + std::to_string(c.line) + " Aborting ......\n")))
            << c.source << ":" << c.line;
    }
}
