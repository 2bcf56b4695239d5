// Traced calls under load against spdlog, side by side: 1, 2 and 8 threads writing records of
// the trace block's usual size to a file, each record flushed, through genZADTrace and the
// tracing library's file sink, and through a spdlog logger with its own multi-threaded file
// sink, the same line layout and a flush after every record.
//   kelport_bench_sink [Google Benchmark arguments]
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>
#include <spdlog/logger.h>
#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/basic_file_sink.h>

#include "KelDebug.h"

namespace {

std::shared_ptr<spdlog::logger> g_spdlog;

// What a trace block at level 4 hands on for KelGetSocketPacketLength(7).
char g_text[] = "KelGetSocketPacketLength(7)\n";

void BM_Sink_GenZADTraceToFile(benchmark::State& state)
{
    for (auto _ : state) {
        genZADTrace(g_text, 4);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_Sink_SpdlogToFile(benchmark::State& state)
{
    for (auto _ : state) {
        g_spdlog->trace("KelGetSocketPacketLength({})", 7);
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_Sink_GenZADTraceToFile)->Threads(1)->Threads(2)->Threads(8)->UseRealTime();
BENCHMARK(BM_Sink_SpdlogToFile)->Threads(1)->Threads(2)->Threads(8)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    // The tracing library reads its sink once, at load: run again with the file sink set.
    const char* directory = std::getenv("KELPORT_BENCH_DIR");
    if (directory == nullptr) {
        std::string made = (std::filesystem::temp_directory_path() / "kelport-bench-XXXXXX").string();
        if (::mkdtemp(made.data()) == nullptr) {
            return 1;
        }
        ::setenv("KELPORT_BENCH_DIR", made.c_str(), 1);
        ::setenv("JUZAD_TRACE_SINK", ("file:" + made + "/juzad.log").c_str(), 1);
        ::unsetenv("JUZAD_TRACE_FORMAT");
        ::unsetenv("JUZAD_TRACE");
        ::execv("/proc/self/exe", argv);
        return 1;
    }
    g_spdlog = std::make_shared<spdlog::logger>(
        "ZeltaDiscovery",
        std::make_shared<spdlog::sinks::basic_file_sink_mt>(std::string(directory) + "/spdlog.log"));
    g_spdlog->set_formatter(std::make_unique<spdlog::pattern_formatter>(
        "[%Y-%m-%d %H:%M:%S.%f] [%n] [Trace] [pid %P tid %t] KelDebug:83 %v"));
    g_spdlog->set_level(spdlog::level::trace);
    g_spdlog->flush_on(spdlog::level::trace);

    __Kelvora_Debug_Level = 4;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_spdlog.reset();
    std::filesystem::remove_all(directory);
    return 0;
}
