// What the tests run as a user's program would: traces through the tracing library as the
// environment configures it, and the library's calls from busy threads.
//   kelport_helper TEXT...                   each TEXT once per object that is active for 8; with
//                                            JUZAD_TRACE_SINK=stdout, first as a line of its own there
//   kelport_helper --reopen-stderr PATH TEXT...
//                                            the TEXTs with standard error closed, then again
//                                            with standard error open on PATH
//   kelport_helper --broken-stdout TEXT...   the TEXTs, run again with standard output a pipe
//                                            whose reader has gone
//   kelport_helper --end-while-tracing --file|--handler
//                                            three threads call KelMaxThreads at debug level 4
//                                            (into the configured sink, or a record handler of the
//                                            program's own) without end, and main returns while they do
//   kelport_helper --count PROCESS COPIES CHILDREN THREADS CALLS MICROSECONDS [ACTION MS ARG...]
//                                            THREADS threads each trace "PROCESS.THREAD.CALL" CALLS
//                                            times, MICROSECONDS apart; once they have begun, it
//                                            starts COPIES copies of itself and forks CHILDREN
//                                            children with KelFork, which do the same on their one
//                                            thread as processes PROCESS+1 on (ended after 60 s); MS ms
//                                            after the start, it does ACTION: mv PATH TO, rm PATH,
//                                            rmdir PATH, or the program ACTION with its ARGs; 1.1 s
//                                            after that, it traces "after"
// Before any of these, --fsize BYTES and --nofile COUNT lower the process's limits; CHILDREN,
// --broken-stdout and the limits are POSIX's.
//   kelport_helper --pending-sigpipe TEXT... the TEXTs with SIGPIPE blocked and pending
// Exits 3 when it cannot set itself up, 4 if the traces left an error on a standard stream, 5
// if they changed errno, 6 if they left the signal that a write to a pipe raises blocked (or
// unblocked it), 7 if they took away the one that was pending. Its
// system log is standard output: "openlog IDENT OPTION FACILITY", then "syslog PRIORITY
// [MESSAGE]" each.
#include <fcntl.h>
#if defined(_WIN32)
#  include <direct.h>
#  include <io.h>
#  include <process.h>
constexpr int kBinary = O_BINARY;  // lines that end as on every other system
#else
#  include <spawn.h>
#  include <sys/resource.h>
#  include <sys/wait.h>
#  include <unistd.h>

#  include <csignal>
constexpr int kBinary = 0;
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "JuZadTrc.h"
#include "KelPort.h"

#if !defined(_WIN32)
extern char** environ;
#endif

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
    // A program whose own lines go where its records go: each TEXT, before its records.
    const char* sink = std::getenv("JUZAD_TRACE_SINK");
    const bool say = sink != nullptr && std::strcmp(sink, "stdout") == 0;
    for (int i = first; i < argc; ++i) {
        if (say) {
            std::printf("%s\n", argv[i]);
        }
        Emit(general, argv[i], 1);
        Emit(memory, argv[i], 2);
    }
}

// Trivially destroyed: the threads count on while the process ends.
std::atomic<long> g_calls{0};

int EndWhileTracing(bool handler)
{
    if (handler) {
        // One that takes its time, as a handler that writes the record somewhere does: a thread
        // is inside it, holding the library's lock, most of the time.
        JuZadTrc::SetRecordHandler([](const JuZadTrc::Record&) {
            g_calls.fetch_add(1);
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        });
    }
    __Kelvora_Debug_Level = 4;
    for (int t = 0; t < 3; ++t) {
        std::thread([] {
            for (int i = 0;; ++i) {
                KelMaxThreads(i);
                g_calls.fetch_add(1);
            }
        }).detach();
    }
    while (g_calls.load() < 300) {
        std::this_thread::yield();
    }
    return 0;
}

#if defined(_WIN32)
void EndIn(unsigned) {}

intptr_t Start(const char* const* args)
{
    return ::_spawnv(_P_NOWAIT, args[0], args);
}

bool Ended(intptr_t process)
{
    int status = 1;
    return ::_cwait(&status, process, 0) != -1 && status == 0;
}
#else
void EndIn(unsigned seconds)
{
    ::alarm(seconds);
}

intptr_t Start(const char* const* args)
{
    pid_t pid = 0;
    return ::posix_spawnp(&pid, args[0], nullptr, nullptr, const_cast<char* const*>(args), environ) == 0 ? pid
                                                                                                         : -1;
}

// A process, or a child of a fork.
bool Ended(intptr_t process)
{
    int status = 0;
    return ::waitpid(static_cast<pid_t>(process), &status, 0) == process && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}
#endif

// Thread thread of process number traces "NUMBER.THREAD.CALL" CALLS times; begun counts them.
void Calls(int number, int thread, char** argv, std::atomic<int>& begun)
{
    for (int call = 0; call < std::atoi(argv[6]); ++call, ++begun) {
        const std::string text =
            std::to_string(number) + "." + std::to_string(thread) + "." + std::to_string(call);
        Emit(general, text.c_str(), 1);
        std::this_thread::sleep_for(std::chrono::microseconds(std::atoi(argv[7])));
    }
}

