// The tracing library on POSIX systems: the process id, local time and the system log.
#include "JuZadSystem.h"

#include <unistd.h>

#include <spdlog/sinks/syslog_sink.h>

namespace JuZadTrc::system {

long ProcessId()
{
    return static_cast<long>(::getpid());
}

std::tm LocalTime(std::time_t time)
{
    std::tm local{};
    ::localtime_r(&time, &local);
    return local;
}

std::shared_ptr<spdlog::sinks::sink> LogSink(SinkKind kind)
{
    if (kind == SinkKind::Syslog) {
        return std::make_shared<spdlog::sinks::syslog_sink_mt>("JuZad", LOG_PID, LOG_USER, true);
    }
    return nullptr;
}

}  // namespace JuZadTrc::system
