// The tracing library's configuration from the environment: parsed here, applied in
// JuZadTrc.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace JuZadTrc {

struct AttributeConfig {
    std::uint32_t all = 0xFFFFFFFFu;  // every component not named below
    std::map<std::string, std::uint32_t, std::less<>> byComponent;
};

// Syslog and Debugger are the logs of one system each; the others serve everywhere.
enum class SinkKind { Stderr, Stdout, File, Rotate, Syslog, Debugger, Null };

struct SinkConfig {
    SinkKind kind = SinkKind::Stderr;
    std::string value;  // as JUZAD_TRACE_SINK gave it; empty for the default
    std::string path;   // File, Rotate
    // Rotate: 64 bits on every target, since a file may grow past 4 GiB on a 32-bit one too.
    std::uint64_t maxBytes = 0;
    std::uint64_t maxFiles = 0;
};

enum class Format { Text, Json };

struct Config {
    AttributeConfig attributes;
    SinkConfig sink;
    Format format = Format::Text;
};

// Each answers nothing when the value cannot be used, and then says in why, where given,
// what is wrong with it.
std::optional<AttributeConfig> ParseAttributes(std::string_view value, std::string* why = nullptr);
std::optional<SinkConfig> ParseSink(std::string_view value, std::string* why = nullptr);
std::optional<Format> ParseFormat(std::string_view value, std::string* why = nullptr);

// JUZAD_TRACE, JUZAD_TRACE_SINK and JUZAD_TRACE_FORMAT; unset or empty variables give the
// defaults, and so does a value that cannot be used, after one line on standard error that
// says what is wrong with it and what the variable takes.
Config ReadConfig();

}  // namespace JuZadTrc
