// The debug trace: the level, the block's streams, the sink and its two trace objects.
// <iostream> comes first so that the standard streams are set up before the trace objects.
#include <iostream>

#include <algorithm>
#include <cinttypes>
#include <cstdint>
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
        // Callers read errno after reports that trace, and DoTrace leaves it as it was.
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

DebugStream::~DebugStream()
{
    if (m_begin != m_inline) {
        std::free(m_begin);
    }
}

bool DebugStream::Grow(std::size_t more)
{
    const std::size_t used = static_cast<std::size_t>(m_end - m_begin);
    const std::size_t capacity = std::max(2 * static_cast<std::size_t>(m_limit - m_begin), used + more);
    char* grown = static_cast<char*>(std::malloc(capacity + 1));
    if (grown == nullptr) {
        return false;  // the text stays as it was
    }
    std::memcpy(grown, m_begin, used);
    if (m_begin != m_inline) {
        std::free(m_begin);
    }
    m_begin = grown;
    m_end = grown + used;
    m_limit = grown + capacity;
    return true;
}

// As an output stream shows them: hexadecimal with 0x, and a null pointer as 0.
DebugStream& DebugStream::operator<<(const void* pointer)
{
    if (pointer == nullptr) {
        return *this << '0';
    }
    const int base = m_base;
    m_base = 16;
    *this << "0x" << reinterpret_cast<std::uintptr_t>(pointer);
    m_base = base;
    return *this;
}

DebugStream& DebugStream::operator<<(std::ostream& (*manipulator)(std::ostream&))
{
    using Manipulator = std::ostream& (*)(std::ostream&);
    if (manipulator == static_cast<Manipulator>(std::endl)) {
        *this << '\n';
    }
    return *this;  // std::flush and the like: the text is handed on when the block closes
}

DebugStream& DebugStream::operator<<(std::ios_base& (*manipulator)(std::ios_base&))
{
    if (manipulator == std::hex) {
        m_base = 16;
    } else if (manipulator == std::dec) {
        m_base = 10;
    } else if (manipulator == std::oct) {
        m_base = 8;
    }
    return *this;
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
