// The product-wide error catalogue. The entry of code c sits at index c - kelFirstErrorCode.
#pragma once

#include <cstdint>

enum __errsev : std::int32_t {
    E_KESInfo = 0,
    E_KESSick = 1,
    E_KESFatal = 2,
    E_KESExit = 3,
};

struct __errstruct {
    std::int32_t S_Code;
    __errsev S_Level;
    const char* S_Errstring;
};

constexpr int kelFirstErrorCode = -220566;
constexpr int kelLastErrorCode = -220403;
constexpr int kelErrorCount = kelLastErrorCode - kelFirstErrorCode + 1;

extern const __errstruct kelErrorDB[kelErrorCount];

// The entries that the library's own functions raise.
constexpr int kelOutOfMemory = -220553;     // fatal
constexpr int kelGenericFatal = -220440;    // fatal
constexpr int kelIoctlFailed = -220447;     // fatal
constexpr int kelSocketInvalid = -220459;   // information
constexpr int kelLibraryMissing = -220451;  // sick
constexpr int kelSymbolMissing = -220409;   // sick
