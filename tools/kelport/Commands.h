// The kelport program's subcommands, in one table. Each runs the library's calls, writes what
// they gave on standard output and returns the exit status: 0 when the calls succeeded, 1 when
// one failed. Input that cannot be used throws UsageError (exit status 2).
#pragma once

#include <charconv>
#include <functional>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>

namespace kelport::tool {

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A whole decimal or 0x-hex number within T, or nothing; outOfRange, where given, says
// whether the text was a whole number that T cannot hold.
template <typename T>
std::optional<T> ParseNumber(std::string_view text, bool* outOfRange = nullptr)
{
    int base = 10;
    const std::string_view prefix = text.substr(0, 2);
    if (prefix == "0x" || prefix == "0X") {
        text.remove_prefix(2);
        base = 16;
    }
    T value{};
    const char* const last = text.data() + text.size();
    const auto [end, error] = std::from_chars(text.data(), last, value, base);
    const bool whole = !text.empty() && end == last;
    if (outOfRange != nullptr) {
        *outOfRange = whole && error == std::errc::result_out_of_range;
    }
    if (!whole || error != std::errc{}) {
        return std::nullopt;
    }
    return value;
}

// A whole decimal or 0x-hex number from low to high, given for the argument name; else
// UsageError, saying which of the two it is not.
template <typename T>
T ArgumentNumber(const std::string& name, const std::string& text, T low = std::numeric_limits<T>::min(),
                 T high = std::numeric_limits<T>::max())
{
    bool outOfRange = false;
    const std::optional<T> value = ParseNumber<T>(text, &outOfRange);
    if (!value && !outOfRange) {
        throw UsageError(name + ": '" + text + "' is not a whole number");
    }
    if (!value || *value < low || *value > high) {
        throw UsageError(name + ": " + text + " is out of range (" + std::to_string(low) + " to " +
                         std::to_string(high) + ")");
    }
    return *value;
}

// What a subcommand's arguments and options are read into; each subcommand has its own.
struct Arguments {
    std::string first;
    std::string second;
    std::vector<std::string> list;
    std::optional<std::string> text;
    bool flag = false;
};

using Run = std::function<int()>;

// A row of the table of subcommands: its name and what it does, and define, which adds its
// arguments and options to sub, read into args, and gives what runs once they are read.
struct Subcommand {
    const char* name;
    const char* help;
    Run (*define)(CLI::App& sub, Arguments& args);
};

// Every subcommand but help, in the order that kelport --help lists them.
const std::vector<Subcommand>& Subcommands();

}  // namespace kelport::tool
