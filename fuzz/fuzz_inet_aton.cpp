// KelInetAtoN against inet_addr, whose rule it applies unchanged.
#include <arpa/inet.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "KelNetworkInternal.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    text = text.c_str();  // up to the first zero
    const in_addr_t expected = ::inet_addr(text.c_str());
    in_addr result{0x5A5A5A5A};
    const int answer = KelInetAtoN(text.data(), &result);
    const bool named = expected != INADDR_NONE;
    if (answer != (named ? 1 : 0) || result.s_addr != (named ? expected : 0)) {
        __builtin_trap();
    }
    return 0;
}
