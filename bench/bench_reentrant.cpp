// The reentrant calls with tracing off against the C library's own reentrant calls, on one
// thread and on two: the library adds no lock, so two threads should do twice the work.
#include <arpa/inet.h>
#include <netdb.h>

#include <ctime>

#include <benchmark/benchmark.h>

#include "KelDebug.h"
#include "KelReentrant.h"

namespace {

void BM_Proto_Kel(benchmark::State& state)
{
    __Kelvora_Debug_Level = 0;
    protoent entry;
    for (auto _ : state) {
        benchmark::DoNotOptimize(KelGetProtoByName_r("tcp", &entry, nullptr, 0));
    }
    state.SetItemsProcessed(state.iterations());
}
void BM_Proto_Libc(benchmark::State& state)
{
    protoent entry;
    char buffer[1024];
    for (auto _ : state) {
        protoent* result = nullptr;
        benchmark::DoNotOptimize(getprotobyname_r("tcp", &entry, buffer, sizeof buffer, &result));
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_Host_Kel(benchmark::State& state)
{
    hostent entry;
    for (auto _ : state) {
        benchmark::DoNotOptimize(KelGetHostByName_r("localhost", &entry, nullptr, 0, nullptr));
    }
    state.SetItemsProcessed(state.iterations());
}
void BM_Host_Libc(benchmark::State& state)
{
    hostent entry;
    char buffer[1024];
    for (auto _ : state) {
        hostent* result = nullptr;
        int herr = 0;
        benchmark::DoNotOptimize(gethostbyname_r("localhost", &entry, buffer, sizeof buffer, &result, &herr));
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_CTime_Kel(benchmark::State& state)
{
    const long clock = 1764946882;
    char buffer[26];
    for (auto _ : state) {
        benchmark::DoNotOptimize(KelCTime_r(&clock, buffer, sizeof buffer));
    }
    state.SetItemsProcessed(state.iterations());
}
void BM_CTime_Libc(benchmark::State& state)
{
    const std::time_t clock = 1764946882;
    char buffer[26];
    for (auto _ : state) {
        benchmark::DoNotOptimize(ctime_r(&clock, buffer));
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_AscTime_Kel(benchmark::State& state)
{
    std::tm time{};
    time.tm_year = 126;
    time.tm_mday = 5;
    for (auto _ : state) {
        benchmark::DoNotOptimize(KelAscTime_r(&time, nullptr, 0));
    }
    state.SetItemsProcessed(state.iterations());
}
void BM_AscTime_Libc(benchmark::State& state)
{
    std::tm time{};
    time.tm_year = 126;
    time.tm_mday = 5;
    char buffer[26];
    for (auto _ : state) {
        benchmark::DoNotOptimize(asctime_r(&time, buffer));
    }
    state.SetItemsProcessed(state.iterations());
}

#define KEL_SIDE_BY_SIDE(name) BENCHMARK(name)->Threads(1)->Threads(2)->UseRealTime()

KEL_SIDE_BY_SIDE(BM_Proto_Kel);
KEL_SIDE_BY_SIDE(BM_Proto_Libc);
KEL_SIDE_BY_SIDE(BM_Host_Kel);
KEL_SIDE_BY_SIDE(BM_Host_Libc);
KEL_SIDE_BY_SIDE(BM_CTime_Kel);
KEL_SIDE_BY_SIDE(BM_CTime_Libc);
KEL_SIDE_BY_SIDE(BM_AscTime_Kel);
KEL_SIDE_BY_SIDE(BM_AscTime_Libc);

}  // namespace
