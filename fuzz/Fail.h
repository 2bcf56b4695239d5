// How an oracle says that the input in hand breaks it: under libFuzzer a trap, so that the
// fuzzer keeps the input; in the replay a message naming the input, then exit status 1.
#pragma once

[[noreturn]] void Fail(const char* what);
