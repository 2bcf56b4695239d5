// The debug trace: the level, the block's streams, the sink and its two trace objects.
// <iostream> comes first so that the standard streams are set up before the trace objects.
#include <iostream>

#include <cinttypes>
#include <cstdlib>
#include <cstring>

#include "JuZadTrc.h"
#include "KelDebug.h"
#include "KelDebugBlock.h"
#include "ju.h"

int __Kelvora_Debug_Level = 0;

namespace {

// Built in this order at load and destroyed in the reverse order at unload.
JuZadTrc::TraceObj_t GenTraceObj("ZeltaDiscovery", JuZadTrc::fTrace_k);
JuZadTrc::TraceObj_t GenResMgmtObj("Memory Usage", JuZadTrc::fResMgmt_k);

constexpr int kMemoryUsageLevel = 6;
constexpr std::uint32_t kTraceAttributes = 8;

}  // namespace

void genZADTrace(char* buf, int theLevel)
{
    const bool memoryUsage = theLevel == kMemoryUsageLevel;
    JuZadTrc::TraceObj_t& object = memoryUsage ? GenResMgmtObj : GenTraceObj;
    if (object.IsActive(kTraceAttributes)) {
        object.DoTrace(kTraceAttributes, buf, "KelDebug", memoryUsage ? 78 : 83);
    }
}

void printMemoryUsage()
{
    char buf[256];
    ju::sprintf_new(buf, " [sbrk] top of heap is 0x%" PRIxPTR, reinterpret_cast<std::uintptr_t>(ju::sbrk(0)));
    std::cout << buf << std::endl;
}

namespace kelport {

// One byte past the end of the put area is kept for the terminator.
DebugText::DebugText()
{
    setp(m_inline, m_inline + sizeof m_inline - 1);
}

DebugText::~DebugText()
{
    std::free(m_heap);
}

bool DebugText::Reserve(std::size_t more)
{
    const std::size_t used = static_cast<std::size_t>(pptr() - pbase());
    const std::size_t capacity = static_cast<std::size_t>(epptr() - pbase());
    if (more <= capacity - used) {
        return true;
    }
    const std::size_t wanted = std::max(2 * capacity, used + more);
    char* grown = static_cast<char*>(std::malloc(wanted + 1));
    if (grown == nullptr) {
        return false;  // the stream goes bad and the text stays as it was
    }
    std::memcpy(grown, pbase(), used);
    std::free(m_heap);
    m_heap = grown;
    setp(grown, grown + wanted);
    pbump(static_cast<int>(used));
    return true;
}

DebugText::int_type DebugText::overflow(int_type c)
{
    if (traits_type::eq_int_type(c, traits_type::eof())) {
        return traits_type::not_eof(c);
    }
    if (!Reserve(1)) {
        return traits_type::eof();
    }
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
}

std::streamsize DebugText::xsputn(const char* text, std::streamsize count)
{
    if (count <= 0 || !Reserve(static_cast<std::size_t>(count))) {
        return 0;
    }
    std::memcpy(pptr(), text, static_cast<std::size_t>(count));
    pbump(static_cast<int>(count));
    return count;
}

char* DebugText::Terminated()
{
    *pptr() = '\0';
    return pbase();
}

DebugBlock::~DebugBlock()
{
    char* keldebug_output_buf = cout.Terminated();
    if (keldebug_output_buf != nullptr && *keldebug_output_buf != '\0') {
        genZADTrace(keldebug_output_buf, m_level);
    }
    keldebug_output_buf = cerr.Terminated();
    if (keldebug_output_buf != nullptr && *keldebug_output_buf != '\0') {
        genZADTrace(keldebug_output_buf, 0);
    }
}

}  // namespace kelport
