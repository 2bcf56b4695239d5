#include "JuZadFormat.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>
#include <string_view>

#include <fmt/format.h>

#include "JuZadSystem.h"

namespace JuZadTrc {
namespace {

const char* const kCategoryNames[] = {
    "Uncategorized", "Trace", "Proc",    "Sec",   "Init",    "Cleanup",
    "Operation",     "Event", "ResMgmt", "Parms", "Results",
};

// The local time of a second, kept by each thread until the next second: it changes once a
// second, and working it out takes a lock of the C library's.
const system::LocalTime& LocalSecond(std::time_t second)
{
    thread_local std::time_t known = -1;
    thread_local system::LocalTime local{};
    if (second != known) {
        local = system::Local(second);
        known = second;
    }
    return local;
}

// Local time to the microsecond: 2026-12-05 15:01:22.123456 for people, and RFC 3339 with
// the offset from UTC, 2026-12-05T15:01:22.123456+09:00, for programs that order records
// from many machines and time zones.
void AppendTime(std::chrono::system_clock::time_point time, bool rfc3339, spdlog::memory_buf_t& out)
{
    const auto sinceEpoch = time.time_since_epoch();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(sinceEpoch);
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(sinceEpoch - seconds);
    const system::LocalTime& local = LocalSecond(static_cast<std::time_t>(seconds.count()));
    const std::tm& tm = local.tm;
    fmt::format_to(std::back_inserter(out), "{:04}-{:02}-{:02}{}{:02}:{:02}:{:02}.{:06}", tm.tm_year + 1900,
                   tm.tm_mon + 1, tm.tm_mday, rfc3339 ? 'T' : ' ', tm.tm_hour, tm.tm_min, tm.tm_sec,
                   micros.count());
    if (rfc3339) {
        const long offset = std::labs(local.utcOffset);
        fmt::format_to(std::back_inserter(out), "{}{:02}:{:02}", local.utcOffset < 0 ? '-' : '+',
                       offset / 3600, offset / 60 % 60);
    }
}

// The length of the well-formed UTF-8 sequence at the start of text, or 0 when there is none.
std::size_t Utf8Sequence(std::string_view text)
{
    const auto byte = [&text](std::size_t i) {
        return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u;
    };
    const unsigned lead = byte(0);
    const auto continues = [&byte](std::size_t i, unsigned low = 0x80, unsigned high = 0xBF) {
        return byte(i) >= low && byte(i) <= high;
    };
    if (lead >= 0xC2 && lead <= 0xDF) {
        return continues(1) ? 2 : 0;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        // No overlong forms, no surrogates.
        const bool second = lead == 0xE0   ? continues(1, 0xA0)
                            : lead == 0xED ? continues(1, 0x80, 0x9F)
                                           : continues(1);
        return second && continues(2) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        // No overlong forms, nothing past U+10FFFF.
        const bool second = lead == 0xF0   ? continues(1, 0x90)
                            : lead == 0xF4 ? continues(1, 0x80, 0x8F)
                                           : continues(1);
        return second && continues(2) && continues(3) ? 4 : 0;
    }
    return 0;
}

// JSON text is Unicode: well-formed UTF-8 is copied as it is, and each byte that starts no
// well-formed sequence becomes U+FFFD, as JSON writers commonly do.
void AppendJsonString(std::string_view text, spdlog::memory_buf_t& out)
{
    out.push_back('"');
    while (!text.empty()) {
        const char c = text.front();
        std::size_t used = 1;
        switch (c) {
        case '"':
            out.append(std::string_view("\\\""));
            break;
        case '\\':
            out.append(std::string_view("\\\\"));
            break;
        case '\n':
            out.append(std::string_view("\\n"));
            break;
        case '\r':
            out.append(std::string_view("\\r"));
            break;
        case '\t':
            out.append(std::string_view("\\t"));
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                fmt::format_to(std::back_inserter(out), "\\u{:04x}", static_cast<unsigned>(c));
            } else if (static_cast<unsigned char>(c) < 0x80) {
                out.push_back(c);
            } else if (const std::size_t length = Utf8Sequence(text)) {
                out.append(text.substr(0, length));
                used = length;
            } else {
                out.append(std::string_view("\\ufffd"));
            }
        }
        text.remove_prefix(used);
    }
    out.push_back('"');
}

}  // namespace

const char* CategoryName(StdCategory_e category)
{
    if (category < fFirstCategory_k || category > fMaxCategory_k) {
        return "Unknown";
    }
    return kCategoryNames[category - fFirstCategory_k];
}

void FormatRecord(const Record& record, const Stamp& stamp, Format format, bool eol,
                  spdlog::memory_buf_t& out)
{
    const auto append = std::back_inserter(out);
    if (format == Format::Json) {
        out.append(std::string_view("{\"time\":\""));
        AppendTime(stamp.time, true, out);
        fmt::format_to(append, "\",\"pid\":{},\"tid\":{},\"component\":", stamp.pid, stamp.tid);
        AppendJsonString(record.component, out);
        fmt::format_to(append,
                       ",\"category\":\"{}\",\"attributes\":{},\"file\":", CategoryName(record.category),
                       record.attributes);
        AppendJsonString(record.file, out);
        fmt::format_to(append, ",\"line\":{},\"text\":", record.line);
        AppendJsonString(record.text, out);
        out.push_back('}');
    } else {
        out.push_back('[');
        AppendTime(stamp.time, false, out);
        fmt::format_to(append, "] [{}] [{}] [pid {} tid {}] {}:{} ", record.component,
                       CategoryName(record.category), stamp.pid, stamp.tid, record.file, record.line);
        std::string_view text = record.text;
        if (!text.empty() && text.back() == '\n') {
            text.remove_suffix(1);
        }
        out.append(text);
    }
    if (eol) {
        out.push_back('\n');
    }
}

}  // namespace JuZadTrc
