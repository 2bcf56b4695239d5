// The kelport program's system calls on POSIX systems.
#include "Host.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "Commands.h"

namespace kelport::tool::host {

const char kMathLibrary[] = "libm.so.6";

QueuedSocket::QueuedSocket(int queued)
{
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) {
        throw std::runtime_error(std::string("socketpair: ") + std::strerror(errno));
    }
    m_reader = fds[0];
    m_writer = fds[1];
    // Never waits for a reader that will not come: what does not fit is refused.
    const std::string bytes(static_cast<std::size_t>(queued), 'k');
    const ssize_t sent = ::send(m_writer, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (sent != static_cast<ssize_t>(bytes.size())) {
        throw UsageError("--bytes " + std::to_string(queued) + ": only " +
                         std::to_string(sent < 0 ? 0 : sent) + " bytes fit on a socket here");
    }
}

QueuedSocket::~QueuedSocket()
{
    ::close(m_reader);
    ::close(m_writer);
}

int WaitForChild(int pid)
{
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

void EndChild(int status)
{
    ::_exit(status);
}

std::tm LocalTime(std::time_t time)
{
    std::tm local{};
    ::localtime_r(&time, &local);
    return local;
}

}  // namespace kelport::tool::host
