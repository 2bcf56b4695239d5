// Sixteen characters at a time with SSE2. Taking in one digit after another chains every
// step to the one before, and a branch per character mispredicts at every separator. Here
// the digits of a block are weighed by their place among the block's digits and summed, so
// that a block joins the running value with one multiply and one add.
#include "KelDigits.h"

#include <array>
#include <cstddef>
#include <iterator>

#include <emmintrin.h>

namespace kelport::cpu {
namespace {

constexpr std::array<std::uint64_t, 17> kPowersOfTen = [] {
    std::array<std::uint64_t, 17> powers{};
    std::uint64_t power = 1;
    for (auto& entry : powers) {
        entry = power;
        power *= 10;
    }
    return powers;
}();

// For each pattern of digits among eight characters (bit i: character i is a digit), each
// digit's weight 10^n, n being the number of digits after it. pmaddwd multiplies 16-bit
// values, so a weight is split into its part below 10^4 (low) and its part in 10^4 (high).
struct PlaceWeights {
    alignas(16) std::int16_t low[8];
    alignas(16) std::int16_t high[8];
    unsigned digits;
};

constexpr std::array<PlaceWeights, 256> kWeights = [] {
    std::array<PlaceWeights, 256> table{};
    for (unsigned pattern = 0; pattern < 256; ++pattern) {
        PlaceWeights& weights = table[pattern];
        unsigned after = 0;
        for (std::size_t i = std::size(weights.low); i-- > 0;) {  // the last character first
            if ((pattern >> i) & 1) {
                if (after < 4) {
                    weights.low[i] = static_cast<std::int16_t>(kPowersOfTen[after]);
                } else {
                    weights.high[i] = static_cast<std::int16_t>(kPowersOfTen[after - 4]);
                }
                ++after;
            }
        }
        weights.digits = after;
    }
    return table;
}();

std::uint32_t HorizontalSum(__m128i lanes)
{
    lanes = _mm_add_epi32(lanes, _mm_shuffle_epi32(lanes, 0x4E));
    lanes = _mm_add_epi32(lanes, _mm_shuffle_epi32(lanes, 0xB1));
    return static_cast<std::uint32_t>(_mm_cvtsi128_si32(lanes));
}

// The value of the digits among eight characters, widened to 16 bits, non-digits zero.
std::uint64_t EightPlaces(__m128i digits, const PlaceWeights& weights)
{
    const auto low = _mm_madd_epi16(digits, _mm_load_si128(reinterpret_cast<const __m128i*>(weights.low)));
    const auto high = _mm_madd_epi16(digits, _mm_load_si128(reinterpret_cast<const __m128i*>(weights.high)));
    return std::uint64_t{HorizontalSum(high)} * 10000 + HorizontalSum(low);
}

// A branch, not a select: in runs of digits it is predicted, and keeps the running value's
// chain of dependencies to the multiply and add.
std::uint64_t OneByOne(std::uint64_t value, char c)
{
    const unsigned digit = static_cast<unsigned char>(c) - unsigned{'0'};
    if (digit < 10) {
        value = value * 10 + digit;
    }
    return value;
}

}  // namespace

// An aligned block that holds the terminating zero may reach past the text's allocation, but
// never past its page: nothing outside can fault, and what lies past the zero is ignored.
__attribute__((no_sanitize_address)) std::uint64_t AccumulateDigits(std::uint64_t value, const char* text)
{
    for (; reinterpret_cast<std::uintptr_t>(text) % 16 != 0; ++text) {
        if (*text == '\0') {
            return value;
        }
        value = OneByOne(value, *text);
    }
    const __m128i zero = _mm_setzero_si128();
    const __m128i belowZero = _mm_set1_epi8('0' - 1);
    const __m128i aboveNine = _mm_set1_epi8('9' + 1);
    const __m128i zeroDigit = _mm_set1_epi8('0');
    for (;; text += 16) {
        const __m128i block = _mm_load_si128(reinterpret_cast<const __m128i*>(text));
        const unsigned ends = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, zero)));
        // Signed comparison: bytes from 128 up are negative and so never digits.
        const __m128i isDigit =
            _mm_and_si128(_mm_cmpgt_epi8(block, belowZero), _mm_cmpgt_epi8(aboveNine, block));
        // Only the digits before the first zero byte. ends - 1 has every bit below the lowest of
        // ends, and above it only bits of other zero bytes, which are no digits; with no zero
        // byte it has every bit.
        const unsigned pattern = static_cast<unsigned>(_mm_movemask_epi8(isDigit)) & (ends - 1);
        const __m128i digits = _mm_and_si128(_mm_sub_epi8(block, zeroDigit), isDigit);
        const PlaceWeights& first = kWeights[pattern & 0xFF];
        const PlaceWeights& second = kWeights[pattern >> 8];
        const std::uint64_t blockValue =
            EightPlaces(_mm_unpacklo_epi8(digits, zero), first) * kPowersOfTen[second.digits] +
            EightPlaces(_mm_unpackhi_epi8(digits, zero), second);
        value = value * kPowersOfTen[first.digits + second.digits] + blockValue;
        if (ends != 0) {
            return value;
        }
    }
}

}  // namespace kelport::cpu
