// Taking in the decimal digits of a text, as fast as the processor allows. Each processor
// family has its implementation folder beside this header (sse2/, generic/).
#pragma once

#include <cstdint>

namespace kelport::cpu {

// Starting from value, takes in every decimal digit of text, up to its terminating zero, as
// value * 10 + digit, wrapping modulo 2^64; every other character is passed over.
std::uint64_t AccumulateDigits(std::uint64_t value, const char* text);

}  // namespace kelport::cpu
