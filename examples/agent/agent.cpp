// agent: a UDP responder and its prober, the smallest agent of the product, built from one
// source on every system that KelPort serves.
//
//   agent serve PORT              answer questions on UDP PORT (0: a port the system chooses,
//                                 which the first line says) until the agent is ended
//   agent ask HOST PORT NUMBER    ask the agent at HOST:PORT about the decimal text NUMBER;
//                                 status 0 only when every field of the answer is right
//
// A question is the decimal text itself. The answer, with every number in network byte order:
//
//   bytes  0-7   the question's number, as KelAtoll reads it (a signed 64-bit integer)
//   bytes  8-11  the agent's process id
//   bytes 12-15  the bytes the agent saw waiting before it read the question
//   bytes 16-31  the asker's address as dotted text, padded with zeros
//   bytes 32-    the agent's host name, ended by a zero
//
// Both sides trace at debug level 4; where the records go is the tracing library's setting,
// read from the environment when the library is loaded:
//   JUZAD_TRACE_SINK=file:agent.json JUZAD_TRACE_FORMAT=json agent serve 0
//
// What a caller still writes per system, because KelPort does not wrap it: starting Windows
// Sockets, the socket handle's type and how it is closed, where a failed socket call leaves
// its reason, and waiting for a socket with select. Creating, binding, connecting and sending
// are the same calls on both. The library's socket calls take the handle as an int, which a
// Windows socket handle (a small number) fits.
//
// On Windows the byte count waiting on a datagram socket may be every datagram queued, not the
// first alone (its documentation has said both): an agent that several askers reach at once
// may see more than the question it then reads, so the count sizes the read but never cuts it.

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "KelPort.h"

#if defined(_WIN32)
using Socket = SOCKET;
constexpr Socket kNoSocket = INVALID_SOCKET;
static void CloseSocket(Socket socket)
{
    closesocket(socket);
}
static std::string SocketError()
{
    return "Windows Sockets error " + std::to_string(WSAGetLastError());
}
#else
#  include <sys/select.h>
#  include <unistd.h>
using Socket = int;
constexpr Socket kNoSocket = -1;
static void CloseSocket(Socket socket)
{
    close(socket);
}
static std::string SocketError()
{
    return std::strerror(errno);
}
#endif

namespace {

constexpr std::size_t kNumberAt = 0;
constexpr std::size_t kPidAt = 8;
constexpr std::size_t kWaitingAt = 12;
constexpr std::size_t kAddressAt = 16;
constexpr std::size_t kHostAt = 32;
constexpr std::size_t kAddressSize = kHostAt - kAddressAt;  // "255.255.255.255" and its zero
constexpr int kAnswerWaitSeconds = 5;

// Windows needs its sockets started before the first socket call; elsewhere there is nothing
// to start.
class Sockets {
public:
    Sockets()
    {
#if defined(_WIN32)
        WSADATA data;
        ok_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
#endif
    }
    ~Sockets()
    {
#if defined(_WIN32)
        if (ok_) {
            WSACleanup();
        }
#endif
    }
    bool ok() const
    {
        return ok_;
    }

private:
    bool ok_ = true;
};

int Fail(const char* what)
{
    std::fprintf(stderr, "agent: %s failed: %s\n", what, SocketError().c_str());
    return 1;
}

void PutBig(char* at, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) {
        at[i] = static_cast<char>(value >> (8 * (bytes - 1 - i)));
    }
}

std::uint64_t GetBig(const char* at, int bytes)
{
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) {
        value = value << 8 | static_cast<unsigned char>(at[i]);
    }
    return value;
}

bool ParsePort(const char* text, std::uint16_t& port)
{
    const char* end = text + std::strlen(text);
    const auto [stop, error] = std::from_chars(text, end, port);
    return error == std::errc() && stop == end && stop != text;
}

// True once the socket has a datagram to read, false after `seconds` without one (a negative
// count waits for ever).
bool WaitReadable(Socket socket, int seconds)
{
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(socket, &ready);
    timeval limit{seconds, 0};
    return select(static_cast<int>(socket) + 1, &ready, nullptr, nullptr, seconds < 0 ? nullptr : &limit) > 0;
}

