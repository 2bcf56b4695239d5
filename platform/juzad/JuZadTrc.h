/// \file
/// The tracing library: named trace objects whose records go, one whole record at a time, to
/// the sink and in the format that the environment configures (JUZAD_TRACE, JUZAD_TRACE_SINK,
/// JUZAD_TRACE_FORMAT), read once, when the first object is built.
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
/// Marks the names that the tracing library exports.
#  define JUZAD_API __attribute__((visibility("default")))
#endif

/// The tracing library's names.
namespace JuZadTrc {

/// What kind of record a trace object makes; records name it (the Trace of "[Trace]").
enum StdCategory_e {
    fFirstCategory_k = 1,  ///< the first value
    fUncategorized_k = 1,  ///< Uncategorized
    fTrace_k = 2,          ///< Trace: the library's general traces
    fProc_k = 3,           ///< Proc
    fSec_k = 4,            ///< Sec
    fInit_k = 5,           ///< Init
    fCleanup_k = 6,        ///< Cleanup
    fOperation_k = 7,      ///< Operation
    fEvent_k = 8,          ///< Event
    fResMgmt_k = 9,        ///< ResMgmt: memory usage
    fParms_k = 10,         ///< Parms
    fResults_k = 11,       ///< Results
    fMaxCategory_k = 11,   ///< the last value
};

class TraceObj_i;

/// A named source of records. Each object has the attribute word of its component, which the
/// environment (JUZAD_TRACE) or SetAttributes sets; a record is made only for attributes that
/// the word has.
class JUZAD_API TraceObj_t {
public:
    /// An object of a component ("ZeltaDiscovery") and a category.
    TraceObj_t(const char* aComponentName, StdCategory_e aCategory);
    ~TraceObj_t();
    TraceObj_t(const TraceObj_t&) = delete;
    TraceObj_t& operator=(const TraceObj_t&) = delete;

    /// Whether the component's word has every bit of \p aAttributes: a read of the word in the
    /// caller itself, without a call into the library. Once the object is destroyed, no bit is set.
    bool IsActive(std::uint32_t aAttributes) const
    {
        const std::uint32_t* word = __atomic_load_n(&fpAttributes, __ATOMIC_RELAXED);
        return (__atomic_load_n(word, __ATOMIC_RELAXED) & aAttributes) == aAttributes;
    }

    /// Makes one record of \p aText (one trailing line feed is dropped in the text format).
    /// Never throws, never ends the process, and leaves errno as it was; a record that the
    /// sink cannot take is counted and said on standard error. A trace through an object that
    /// another thread is destroying, as a static's destructor does while the process ends, is
    /// dropped: the object's storage and what it refers to stay readable for that.
    void DoTrace(std::uint32_t aAttributes, const char* aText, const char* aFile, std::uint32_t aLine);

private:
    const std::uint32_t* fpAttributes;  // the component's word, kept by the library
    TraceObj_i* fpTraceObj;
};

/// One record as DoTrace received it.
struct Record {
    const char* component;     ///< "ZeltaDiscovery", "Memory Usage", ...
    StdCategory_e category;    ///< the object's category
    std::uint32_t attributes;  ///< as handed to DoTrace
    const char* text;          ///< exactly as handed to DoTrace
    const char* file;          ///< the source file name handed to DoTrace
    std::uint32_t line;        ///< the source line handed to DoTrace
};
/// Takes records in place of the sink.
using RecordHandler = std::function<void(const Record&)>;

/// While set, records go to the handler instead of the sink, one at a time; the handler must
/// not trace itself. An empty handler restores the sink.
JUZAD_API void SetRecordHandler(RecordHandler handler);

/// Sets the attribute word of every object of the component, present and future.
JUZAD_API void SetAttributes(const char* componentName, std::uint32_t word);

/// A trace object being built or destroyed, for programs that follow the objects' lives.
struct ObjectEvent {
    const char* component;   ///< the object's component
    StdCategory_e category;  ///< the object's category
    bool alive;              ///< true once built, false when being destroyed
};
/// Hears of objects being built and destroyed.
using ObjectHandler = std::function<void(const ObjectEvent&)>;
/// Sets the handler that hears of every object built or destroyed from now on; an empty
/// handler hears nothing.
JUZAD_API void SetObjectHandler(ObjectHandler handler);

}  // namespace JuZadTrc
