// The tracing library on Windows: its variables, ids and local time, the debugger's output,
// and files. Windows has no fork, and no signal for a reader that has gone away.
#include "JuZadSystem.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

#include <spdlog/sinks/msvc_sink.h>

namespace JuZadTrc::system {
namespace {

int WriteAll(int fd, const char* data, std::size_t size)
{
    while (size != 0) {
        const int written = ::_write(fd, data, static_cast<unsigned>(size));
        if (written < 0) {
            return errno;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return 0;
}

FileInfo Info(int rc, const struct _stat64& status)
{
    FileInfo info;
    if (rc != 0) {
        return info;
    }
    info.exists = true;
    info.regular = (status.st_mode & _S_IFMT) == _S_IFREG;
    info.renamable = info.regular;
    info.size = static_cast<std::uint64_t>(status.st_size);
    return info;
}

}  // namespace

const char* Variable(const char* name, bool& ignored)
{
    ignored = false;
    return std::getenv(name);
}

long ProcessId()
{
    static const long id = ::_getpid();
    return id;
}

std::uint64_t ThreadId()
{
    return ::GetCurrentThreadId();
}

LocalTime Local(std::time_t time)
{
    LocalTime local{};
    ::localtime_s(&local.tm, &time);
    std::tm copy = local.tm;
    local.utcOffset = static_cast<long>(::_mkgmtime(&copy) - time);
    return local;
}

// The loader's own answer, which it gives from the moment ExitProcess has ended the other
// threads. Looked up once, as the first trace object is built: ntdll exports it without a
// header.
bool ProcessEnding()
{
    using Query = BOOLEAN(WINAPI*)();
    static const auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "RtlDllShutdownInProgress")));
    return query != nullptr && query() != FALSE;
}

void OnFork(void (*)(), void (*)(), void (*)()) {}

// Each record goes to the debugger with OutputDebugStringA.
std::shared_ptr<spdlog::sinks::sink> LogSink(SinkKind kind)
{
    if (kind == SinkKind::Debugger) {
        return std::make_shared<spdlog::sinks::msvc_sink_st>();
    }
    return nullptr;
}

// Windows paths have no symbolic links that a program without privileges can make.
int OpenFile(const std::string& path, bool exclusive)
{
    const int flags = _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY | _O_NOINHERIT | (exclusive ? _O_EXCL : 0);
    return ::_open(path.c_str(), flags, _S_IREAD | _S_IWRITE);
}

void CloseFile(int fd)
{
    ::_close(fd);
}

FileInfo InfoOf(int fd)
{
    struct _stat64 status;
    return Info(::_fstat64(fd, &status), status);
}

FileInfo InfoAt(const std::string& path)
{
    struct _stat64 status;
    return Info(::_stat64(path.c_str(), &status), status);
}

FileInfo InfoOf(std::FILE* stream)
{
    return InfoOf(::_fileno(stream));
}

int Write(int fd, const char* data, std::size_t size, bool)
{
    return WriteAll(fd, data, size);
}

int Write(std::FILE* stream, const char* data, std::size_t size, bool)
{
    if (ProcessEnding()) {
        // Past the stream and its lock, which an ended thread may hold, and so ahead of
        // whatever its buffer still holds.
        DWORD written = 0;
        const HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
        return ::WriteFile(handle, data, static_cast<DWORD>(size), &written, nullptr) ? 0 : EIO;
    }
    errno = 0;
    if (std::fwrite(data, 1, size, stream) == size && std::fflush(stream) == 0) {
        return 0;
    }
    const int error = errno != 0 ? errno : EIO;
    std::clearerr(stream);
    return error;
}

int Rename(const std::string& from, const std::string& to)
{
    return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int Remove(const std::string& path)
{
    return std::remove(path.c_str()) == 0 ? 0 : errno;
}

}  // namespace JuZadTrc::system
