// Forks under load: three threads trace in a loop at debug level 4 while the main thread
// calls KelFork; each child makes one traced call of its own number and leaves at once. A
// child has SECONDS to do so before its alarm ends it; the first that does not stops the
// forking.
//   kelport_fork_load CHILDREN SECONDS
// Prints "parent PID children N hung H failed F" and exits 0 when every child exited 0.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "KelDebug.h"
#include "KelIoctl.h"
#include "KelProcess.h"
#include "KelThreads.h"
#include "support/Support.h"

int main(int argc, char** argv)
{
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
    std::printf("parent %d children %d hung %d failed %d\n", static_cast<int>(::getpid()), children, hung, failed);
    return hung == 0 && failed == 0 ? 0 : 1;
}
