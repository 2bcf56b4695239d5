// Decimal text to a 64-bit integer by the library's own rules.
#include "KelAtoll.h"

#include <cstdint>

long long KelAtoll(const char* inputStr)
{
    const char* at = inputStr;
    while (*at == ' ' || *at == '\t') {
        ++at;
    }
    const bool negative = *at == '-';
    // Unsigned arithmetic wraps modulo 2^64 where signed arithmetic would overflow.
    std::uint64_t value = 0;
    for (; *at != '\0'; ++at) {
        const unsigned digit = static_cast<unsigned char>(*at) - unsigned{'0'};
        if (digit < 10) {
            value = value * 10 + digit;
        }
    }
    return static_cast<long long>(negative ? 0 - value : value);
}
