// The tracing library on POSIX systems: its variables, ids and local time, the fork handlers,
// the system log, and files opened and written with the care that a program with privileges
// needs.
#include "JuZadSystem.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <mutex>

#include <spdlog/sinks/syslog_sink.h>

namespace JuZadTrc::system {
namespace {

// 0 until asked; a child of a fork asks again.
std::atomic<long> g_processId{0};
thread_local std::uint64_t t_threadId = 0;

// localtime_r holds a lock of the C library's, which a child of a fork never gets back if
// another thread held it at the fork: a fork waits until no thread is inside localtime_r here.
std::mutex g_localTime;

void LockLocalTime()
{
    g_localTime.lock();
}

void UnlockLocalTime()
{
    g_localTime.unlock();
}

// Runs in the child's one thread, the one that forked.
void AfterForkInChild()
{
    UnlockLocalTime();
    g_processId.store(0, std::memory_order_relaxed);
    t_threadId = 0;
}

// SIGPIPE blocked on this thread for the life of the object; one that a write raised in the
// meantime is taken away, so that a reader gone away shows as EPIPE alone.
class SigpipeBlocked {
public:
    SigpipeBlocked()
    {
        ::sigemptyset(&m_pipe);
        ::sigaddset(&m_pipe, SIGPIPE);
        ::pthread_sigmask(SIG_BLOCK, &m_pipe, &m_saved);
        m_wasPending = Pending();
    }
    ~SigpipeBlocked()
    {
        if (!m_wasPending && Pending()) {
            const timespec now{};
            ::sigtimedwait(&m_pipe, nullptr, &now);
        }
        ::pthread_sigmask(SIG_SETMASK, &m_saved, nullptr);
    }
    SigpipeBlocked(const SigpipeBlocked&) = delete;
    SigpipeBlocked& operator=(const SigpipeBlocked&) = delete;

private:
    static bool Pending()
    {
        sigset_t pending;
        ::sigpending(&pending);
        return ::sigismember(&pending, SIGPIPE) == 1;
    }
    sigset_t m_pipe;
    sigset_t m_saved;
    bool m_wasPending;
};

int WriteAll(int fd, const char* data, std::size_t size)
{
    while (size != 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return 0;
}

int WriteStream(std::FILE* stream, const char* data, std::size_t size)
{
    errno = 0;
    if (std::fwrite(data, 1, size, stream) == size && std::fflush(stream) == 0) {
        return 0;
    }
    const int error = errno != 0 ? errno : EIO;
    std::clearerr(stream);
    return error;
}

FileInfo Info(int rc, const struct stat& status)
{
    FileInfo info;
    if (rc != 0) {
        return info;
    }
    info.exists = true;
    info.regular = S_ISREG(status.st_mode);
    info.renamable = info.regular && status.st_uid == ::geteuid() && status.st_nlink == 1;
    info.breakable = S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode);
    info.size = static_cast<std::uint64_t>(status.st_size);
    return info;
}

}  // namespace

const char* Variable(const char* name, bool& ignored)
{
#if defined(__GLIBC__)
    const char* value = ::secure_getenv(name);
#else
    const char* value = std::getenv(name);
#endif
    ignored = value == nullptr && std::getenv(name) != nullptr;
    return value;
}

long ProcessId()
{
    long id = g_processId.load(std::memory_order_relaxed);
    if (id == 0) {
        id = static_cast<long>(::getpid());
        g_processId.store(id, std::memory_order_relaxed);
    }
    return id;
}

std::uint64_t ThreadId()
{
    if (t_threadId == 0) {
        t_threadId = static_cast<std::uint64_t>(::syscall(SYS_gettid));
    }
    return t_threadId;
}

LocalTime Local(std::time_t time)
{
    LocalTime local{};
    const std::lock_guard<std::mutex> lock(g_localTime);
    ::localtime_r(&time, &local.tm);
    local.utcOffset = local.tm.tm_gmtoff;
    return local;
}

void OnFork(void (*prepare)(), void (*parent)(), void (*child)())
{
    static const int once = ::pthread_atfork(LockLocalTime, UnlockLocalTime, AfterForkInChild);
    static_cast<void>(once);
    ::pthread_atfork(prepare, parent, child);
}

std::shared_ptr<spdlog::sinks::sink> LogSink(SinkKind kind)
{
    if (kind == SinkKind::Syslog) {
        return std::make_shared<spdlog::sinks::syslog_sink_st>("JuZad", LOG_PID, LOG_USER, false);
    }
    return nullptr;
}

int OpenFile(const std::string& path, bool exclusive)
{
    const int flags = O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | (exclusive ? O_EXCL : 0);
    return ::open(path.c_str(), flags, 0644);
}

void CloseFile(int fd)
{
    ::close(fd);
}

FileInfo InfoOf(int fd)
{
    struct stat status;
    return Info(::fstat(fd, &status), status);
}

FileInfo InfoAt(const std::string& path)
{
    struct stat status;
    return Info(::lstat(path.c_str(), &status), status);
}

FileInfo InfoOf(std::FILE* stream)
{
    return InfoOf(::fileno(stream));
}

int Write(int fd, const char* data, std::size_t size, bool breakable)
{
    if (!breakable) {
        return WriteAll(fd, data, size);
    }
    SigpipeBlocked blocked;
    return WriteAll(fd, data, size);
}

int Write(std::FILE* stream, const char* data, std::size_t size, bool breakable)
{
    if (!breakable) {
        return WriteStream(stream, data, size);
    }
    SigpipeBlocked blocked;
    return WriteStream(stream, data, size);
}

int Rename(const std::string& from, const std::string& to)
{
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int Remove(const std::string& path)
{
    return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

}  // namespace JuZadTrc::system
