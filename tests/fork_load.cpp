// Forks under load: three threads trace in a loop at debug level 4 while the main thread
// calls KelFork; each child makes one traced call of its own number and leaves at once. A
// child has SECONDS to do so before its alarm ends it; the first that does not stops the
// forking.
//   kelport_fork_load CHILDREN SECONDS
// Prints "parent PID children N hung H failed F" and exits 0 when every child exited 0.
//   kelport_fork_load --in-local-time
// Forks while another thread works out the local time of its record; exits 0 when the
// child, whose first record needs the local time too, made it and exited.
#include <dlfcn.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <thread>
#include <vector>

#include "KelDebug.h"
#include "KelIoctl.h"
#include "KelProcess.h"
#include "KelThreads.h"
#include "support/Support.h"

namespace {

// The C library's localtime_r behind a lock of this program's, held as the C library holds
// its own: a child of a fork made while another thread held it waits for it for ever. With
// g_linger set, the next caller stays inside until the fork has been made, or 1 s has passed.
std::mutex g_zone;
std::atomic<bool> g_linger{false};
std::atomic<bool> g_inside{false};
std::atomic<bool> g_forked{false};

int ForkInLocalTime()
{
    __Kelvora_Debug_Level = 4;
    g_linger = true;
    std::atomic<bool> traced{false};
    std::thread tracer([&traced] {
        KelMaxThreads(1);
        traced = true;
    });
    while (!g_inside && !traced) {
        std::this_thread::yield();
    }
    if (!g_inside) {
        tracer.join();
        std::fprintf(stderr, "the trace did not work out the local time\n");
        return 2;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::alarm(5);
        KelMaxThreads(2);
        ::_exit(0);
    }
    g_forked = true;
    tracer.join();
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0
                                                                                                         : 1;
}

}  // namespace

extern "C" [[gnu::visibility("default")]] std::tm* localtime_r(const std::time_t* time, std::tm* out)
{
    static const auto real =
        reinterpret_cast<std::tm* (*)(const std::time_t*, std::tm*)>(::dlsym(RTLD_NEXT, "localtime_r"));
    const std::lock_guard<std::mutex> lock(g_zone);
    if (g_linger.exchange(false)) {
        g_inside = true;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        while (!g_forked && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    return real(time, out);
}

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--in-local-time") == 0) {
        return ForkInLocalTime();
    }
    const int children = argc == 3 ? std::atoi(argv[1]) : 0;
    const int seconds = argc == 3 ? std::atoi(argv[2]) : 0;
    if (children <= 0 || seconds <= 0) {
        std::fprintf(stderr, "usage: kelport_fork_load CHILDREN SECONDS\n");
        return 2;
    }
    __Kelvora_Debug_Level = 4;
    StreamPair pair;
    pair.Send("load");
    std::atomic<bool> done{false};
    std::vector<std::thread> load;
    for (int t = 0; t < 3; ++t) {
        load.emplace_back([&] {
            while (!done.load(std::memory_order_relaxed)) {
                KelGetSocketPacketLength(pair.reader());
            }
        });
    }
    int hung = 0;
    int failed = 0;
    for (int child = 0; child < children; ++child) {
        const int pid = KelFork();
        if (pid == 0) {
            ::alarm(static_cast<unsigned>(seconds));
            KelMaxThreads(1000000 + child);
            ::_exit(0);
        }
        int status = 0;
        if (pid < 0 || ::waitpid(pid, &status, 0) != pid) {
            ++failed;
        } else if (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM) {
            ++hung;
            break;
        } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            ++failed;
        }
    }
    done = true;
    for (auto& thread : load) {
        thread.join();
    }
    std::printf("parent %d children %d hung %d failed %d\n", static_cast<int>(::getpid()), children, hung,
                failed);
    return hung == 0 && failed == 0 ? 0 : 1;
}
