// KelAtoll against a model of its rules written another way: the text as a string, the
// wrap-around as arithmetic modulo 2^64 spelled out.
#include <cctype>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "Fail.h"
#include "KelAtoll.h"

namespace {

long long Model(const std::string& text)
{
    const auto start = text.find_first_not_of(" \t");
    const bool negative = start != std::string::npos && text[start] == '-';
    std::uint64_t value = 0;
    for (const char c : text) {
        if (std::isdigit(static_cast<unsigned char>(c)) != 0) {
            value = value * 10U + static_cast<std::uint64_t>(c - '0');
        }
    }
    if (negative) {
        value = ~value + 1;
    }
    long long result;
    std::memcpy(&result, &value, sizeof result);
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    // The first byte places the text at every alignment; the text ends at its first zero,
    // and the digits after that zero, which a block read takes in too, must not count.
    const std::size_t offset = data[0] % 32;
    const std::string text(reinterpret_cast<const char*>(data + 1),
                           strnlen(reinterpret_cast<const char*>(data + 1), size - 1));
    std::string placed(offset, '#');
    placed += text;
    placed += std::string(1, '\0') + std::string(32, '7');
    errno = 0;
    const long long value = KelAtoll(placed.c_str() + offset);
    Answer(std::to_string(value) + " errno " + std::to_string(errno));
    if (value != Model(text)) {
        Fail("KelAtoll differs from the model");
    }
    return 0;
}
