// What the kelport program needs of the system it runs on, beyond the library's own calls.
// Each system has its implementation folder beside this header (posix/, win32/).
#pragma once

#include <ctime>
#include <string>

#include "KelPortPlatform.h"

namespace kelport::tool::host {

// The file name of the system's library that holds the C math functions.
extern const char kMathLibrary[];

// Two connected stream sockets of this machine, with bytes waiting to be read on the first.
class QueuedSocket {
public:
    explicit QueuedSocket(int queued);
    ~QueuedSocket();
    QueuedSocket(const QueuedSocket&) = delete;
    QueuedSocket& operator=(const QueuedSocket&) = delete;
    int fd() const { return m_reader; }

private:
    int m_reader = -1;
    int m_writer = -1;
};

// The exit status of a child that KelFork made, once it has ended; -1 when it did not exit.
int WaitForChild(int pid);
// Ends a child that KelFork made at once, without the parent's exit handlers.
[[noreturn]] void EndChild(int status);

std::tm LocalTime(std::time_t time);

}  // namespace kelport::tool::host
