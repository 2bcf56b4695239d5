// Allocations that fail at one given place. The program is linked with --wrap for malloc,
// calloc and realloc, so the library's calls come here first (a compiler may turn malloc and
// memset into calloc).
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

#include <gtest/gtest.h>

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
                testing::Eq("Fatal warning : Malloc failure - out of memory in ../KelSysInfo at line 158 "
                            "Aborting ......\n"));
    EXPECT_EXIT((g_failNextRealloc = true, KelGetHostName()), testing::KilledBySignal(SIGABRT),
                testing::Eq("Fatal warning : Malloc failure - out of memory in ../KelSysInfo at line 175 "
                            "Aborting ......\n"));
}
