// The tracing library on Windows: the process id, local time and the debugger's output.
#include "JuZadSystem.h"

#include <process.h>

#include <spdlog/sinks/msvc_sink.h>

namespace JuZadTrc::system {

long ProcessId()
{
    return static_cast<long>(::_getpid());
}

std::tm LocalTime(std::time_t time)
{
    std::tm local{};
    ::localtime_s(&local, &time);
    return local;
}

// Each record goes to the debugger with OutputDebugStringA.
std::shared_ptr<spdlog::sinks::sink> LogSink(SinkKind kind)
{
    if (kind == SinkKind::Debugger) {
        return std::make_shared<spdlog::sinks::msvc_sink_mt>();
    }
    return nullptr;
}

}  // namespace JuZadTrc::system
