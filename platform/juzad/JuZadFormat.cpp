#include "JuZadFormat.h"

#include <cstring>
#include <ctime>
#include <iterator>
#include <string_view>

#include <fmt/format.h>

namespace JuZadTrc {
namespace {

const char* const kCategoryNames[] = {
    "Uncategorized", "Trace", "Proc", "Sec", "Init", "Cleanup",
    "Operation", "Event", "ResMgmt", "Parms", "Results",
};

void AppendTime(std::chrono::system_clock::time_point time, spdlog::memory_buf_t& out)
{
    const auto sinceEpoch = time.time_since_epoch();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(sinceEpoch);
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(sinceEpoch - seconds);
    const std::time_t whole = static_cast<std::time_t>(seconds.count());
    std::tm local{};
    localtime_r(&whole, &local);
    fmt::format_to(std::back_inserter(out), "{:04}-{:02}-{:02} {:02}:{:02}:{:02}.{:06}", local.tm_year + 1900,
                   local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, micros.count());
}

void AppendJsonString(std::string_view text, spdlog::memory_buf_t& out)
{
    out.push_back('"');
    for (const char c : text) {
        switch (c) {
        case '"': out.append(std::string_view("\\\"")); break;
        case '\\': out.append(std::string_view("\\\\")); break;
        case '\n': out.append(std::string_view("\\n")); break;
        case '\r': out.append(std::string_view("\\r")); break;
        case '\t': out.append(std::string_view("\\t")); break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                fmt::format_to(std::back_inserter(out), "\\u{:04x}", static_cast<unsigned>(c));
            } else {
                out.push_back(c);
            }
        }
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

void FormatRecord(const Record& record, const Stamp& stamp, Format format, bool eol, spdlog::memory_buf_t& out)
{
    const auto append = std::back_inserter(out);
    if (format == Format::Json) {
        out.append(std::string_view("{\"time\":\""));
        AppendTime(stamp.time, out);
        fmt::format_to(append, "\",\"pid\":{},\"tid\":{},\"component\":", stamp.pid, stamp.tid);
        AppendJsonString(record.component, out);
        fmt::format_to(append, ",\"category\":\"{}\",\"attributes\":{},\"file\":", CategoryName(record.category),
                       record.attributes);
        AppendJsonString(record.file, out);
        fmt::format_to(append, ",\"line\":{},\"text\":", record.line);
        AppendJsonString(record.text, out);
        out.push_back('}');
    } else {
        out.push_back('[');
        AppendTime(stamp.time, out);
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
