#include "JuZadConfig.h"

#include <charconv>
#include <cstdio>
#include <utility>

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

// Says what is wrong in why, where given; answers nothing.
std::nullopt_t Unusable(std::string* why, std::string text)
{
    if (why != nullptr) {
        *why = std::move(text);
    }
    return std::nullopt;
}

template <typename T, typename Parse>
T ReadVariable(const char* name, const char* forms, const char* defaultName, T fallback, Parse parse)
{
    bool ignored = false;
    const char* value = system::Variable(name, ignored);
    if (ignored) {
        // Else whoever runs a setuid or setgid program would choose where its traces go.
        std::fprintf(stderr,
                     "JuZad: %s is ignored in a program that runs with privileges it was given; using the "
                     "default (%s)\n",
                     name, defaultName);
        return fallback;
    }
    if (value == nullptr || *value == '\0') {
        return fallback;
    }
    std::string why;
    if (auto parsed = parse(value, &why)) {
        return *parsed;
    }
    std::fprintf(stderr, "JuZad: %s='%s' cannot be used (%s: %s); using the default (%s)\n", name, value,
                 why.c_str(), forms, defaultName);
    return fallback;
}

}  // namespace

std::optional<AttributeConfig> ParseAttributes(std::string_view value, std::string* why)
{
    AttributeConfig config;
    bool sawBareWord = false;
    for (;;) {
        const auto comma = value.find(',');
        const std::string_view item = value.substr(0, comma);
        const auto equals = item.rfind('=');
        if (Trim(item).empty()) {
            return Unusable(why, "an entry is empty");
        }
        if (equals == std::string_view::npos) {
            const auto word = ParseNumber<std::uint32_t>(item);
            if (!word) {
                return Unusable(why, "'" + std::string(Trim(item)) + "' is not a WORD");
            }
            if (sawBareWord) {
                return Unusable(why, "more than one bare WORD");
            }
            config.all = *word;
            sawBareWord = true;
        } else {
            const std::string_view name = Trim(item.substr(0, equals));
            const auto word = ParseNumber<std::uint32_t>(item.substr(equals + 1));
            if (name.empty()) {
                return Unusable(why, "'" + std::string(Trim(item)) + "' names no component");
            }
            if (!word) {
                return Unusable(why, "'" + std::string(Trim(item.substr(equals + 1))) + "' of " +
                                         std::string(name) + " is not a WORD");
            }
            config.byComponent[std::string(name)] = *word;
        }
        if (comma == std::string_view::npos) {
            return config;
        }
        value.remove_prefix(comma + 1);
    }
}

std::optional<SinkConfig> ParseSink(std::string_view value, std::string* why)
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
    } else if (value.substr(0, 5) == "file:") {
        if (value.size() == 5) {
            return Unusable(why, "file: needs a PATH");
        }
        config.kind = SinkKind::File;
        config.path = value.substr(5);
    } else if (value.substr(0, 7) == "rotate:") {
        // The path may hold colons of its own, so the two numbers are taken from the right.
        std::string_view rest = value.substr(7);
        const auto filesAt = rest.rfind(':');
        const auto bytesAt = filesAt == std::string_view::npos ? filesAt : rest.rfind(':', filesAt - 1);
        if (bytesAt == std::string_view::npos || filesAt == 0) {
            return Unusable(why, "rotate: needs PATH:BYTES:FILES");
        }
        const std::string_view bytesText = rest.substr(bytesAt + 1, filesAt - bytesAt - 1);
        const std::string_view filesText = rest.substr(filesAt + 1);
        const auto bytes = ParseNumber<std::uint64_t>(bytesText);
        const auto files = ParseNumber<std::uint64_t>(filesText);
        if (bytesAt == 0) {
            return Unusable(why, "rotate: needs a PATH");
        }
        if (!bytes || *bytes == 0) {
            return Unusable(why, "BYTES must be a number above 0, not '" + std::string(bytesText) + "'");
        }
        if (!files) {
            return Unusable(why, "FILES must be a number, 0 or more, not '" + std::string(filesText) + "'");
        }
        config.kind = SinkKind::Rotate;
        config.path = rest.substr(0, bytesAt);
        config.maxBytes = *bytes;
        config.maxFiles = *files;
    } else {
        return Unusable(why, "no such sink");
    }
    config.value = value;
    return config;
}

std::optional<Format> ParseFormat(std::string_view value, std::string* why)
{
    if (value == "text") {
        return Format::Text;
    }
    if (value == "json") {
        return Format::Json;
    }
    return Unusable(why, "no such format");
}

Config ReadConfig()
{
    Config config;
    config.attributes =
        ReadVariable("JUZAD_TRACE",
                     "it takes a WORD for every component, or Component Name=WORD pairs separated "
                     "by commas, each WORD decimal or 0x hex up to 0xFFFFFFFF",
                     "every attribute", config.attributes, ParseAttributes);
    config.sink =
        ReadVariable("JUZAD_TRACE_SINK",
                     "it takes stderr, stdout, file:PATH, rotate:PATH:BYTES:FILES with BYTES above 0, "
                     "syslog on POSIX systems, debugger on Windows, or null",
                     "stderr", config.sink, ParseSink);
    config.format =
        ReadVariable("JUZAD_TRACE_FORMAT", "it takes text or json", "text", config.format, ParseFormat);
    return config;
}

}  // namespace JuZadTrc
