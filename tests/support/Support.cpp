#include "support/Support.h"

#include <fcntl.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

#if defined(_WIN32)
#  include <io.h>
#  include <process.h>
#  define close _close
#  define dup _dup
#  define dup2 _dup2
#  define getpid _getpid
#  define open _open
#else
#  include <dlfcn.h>
#  include <spawn.h>
#  include <sys/resource.h>
#  include <sys/wait.h>
#  include <unistd.h>
#  define O_BINARY 0
#endif

extern char** environ;

namespace {

// The test's environment less every JUZAD_ variable and what env sets, then env.
std::vector<std::string> Environment(const std::vector<std::string>& env)
{
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string name(*entry, std::strcspn(*entry, "="));
        bool set = name.rfind("JUZAD_", 0) == 0;
        for (const auto& setting : env) {
            set = set || setting.rfind(name + "=", 0) == 0;
        }
        if (!set) {
            environment.emplace_back(*entry);
        }
    }
    environment.insert(environment.end(), env.begin(), env.end());
#if defined(KELPORT_TEST_EMULATOR)
    environment.emplace_back("KELPORT_TEST_EMULATOR=" KELPORT_TEST_EMULATOR);  // for the programs it starts
#endif
    return environment;
}

#if defined(_WIN32)
// The tests make sockets of their own, as a caller of the library does, so they start Windows
// Sockets themselves; the library starts them only for what it calls.
bool StartSockets()
{
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
}
const bool kSocketsStarted = StartSockets();

// The tests read exactly the bytes the library wrote: no line-end translation on the standard
// streams, in each test program and in each death test's child.
const bool kBinaryStreams =
    _setmode(_fileno(stdout), _O_BINARY) != -1 && _setmode(_fileno(stderr), _O_BINARY) != -1;

// Windows reads a command line as one text: each argument quoted, with its quotes and the
// backslashes before them escaped.
std::string Quoted(const std::string& arg)
{
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (const char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    return quoted.append(2 * backslashes, '\\') + "\"";
}

// The programs built with the tests sit beside them.
int Spawn(std::vector<std::string> args, std::vector<char*> envp, std::chrono::milliseconds limit)
{
    if (args[0].find_first_of("/\\") == std::string::npos) {
        char self[MAX_PATH];
        const std::string path(self, ::GetModuleFileNameA(nullptr, self, sizeof self));
        args[0] = path.substr(0, path.find_last_of("/\\") + 1) + args[0];
    }
    std::vector<std::string> quoted;
    std::vector<const char*> argv;
    for (const auto& arg : args) {
        quoted.push_back(Quoted(arg));
    }
    for (const auto& arg : quoted) {
        argv.push_back(arg.c_str());
    }
    argv.push_back(nullptr);
    const intptr_t process = ::_spawnve(_P_NOWAIT, args[0].c_str(), argv.data(), envp.data());
    if (process == -1) {
        throw std::runtime_error("cannot run " + args[0] + ": " + std::strerror(errno));
    }
    const HANDLE handle = reinterpret_cast<HANDLE>(process);
    if (::WaitForSingleObject(handle, limit.count() > 0 ? static_cast<DWORD>(limit.count()) : INFINITE) ==
        WAIT_TIMEOUT) {
        ::TerminateProcess(handle, 3);
        ::WaitForSingleObject(handle, INFINITE);
    }
    DWORD status = 0;
    ::GetExitCodeProcess(handle, &status);
    ::CloseHandle(handle);
    return status == 3 ? -1 : static_cast<int>(status);  // 3: abort, which no program gives otherwise
}

#else
// A fault that makes a writer run on fills its file to here and no further, rather than the disk
// that every other test and build shares; each test program and every program it runs inherits it.
bool CapFileSizes()
{
    constexpr rlim_t kCap = rlim_t{1} << 30;
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur <= kCap) {
        return true;
    }
    limit.rlim_cur = kCap;
    return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}
const bool kFileSizesCapped = CapFileSizes();

