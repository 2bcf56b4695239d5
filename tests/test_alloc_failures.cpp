// Allocations that fail at one given place. The program is linked with --wrap for malloc,
// calloc and realloc, so the library's calls come here first (a compiler may turn malloc and
// memset into calloc).
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "CKelEtherHeader.h"
#include "KelNetwork.h"
#include "KelSysInfoInternal.h"
#include "support/System.h"

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
    return AbortOutput(std::string("Fatal warning : Malloc failure - out of memory in ") + source + " at line " +
                       std::to_string(line) + " Aborting ......\n");
}

}  // namespace

TEST(HostName, BlockHoldsExactlyTheNameAndItsTerminator)
{
    const std::string expected = HostName();
    char* name = KelGetHostName();
    ASSERT_NE(nullptr, name);
    EXPECT_EQ(expected, name);
    EXPECT_EQ(expected.size() + 1, g_lastReallocSize);
    std::free(name);
}

TEST(HostNameDeathTest, OutOfMemoryIsFatal)
{
    EXPECT_EXIT((g_failNextAllocation = true, KelGetHostName()), Aborted,
                testing::Eq(OutOfMemoryIn("../KelSysInfo", 158)));
    EXPECT_EXIT((g_failNextRealloc = true, KelGetHostName()), Aborted,
                testing::Eq(OutOfMemoryIn("../KelSysInfo", 175)));
}

TEST(AddressTextDeathTest, OutOfMemoryIsFatal)
{
    EXPECT_EXIT((g_failNextAllocation = true, KelGetIPStr(1UL)), Aborted,
                testing::Eq(OutOfMemoryIn("../KelNetwork", 105)));
}

TEST(EtherHeaderDeathTest, OutOfMemoryIsFatalWhereverItHappens)
{
    unsigned char frame[14] = {};
    EXPECT_EXIT((g_failNextAllocation = true, CKelEtherHeader(frame)), Aborted,
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
        EXPECT_EXIT((g_failNextAllocation = true, (header.*c.accessor)()), Aborted,
                    testing::Eq(OutOfMemoryIn("../CKelEtherHeader", c.line)));
    }
}
