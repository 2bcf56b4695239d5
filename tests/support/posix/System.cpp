#include "support/System.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

const char kMathLibrary[] = "libm.so.6";
const bool kHasFork = true;

std::string HostName()
{
    char name[256] = {};
    ::gethostname(name, sizeof name - 1);
    return name;
}

int ProcessId()
{
    return static_cast<int>(::getpid());
}

bool Aborted(int status)
{
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT;
}

void EndChild(int status)
{
    ::_exit(status);
}

int WaitForChild(int pid)
{
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

int OpenPipe(int fds[2])
{
    return ::pipe(fds);
}

void WriteAll(int fd, const char* text)
{
    for (std::size_t left = std::strlen(text); left > 0;) {
        const ssize_t written = ::write(fd, text, left);
        if (written <= 0) {
            return;
        }
        text += written;
        left -= static_cast<std::size_t>(written);
    }
}

std::string ReadToEnd(int fds[2])
{
    ::close(fds[1]);
    std::string text;
    char chunk[256];
    for (ssize_t n; (n = ::read(fds[0], chunk, sizeof chunk)) > 0;) {
        text.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    return text;
}

std::string AbortOutput(const std::string& written)
{
#if defined(KELPORT_TEST_EMULATOR)
    return written + "qemu: uncaught target signal 6 (Aborted) - core dumped\n";
#else
    return written;
#endif
}

int LoopbackSocket(int type)
{
    const int fd = ::socket(AF_INET, type, 0);
    sockaddr_in address = Loopback();
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    if (type == SOCK_STREAM) {
        ::listen(fd, 4);
    }
    return fd;
}

void CloseSocket(int socket)
{
    ::close(socket);
}

int ClosedSocket()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ::close(fd);
    return fd;
}

StreamPair::StreamPair()
{
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) {
        throw std::runtime_error("socketpair failed");
    }
    m_reader = fds[0];
    m_writer = fds[1];
}

StreamPair::~StreamPair()
{
    ::close(m_reader);
    ::close(m_writer);
}

// A socket pair delivers at once.
void StreamPair::Send(const std::string& bytes)
{
    if (::write(m_writer, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
        throw std::runtime_error("cannot queue bytes");
    }
}

std::string StreamPair::Receive(std::size_t size)
{
    std::string bytes(size, '\0');
    const ssize_t got = ::recv(m_reader, bytes.data(), size, MSG_DONTWAIT);
    bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return bytes;
}

std::vector<UnusableDescriptor> UnusableDescriptors()
{
    const int directory = ::open("/", O_RDONLY | O_DIRECTORY);
    return {
        {"closed descriptor", ClosedSocket(), "Bad socket descriptor"},
        {"directory", directory, "Socket operation on non-socket"},
    };
}

void CloseDescriptors(const std::vector<UnusableDescriptor>& descriptors)
{
    ::close(descriptors[1].fd);
}

GuardedBytes::GuardedBytes(std::size_t size)
{
    const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    m_length = 2 * page;
    m_pages = ::mmap(nullptr, m_length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (m_pages == MAP_FAILED || ::mprotect(static_cast<char*>(m_pages) + page, page, PROT_NONE) != 0) {
        throw std::runtime_error("no guarded pages");
    }
    m_data = static_cast<unsigned char*>(m_pages) + page - size;
}

GuardedBytes::~GuardedBytes()
{
    ::munmap(m_pages, m_length);
}

void* OpenLibrary(const char* path)
{
    return ::dlopen(path, RTLD_NOW | RTLD_LOCAL);
}

void* LibrarySymbol(void* library, const char* name)
{
    return ::dlsym(library, name);
}

bool CloseLibrary(void* library)
{
    return ::dlclose(library) == 0;
}

std::string SystemCTime(std::time_t time)
{
    char text[26];
    return ::ctime_r(&time, text);
}

void SetTimeZone(const char* zone)
{
    ::setenv("TZ", zone, 1);
    ::tzset();
}
