// Fail and Answer for the libFuzzer builds: the fuzzer reports the trap and saves the input.
#include "Fail.h"

void Fail(const char*)
{
    __builtin_trap();
}

void Answer(const std::string&) {}
