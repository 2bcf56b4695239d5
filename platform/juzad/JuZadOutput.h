// Where the tracing library's formatted records go. The library makes one call at a time.
#pragma once

#include <cstddef>
#include <memory>

#include "JuZadConfig.h"

namespace JuZadTrc {

class Output {
public:
    virtual ~Output() = default;
    // Writes one whole record: 0, or the errno of the failure (the record is then lost).
    virtual int Write(const char* data, std::size_t size) = 0;
    // Whether each record ends with a line feed (the system logs end their own).
    virtual bool EndsLines() const { return true; }
};

// The output that a sink's configuration names; null for the null sink. Throws
// std::runtime_error, saying why, when it cannot be used.
std::unique_ptr<Output> OpenOutput(const SinkConfig& sink);

}  // namespace JuZadTrc