int Serve(std::uint16_t port)
{
    const Socket socket = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (socket == kNoSocket) {
        return Fail("socket");
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(port);
    socklen_t length = sizeof address;
    if (bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        CloseSocket(socket);
        return Fail("bind");
    }
    const int fd = static_cast<int>(socket);
    std::printf("agent %d listening on UDP port %u\n", KelGetPid(), ntohs(address.sin_port));
    std::fflush(stdout);

    for (;;) {
        if (!WaitReadable(socket, -1)) {
            continue;
        }
        const int waiting = KelGetSocketPacketLength(fd);
        // One byte more than waits, so that an empty question is read too, and a zero after it.
        std::vector<char> question(static_cast<std::size_t>(waiting) + 2);
        sockaddr_in asker{};
        int askerLength = sizeof asker;
        const int got = KelRecvFrom(fd, question.data(), static_cast<unsigned int>(question.size() - 1), 0,
                                    reinterpret_cast<sockaddr*>(&asker), &askerLength);
        if (got < 0) {
            // An asker that went away before its answer arrived (Windows reports it on the
            // next read) is no reason to stop answering the others.
            Fail("recvfrom");
            continue;
        }
        question[static_cast<std::size_t>(got)] = '\0';

        char answer[kHostAt + 256] = {};
        if (KelSysInfo(E_KSIHostname, answer + kHostAt, sizeof answer - kHostAt) < 0) {
            std::strcpy(answer + kHostAt, "?");
        }
        PutBig(answer + kNumberAt, static_cast<std::uint64_t>(KelAtoll(question.data())), 8);
        PutBig(answer + kPidAt, static_cast<std::uint32_t>(KelGetPid()), 4);
        PutBig(answer + kWaitingAt, static_cast<std::uint32_t>(waiting), 4);
        char* text = KelGetIPStr(asker.sin_addr);
        std::strncpy(answer + kAddressAt, text, kAddressSize - 1);
        std::free(text);
        const std::size_t size = kHostAt + std::strlen(answer + kHostAt) + 1;
        if (sendto(socket, answer, static_cast<int>(size), 0, reinterpret_cast<sockaddr*>(&asker),
                   askerLength) < 0) {
            Fail("sendto");
        }
    }
}

// The first IPv4 address of HOST, through the library's reentrant look-up.
bool Resolve(const char* host, in_addr& address)
{
    hostent entry{};
    char unused[8];
    int error = 0;
    if (KelGetHostByName_r(host, &entry, unused, sizeof unused, &error) == nullptr ||
        entry.h_addrtype != AF_INET || entry.h_addr_list[0] == nullptr) {
        return false;
    }
    std::memcpy(&address, entry.h_addr_list[0], sizeof address);
    return true;
}

int Wrong(const char* field, const std::string& got, const std::string& expected)
{
    std::fprintf(stderr, "agent: the answer's %s is %s, not %s\n", field, got.c_str(), expected.c_str());
    return 1;
}

int Ask(const char* host, std::uint16_t port, const char* number)
{
    sockaddr_in agent{};
    agent.sin_family = AF_INET;
    agent.sin_port = htons(port);
    if (!Resolve(host, agent.sin_addr)) {
        std::fprintf(stderr, "agent: no IPv4 address for %s\n", host);
        return 1;
    }
    const Socket socket = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (socket == kNoSocket) {
        return Fail("socket");
    }
    // Connected, the socket takes datagrams from the agent alone, and has the local address
    // that the agent will see as the asker's.
    sockaddr_in self{};
    socklen_t selfLength = sizeof self;
    const std::size_t length = std::strlen(number);
    if (connect(socket, reinterpret_cast<sockaddr*>(&agent), sizeof agent) != 0 ||
        getsockname(socket, reinterpret_cast<sockaddr*>(&self), &selfLength) != 0 ||
        send(socket, number, static_cast<int>(length), 0) != static_cast<int>(length)) {
        CloseSocket(socket);
        return Fail("sending the question");
    }
    if (!WaitReadable(socket, kAnswerWaitSeconds)) {
        CloseSocket(socket);
        std::fprintf(stderr, "agent: no answer from %s port %u within %d s\n", host, port,
                     kAnswerWaitSeconds);
        return 1;
    }
    char answer[kHostAt + 256 + 1] = {};
    const int got = recv(socket, answer, sizeof answer - 1, 0);
    CloseSocket(socket);
    if (got < 0) {
        return Fail("receiving the answer");
    }

    const std::size_t size = static_cast<std::size_t>(got);
    if (size <= kHostAt || answer[size - 1] != '\0' || answer[kHostAt] == '\0') {
        std::fprintf(stderr, "agent: an answer of %d bytes has no host name that ends in a zero\n", got);
        return 1;
    }
    const long long value = static_cast<long long>(GetBig(answer + kNumberAt, 8));
    const auto pid = static_cast<unsigned long>(GetBig(answer + kPidAt, 4));
    const auto waited = static_cast<unsigned long>(GetBig(answer + kWaitingAt, 4));
    const std::string seen(answer + kAddressAt, strnlen(answer + kAddressAt, kAddressSize));
    char own[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &self.sin_addr, own, sizeof own);

    if (value != KelAtoll(number)) {
        return Wrong("number", std::to_string(value), std::to_string(KelAtoll(number)));
    }
    if (waited != length) {
        return Wrong("byte count", std::to_string(waited), std::to_string(length));
    }
    if (seen != own) {
        return Wrong("asker's address", seen, own);
    }
    if (pid == 0) {
        return Wrong("process id", "0", "a process's");
    }
    std::printf("%s pid %lu saw %s send %lu bytes: %lld\n", answer + kHostAt, pid, seen.c_str(), waited,
                value);
    return 0;
}

int Usage()
{
    std::fprintf(stderr, "usage: agent serve PORT\n       agent ask HOST PORT NUMBER\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    __Kelvora_Debug_Level = 4;
    std::uint16_t port = 0;
    const bool serve = argc == 3 && std::strcmp(argv[1], "serve") == 0;
    const bool ask = argc == 5 && std::strcmp(argv[1], "ask") == 0;
    if (!(serve || ask) || !ParsePort(argv[serve ? 2 : 3], port) || (ask && port == 0)) {
        return Usage();
    }
    const Sockets sockets;
    if (!sockets.ok()) {
        return Fail("WSAStartup");
    }
    return serve ? Serve(port) : Ask(argv[2], port, argv[4]);
}
