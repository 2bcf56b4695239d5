// Traces through the tracing library as configured by the environment, for tests that look
// at what reaches a sink.
//   juzad_emit TEXT...                     each TEXT once per object that is active for 8
//   juzad_emit --threads N --count M       N threads, M records each: "thread T record I"
//   juzad_emit --reopen-stderr PATH TEXT...
//                                          the TEXTs with standard error closed, then again
//                                          with standard error open on PATH
//   juzad_emit --broken-stdout TEXT...     the TEXTs, run again with standard output a pipe
//                                          whose reader has gone (3: it cannot run again)
//   juzad_emit --end-while-tracing LIBRARY [--handler]
//                                          loads KelPort from LIBRARY; three threads call its
//                                          KelMaxThreads at debug level 4 (into a record handler
//                                          of the program's own with --handler) without end, and
//                                          main returns while they do (3: LIBRARY unusable)
//   juzad_emit --interrupted COUNT         COUNT records "record I" to standard error, a pipe
//                                          that a process reads slowly, while SIGALRM, whose handler
//                                          has no SA_RESTART, keeps interrupting the writes; prints
//                                          how many lines were the right record in the right place,
//                                          and how many lines there were
// Exits 4 if the traces left an error on a standard stream or changed which of the signals a
// write can raise are blocked or pending, 5 if they changed errno. Its system log is standard
// output: "openlog IDENT OPTION FACILITY", then "syslog PRIORITY [MESSAGE]" each.
#include <fcntl.h>
#if defined(_WIN32)
#  include <io.h>
#  include <windows.h>
constexpr int kBinary = O_BINARY;  // lines that end as on every other system
#else
#  include <dlfcn.h>
#  include <pthread.h>
#  include <sys/time.h>
#  include <sys/wait.h>
#  include <unistd.h>

#  include <csignal>
constexpr int kBinary = 0;
#endif

#include <atomic>
#include <cerrno>
#include <chrono>
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

// Trivially destroyed: the threads count on while the process ends.
std::atomic<long> g_calls{0};

int EndWhileTracing(const char* path, bool handler)
{
#if defined(_WIN32)
    const HMODULE library = ::LoadLibraryA(path);
    const auto symbol = [library](const char* name) {
        return reinterpret_cast<void*>(::GetProcAddress(library, name));
    };
#else
    void* library = ::dlopen(path, RTLD_NOW);
    const auto symbol = [library](const char* name) { return ::dlsym(library, name); };
#endif
    int* level = library != nullptr ? static_cast<int*>(symbol("__Kelvora_Debug_Level")) : nullptr;
    // int KelMaxThreads(int), by the name that GCC's C++ gives it on every target.
    const auto maxThreads =
        library != nullptr ? reinterpret_cast<int (*)(int)>(symbol("_Z13KelMaxThreadsi")) : nullptr;
    if (level == nullptr || maxThreads == nullptr) {
        return 3;
    }
    if (handler) {
        // One that takes its time, as a handler that writes the record somewhere does: a thread
        // is inside it, holding the library's lock, most of the time.
        JuZadTrc::SetRecordHandler([](const JuZadTrc::Record&) {
            g_calls.fetch_add(1);
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        });
    }
    *level = 4;
    for (int t = 0; t < 3; ++t) {
        std::thread([maxThreads] {
            for (int i = 0;; ++i) {
                maxThreads(i);
                g_calls.fetch_add(1);
            }
        }).detach();
    }
    while (g_calls.load() < 300) {
        std::this_thread::yield();
    }
    return 0;
}

#if !defined(_WIN32)
int Interrupted(int count)
{
    int pipe[2];
    if (::pipe(pipe) != 0) {
        return 3;
    }
    // The reader is a process of its own, so that every signal goes to the writer.
    const pid_t reader = ::fork();
    if (reader == 0) {
        ::close(pipe[1]);
        std::string text;
        char block[1024];
        for (ssize_t got; (got = ::read(pipe[0], block, sizeof block)) != 0;) {
            if (got > 0) {
                text.append(block, static_cast<std::size_t>(got));
                ::usleep(100);
            }
        }
        long right = 0;
        long lines = 0;
        for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos;
             at = end + 1, ++lines) {
            const std::string expected = " emit:1 record " + std::to_string(lines);
            right +=
                end >= expected.size() && text.compare(end - expected.size(), expected.size(), expected) == 0;
        }
        std::printf("%ld %ld\n", right, lines);
        std::exit(0);
    }
    if (reader < 0 || ::dup2(pipe[1], 2) != 2) {
        return 3;
    }
    ::close(pipe[0]);
    ::close(pipe[1]);
    struct sigaction action {};
    action.sa_handler = [](int) {};
    ::sigaction(SIGALRM, &action, nullptr);
    const itimerval often{{0, 100}, {0, 100}};
    ::setitimer(ITIMER_REAL, &often, nullptr);
    for (int i = 0; i < count; ++i) {
        Emit(general, ("record " + std::to_string(i) + "\n").c_str(), 1);
    }
    const itimerval never{};
    ::setitimer(ITIMER_REAL, &never, nullptr);
    ::close(2);
    int status = 0;
    return ::waitpid(reader, &status, 0) == reader && WIFEXITED(status) ? WEXITSTATUS(status) : 3;
}

// Which of the signals that a write can raise are blocked and which are pending, a bit each.
int WriteSignals()
{
    sigset_t blocked;
    sigset_t pending;
    ::pthread_sigmask(SIG_BLOCK, nullptr, &blocked);
    ::sigpending(&pending);
    int state = 0;
    for (const int number : {SIGPIPE, SIGXFSZ}) {
        state =
            state << 2 | (::sigismember(&blocked, number) == 1) << 1 | (::sigismember(&pending, number) == 1);
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
    if (argc >= 3 && argc <= 4 && std::strcmp(argv[1], "--end-while-tracing") == 0) {
        return EndWhileTracing(argv[2], argc == 4 && std::strcmp(argv[3], "--handler") == 0);
    }
#if !defined(_WIN32)
    if (argc == 3 && std::strcmp(argv[1], "--interrupted") == 0) {
        return Interrupted(std::atoi(argv[2]));
    }
#endif
#if !defined(_WIN32)
    const int signalsFound = WriteSignals();
#endif
    if (argc == 5 && std::strcmp(argv[1], "--threads") == 0 && std::strcmp(argv[3], "--count") == 0) {
        const int threads = std::atoi(argv[2]);
        const int count = std::atoi(argv[4]);
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t) {
            workers.emplace_back([t, count] {
                for (int i = 0; i < count; ++i) {
                    const std::string text =
                        "thread " + std::to_string(t) + " record " + std::to_string(i) + "\n";
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
