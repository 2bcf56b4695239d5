// The trace objects and the path of a record: formatted by the thread that traces, then
// written whole, one record at a time. A trace never throws into its caller, never ends it
// and leaves its errno alone; a record that cannot be written is counted, and said once.
#include "JuZadTrc.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <utility>

#include <spdlog/common.h>

#include "JuZadConfig.h"
#include "JuZadFormat.h"
#include "JuZadOutput.h"
#include "JuZadSystem.h"

namespace JuZadTrc {

class TraceObj_i {
public:
    TraceObj_i(const char* component, StdCategory_e category) : m_component(component), m_category(category) {}
    const std::string m_component;
    const StdCategory_e m_category;
};

namespace {

// Things that happen to the sink itself are said on standard error, one line each.
void Say(const std::string& text)
{
    const std::string line = "JuZad: " + text + "\n";
    system::Write(stderr, line.data(), line.size(), true);
}

std::string SinkName(const SinkConfig& sink)
{
    return sink.value.empty() ? "the default sink (stderr)" : "JUZAD_TRACE_SINK='" + sink.value + "'";
}

struct State {
    State() : config(ReadConfig())
    {
        try {
            output = OpenOutput(config.sink);
        } catch (const std::exception& error) {
            Say("JUZAD_TRACE_SINK='" + config.sink.value + "' cannot be used (" + error.what() +
                "); using the default (stderr)");
            config.sink = SinkConfig{};
            output = OpenOutput(config.sink);
        }
        words.swap(config.attributes.byComponent);
        system::OnFork(BeforeFork, AfterForkInParent, AfterForkInChild);
    }

    ~State()
    {
        if (dropped != 0) {
            Say(std::to_string(dropped) + " records were dropped: " + SinkName(config.sink) + " could not be written (" +
                std::generic_category().message(failure) + ")");
        }
    }

    void Write(const char* data, std::size_t size)
    {
        std::lock_guard<std::mutex> lock(outputMutex);
        const int error = output->Write(data, size);
        if (error != 0) {
            if (dropped++ == 0) {
                failure = error;
                Say("cannot write to " + SinkName(config.sink) + " (" + std::generic_category().message(error) +
                    "); records are dropped until it can be written again");
            }
        } else if (dropped != 0) {
            Say(SinkName(config.sink) + " can be written again; " + std::to_string(dropped) + " records were dropped");
            dropped = 0;
        }
    }

    // The word of a component, made on first use. A std::map never moves its nodes, so
    // trace objects may keep pointers to the words.
    std::uint32_t* Word(const std::string& component)
    {
        return &words.try_emplace(component, config.attributes.all).first->second;
    }

    // A child of a fork has only the thread that forked: every lock that a record passes
    // through is taken before the fork, so that none is held by a thread the child lacks,
    // and given back on both sides after it.
    static void BeforeFork();
    static void AfterForkInParent();
    static void AfterForkInChild();

    Config config;
    std::unique_ptr<Output> output;  // null: records go nowhere

    std::mutex outputMutex;  // one record at a time through the output; guards the two below
    std::uint64_t dropped = 0;
    int failure = 0;  // why the first record since writing last worked was dropped

    std::mutex mutex;  // guards everything below
    std::map<std::string, std::uint32_t, std::less<>> words;
    RecordHandler recordHandler;
    std::atomic<bool> hasRecordHandler{false};
    ObjectHandler objectHandler;
};

State& TheState()
{
    static State state;
    return state;
}

void State::BeforeFork()
{
    State& state = TheState();
    state.mutex.lock();
    state.outputMutex.lock();
}

void State::AfterForkInParent()
{
    State& state = TheState();
    state.outputMutex.unlock();
    state.mutex.unlock();
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
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        handler = state.objectHandler;
    }
    if (handler) {
        handler(ObjectEvent{object.m_component.c_str(), object.m_category, alive});
    }
}

}  // namespace

TraceObj_t::TraceObj_t(const char* aComponentName, StdCategory_e aCategory)
    : fpAttributes(nullptr), fpTraceObj(new TraceObj_i(aComponentName != nullptr ? aComponentName : "", aCategory))
{
    State& state = TheState();
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        fpAttributes = state.Word(fpTraceObj->m_component);
    }
    Announce(*fpTraceObj, true);
}

TraceObj_t::~TraceObj_t()
{
    Announce(*fpTraceObj, false);
    delete fpTraceObj;
}

void TraceObj_t::DoTrace(std::uint32_t aAttributes, const char* aText, const char* aFile, std::uint32_t aLine)
{
    const int savedErrno = errno;
    try {
        State& state = TheState();
        const Record record{fpTraceObj->m_component.c_str(), fpTraceObj->m_category, aAttributes,
                            aText != nullptr ? aText : "", aFile != nullptr ? aFile : "", aLine};
        bool handled = false;
        if (state.hasRecordHandler.load(std::memory_order_acquire)) {
            std::lock_guard<std::mutex> lock(state.mutex);
            if (state.recordHandler) {
                state.recordHandler(record);
                handled = true;
            }
        }
        if (!handled && state.output != nullptr) {
            // Formatted outside the lock, so that threads wait for one another only to write.
            thread_local spdlog::memory_buf_t text;
            text.clear();
            FormatRecord(record, Stamp{std::chrono::system_clock::now(), system::ProcessId(), system::ThreadId()},
                         state.config.format, state.output->EndsLines(), text);
            state.Write(text.data(), text.size());
        }
    } catch (...) {
    }
    errno = savedErrno;
}

void SetRecordHandler(RecordHandler handler)
{
    State& state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.hasRecordHandler.store(static_cast<bool>(handler), std::memory_order_release);
    state.recordHandler = std::move(handler);
}

void SetAttributes(const char* componentName, std::uint32_t word)
{
    State& state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    __atomic_store_n(state.Word(componentName), word, __ATOMIC_RELAXED);
}

void SetObjectHandler(ObjectHandler handler)
{
    State& state = TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.objectHandler = std::move(handler);
}

}  // namespace JuZadTrc
