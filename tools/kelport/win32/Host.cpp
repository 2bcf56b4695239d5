// The kelport program's system calls on Windows. Windows has no socket pairs: the two ends
// are a TCP connection over the loopback interface.
#include "Host.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>
#include <utility>

#include "Commands.h"

namespace kelport::tool::host {
namespace {

std::runtime_error SocketFailure(const char* call)
{
    return std::runtime_error(std::string(call) + ": Windows Sockets error " +
                              std::to_string(::WSAGetLastError()));
}

// The program makes sockets of its own, so it starts Windows Sockets for itself: the library
// starts them only for the calls that reach them through it.
void StartSockets()
{
    static const int started = [] {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data);
    }();
    static_cast<void>(started);  // a failure shows in the calls that follow
}

// A socket closed when it goes out of scope, on every way out.
class Socket {
public:
    Socket() : m_socket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)) {}
    explicit Socket(SOCKET socket) : m_socket(socket) {}
    ~Socket()
    {
        if (m_socket != INVALID_SOCKET) {
            ::closesocket(m_socket);
        }
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    SOCKET get() const { return m_socket; }
    SOCKET release() { return std::exchange(m_socket, INVALID_SOCKET); }

private:
    SOCKET m_socket;
};

}  // namespace

const char kMathLibrary[] = "msvcrt.dll";

QueuedSocket::QueuedSocket(int queued)
{
    StartSockets();
    const Socket listener;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    auto* const at = reinterpret_cast<sockaddr*>(&address);
    int size = sizeof address;
    if (listener.get() == INVALID_SOCKET || ::bind(listener.get(), at, size) != 0 ||
        ::listen(listener.get(), 1) != 0 || ::getsockname(listener.get(), at, &size) != 0) {
        throw SocketFailure("listen");
    }
    Socket writer;
    if (writer.get() == INVALID_SOCKET || ::connect(writer.get(), at, size) != 0) {
        throw SocketFailure("connect");
    }
    Socket reader(::accept(listener.get(), nullptr, nullptr));
    if (reader.get() == INVALID_SOCKET) {
        throw SocketFailure("accept");
    }
    // Never waits for a reader that will not come: what does not fit is refused.
    u_long nonBlocking = 1;
    ::ioctlsocket(writer.get(), FIONBIO, &nonBlocking);
    const std::string bytes(static_cast<std::size_t>(queued), 'k');
    const int sent = ::send(writer.get(), bytes.data(), static_cast<int>(bytes.size()), 0);
    if (sent != static_cast<int>(bytes.size())) {
        throw UsageError("--bytes " + std::to_string(queued) + ": only " +
                         std::to_string(sent < 0 ? 0 : sent) + " bytes fit on a socket here");
    }
    // A TCP connection delivers a moment later: wait until every byte is waiting.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    u_long waiting = 0;
    while (::ioctlsocket(reader.get(), FIONREAD, &waiting) == 0 && waiting < bytes.size() &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    m_reader = static_cast<int>(reader.release());
    m_writer = static_cast<int>(writer.release());
}

QueuedSocket::~QueuedSocket()
{
    ::closesocket(static_cast<SOCKET>(m_reader));
    ::closesocket(static_cast<SOCKET>(m_writer));
}

// KelFork makes no process on Windows.
int WaitForChild(int)
{
    return -1;
}

void EndChild(int status)
{
    std::_Exit(status);
}

std::tm LocalTime(std::time_t time)
{
    std::tm local{};
    ::localtime_s(&local, &time);
    return local;
}

}  // namespace kelport::tool::host
