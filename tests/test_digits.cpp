// A digit kernel against the plainest statement of its rule, on random texts at every
// alignment. Built once for each kernel.
#include <cstdint>
#include <cstring>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "KelDigits.h"

namespace {

std::uint64_t Model(std::uint64_t value, const std::string& text)
{
    for (const char c : text) {
        if (c == '\0') {
            break;
        }
        if (c >= '0' && c <= '9') {
            value = value * 10 + static_cast<unsigned>(c - '0');
        }
    }
    return value;
}

}  // namespace

TEST(Digits, AgreeWithTheModelAtEveryAlignment)
{
    std::mt19937 random(7);
    alignas(64) static char buffer[512];
    for (int round = 0; round < 20000; ++round) {
        // Digits, separators, high bytes and characters next to '0' and '9'.
        std::string text(random() % 100, ' ');
        for (auto& c : text) {
            const char kinds[] = {'/',
                                  ':',
                                  ',',
                                  '-',
                                  static_cast<char>(0x80 | (random() % 128)),
                                  static_cast<char>(1 + random() % 127)};
            c = random() % 2 == 0 ? static_cast<char>('0' + random() % 10)
                                  : kinds[random() % std::size(kinds)];
        }
        const std::uint64_t start = random() % 3 == 0 ? 0 : (std::uint64_t{random()} << 32 | random());
        const std::size_t offset = random() % 64;
        std::memcpy(buffer + offset, text.c_str(), text.size() + 1);
        // What follows the terminating zero must not count.
        std::memset(buffer + offset + text.size() + 1, '7', 32);
        ASSERT_EQ(Model(start, text), kelport::cpu::AccumulateDigits(start, buffer + offset))
            << "round " << round << ", offset " << offset << ": \"" << text << '"';
    }
}

TEST(Digits, LongRunsWrap)
{
    const std::string nines(4000, '9');
    EXPECT_EQ(Model(0, nines), kelport::cpu::AccumulateDigits(0, nines.c_str()));
    EXPECT_EQ(0u, kelport::cpu::AccumulateDigits(0, ""));
    EXPECT_EQ(123u, kelport::cpu::AccumulateDigits(123, ""));
}
