// Allocations that fail at one given place. The program is linked with --wrap for malloc,
// calloc and realloc, so the library's calls come here first (a compiler may turn malloc and
// memset into calloc).
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

#include <gtest/gtest.h>

#include "CKelEtherHeader.h"
#include "KelNetwork.h"
#include "KelSysInfoInternal.h"

namespace {

bool g_failNextAllocation = false;
bool g_failNextRealloc = false;
std::size_t g_lastReallocSize = 0;

}  // namespace

extern "C" {
void* __real_malloc(std::size_t size);
void* __real_calloc(std::size_t count, std::size_t size);
void* __real_realloc(void* block, std::size_t size);

void* __wrap_malloc(std::size_t size)
{
    if (g_failNextAllocation) {
        g_failNextAllocation = false;
        return nullptr;
    }
    return __real_malloc(size);
}

void* __wrap_calloc(std::size_t count, std::size_t size)
{
    if (g_failNextAllocation) {
        g_failNextAllocation = false;
        return nullptr;
    }
    return __real_calloc(count, size);
}

void* __wrap_realloc(void* block, std::size_t size)
{
    g_lastReallocSize = size;
    if (g_failNextRealloc) {
        g_failNextRealloc = false;
        return nullptr;
    }
    return __real_realloc(block, size);
}
}

namespace {

std::string OutOfMemoryIn(const char* source, int line)
{
    return std::string("Fatal warning : Malloc failure - out of memory in ") + source + " at line " +
           std::to_string(line) + " Aborting ......\n";
}

}  // namespace

TEST(HostName, BlockHoldsExactlyTheNameAndItsTerminator)
{
    char expected[256] = {};
    ASSERT_EQ(0, ::gethostname(expected, sizeof expected - 1));
    char* name = KelGetHostName();
    ASSERT_NE(nullptr, name);
    EXPECT_STREQ(expected, name);
    EXPECT_EQ(std::strlen(expected) + 1, g_lastReallocSize);
    std::free(name);
}

TEST(HostNameDeathTest, OutOfMemoryIsFatal)
{
    EXPECT_EXIT((g_failNextAllocation = true, KelGetHostName()), testing::KilledBySignal(SIGABRT),
                testing::Eq(OutOfMemoryIn("../KelSysInfo", 158)));
    EXPECT_EXIT((g_failNextRealloc = true, KelGetHostName()), testing::KilledBySignal(SIGABRT),
                testing::Eq(OutOfMemoryIn("../KelSysInfo", 175)));
}

TEST(AddressTextDeathTest, OutOfMemoryIsFatal)
{
    EXPECT_EXIT((g_failNextAllocation = true, KelGetIPStr(1UL)), testing::KilledBySignal(SIGABRT),
                testing::Eq(OutOfMemoryIn("../KelNetwork", 105)));
}

TEST(EtherHeaderDeathTest, OutOfMemoryIsFatalWhereverItHappens)
{
    unsigned char frame[14] = {};
    EXPECT_EXIT((g_failNextAllocation = true, CKelEtherHeader(frame)), testing::KilledBySignal(SIGABRT),
                testing::Eq(OutOfMemoryIn("../CKelEtherHeader", 135)));

    CKelEtherHeader header(frame);
    struct Case {
        unsigned char* (CKelEtherHeader::*accessor)();
        int line;
    };
    const Case cases[] = {
        {&CKelEtherHeader::KEHGetEtherShostAsUCHAR, 343},
        {&CKelEtherHeader::KEHGetEtherDhostAsUCHAR, 403},
        {&CKelEtherHeader::KEHGetPacketHeader, 463},
    };
    for (const auto& c : cases) {
        EXPECT_EXIT((g_failNextAllocation = true, (header.*c.accessor)()), testing::KilledBySignal(SIGABRT),
                    testing::Eq(OutOfMemoryIn("../CKelEtherHeader", c.line)));
    }
}
