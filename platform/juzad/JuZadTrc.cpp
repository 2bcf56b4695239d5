// The trace objects and the path of a record: formatted by the thread that traces, then
// written whole, one record at a time. A trace never throws into its caller, never ends it
// and leaves its errno alone; a record that cannot be written is counted, and said once.
//
// Programs end with threads still tracing: a static trace object is destroyed under them, and
// on Windows the other threads are gone, with any lock they held, before the libraries are
// told that the process ends. So the library's state is never destroyed, a destroyed object
// makes no record, and nothing waits for a lock once the process is ending.
#include "JuZadTrc.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include <spdlog/common.h>

#include "JuZadConfig.h"
#include "JuZadFormat.h"
#include "JuZadOutput.h"
#include "JuZadSystem.h"

namespace JuZadTrc {

class TraceObj_i {
public:
    TraceObj_i(std::string component, StdCategory_e category)
        : m_component(std::move(component)), m_category(category)
    {
    }
    const std::string m_component;
    const StdCategory_e m_category;
};

namespace {

// The word of every destroyed object.
const std::uint32_t kNoAttributes = 0;

// A lock, or while the process ends, only a lock that is free: one that a thread held when
// the system ended it is never given back.
std::unique_lock<std::mutex> Hold(std::mutex& mutex)
{
    if (system::ProcessEnding()) {
        return std::unique_lock<std::mutex>(mutex, std::try_to_lock);
    }
    return std::unique_lock<std::mutex>(mutex);
}

// Things that happen to the sink itself are said on standard error, one line each.
void Say(const std::string& text)
{
    const std::string line = "JuZad: " + text + "\n";
    system::Write(stderr, line.data(), line.size(), system::Writing::Guarded);
}

std::string SinkName(const SinkConfig& sink)
{
    return sink.value.empty() ? "the default sink (stderr)" : "JUZAD_TRACE_SINK='" + sink.value + "'";
}

// Where records go: the output, one record at a time, and what it lost. The count and the
// reason are written under the lock and read without it at the end of the process.
struct Sink {
    // A sink that goes wrong says so once, and once when it goes right again, with how many
    // records it lost meanwhile.
    void Write(const char* data, std::size_t size, std::chrono::system_clock::time_point time)
    {
        const auto lock = Hold(mutex);
        if (!lock) {
            return;
        }
        const Outcome outcome = output->Write(data, size, time);
        const std::uint64_t lost = dropped.load(std::memory_order_relaxed) + (outcome.lost ? 1 : 0);
        dropped.store(lost, std::memory_order_relaxed);
        if (outcome.lost && lost == 1) {
            failure.store(outcome.error, std::memory_order_relaxed);
        }
        const bool wrong = outcome.lost || outcome.trouble != nullptr;
        if (wrong && !troubled) {
            Say(outcome.lost ? "cannot write to " + SinkName(config) + " (" +
                                   std::generic_category().message(outcome.error) +
                                   "); records are dropped until it can be written again"
                             : SinkName(config) + ": " + outcome.trouble);
        } else if (!wrong && troubled) {
            Say(SinkName(config) + " can be written again; " + std::to_string(lost) +
                " records were dropped");
            dropped.store(0, std::memory_order_relaxed);
        }
        troubled = wrong;
    }

    SinkConfig config;
    std::unique_ptr<Output> output;  // null: records go nowhere; set once, before any record
    std::mutex mutex;
    bool troubled = false;  // whether the last record was lost, or had trouble on its way
    std::atomic<std::uint64_t> dropped{0};
    std::atomic<int> failure{0};  // why the first record since writing last worked was dropped
};

// The trace objects' kinds and the components' words, under one lock. A std::map never moves
// its nodes, so trace objects keep pointers into both.
struct Objects {
    // The word of a component, made on first use.
    std::uint32_t* Word(const std::string& component)
    {
        return &words.try_emplace(component, all).first->second;
    }

