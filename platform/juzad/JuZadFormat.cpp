#include "JuZadFormat.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>
#include <string_view>

#include <fmt/compile.h>
#include <fmt/format.h>

#include "JuZadSystem.h"

namespace JuZadTrc {
namespace {

constexpr std::string_view kCategoryNames[] = {
    "Uncategorized", "Trace", "Proc",    "Sec",   "Init",    "Cleanup",
    "Operation",     "Event", "ResMgmt", "Parms", "Results",
};

// The text of the local time of a second, made by each thread once a second: it changes no
// more often, and working it out takes a lock of the C library's. Trivially destroyed, as
// whatever a thread keeps must be on Windows, where a library's per-thread objects with
// destructors hold up its unloading.
struct Second {
    std::time_t second = -1;
    char text[32];  // 2026-12-05 15:01:22, with a NUL after it
    std::size_t length;
    char offset[8];  // from UTC: +09:00
};

const Second& LocalSecond(std::time_t second)
{
    thread_local Second known;
    if (second != known.second) {
        const system::LocalTime local = system::Local(second);
        const std::tm& tm = local.tm;
        const int length =
            std::snprintf(known.text, sizeof known.text, "%04d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900,
                          tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
        known.length = std::min<std::size_t>(static_cast<std::size_t>(length), sizeof known.text - 1);
        const long offset = std::labs(local.utcOffset);
        std::snprintf(known.offset, sizeof known.offset, "%c%02ld:%02ld", local.utcOffset < 0 ? '-' : '+',
                      offset / 3600 % 100, offset / 60 % 60);
        known.second = second;
    }
    return known;
}

// Local time to the microsecond, in text: 2026-12-05 15:01:22.123456 for people, and RFC 3339
// with the offset from UTC, 2026-12-05T15:01:22.123456+09:00, for programs that order records
// from many machines and time zones.
std::string_view TimeText(std::chrono::system_clock::time_point time, bool rfc3339, char (&text)[48])
{
    const auto sinceEpoch = time.time_since_epoch();
    const auto seconds = std::chrono::floor<std::chrono::seconds>(sinceEpoch);
    auto micros = static_cast<unsigned>(
        std::chrono::duration_cast<std::chrono::microseconds>(sinceEpoch - seconds).count());
    const Second& local = LocalSecond(static_cast<std::time_t>(seconds.count()));
    std::memcpy(text, local.text, sizeof local.text);  // a copy of known size, made in place
    if (rfc3339) {
        text[local.length - 9] = 'T';
    }
    char* at = text + local.length;
    *at = '.';
    for (int digit = 6; digit > 0; --digit, micros /= 10) {
        at[digit] = static_cast<char>('0' + micros % 10);
    }
    at += 7;
    if (rfc3339) {
        std::memcpy(at, local.offset, 6);
        at += 6;
    }
    return std::string_view(text, static_cast<std::size_t>(at - text));
}

// The pieces at the end of out, with one reservation for all of them; a literal's bytes are
// copied in place, without a call.
template <std::size_t N>
constexpr std::size_t SizeOf(const char (&)[N])
{
    return N - 1;
}
std::size_t SizeOf(std::string_view piece)
{
    return piece.size();
}
template <std::size_t N>
char* Put(char* at, const char (&literal)[N])
{
    std::memcpy(at, literal, N - 1);
    return at + N - 1;
}
char* Put(char* at, std::string_view piece)
{
    std::memcpy(at, piece.data(), piece.size());
    return at + piece.size();
}
template <typename... Pieces>
void AppendAll(spdlog::memory_buf_t& out, const Pieces&... pieces)
{
    const std::size_t at = out.size();
    out.resize(at + (SizeOf(pieces) + ...));
    char* to = out.data() + at;
    ((to = Put(to, pieces)), ...);
}

// "[pid N tid N] ", made once by each thread, and again in a child after a fork.
struct Who {
    long pid = 0;
    std::uint64_t tid = 0;
    char text[64];
    std::size_t length;
};

std::string_view WhoText(const Stamp& stamp)
{
    thread_local Who known;
    if (stamp.pid != known.pid || stamp.tid != known.tid) {
        const auto written = fmt::format_to_n(known.text, sizeof known.text, FMT_COMPILE("[pid {} tid {}] "),
                                              stamp.pid, stamp.tid);
        known.length = std::min(written.size, sizeof known.text);
        known.pid = stamp.pid;
        known.tid = stamp.tid;
    }
    return std::string_view(known.text, known.length);
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
                fmt::format_to(std::back_inserter(out), FMT_COMPILE("\\u{:04x}"), static_cast<unsigned>(c));
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

std::string_view CategoryName(StdCategory_e category)
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
        char time[48];
        AppendAll(out, "{\"time\":\"", TimeText(stamp.time, true, time));
        fmt::format_to(append, FMT_COMPILE("\",\"pid\":{},\"tid\":{},\"component\":"), stamp.pid, stamp.tid);
        AppendJsonString(record.component, out);
        fmt::format_to(append, FMT_COMPILE(",\"category\":\"{}\",\"attributes\":{},\"file\":"),
                       CategoryName(record.category), record.attributes);
        AppendJsonString(record.file, out);
        fmt::format_to(append, FMT_COMPILE(",\"line\":{},\"text\":"), record.line);
        AppendJsonString(record.text, out);
        out.push_back('}');
    } else {
        char time[48];
        const fmt::format_int line(record.line);
        std::string_view text = record.text;
        if (!text.empty() && text.back() == '\n') {
            text.remove_suffix(1);
        }
        AppendAll(out, "[", TimeText(stamp.time, false, time), "] [", std::string_view(record.component),
                  "] [", CategoryName(record.category), "] ", WhoText(stamp), std::string_view(record.file),
                  ":", std::string_view(line.data(), line.size()), " ", text);
    }
    if (eol) {
        out.push_back('\n');
    }
}

}  // namespace JuZadTrc
