// Traces through the tracing library as configured by the environment, for tests that look
// at what reaches a sink.
//   juzad_emit TEXT...                     each TEXT once per object that is active for 8
//   juzad_emit --threads N --count M       N threads, M records each: "thread T record I"
//   juzad_emit --reopen-stderr PATH TEXT...
//                                          the TEXTs with standard error closed, then again
//                                          with standard error open on PATH
//   juzad_emit --broken-stdout TEXT...     the TEXTs, run again with standard output a pipe
//                                          whose reader has gone (3: it cannot run again)
//   juzad_emit --closed-stdin ARGS...      any of the above with standard input closed, as a
//                                          daemon's is: a file the sink makes anew, as a rotation
//                                          does, gets descriptor 0
//   juzad_emit --pending-sigpipe ARGS...   any of the above with SIGPIPE blocked and one pending,
//                                          as a program that takes it with sigwait may have
// Exits 4 if the traces left an error on a standard stream or changed which of the signals a
// write can raise are blocked or pending, 5 if they changed errno. Its system log is standard
// output: "openlog IDENT OPTION FACILITY", then "syslog PRIORITY [MESSAGE]" each.
#include <fcntl.h>
#if defined(_WIN32)
#include <io.h>
constexpr int kBinary = O_BINARY;  // lines that end as on every other system
#else
#include <pthread.h>
#include <unistd.h>

#include <csignal>
constexpr int kBinary = 0;
#endif

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstdio>
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
        // As a program traces, just after a call that failed: the library neither reads errno
        // as its own nor changes it.
        errno = EAGAIN;
        object.DoTrace(8, text, "emit", line);
        if (errno != EAGAIN) {
            std::exit(5);
        }
    }
}

void EmitAll(int argc, char** argv, int first)
{
    for (int i = first; i < argc; ++i) {
        Emit(general, argv[i], 1);
        Emit(memory, argv[i], 2);
    }
}

#if !defined(_WIN32)
// Which of the signals that a write can raise are blocked and which are pending, a bit each.
int WriteSignals()
{
    sigset_t blocked;
    sigset_t pending;
    ::pthread_sigmask(SIG_BLOCK, nullptr, &blocked);
    ::sigpending(&pending);
    int state = 0;
    for (const int number : {SIGPIPE, SIGXFSZ}) {
        state = state << 2 | (::sigismember(&blocked, number) == 1) << 1 | (::sigismember(&pending, number) == 1);
    }
    return state;
}
#endif

}  // namespace

#if !defined(_WIN32)
// The tracing library's calls to the system log come here: a program's own definitions come
// before the C library's.
extern "C" void openlog(const char* ident, int option, int facility)
{
    std::printf("openlog %s %d %d\n", ident, option, facility);
}

extern "C" void syslog(int priority, const char* format, ...)
{
    std::va_list args;
    va_start(args, format);
    std::printf("syslog %d [", priority);
    std::vprintf(format, args);
    std::printf("]\n");
    va_end(args);
}
#endif

int main(int argc, char** argv)
{
    const auto option = [&argc, &argv](const char* name) {
        if (argc < 2 || std::strcmp(argv[1], name) != 0) {
            return false;
        }
        argv[1] = argv[0];
        ++argv;
        --argc;
        return true;
    };
    if (option("--closed-stdin")) {
        ::close(0);
    }
#if !defined(_WIN32)
    if (option("--pending-sigpipe")) {
        sigset_t pipe;
        ::sigemptyset(&pipe);
        ::sigaddset(&pipe, SIGPIPE);
        ::pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
        ::raise(SIGPIPE);
    }
    const int signalsFound = WriteSignals();
#endif
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
#if !defined(_WIN32)
    if (argc > 2 && std::strcmp(argv[1], "--broken-stdout") == 0) {
        int pipe[2];
        if (::pipe(pipe) != 0 || ::close(pipe[0]) != 0 || ::dup2(pipe[1], 1) != 1) {
            return 3;
        }
        argv[1] = argv[0];
        ::execv(argv[0], argv + 1);
        return 3;
    }
#endif
    int first = 1;
    if (argc > 2 && std::strcmp(argv[1], "--reopen-stderr") == 0) {
        first = 3;
        ::close(2);
        EmitAll(argc, argv, first);
        if (::open(argv[2], O_WRONLY | O_CREAT | O_TRUNC | kBinary, 0600) != 2) {
            return 2;
        }
    }
    EmitAll(argc, argv, first);
    // A trace that could not be written leaves the program's streams and signals as it found them.
    if (std::ferror(stdout) != 0 || std::ferror(stderr) != 0) {
        return 4;
    }
#if !defined(_WIN32)
    if (WriteSignals() != signalsFound) {
        return 4;
    }
#endif
    return 0;
}
