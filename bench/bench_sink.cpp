// Traced calls under load against spdlog, side by side: 1, 2 and 8 threads writing records of
// the trace block's usual size to a file, each record flushed, through genZADTrace and the
// tracing library's file sink, and through a spdlog logger with its own multi-threaded file
// sink, the same line layout and a flush after every record.
// Beside them, the outputs alone against a bare write of the same finished record.
//   kelport_bench_sink [Google Benchmark arguments]   (runs interleaved unless told otherwise)
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>
#include <spdlog/logger.h>
#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/basic_file_sink.h>

#include "JuZadConfig.h"
#include "JuZadOutput.h"
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

// A finished record of 116 bytes, written as the sink writes it, under one lock: by the file
// output, with its look at the path once a second; by the rotating output, with its sizes; and by
// one bare write on an O_APPEND descriptor, the limit of any sink that writes each record as it
// comes. Each record's time is the clock's, read as the library reads it for the record's stamp.
const std::string g_record = std::string(115, 'r') + "\n";
std::mutex g_write;
std::unique_ptr<JuZadTrc::Output> g_file;
std::unique_ptr<JuZadTrc::Output> g_rotating;
int g_bare = -1;

void Written(benchmark::State& state, const std::function<bool(std::chrono::system_clock::time_point)>& write)
{
    for (auto _ : state) {
        if (!write(std::chrono::system_clock::now())) {
            state.SkipWithError("the record was not written");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}

void OutputWritten(benchmark::State& state, JuZadTrc::Output& output)
{
    Written(state, [&output](auto time) {
        const std::lock_guard<std::mutex> lock(g_write);
        return !output.Write(g_record.data(), g_record.size(), time).lost;
    });
}

void BM_Sink_FileOutput(benchmark::State& state)
{
    OutputWritten(state, *g_file);
}

void BM_Sink_RotatingOutput(benchmark::State& state)
{
    OutputWritten(state, *g_rotating);
}

void BM_Sink_BareWrite(benchmark::State& state)
{
    Written(state, [](auto) {
        const std::lock_guard<std::mutex> lock(g_write);
        return ::write(g_bare, g_record.data(), g_record.size()) > 0;
    });
}

// The same write with no lock of the program's, where the kernel alone keeps appends apart: on
// some machines faster than the lock once threads meet at the file, on others slower.
void BM_Sink_BareWriteUnlocked(benchmark::State& state)
{
    Written(state, [](auto) { return ::write(g_bare, g_record.data(), g_record.size()) > 0; });
}

// Each run starts with every file empty: the dirty pages of the runs before would otherwise
// have the kernel's writeback take a core from a later one.
std::string g_folder;
void Emptied(const benchmark::State&)
{
    for (const auto& entry : std::filesystem::directory_iterator(g_folder)) {
        std::filesystem::resize_file(entry.path(), 0);
    }
}

BENCHMARK(BM_Sink_FileOutput)->Setup(Emptied)->Threads(1)->Threads(2)->Threads(8)->UseRealTime();
BENCHMARK(BM_Sink_RotatingOutput)->Setup(Emptied)->Threads(1)->Threads(2)->Threads(8)->UseRealTime();
BENCHMARK(BM_Sink_BareWrite)->Setup(Emptied)->Threads(1)->Threads(2)->Threads(8)->UseRealTime();
BENCHMARK(BM_Sink_BareWriteUnlocked)->Setup(Emptied)->Threads(1)->Threads(2)->Threads(8)->UseRealTime();
BENCHMARK(BM_Sink_GenZADTraceToFile)->Setup(Emptied)->Threads(1)->Threads(2)->Threads(8)->UseRealTime();
BENCHMARK(BM_Sink_SpdlogToFile)->Setup(Emptied)->Threads(1)->Threads(2)->Threads(8)->UseRealTime();

// The console's table, then each row's records per second against the bare writes' at the same
// threads, with the lock and without (medians, where there are repetitions).
class Ratios : public benchmark::ConsoleReporter {
public:
    Ratios() : ConsoleReporter(::isatty(1) ? OO_Defaults : OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const auto rate = run.counters.find("items_per_second");
            if (rate != run.counters.end() &&
                (run.run_type == Run::RT_Iteration || run.aggregate_name == "median")) {
                m_rates[{run.run_name.function_name, run.threads}] = rate->second.value;
            }
        }
    }
    void Finalize() override
    {
        for (const auto& [key, rate] : m_rates) {
            const auto bare = m_rates.find({"BM_Sink_BareWrite", key.second});
            const auto unlocked = m_rates.find({"BM_Sink_BareWriteUnlocked", key.second});
            if (key.first.rfind("BM_Sink_BareWrite", 0) != 0 && bare != m_rates.end() &&
                unlocked != m_rates.end() && bare->second > 0 && unlocked->second > 0) {
                std::printf("%s/threads:%d against BM_Sink_BareWrite: %.2f, against "
                            "BM_Sink_BareWriteUnlocked: %.2f\n",
                            key.first.c_str(), key.second, rate / bare->second, rate / unlocked->second);
            }
        }
        ConsoleReporter::Finalize();
    }

private:
    std::map<std::pair<std::string, int>, double> m_rates;
};

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

    g_folder = directory;
    const std::string& folder = g_folder;
    g_file = JuZadTrc::OpenOutput(*JuZadTrc::ParseSink("file:" + folder + "/file.log"));
    g_rotating = JuZadTrc::OpenOutput(*JuZadTrc::ParseSink("rotate:" + folder + "/rotating.log:67108864:2"));
    g_bare = ::open((folder + "/bare.log").c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);

    __Kelvora_Debug_Level = 4;
    // The rows' runs interleaved, so that the machine's drift over the minutes of a run falls on
    // every row alike; an argument given later (=false) overrides it.
    char interleaved[] = "--benchmark_enable_random_interleaving=true";
    std::vector<char*> args(argv, argv + argc);
    args.insert(args.begin() + 1, interleaved);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    Ratios ratios;
    benchmark::RunSpecifiedBenchmarks(&ratios);
    benchmark::Shutdown();
    g_spdlog.reset();
    std::filesystem::remove_all(directory);
    return 0;
}