int Spawn(std::vector<std::string> args, std::vector<char*> envp, std::chrono::milliseconds limit)
{
#  if defined(KELPORT_TEST_EMULATOR)
    args.insert(args.begin(), KELPORT_TEST_EMULATOR);
#  endif
    std::vector<char*> argv;
    for (auto& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    int status = 0;
    if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0) {
        throw std::runtime_error("cannot run " + args[0]);
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    pid_t ended = 0;
    while (limit.count() > 0 && (ended = ::waitpid(pid, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (ended == 0 && limit.count() > 0) {
        ::kill(pid, SIGKILL);
    }
    if (ended != pid && ::waitpid(pid, &status, 0) != pid) {
        throw std::runtime_error("cannot wait for " + args[0]);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

#endif

}  // namespace

ProcessResult RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                         std::chrono::milliseconds limit)
{
    TempDir dir;
    std::vector<std::string> environment = Environment(env);
    std::vector<char*> envp;
    for (auto& entry : environment) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    // The child gets the standard streams of the moment: nothing in, two files out.
    std::fflush(stdout);
    std::fflush(stderr);
    const int streams[3] = {
        ::open(std::filesystem::path::preferred_separator == '/' ? "/dev/null" : "NUL", O_RDONLY),
        ::open(dir.File("out").c_str(), O_WRONLY | O_CREAT | O_BINARY, 0600),
        ::open(dir.File("err").c_str(), O_WRONLY | O_CREAT | O_BINARY, 0600)};
    int saved[3] = {::dup(0), ::dup(1), ::dup(2)};
    // Given back however the run ends, so that a program that cannot be started is reported.
    const std::shared_ptr<void> restore(nullptr, [&saved](void*) {
        for (int fd = 0; fd < 3; ++fd) {
            ::dup2(saved[fd], fd);
            ::close(saved[fd]);
        }
    });
    for (int fd = 0; fd < 3; ++fd) {
        ::dup2(streams[fd], fd);
        ::close(streams[fd]);
    }
    const int status = Spawn(argv, envp, limit);
    return {status, ReadFile(dir.File("out")), ReadFile(dir.File("err"))};
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path);  // text: a Windows program's CR LF is read as "\n"
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

TempDir::TempDir()
{
    std::random_device random;
    do {
        m_path = (std::filesystem::temp_directory_path() / ("kelport-test-" + std::to_string(random())))
                     .generic_string();
    } while (!std::filesystem::create_directory(m_path));
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::string HostName()
{
    char name[256] = {};
    ::gethostname(name, sizeof name - 1);
    return name;
}

sockaddr_in Loopback(std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

std::uint16_t PortOf(int socket)
{
    sockaddr_in address{};
    socklen_t size = sizeof address;
    ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &size);
    return ntohs(address.sin_port);
}

int LoopbackSocket(int type)
{
    const int fd = static_cast<int>(::socket(AF_INET, type, 0));
    const sockaddr_in address = Loopback();
    ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    if (type == SOCK_STREAM) {
        ::listen(fd, 4);
    }
    return fd;
}

int ProcessId()
{
    return static_cast<int>(::getpid());
}

int ClosedSocket()
{
    const int fd = LoopbackSocket(SOCK_DGRAM);
    CloseSocket(fd);
    return fd;
}

#if defined(_WIN32)

const bool kEmulated = true;

bool Aborted(int status)
{
    return status == 3;
}

std::string AbortOutput(const std::string& written)
{
    return written;
}

void CloseSocket(int socket)
{
    ::closesocket(static_cast<SOCKET>(socket));
}

std::vector<Unusable> UnusableDescriptors()
{
    return {{"closed socket", ClosedSocket(), "Socket operation on non-socket"}};
}

bool IsLoaded(const char* path)
{
    return ::GetModuleHandleA(path) != nullptr;
}

void SetNonBlocking(int socket)
{
    u_long nonBlocking = 1;
    ::ioctlsocket(static_cast<SOCKET>(socket), FIONBIO, &nonBlocking);
}

void SetTimeZone(const char* zone)
{
    ::_putenv_s("TZ", zone);
    ::_tzset();
}

#else

#  if defined(KELPORT_TEST_EMULATOR)
const bool kEmulated = true;
#  else
const bool kEmulated = false;
#  endif

bool Aborted(int status)
{
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT;
}

std::string AbortOutput(const std::string& written)
{
#  if defined(KELPORT_TEST_EMULATOR)
    return written + "qemu: uncaught target signal 6 (Aborted) - core dumped\n";
#  else
    return written;
#  endif
}

void CloseSocket(int socket)
{
    ::close(socket);
}

std::vector<Unusable> UnusableDescriptors()
{
    static const int directory = ::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    static const int listening = LoopbackSocket(SOCK_STREAM);  // Windows counts 0 bytes waiting on one
    return {{"closed descriptor", ClosedSocket(), "Bad socket descriptor"},
            {"directory", directory, "Socket operation on non-socket"},
            {"listening socket", listening, "Socket is not connected"}};
}

bool IsLoaded(const char* path)
{
    void* library = ::dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    return library != nullptr && ::dlclose(library) == 0;
}

void SetNonBlocking(int socket)
{
    ::fcntl(socket, F_SETFL, ::fcntl(socket, F_GETFL) | O_NONBLOCK);
}

void SetTimeZone(const char* zone)
{
    ::setenv("TZ", zone, 1);
    ::tzset();
}

#endif