    std::mutex mutex;
    std::uint32_t all = 0;  // the word of a component that JUZAD_TRACE does not name
    std::map<std::string, std::uint32_t, std::less<>> words;
    std::map<std::pair<std::string, StdCategory_e>, TraceObj_i> kinds;  // each object's, never freed
    std::vector<std::string> named;         // the components that JUZAD_TRACE names
    std::atomic<bool> namesChecked{false};  // set once, by the first record
};

// The program's own handlers, under one lock; a record handler runs under it, so that it is
// never called after it has been taken away.
struct Handlers {
    std::mutex mutex;
    RecordHandler record;
    std::atomic<bool> hasRecord{false};  // read without the lock, to pass it by
    ObjectHandler object;
};

struct State {
    State()
    {
        Config config = ReadConfig();
        format = config.format;
        sink.config = config.sink;
        try {
            sink.output = OpenOutput(sink.config);
        } catch (const std::exception& error) {
            Say("JUZAD_TRACE_SINK='" + sink.config.value + "' cannot be used (" + error.what() +
                "); using the default (stderr)");
            sink.config = SinkConfig{};
            sink.output = OpenOutput(sink.config);
        }
        for (const auto& [name, word] : config.attributes.byComponent) {
            objects.named.push_back(name);
        }
        objects.all = config.attributes.all;
        objects.words.swap(config.attributes.byComponent);
        system::OnFork(BeforeFork, AfterForkInParent, AfterForkInChild);
        // After the destructors of the objects built from now on, the first among them.
        std::atexit(SayDropped);
    }

    // Read without the lock, which a thread that the end of the process stopped may hold.
    static void SayDropped();

    // A name in JUZAD_TRACE that no object has is most often a name mistyped, which would
    // otherwise go unseen. Said at the first record, once the objects that a program builds
    // as it starts are there, and once in the process and its children.
    void SayUnknownComponents();

    void Deliver(const Record& record, bool toHandler)
    {
        if (toHandler) {
            const auto lock = Hold(handlers.mutex);
            if (!lock) {
                return;  // dropped: the process is ending
            }
            if (handlers.record) {
                handlers.record(record);
                return;
            }
        }
        if (sink.output != nullptr) {
            // Formatted outside the lock, so that threads wait for one another only to write.
            // On the stack, whose 250 bytes hold most records: a per-thread buffer, being an
            // object with a destructor, would have the Windows library delete a thread key as
            // it unloads, and that waits forever on a lock that a thread ended by the
            // process's exit may hold.
            spdlog::memory_buf_t text;
            const Stamp stamp{std::chrono::system_clock::now(), system::ProcessId(), system::ThreadId()};
            FormatRecord(record, stamp, format, sink.output->EndsLines(), text);
            sink.Write(text.data(), text.size(), stamp.time);
        }
    }

    // A child of a fork has only the thread that forked: every lock that a record passes
    // through is taken before the fork, so that none is held by a thread the child lacks,
    // and given back on both sides after it.
    static void BeforeFork();
    static void AfterForkInParent();
    static void AfterForkInChild();

