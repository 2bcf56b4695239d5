// Where the tracing library's formatted records go. The library makes one call at a time.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>

#include "JuZadConfig.h"

namespace JuZadTrc {

// What became of a record: lost (error says why), or in the sink; in the sink while something
// else went wrong (a rotation, a file opened afresh), trouble says what and how the sink goes on,
// for as long as it goes wrong.
struct Outcome {
    int error = 0;
    bool lost = false;
    const char* trouble = nullptr;
};

class Output {
public:
    virtual ~Output() = default;
    // Writes one whole record, made at time: the records' own clock paces what an output looks
    // at besides, so that a record costs no clock of its own.
    virtual Outcome Write(const char* data, std::size_t size, std::chrono::system_clock::time_point time) = 0;
    // Whether each record ends with a line feed (the system logs end their own).
    virtual bool EndsLines() const { return true; }
};

// The output that a sink's configuration names; null for the null sink. Throws
// std::runtime_error, saying why, when it cannot be used.
std::unique_ptr<Output> OpenOutput(const SinkConfig& sink);

}  // namespace JuZadTrc
