// The tracing library on POSIX systems: its variables, ids and local time, the fork handlers,
// the system log, and files opened and written with the care that a program with privileges
// needs.
#include "JuZadSystem.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <stdio_ext.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/socket.h>
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

// The signals that a write can raise: SIGPIPE when the reader has gone away, SIGXFSZ when the
// file has reached the process's size limit. Both are blocked on this thread around the write,
// and one that the write raised is taken away, so that the failure shows as EPIPE or EFBIG
// alone. One that was pending before is left: only a signal that the program blocks itself can
// be pending then, so only then is it looked for, and a write costs two system calls more.
template <typename WriteFn>
int Guarded(WriteFn write)
{
    sigset_t signals;
    sigset_t saved;
    sigset_t wasPending;
    ::sigemptyset(&signals);
    ::sigaddset(&signals, SIGPIPE);
    ::sigaddset(&signals, SIGXFSZ);
    ::pthread_sigmask(SIG_BLOCK, &signals, &saved);
    ::sigemptyset(&wasPending);
    if (::sigismember(&saved, SIGPIPE) == 1 || ::sigismember(&saved, SIGXFSZ) == 1) {
        ::sigpending(&wasPending);
    }
    const int error = write();
    const int raised = error == EPIPE ? SIGPIPE : error == EFBIG ? SIGXFSZ : 0;
    if (raised != 0 && ::sigismember(&wasPending, raised) == 0) {
        sigset_t taken;
        ::sigemptyset(&taken);
        ::sigaddset(&taken, raised);
        const timespec now{};
        ::sigtimedwait(&taken, nullptr, &now);
    }
    ::pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    return error;
}

// Asked once per file, as it is opened: asking at each write would cost a system call as dear as
// the write.
bool FileSizeLimited()
{
    rlimit limit{};
    return ::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY;
}

// A send raises no signal.
int WriteAll(int fd, const char* data, std::size_t size, bool send)
{
    while (size != 0) {
        const ssize_t written = send ? ::send(fd, data, size, MSG_NOSIGNAL) : ::write(fd, data, size);
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

// What the program left in the stream's buffer goes first, so that the record keeps its place
// among the program's own lines; the record then goes straight to the descriptor. A stream's
// flush gives up when a signal interrupts it, which a handler installed without SA_RESTART
// does to any write: here an interrupted write goes on where it stopped.
int WriteStream(std::FILE* stream, const char* data, std::size_t size, Writing writing)
{
    int error = 0;
    while (std::fflush(stream) != 0 && error == 0) {
        error = errno != EINTR ? (errno != 0 ? errno : EIO) : 0;
        std::clearerr(stream);
    }
    return error != 0 ? error : Write(::fileno(stream), data, size, writing);
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
    info.writing = S_ISSOCK(status.st_mode)                                          ? Writing::Send
                   : S_ISFIFO(status.st_mode) || (info.regular && FileSizeLimited()) ? Writing::Guarded
                                                                                     : Writing::Plain;
    info.size = static_cast<std::uint64_t>(status.st_size);
    info.device = static_cast<std::uint64_t>(status.st_dev);
    info.index = static_cast<std::uint64_t>(status.st_ino);
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

// Every thread runs on while the process ends, and gives back what it holds.
bool ProcessEnding()
{
    return false;
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

// Opened without waiting, so that a FIFO that nobody reads fails at once (ENXIO) instead of
// holding up the program that traces; writes then wait as they do on any descriptor.
int OpenFile(const std::string& path, bool exclusive)
{
    const int flags =
        O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | (exclusive ? O_EXCL : 0);
    const int fd = ::open(path.c_str(), flags, 0644);
    if (fd >= 0 && ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

void CloseFile(int fd)
{
    ::close(fd);
}

// flock's lock belongs to the open file, which a child of a fork shares until it opens its own.
int OpenLock(const std::string& path)
{
    return ::open(path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
}

int Lock(int fd)
{
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            return errno;
        }
    }
    return 0;
}

void Unlock(int fd)
{
    ::flock(fd, LOCK_UN);
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

int Write(int fd, const char* data, std::size_t size, Writing writing)
{
    if (writing == Writing::Plain) {
        return WriteAll(fd, data, size, false);
    }
    if (writing == Writing::Send) {
        const int error = WriteAll(fd, data, size, true);
        if (error != ENOTSOCK) {
            return error;
        }
        // The program has put another file in the socket's place.
    }
    return Guarded([&] { return WriteAll(fd, data, size, false); });
}

int Write(std::FILE* stream, const char* data, std::size_t size, Writing writing)
{
    ::flockfile(stream);
    // A flush of what the program left in the stream is a write like any other.
    const int error = writing == Writing::Guarded || (writing == Writing::Send && ::__fpending(stream) != 0)
                          ? Guarded([&] { return WriteStream(stream, data, size, Writing::Plain); })
                          : WriteStream(stream, data, size, writing);
    ::funlockfile(stream);
    return error;
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
