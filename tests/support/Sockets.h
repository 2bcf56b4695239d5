// Test support: sockets on this machine's loopback, and descriptors in given states.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

inline sockaddr_in Loopback(std::uint16_t port = 0)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

inline std::uint16_t PortOf(int fd)
{
    sockaddr_in address{};
    socklen_t size = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    return ntohs(address.sin_port);
}

// A TCP socket listening on the loopback, on a port of the system's choice.
inline int ListeningTcp()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = Loopback();
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(fd, 4);
    return fd;
}

// A descriptor number that was open a moment ago; open nothing after it in a test that
// needs it closed.
inline int ClosedDescriptor()
{
    const int fd = ::open("/dev/null", O_RDONLY);
    ::close(fd);
    return fd;
}
