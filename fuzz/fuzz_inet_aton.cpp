// KelInetAtoN against the system's inet_addr, whose rule it applies unchanged, and KelGetIPStr,
// in both its forms, on the address made of the input's first four bytes: the dotted quad of
// those bytes. Which texts name an address is each system's own rule (Windows takes " " for
// 0.0.0.0), so the digest holds the address texts alone.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Fail.h"
#include "KelNetworkInternal.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    text = text.c_str();  // up to the first zero
    const auto expected = ::inet_addr(text.c_str());
    in_addr result{};
    result.s_addr = 0x5A5A5A5A;
    const int answer = KelInetAtoN(text.data(), &result);
    const bool named = expected != INADDR_NONE;
    if (answer != (named ? 1 : 0) || result.s_addr != (named ? expected : 0)) {
        Fail("KelInetAtoN differs from inet_addr");
    }

    in_addr address{};
    std::memcpy(&address.s_addr, data, std::min(size, sizeof address.s_addr));
    const auto* bytes = reinterpret_cast<const unsigned char*>(&address.s_addr);
    char quad[16] = {};
    std::snprintf(quad, sizeof quad, "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
    // Both forms give a fresh block each: the quad, then zeros to its end. Only the low 32 bits
    // of an unsigned long that has more are an address.
    char* shown = KelGetIPStr(address);
    const auto high = static_cast<unsigned long>(0xFFFF000000000000ULL);  // where unsigned long has them
    char* number = KelGetIPStr(high | static_cast<unsigned long>(address.s_addr));
    Answer(shown);
    Answer(number);
    const bool same = std::string(shown, sizeof quad) == std::string(quad, sizeof quad) &&
                      std::string(number, sizeof quad) == std::string(quad, sizeof quad) && shown != number;
    std::free(shown);
    std::free(number);
    if (!same) {
        Fail("KelGetIPStr is not the dotted quad of the address");
    }
    return 0;
}
