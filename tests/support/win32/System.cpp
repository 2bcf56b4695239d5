#include "support/System.h"

#include <winsock2.h>
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <process.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace {

// The tests read exactly the bytes the library wrote: no line-end translation on the
// standard streams, in the test program and in each death test's child.
const bool kBinaryStreams = [] {
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
    return true;
}();

}  // namespace

const char kMathLibrary[] = "msvcrt.dll";
const bool kHasFork = false;

std::string HostName()
{
    char name[256] = {};
    ::gethostname(name, sizeof name - 1);
    return name;
}

int ProcessId()
{
    return ::_getpid();
}

// abort ends a Windows process with status 3.
bool Aborted(int status)
{
    return status == 3;
}

void EndChild(int status)
{
    std::_Exit(status);
}

// KelFork makes no process on Windows.
int WaitForChild(int)
{
    return -1;
}

int OpenPipe(int fds[2])
{
    return ::_pipe(fds, 4096, _O_BINARY);
}

void WriteAll(int fd, const char* text)
{
    ::_write(fd, text, static_cast<unsigned>(std::strlen(text)));
}

std::string ReadToEnd(int fds[2])
{
    ::_close(fds[1]);
    std::string text;
    char chunk[256];
    for (int n; (n = ::_read(fds[0], chunk, sizeof chunk)) > 0;) {
        text.append(chunk, static_cast<std::size_t>(n));
    }
    ::_close(fds[0]);
    return text;
}

std::string AbortOutput(const std::string& written)
{
    return written;
}

int LoopbackSocket(int type)
{
    const SOCKET socket = ::socket(AF_INET, type, 0);
    sockaddr_in address = Loopback();
    ::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
    if (type == SOCK_STREAM) {
        ::listen(socket, 4);
    }
    return static_cast<int>(socket);
}

void CloseSocket(int socket)
{
    ::closesocket(static_cast<SOCKET>(socket));
}

int ClosedSocket()
{
    const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, 0);
    ::closesocket(socket);
    return static_cast<int>(socket);
}

StreamPair::StreamPair()
{
    const int listener = LoopbackSocket(SOCK_STREAM);
    const sockaddr_in address = Loopback(PortOf(listener));
    const SOCKET writer = ::socket(AF_INET, SOCK_STREAM, 0);
    if (::connect(writer, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        throw std::runtime_error("connect failed");
    }
    const SOCKET reader = ::accept(static_cast<SOCKET>(listener), nullptr, nullptr);
    CloseSocket(listener);
    m_reader = static_cast<int>(reader);
    m_writer = static_cast<int>(writer);
}

StreamPair::~StreamPair()
{
    CloseSocket(m_reader);
    CloseSocket(m_writer);
}

// A TCP connection delivers a moment later.
void StreamPair::Send(const std::string& bytes)
{
    if (::send(static_cast<SOCKET>(m_writer), bytes.data(), static_cast<int>(bytes.size()), 0) !=
        static_cast<int>(bytes.size())) {
        throw std::runtime_error("cannot queue bytes");
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    u_long waiting = 0;
    while (::ioctlsocket(static_cast<SOCKET>(m_reader), FIONREAD, &waiting) == 0 && waiting < bytes.size() &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

std::string StreamPair::Receive(std::size_t size)
{
    u_long waiting = 0;
    ::ioctlsocket(static_cast<SOCKET>(m_reader), FIONREAD, &waiting);
    std::string bytes(std::min<std::size_t>(size, waiting), '\0');
    if (!bytes.empty()) {
        const int got = ::recv(static_cast<SOCKET>(m_reader), bytes.data(), static_cast<int>(bytes.size()), 0);
        bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    }
    return bytes;
}

// Windows has no descriptors for directories that socket requests could be tried on.
std::vector<UnusableDescriptor> UnusableDescriptors()
{
    return {{"closed socket", ClosedSocket(), "Socket operation on non-socket"}};
}

void CloseDescriptors(const std::vector<UnusableDescriptor>&) {}

GuardedBytes::GuardedBytes(std::size_t size)
{
    SYSTEM_INFO system;
    ::GetSystemInfo(&system);
    const std::size_t page = system.dwPageSize;
    m_length = 2 * page;
    m_pages = ::VirtualAlloc(nullptr, m_length, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    DWORD old = 0;
    if (m_pages == nullptr || !::VirtualProtect(static_cast<char*>(m_pages) + page, page, PAGE_NOACCESS, &old)) {
        throw std::runtime_error("no guarded pages");
    }
    m_data = static_cast<unsigned char*>(m_pages) + page - size;
}

GuardedBytes::~GuardedBytes()
{
    ::VirtualFree(m_pages, 0, MEM_RELEASE);
}

void* OpenLibrary(const char* path)
{
    return ::LoadLibraryA(path);
}

void* LibrarySymbol(void* library, const char* name)
{
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name));
}

bool CloseLibrary(void* library)
{
    return ::FreeLibrary(static_cast<HMODULE>(library)) != 0;
}

std::string SystemCTime(std::time_t time)
{
    char text[26];
    return ::ctime_s(text, sizeof text, &time) == 0 ? text : "";
}

void SetTimeZone(const char* zone)
{
    ::_putenv_s("TZ", zone);
    ::_tzset();
}
