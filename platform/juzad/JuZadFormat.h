// How one record reads in the text and JSON formats.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include <spdlog/common.h>

#include "JuZadConfig.h"
#include "JuZadTrc.h"

namespace JuZadTrc {

// What the sink adds to a record: when and where it was made.
struct Stamp {
    std::chrono::system_clock::time_point time;
    long pid;
    std::uint64_t tid;
};

// The category's name, or "Unknown" for a value outside the enumeration.
std::string_view CategoryName(StdCategory_e category);

// Appends the record to out, ended by a line feed when eol is set.
void FormatRecord(const Record& record, const Stamp& stamp, Format format, bool eol,
                  spdlog::memory_buf_t& out);

}  // namespace JuZadTrc
