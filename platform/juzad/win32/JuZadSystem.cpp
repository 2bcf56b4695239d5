// The tracing library on Windows: its variables, ids and local time, the debugger's output,
// and files. Windows has no fork, and no signal for a reader that has gone away.
#include "JuZadSystem.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <process.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include <spdlog/sinks/msvc_sink.h>

namespace JuZadTrc::system {
namespace {

// The C library's stat gives no file index: the system's own answer holds the volume, the
// index and the count of names.
FileInfo Info(HANDLE handle)
{
    FileInfo info;
    BY_HANDLE_FILE_INFORMATION file;
    if (handle == INVALID_HANDLE_VALUE || !::GetFileInformationByHandle(handle, &file)) {
        return info;
    }
    info.exists = true;
    info.regular = (file.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0 &&
                   ::GetFileType(handle) == FILE_TYPE_DISK;
    info.renamable = info.regular && file.nNumberOfLinks == 1;
    info.size = (std::uint64_t{file.nFileSizeHigh} << 32) | file.nFileSizeLow;
    info.device = file.dwVolumeSerialNumber;
    info.index = (std::uint64_t{file.nFileIndexHigh} << 32) | file.nFileIndexLow;
    return info;
}

int ErrnoOf(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return ENOENT;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EACCES;
    case ERROR_DISK_FULL:
        return ENOSPC;
    default:
        return EIO;
    }
}

// Shared for deletion too, so that another process may rotate the file while it is open.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

int Descriptor(HANDLE handle, int flags)
{
    if (handle == INVALID_HANDLE_VALUE) {
        errno = ErrnoOf(::GetLastError());
        return -1;
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), flags);
    if (fd < 0) {
        ::CloseHandle(handle);
        errno = EMFILE;
    }
    return fd;
}

HANDLE HandleOf(int fd)
{
    return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
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
    return Descriptor(::CreateFileA(path.c_str(), GENERIC_WRITE, kShareAll, nullptr,
                                    exclusive ? CREATE_NEW : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr),
                      _O_WRONLY | _O_BINARY);
}

int OpenLock(const std::string& path)
{
    return Descriptor(::CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr),
                      _O_RDONLY | _O_BINARY);
}

int Lock(int fd)
{
    OVERLAPPED at{};
    return ::LockFileEx(HandleOf(fd), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at) ? 0 : ErrnoOf(::GetLastError());
}

void Unlock(int fd)
{
    OVERLAPPED at{};
    ::UnlockFileEx(HandleOf(fd), 0, 1, 0, &at);
}

void CloseFile(int fd)
{
    ::_close(fd);
}

FileInfo InfoOf(int fd)
{
    return Info(HandleOf(fd));
}

// Opened to ask, not to read, and for a folder too.
FileInfo InfoAt(const std::string& path)
{
    const HANDLE handle = ::CreateFileA(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    const FileInfo info = Info(handle);
    if (handle != INVALID_HANDLE_VALUE) {
        ::CloseHandle(handle);
    }
    return info;
}

FileInfo InfoOf(std::FILE* stream)
{
    return InfoOf(::_fileno(stream));
}

// Appends of several processes to one file are whole only where the system makes each one
// atomic, which not every Windows does for a handle that may only append: each record takes
// a lock of the file's own, on a byte far past any data, then goes to the end.
int Write(int fd, const char* data, std::size_t size, Writing)
{
    const HANDLE handle = HandleOf(fd);
    OVERLAPPED beyond{};
    beyond.Offset = 0xFFFFFFFF;
    beyond.OffsetHigh = 0x7FFFFFFF;
    if (!::LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &beyond)) {
        return ErrnoOf(::GetLastError());
    }
    int error =
        ::SetFilePointerEx(handle, LARGE_INTEGER{}, nullptr, FILE_END) ? 0 : ErrnoOf(::GetLastError());
    while (error == 0 && size != 0) {
        DWORD written = 0;
        const DWORD part = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        if (!::WriteFile(handle, data, part, &written, nullptr)) {
            error = ErrnoOf(::GetLastError());
        }
        data += written;
        size -= written;
    }
    ::UnlockFileEx(handle, 0, 1, 0, &beyond);
    return error;
}

int Write(std::FILE* stream, const char* data, std::size_t size, Writing)
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
