// How an oracle says that the input in hand breaks it: under libFuzzer a trap, so that the
// fuzzer keeps the input; in the replay a message naming the input, then exit status 1.
#pragma once

#include <string>

[[noreturn]] void Fail(const char* what);

// What the library answered for the input in hand, in words that read the same on every target
// where its answer is the same: the replay writes it to its digest, and the digests of the
// targets are compared line by line. Under libFuzzer it goes nowhere.
void Answer(const std::string& words);
