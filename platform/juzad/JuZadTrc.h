// The tracing library: named trace objects whose records go, one whole record at a time,
// to the sink and in the format that the environment configures (JUZAD_TRACE,
// JUZAD_TRACE_SINK, JUZAD_TRACE_FORMAT), read once when the first object is built.
#pragma once

#include <cstdint>
#include <functional>

#if defined(_WIN32)
#  if defined(JUZAD_BUILDING)
#    define JUZAD_API __declspec(dllexport)
#  else
#    define JUZAD_API __declspec(dllimport)
#  endif
#else
#  define JUZAD_API __attribute__((visibility("default")))
#endif

namespace JuZadTrc {

enum StdCategory_e {
    fFirstCategory_k = 1,
    fUncategorized_k = 1,
    fTrace_k = 2,
    fProc_k = 3,
    fSec_k = 4,
    fInit_k = 5,
    fCleanup_k = 6,
    fOperation_k = 7,
    fEvent_k = 8,
    fResMgmt_k = 9,
    fParms_k = 10,
    fResults_k = 11,
    fMaxCategory_k = 11,
};

class TraceObj_i;

class JUZAD_API TraceObj_t {
public:
    TraceObj_t(const char* aComponentName, StdCategory_e aCategory);
    ~TraceObj_t();
    TraceObj_t(const TraceObj_t&) = delete;
    TraceObj_t& operator=(const TraceObj_t&) = delete;

    // Read here rather than in the library, so that a caller's test costs one load.
    bool IsActive(std::uint32_t aAttributes) const
    {
        return (__atomic_load_n(fpAttributes, __ATOMIC_RELAXED) & aAttributes) == aAttributes;
    }

    void DoTrace(std::uint32_t aAttributes, const char* aText, const char* aFile, std::uint32_t aLine);

private:
    const std::uint32_t* fpAttributes;  // the component's word, kept by the library
    TraceObj_i* fpTraceObj;
};

// One record as DoTrace received it.
struct Record {
    const char* component;  // "ZeltaDiscovery", "Memory Usage", ...
    StdCategory_e category;
    std::uint32_t attributes;
    const char* text;  // exactly as handed to DoTrace
    const char* file;
    std::uint32_t line;
};
using RecordHandler = std::function<void(const Record&)>;

// While set, records go to the handler instead of the sink, one at a time; the handler must
// not trace itself. An empty handler restores the sink.
JUZAD_API void SetRecordHandler(RecordHandler handler);

// Sets the attribute word of every object of the component, present and future.
JUZAD_API void SetAttributes(const char* componentName, std::uint32_t word);

// A trace object being built or destroyed, for programs that follow the objects' lives.
struct ObjectEvent {
    const char* component;
    StdCategory_e category;
    bool alive;  // true once built, false when being destroyed
};
using ObjectHandler = std::function<void(const ObjectEvent&)>;
JUZAD_API void SetObjectHandler(ObjectHandler handler);

}  // namespace JuZadTrc
