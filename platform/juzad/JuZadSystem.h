// What the tracing library asks of the system it runs on. Each system has its implementation
// folder beside this header (posix/, win32/).
#pragma once

#include <ctime>
#include <memory>

#include <spdlog/sinks/sink.h>

#include "JuZadConfig.h"

namespace JuZadTrc::system {

long ProcessId();

std::tm LocalTime(std::time_t time);

// The sink of a log that belongs to the system (SinkKind::Syslog, SinkKind::Debugger), or
// null when this system has no such log.
std::shared_ptr<spdlog::sinks::sink> LogSink(SinkKind kind);

}  // namespace JuZadTrc::system
