// System and process services against what a program would call instead: KelAtoll against
// strtoll and std::from_chars, KelGetPid against getpid, KelMaxThreads with tracing off.
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "KelAtoll.h"
#include "KelDebug.h"
#include "KelProcess.h"
#include "KelThreads.h"

namespace {

// 256 different numbers of the given number of digits, each terminated.
std::vector<std::string> Numbers(int digits)
{
    std::mt19937_64 random(digits);
    std::vector<std::string> numbers;
    for (int i = 0; i < 256; ++i) {
        std::string number(1, static_cast<char>('1' + random() % 9));
        while (static_cast<int>(number.size()) < digits) {
            number += static_cast<char>('0' + random() % 10);
        }
        numbers.push_back(number);
    }
    return numbers;
}

template <typename Parse>
void ParseNumbers(benchmark::State& state, Parse parse)
{
    const auto numbers = Numbers(static_cast<int>(state.range(0)));
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(parse(numbers[i++ & 255]));
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_Digits_KelAtoll(benchmark::State& state)
{
    ParseNumbers(state, [](const std::string& n) { return KelAtoll(n.c_str()); });
}
void BM_Digits_Strtoll(benchmark::State& state)
{
    ParseNumbers(state, [](const std::string& n) { return std::strtoll(n.c_str(), nullptr, 10); });
}
void BM_Digits_FromChars(benchmark::State& state)
{
    ParseNumbers(state, [](const std::string& n) {
        long long value = 0;
        std::from_chars(n.data(), n.data() + n.size(), value);
        return value;
    });
}
BENCHMARK(BM_Digits_KelAtoll)->DenseRange(1, 19, 6);
BENCHMARK(BM_Digits_Strtoll)->DenseRange(1, 19, 6);
BENCHMARK(BM_Digits_FromChars)->DenseRange(1, 19, 6);

// 1 MiB of numbers of 1 to 19 digits between separators of one or two characters.
std::string LongText()
{
    std::mt19937_64 random(2026);
    const char* separators[] = {" ", ",", ", ", "\t", ".", "-", "; "};
    std::string text;
    while (text.size() < (1u << 20)) {
        const auto digits = 1 + random() % 19;
        for (unsigned i = 0; i < digits; ++i) {
            text += static_cast<char>('0' + random() % 10);
        }
        text += separators[random() % std::size(separators)];
    }
    text.resize(1u << 20);
    return text;
}

void BM_LongText_KelAtoll(benchmark::State& state)
{
    const std::string text = LongText();
    for (auto _ : state) {
        benchmark::DoNotOptimize(KelAtoll(text.c_str()));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
// The floor of any scan to the terminating zero.
void BM_LongText_Strlen(benchmark::State& state)
{
    const std::string text = LongText();
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::strlen(text.c_str()));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_LongText_KelAtoll);
BENCHMARK(BM_LongText_Strlen);

void BM_Pid_KelGetPid(benchmark::State& state)
{
    for (auto _ : state) {
        benchmark::DoNotOptimize(KelGetPid());
    }
}
void BM_Pid_Getpid(benchmark::State& state)
{
    for (auto _ : state) {
        benchmark::DoNotOptimize(::getpid());
    }
}
BENCHMARK(BM_Pid_KelGetPid);
BENCHMARK(BM_Pid_Getpid);

// What a program would write without the library: the request itself, through a call.
__attribute__((noinline)) int Granted(int request)
{
    benchmark::ClobberMemory();
    return request;
}
void BM_Threads_KelMaxThreadsOff(benchmark::State& state)
{
    __Kelvora_Debug_Level = 0;
    int request = 8;
    for (auto _ : state) {
        benchmark::DoNotOptimize(request);
        benchmark::DoNotOptimize(KelMaxThreads(request));
    }
}
void BM_Threads_DirectCall(benchmark::State& state)
{
    int request = 8;
    for (auto _ : state) {
        benchmark::DoNotOptimize(request);
        benchmark::DoNotOptimize(Granted(request));
    }
}
BENCHMARK(BM_Threads_KelMaxThreadsOff);
BENCHMARK(BM_Threads_DirectCall);

}  // namespace
