// One character at a time, for processors without a vector kernel of their own.
#include "KelDigits.h"

namespace kelport::cpu {

std::uint64_t AccumulateDigits(std::uint64_t value, const char* text)
{
    for (; *text != '\0'; ++text) {
        const unsigned digit = static_cast<unsigned char>(*text) - unsigned{'0'};
        if (digit < 10) {
            value = value * 10 + digit;
        }
    }
    return value;
}

}  // namespace kelport::cpu
