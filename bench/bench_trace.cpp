// The debug trace against spdlog, side by side: a block whose level is off against a log
// call below the logger's level, and an enabled block through genZADTrace to the tracing
// library's null sink against spdlog writing the same text to its own null sink.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include <benchmark/benchmark.h>
#include <spdlog/logger.h>
#include <spdlog/sinks/null_sink.h>

#include "KelDebug.h"
#include "KelDebugBlock.h"

namespace {

int g_fd = 7;

std::shared_ptr<spdlog::logger> NullLogger(spdlog::level::level_enum level)
{
    auto logger = std::make_shared<spdlog::logger>("bench", std::make_shared<spdlog::sinks::null_sink_mt>());
    logger->set_level(level);
    return logger;
}

void TraceBlock(benchmark::State& state, int debugLevel)
{
    __Kelvora_Debug_Level = debugLevel;
    for (auto _ : state) {
        KEL_DEBUG(4, cout << "KelGetSocketPacketLength(" << g_fd << ")" << std::endl);
        benchmark::ClobberMemory();  // the level is read afresh every time, as in a real caller
    }
    __Kelvora_Debug_Level = 0;
}

void Spdlog(benchmark::State& state, spdlog::level::level_enum loggerLevel)
{
    const auto logger = NullLogger(loggerLevel);
    for (auto _ : state) {
        logger->debug("KelGetSocketPacketLength({})\n", g_fd);
        benchmark::ClobberMemory();
    }
}

void BM_Off_KelTraceBlock(benchmark::State& state)
{
    TraceBlock(state, 3);
}
void BM_Off_Spdlog(benchmark::State& state)
{
    Spdlog(state, spdlog::level::info);
}
void BM_On_KelTraceBlockToJuZadNullSink(benchmark::State& state)
{
    TraceBlock(state, 4);
}
void BM_On_SpdlogNullSink(benchmark::State& state)
{
    Spdlog(state, spdlog::level::trace);
}

BENCHMARK(BM_Off_KelTraceBlock);
BENCHMARK(BM_Off_Spdlog);
BENCHMARK(BM_On_KelTraceBlockToJuZadNullSink);
BENCHMARK(BM_On_SpdlogNullSink);

}  // namespace

int main(int argc, char** argv)
{
    // The tracing library reads its sink once, before main; run again with the null sink.
    const char* sink = std::getenv("JUZAD_TRACE_SINK");
    if (sink == nullptr || std::strcmp(sink, "null") != 0) {
        ::setenv("JUZAD_TRACE_SINK", "null", 1);
        ::execv("/proc/self/exe", argv);
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