int Count(char** argv, int argc)
{
    const int process = std::atoi(argv[2]);
    const int copies = std::atoi(argv[3]);
    std::atomic<int> begun{0};
    std::vector<std::thread> tracing;
    for (int t = 0; t < std::atoi(argv[5]); ++t) {
        tracing.emplace_back(Calls, process, t, argv, std::ref(begun));
    }
    // Forks while the threads trace: a lock they hold at the fork must not stop the child.
    while (begun.load() < std::min(100, std::atoi(argv[5]) * std::atoi(argv[6]))) {
        std::this_thread::yield();
    }
    std::vector<intptr_t> started;
    for (int copy = 1; copy <= copies; ++copy) {
        const std::string number = std::to_string(process + copy);
        // Under the emulator that runs this program, where the tests have one.
        const char* emulator = std::getenv("KELPORT_TEST_EMULATOR");
        const char* args[] = {emulator, argv[0], "--count", number.c_str(), "0",
                              "0",      argv[5], argv[6],   argv[7],        nullptr};
        started.push_back(Start(args + (emulator == nullptr ? 1 : 0)));
    }
    for (int child = 1; child <= std::atoi(argv[4]); ++child) {
        const int pid = KelFork();
        if (pid == 0) {  // its one thread traces what the threads of a process would
            EndIn(60);
            for (int t = 0; t < std::atoi(argv[5]); ++t) {
                Calls(process + copies + child, t, argv, begun);
            }
            std::_Exit(0);  // the parent's threads are not this process's to join
        }
        started.push_back(pid);
    }
    int failed = 0;
    if (argc > 10) {
        // As an operator would, while the threads trace; 1.1 s later, a record of its own.
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[9])));
        const std::string action = argv[8];
        std::error_code error;
        bool done = true;
        if (action == "mv") {
            std::filesystem::rename(argv[10], argc > 11 ? argv[11] : "", error);
            done = !error;
        } else if (action == "rm" || action == "rmdir") {
            done = std::filesystem::remove(argv[10], error);
        } else {
            argv[9] = argv[8];
            done = Ended(Start(argv + 9));
        }
        failed = !done;
        std::this_thread::sleep_for(std::chrono::milliseconds(1100));
        Emit(general, "after", 1);
    }
    for (auto& thread : tracing) {
        thread.join();
    }
    for (const intptr_t other : started) {
        failed |= !Ended(other);
    }
    return failed ? 1 : 0;
}

#if !defined(_WIN32)
bool Limit(const char* option, long value)
{
    rlimit limit{};
    const int resource = std::strcmp(option, "--fsize") == 0 ? RLIMIT_FSIZE : RLIMIT_NOFILE;
    limit.rlim_max = ::getrlimit(resource, &limit) == 0 ? limit.rlim_max : RLIM_INFINITY;
    limit.rlim_cur = static_cast<rlim_t>(value);
    return ::setrlimit(resource, &limit) == 0;
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
#if !defined(_WIN32)
    // Limits lowered for the run, as a service may be started with them.
    while (argc > 3 && (std::strcmp(argv[1], "--fsize") == 0 || std::strcmp(argv[1], "--nofile") == 0)) {
        if (!Limit(argv[1], std::atol(argv[2]))) {
            return 3;
        }
        argv[2] = argv[0];
        argv += 2;
        argc -= 2;
    }
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
    if (argc >= 8 && std::strcmp(argv[1], "--count") == 0) {
        return Count(argv, argc);
    }
    if (argc == 3 && std::strcmp(argv[1], "--end-while-tracing") == 0) {
        return EndWhileTracing(std::strcmp(argv[2], "--handler") == 0);
    }
    int first = 1;
#if !defined(_WIN32)
    // A program that blocks SIGPIPE, with one pending: it is still pending after the traces.
    sigset_t sigpipe;
    ::sigemptyset(&sigpipe);
    ::sigaddset(&sigpipe, SIGPIPE);
    const bool pending = argc > 2 && std::strcmp(argv[1], "--pending-sigpipe") == 0;
    if (pending && (::pthread_sigmask(SIG_BLOCK, &sigpipe, nullptr) != 0 || ::raise(SIGPIPE) != 0)) {
        return 3;
    }
    first += pending ? 1 : 0;
#endif
    if (argc > 2 && std::strcmp(argv[1], "--reopen-stderr") == 0) {
        first = 3;
        ::close(2);
        EmitAll(argc, argv, first);
        if (::open(argv[2], O_WRONLY | O_CREAT | O_TRUNC | kBinary, 0600) != 2) {
            return 3;
        }
    }
    EmitAll(argc, argv, first);
#if !defined(_WIN32)
    sigset_t mask;
    if (::pthread_sigmask(SIG_BLOCK, nullptr, &mask) != 0 || ::sigismember(&mask, SIGPIPE) != pending) {
        return 6;
    }
    if (pending && (::sigpending(&mask) != 0 || ::sigismember(&mask, SIGPIPE) != 1)) {
        return 7;
    }
#endif
    // A trace that could not be written leaves the program's streams as it found them.
    return std::ferror(stdout) != 0 || std::ferror(stderr) != 0 ? 4 : 0;
}
