#include "JuZadConfig.h"

#include <charconv>
#include <cstdio>

#include "JuZadSystem.h"

namespace JuZadTrc {
namespace {

std::string_view Trim(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// Decimal or 0x-hex, the whole text, within the range of T.
template <typename T>
std::optional<T> ParseNumber(std::string_view text)
{
    text = Trim(text);
    int base = 10;
    const std::string_view prefix = text.substr(0, 2);
    if (prefix == "0x" || prefix == "0X") {
        text.remove_prefix(2);
        base = 16;
    }
    T value{};
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, base);
    if (text.empty() || error != std::errc{} || stop != end) {
        return std::nullopt;
    }
    return value;
}

template <typename T, typename Parse>
T ReadVariable(const char* name, const char* defaultName, T fallback, Parse parse)
{
    bool ignored = false;
    const char* value = system::Variable(name, ignored);
    if (ignored) {
        // Else whoever runs a setuid or setgid program would choose where its traces go.
        std::fprintf(stderr, "JuZad: %s is ignored in a program that runs with privileges it was given; using the default (%s)\n",
                     name, defaultName);
        return fallback;
    }
    if (value == nullptr || *value == '\0') {
        return fallback;
    }
    if (auto parsed = parse(value)) {
        return *parsed;
    }
    std::fprintf(stderr, "JuZad: %s='%s' cannot be used; using the default (%s)\n", name, value, defaultName);
    return fallback;
}

}  // namespace

std::optional<AttributeConfig> ParseAttributes(std::string_view value)
{
    AttributeConfig config;
    bool sawBareWord = false;
    for (;;) {
        const auto comma = value.find(',');
        const std::string_view item = value.substr(0, comma);
        const auto equals = item.rfind('=');
        if (equals == std::string_view::npos) {
            const auto word = ParseNumber<std::uint32_t>(item);
            if (!word || sawBareWord) {
                return std::nullopt;
            }
            config.all = *word;
            sawBareWord = true;
        } else {
            const std::string_view name = Trim(item.substr(0, equals));
            const auto word = ParseNumber<std::uint32_t>(item.substr(equals + 1));
            if (name.empty() || !word) {
                return std::nullopt;
            }
            config.byComponent[std::string(name)] = *word;
        }
        if (comma == std::string_view::npos) {
            return config;
        }
        value.remove_prefix(comma + 1);
    }
}

std::optional<SinkConfig> ParseSink(std::string_view value)
{
    SinkConfig config;
    if (value == "stderr") {
        config.kind = SinkKind::Stderr;
    } else if (value == "stdout") {
        config.kind = SinkKind::Stdout;
    } else if (value == "syslog") {
        config.kind = SinkKind::Syslog;
    } else if (value == "debugger") {
        config.kind = SinkKind::Debugger;
    } else if (value == "null") {
        config.kind = SinkKind::Null;
    } else if (value.substr(0, 5) == "file:" && value.size() > 5) {
        config.kind = SinkKind::File;
        config.path = value.substr(5);
    } else if (value.substr(0, 7) == "rotate:") {
        // The path may hold colons of its own, so the two numbers are taken from the right.
        std::string_view rest = value.substr(7);
        const auto filesAt = rest.rfind(':');
        if (filesAt == std::string_view::npos) {
            return std::nullopt;
        }
        const auto files = ParseNumber<std::size_t>(rest.substr(filesAt + 1));
        rest = rest.substr(0, filesAt);
        const auto bytesAt = rest.rfind(':');
        if (bytesAt == std::string_view::npos) {
            return std::nullopt;
        }
        const auto bytes = ParseNumber<std::size_t>(rest.substr(bytesAt + 1));
        if (!files || !bytes || *bytes == 0 || bytesAt == 0) {
            return std::nullopt;
        }
        config.kind = SinkKind::Rotate;
        config.path = rest.substr(0, bytesAt);
        config.maxBytes = *bytes;
        config.maxFiles = *files;
    } else {
        return std::nullopt;
    }
    config.value = value;
    return config;
}

std::optional<Format> ParseFormat(std::string_view value)
{
    if (value == "text") {
        return Format::Text;
    }
    if (value == "json") {
        return Format::Json;
    }
    return std::nullopt;
}

Config ReadConfig()
{
    Config config;
    config.attributes = ReadVariable("JUZAD_TRACE", "every attribute", config.attributes, ParseAttributes);
    config.sink = ReadVariable("JUZAD_TRACE_SINK", "stderr", config.sink, ParseSink);
    config.format = ReadVariable("JUZAD_TRACE_FORMAT", "text", config.format, ParseFormat);
    return config;
}

}  // namespace JuZadTrc
