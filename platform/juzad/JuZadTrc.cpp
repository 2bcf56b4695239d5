#include "JuZadTrc.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>

#include <spdlog/details/log_msg.h>
#include <spdlog/formatter.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/sinks/null_sink.h>
#include <spdlog/sinks/rotating_file_sink.h>
#include <spdlog/sinks/stdout_sinks.h>

#include "JuZadConfig.h"
#include "JuZadFormat.h"
#include "JuZadSystem.h"

namespace JuZadTrc {

class TraceObj_i {
public:
    TraceObj_i(const char* component, StdCategory_e category) : m_component(component), m_category(category) {}
    const std::string m_component;
    const StdCategory_e m_category;
};

namespace {

// A record on its way through a sink: spdlog's message, with what only our formatter reads.
struct Message : spdlog::details::log_msg {
    explicit Message(const Record& record)
        : log_msg(spdlog::source_loc{record.file, static_cast<int>(record.line), nullptr}, record.component,
                  spdlog::level::debug, record.text),
          category(record.category), attributes(record.attributes)
    {
    }
    StdCategory_e category;
    std::uint32_t attributes;
};

class RecordFormatter final : public spdlog::formatter {
public:
    RecordFormatter(Format format, bool eol) : m_format(format), m_eol(eol) {}

    // Every message that reaches our sinks is one of ours: DoTrace is their only writer.
    void format(const spdlog::details::log_msg& msg, spdlog::memory_buf_t& dest) override
    {
        const auto& message = static_cast<const Message&>(msg);
        const Record record{message.logger_name.data(), message.category, message.attributes,
                            message.payload.data(), message.source.filename,
                            static_cast<std::uint32_t>(message.source.line)};
        FormatRecord(record, Stamp{message.time, system::ProcessId(), message.thread_id}, m_format,
                     m_eol, dest);
    }

    std::unique_ptr<spdlog::formatter> clone() const override
    {
        return std::make_unique<RecordFormatter>(m_format, m_eol);
    }

private:
    Format m_format;
    bool m_eol;
};

std::shared_ptr<spdlog::sinks::sink> MakeSink(const SinkConfig& config)
{
    switch (config.kind) {
    case SinkKind::Stdout:
        return std::make_shared<spdlog::sinks::stdout_sink_mt>();
    case SinkKind::File:
        return std::make_shared<spdlog::sinks::basic_file_sink_mt>(config.path);
    case SinkKind::Rotate:
        return std::make_shared<spdlog::sinks::rotating_file_sink_mt>(config.path, config.maxBytes,
                                                                      config.maxFiles);
    case SinkKind::Syslog:
    case SinkKind::Debugger:
        if (auto sink = system::LogSink(config.kind)) {
            return sink;
        }
        throw std::runtime_error("not on this system");
    case SinkKind::Null:
        return std::make_shared<spdlog::sinks::null_sink_mt>();
    case SinkKind::Stderr:
        break;
    }
    return std::make_shared<spdlog::sinks::stderr_sink_mt>();
}

struct State {
    State() : config(ReadConfig())
    {
        try {
            sink = MakeSink(config.sink);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "JuZad: JUZAD_TRACE_SINK='%s' cannot be used (%s); using the default (stderr)\n",
                         std::getenv("JUZAD_TRACE_SINK"), error.what());
            config.sink = SinkConfig{};
            sink = MakeSink(config.sink);
        }
        // The system's logs stamp and end their own lines.
        const bool systemLog = config.sink.kind == SinkKind::Syslog || config.sink.kind == SinkKind::Debugger;
        sink->set_formatter(std::make_unique<RecordFormatter>(config.format, !systemLog));
        flushEach = config.sink.kind == SinkKind::File || config.sink.kind == SinkKind::Rotate;
        words.swap(config.attributes.byComponent);
    }

    // The word of a component, made on first use. A std::map never moves its nodes, so
    // trace objects may keep pointers to the words.
    std::uint32_t* Word(const std::string& component)
    {
        return &words.try_emplace(component, config.attributes.all).first->second;
    }

    Config config;
    std::shared_ptr<spdlog::sinks::sink> sink;
    bool flushEach = false;

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
    State& state = TheState();
    const Record record{fpTraceObj->m_component.c_str(), fpTraceObj->m_category, aAttributes,
                        aText != nullptr ? aText : "", aFile != nullptr ? aFile : "", aLine};
    if (state.hasRecordHandler.load(std::memory_order_acquire)) {
        std::lock_guard<std::mutex> lock(state.mutex);
        if (state.recordHandler) {
            state.recordHandler(record);
            return;
        }
    }
    // A trace must never take its caller down: a sink that fails loses the record.
    try {
        state.sink->log(Message(record));
        if (state.flushEach) {
            state.sink->flush();
        }
    } catch (...) {
    }
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
