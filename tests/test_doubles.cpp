// Faults that cannot be provoked for real, through link-time doubles: the emulation's ioctl
// (for the errno numbers no real descriptor gives on this system) and the allocation calls
// (the program is linked with --wrap for malloc, calloc and free, so the library's
// calls come here first), each failing only when a test says so.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "KelPort.h"
#include "ju.h"
#include "support/Support.h"

namespace {

int g_failWith = 0;  // the errno that every count request fails with

}  // namespace

int ju::ioctl(int, unsigned long, void*)
{
    errno = g_failWith;
    return -1;
}

// The count requests of the other two families pass a failure on as it is. The socket's own
// request reports a socket that can no longer be used and answers 0, and ends the process on
// any other failure; each report ends in the emulation's message for the errno number.
TEST(IoctlDoubleDeathTest, UnusableSocketsAreReportedAndTheRestFatal)
{
    const struct {
        int error;
        bool unusable;
        std::string message;
    } cases[] = {
        {227, false, std::strerror(227)},
        {228, true, "Socket operation on non-socket"},
        {229, true, "Bad socket descriptor"},
        {230, true, "Socket is not connected"},
        {231, true, "Cannot send after socket shutdown"},
        {232, true, "Connection reset by peer"},
        {233, false, "Network is down"},
        {234, false, "Operation now in progress"},
        {235, true, "Software caused connection abort"},
        {236, false, "Network dropped connection on reset"},
        {237, false, std::strerror(237)},
    };
    for (const auto& c : cases) {
        g_failWith = c.error;
        std::uint32_t count = 0;
        errno = 0;
        EXPECT_EQ(-1, KelIoctl(5, c.unusable ? KEL_I_NREAD : KEL_TIOCINQ, &count)) << c.error;
        EXPECT_EQ(c.error, errno) << c.error;
        if (c.unusable) {
            EXPECT_EQ(0, KelGetSocketPacketLength(5)) << c.error;
            EXPECT_EQ("Be aware : Given socket descriptor is invalid. in ../KelIoctl at line 408.\n" +
                          c.message + "\n",
                      Traces(4, [] { KelGetSocketPacketLength(5); }).back())
                << c.error;
        } else {
            EXPECT_EXIT(KelGetSocketPacketLength(5), Aborted,
                        testing::Eq(AbortOutput(
                            "Fatal warning : Ioctl failed for function call in ../KelIoctl at line 378.\n" +
                            c.message + " Aborting ......\n")))
                << c.error;
        }
    }
}

namespace {

bool g_failNext = false;
long g_outstanding = 0;  // blocks taken by malloc and not given back

}  // namespace

extern "C" {
void* __real_malloc(std::size_t size);
void* __real_calloc(std::size_t count, std::size_t size);
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
}

// A traced report whose text is longer than a trace holds in place gives back what it takes,
// and without memory for it is cut short rather than lost.
TEST(ErrorReport, ALongTextKeepsNoMemoryAndIsCutShortWithoutIt)
{
    std::string text;
    text.reserve(2000);  // taking a record allocates nothing
    JuZadTrc::SetRecordHandler([&text](const JuZadTrc::Record& r) { text = r.text; });
    const int saved = std::exchange(__Kelvora_Debug_Level, 4);
    // A long file name, then a longer text: the trace grows twice.
    const std::string file = "../" + std::string(200, 'f');
    const std::string report = "Be aware : Given socket descriptor is invalid. in ";
    const std::string longText(1000, 'x');
    const long before = g_outstanding;
    CKelError(-220459, file.c_str(), 1, longText.c_str());
    EXPECT_EQ(before, g_outstanding);
    EXPECT_EQ(report + file + " at line 1.\n" + longText + "\n", text);
    g_failNext = true;
    CKelError(-220459, "../X", 1, longText.c_str());
    EXPECT_EQ(report + "../X at line 1.\n\n", text);
    JuZadTrc::SetRecordHandler(nullptr);
    __Kelvora_Debug_Level = saved;
}

TEST(AllocationDeathTest, AnAddressTextWithoutMemoryIsFatal)
{
    EXPECT_EXIT((g_failNext = true, KelGetIPStr(1UL)), Aborted,
                testing::Eq(AbortOutput("Fatal warning : Malloc failure - out of memory in ../KelNetwork at "
                                        "line 105 Aborting ......\n")));
}
