// Where the tracing library's formatted records go. The library calls Write one call at a time,
// and WriteUnlocked from any thread at any time.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>

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
    // Writes it as Write would, while other threads write theirs, where the system keeps them
    // apart and nothing else falls due at time; otherwise writes nothing and gives nullopt.
    virtual std::optional<Outcome> WriteUnlocked(const char*, std::size_t,
                                                 std::chrono::system_clock::time_point) const
    {
        return std::nullopt;
    }
    // Whether each record ends with a line feed (the system logs end their own).
    virtual bool EndsLines() const { return true; }
};

// The output that a sink's configuration names; null for the null sink. Throws
// std::runtime_error, saying why, when it cannot be used.
std::unique_ptr<Output> OpenOutput(const SinkConfig& sink);

}  // namespace JuZadTrc
