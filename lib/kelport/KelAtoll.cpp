// Decimal text to a 64-bit integer by the library's own rules.
#include "KelAtoll.h"

#include <cstdint>

#include "KelDigits.h"

namespace {

// Texts are mostly one short number: those are read here, and only what is left of a longer
// text goes to the processor's kernel, whose blocks pay off on long runs.
constexpr int kReadHere = 32;

}  // namespace

long long KelAtoll(const char* inputStr)
{
    const char* at = inputStr;
    while (*at == ' ' || *at == '\t') {
        ++at;
    }
    // The sign is only looked at: the minus sign is passed over with the other non-digits.
    const bool negative = *at == '-';
    // Unsigned arithmetic wraps modulo 2^64 where signed arithmetic would overflow.
    std::uint64_t value = 0;
    for (int n = 0; n < kReadHere && *at != '\0'; ++n, ++at) {
        const unsigned digit = static_cast<unsigned char>(*at) - unsigned{'0'};
        if (digit < 10) {
            value = value * 10 + digit;
        }
    }
    if (*at != '\0') {
        value = kelport::cpu::AccumulateDigits(value, at);
    }
    return static_cast<long long>(negative ? 0 - value : value);
}