    Format format = Format::Text;
    Sink sink;
    Objects objects;
    Handlers handlers;
};

State& TheState()
{
    static State* const state = new State;
    return *state;
}

void State::SayDropped()
{
    State& state = TheState();
    if (const std::uint64_t dropped = state.sink.dropped.load(std::memory_order_relaxed)) {
        Say(std::to_string(dropped) + " records were dropped: " + SinkName(state.sink.config) +
            " could not be written (" +
            std::generic_category().message(state.sink.failure.load(std::memory_order_relaxed)) + ")");
    }
}

void State::SayUnknownComponents()
{
    std::set<std::string> components;
    std::string unknown;
    std::size_t count = 0;
    if (const auto lock = Hold(objects.mutex)) {
        for (const auto& [key, object] : objects.kinds) {
            components.insert(key.first);
        }
        for (const auto& name : objects.named) {
            if (components.count(name) == 0) {
                unknown += (count++ == 0 ? "'" : ", '") + name + "'";
            }
        }
    }
    if (count != 0) {
        std::string known;
        for (const auto& component : components) {
            known += (known.empty() ? "" : ", ") + component;
        }
        Say("JUZAD_TRACE: no trace object has the component" + std::string(count == 1 ? " " : "s ") +
            unknown + " (this program's are " + known + "); " +
            (count == 1 ? "its word is" : "their words are") + " ignored");
    }
}

void State::BeforeFork()
{
    State& state = TheState();
    // In the order a thread may take them: a record handler may make trace objects and trace.
    state.handlers.mutex.lock();
    state.objects.mutex.lock();
    state.sink.mutex.lock();
}

void State::AfterForkInParent()
{
    State& state = TheState();
    state.sink.mutex.unlock();
    state.objects.mutex.unlock();
    state.handlers.mutex.unlock();
}

// The child's one thread is the one that took the locks, so it can give them back: fresh,
// with nobody waiting.
void State::AfterForkInChild()
{
    AfterForkInParent();
}

void Announce(const TraceObj_i& object, bool alive)
{
    State& state = TheState();
    ObjectHandler handler;
    if (const auto lock = Hold(state.handlers.mutex)) {
        handler = state.handlers.object;
    }
    if (handler) {
        handler(ObjectEvent{object.m_component.c_str(), object.m_category, alive});
    }
}

}  // namespace

TraceObj_t::TraceObj_t(const char* aComponentName, StdCategory_e aCategory)
    : fpAttributes(nullptr), fpTraceObj(nullptr)
{
    State& state = TheState();
    {
        std::lock_guard<std::mutex> lock(state.objects.mutex);
        std::string component = aComponentName != nullptr ? aComponentName : "";
        fpAttributes = state.objects.Word(component);
        const auto key = std::make_pair(component, aCategory);
        fpTraceObj = &state.objects.kinds.try_emplace(key, std::move(component), aCategory).first->second;
    }
    Announce(*fpTraceObj, true);
}

TraceObj_t::~TraceObj_t()
{
    Announce(*fpTraceObj, false);
    __atomic_store_n(&fpAttributes, &kNoAttributes, __ATOMIC_RELAXED);
}

void TraceObj_t::DoTrace(std::uint32_t aAttributes, const char* aText, const char* aFile, std::uint32_t aLine)
{
    if (__atomic_load_n(&fpAttributes, __ATOMIC_RELAXED) == &kNoAttributes) {
        return;
    }
    const int savedErrno = errno;
    try {
        State& state = TheState();
        if (!state.objects.namesChecked.load(std::memory_order_relaxed) &&
            !state.objects.namesChecked.exchange(true)) {
            state.SayUnknownComponents();
        }
        // To the program's record handler, or else to the sink's output; the null sink has neither.
        const bool toHandler = state.handlers.hasRecord.load(std::memory_order_acquire);
        if (toHandler || state.sink.output != nullptr) {
            state.Deliver(Record{fpTraceObj->m_component.c_str(), fpTraceObj->m_category, aAttributes,
                                 aText != nullptr ? aText : "", aFile != nullptr ? aFile : "", aLine},
                          toHandler);
        }
    } catch (...) {
    }
    errno = savedErrno;
}

void SetRecordHandler(RecordHandler handler)
{
    State& state = TheState();
    std::lock_guard<std::mutex> lock(state.handlers.mutex);
    state.handlers.hasRecord.store(static_cast<bool>(handler), std::memory_order_release);
    state.handlers.record = std::move(handler);
}

void SetAttributes(const char* componentName, std::uint32_t word)
{
    State& state = TheState();
    std::lock_guard<std::mutex> lock(state.objects.mutex);
    __atomic_store_n(state.objects.Word(componentName), word, __ATOMIC_RELAXED);
}

void SetObjectHandler(ObjectHandler handler)
{
    State& state = TheState();
    std::lock_guard<std::mutex> lock(state.handlers.mutex);
    state.handlers.object = std::move(handler);
}

}  // namespace JuZadTrc
