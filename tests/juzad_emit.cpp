// Traces through the tracing library as configured by the environment, for tests that look
// at what reaches a sink.
//   juzad_emit TEXT...                     each TEXT once per object that is active for 8
//   juzad_emit --threads N --count M       N threads, M records each: "thread T record I"
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "JuZadTrc.h"

namespace {

JuZadTrc::TraceObj_t general("ZeltaDiscovery", JuZadTrc::fTrace_k);
JuZadTrc::TraceObj_t memory("Memory Usage", JuZadTrc::fResMgmt_k);

void Emit(JuZadTrc::TraceObj_t& object, const char* text, std::uint32_t line)
{
    if (object.IsActive(8)) {
        object.DoTrace(8, text, "emit", line);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::strcmp(argv[1], "--threads") == 0 && std::strcmp(argv[3], "--count") == 0) {
        const int threads = std::atoi(argv[2]);
        const int count = std::atoi(argv[4]);
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t) {
            workers.emplace_back([t, count] {
                for (int i = 0; i < count; ++i) {
                    const std::string text = "thread " + std::to_string(t) + " record " + std::to_string(i) + "\n";
                    Emit(general, text.c_str(), 1);
                }
            });
        }
        for (auto& worker : workers) {
            worker.join();
        }
        return 0;
    }
    for (int i = 1; i < argc; ++i) {
        Emit(general, argv[i], 1);
        Emit(memory, argv[i], 2);
    }
    return 0;
}
