// Test support: what the tests need of the system they run on. Each system has its
// implementation folder beside this header (posix/, win32/).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "KelPortPlatform.h"

std::string HostName();
int ProcessId();

// The file name of the system's library that holds the C math functions (cos among them).
extern const char kMathLibrary[];
// Whether KelFork makes a process here; where it does not, it fails with ENOSYS.
extern const bool kHasFork;

// For death tests: whether a process with this status ended by abort, and what it leaves on
// standard error, given what it wrote there (an emulator may add a line of its own).
bool Aborted(int status);
std::string AbortOutput(const std::string& written);

// A child that KelFork made: its end, and the parent's wait for its exit status (-1 when it
// did not exit normally).
[[noreturn]] void EndChild(int status);
int WaitForChild(int pid);

// A pipe, for what a process and its child write.
int OpenPipe(int fds[2]);
void WriteAll(int fd, const char* text);
// Closes the write end, then reads the read end to its end and closes it.
std::string ReadToEnd(int fds[2]);

in_addr Address(std::uint32_t word);  // the word as it lies in memory
sockaddr_in Loopback(std::uint16_t port = 0);
std::uint16_t PortOf(int socket);
// A UDP or TCP socket of the system's choosing on the loopback; TCP ones listen.
int LoopbackSocket(int type);
void CloseSocket(int socket);
// A socket number that was open a moment ago; open no socket after it in a test that needs
// it closed.
int ClosedSocket();

// Two connected stream sockets of this machine: a socket pair where the system has them, a
// TCP connection over the loopback elsewhere.
class StreamPair {
public:
    StreamPair();
    ~StreamPair();
    StreamPair(const StreamPair&) = delete;
    StreamPair& operator=(const StreamPair&) = delete;
    int reader() const { return m_reader; }
    // Sends bytes from the writer and returns once they are all waiting on the reader.
    void Send(const std::string& bytes);
    // What is waiting on the reader, up to size bytes.
    std::string Receive(std::size_t size);

private:
    int m_reader = -1;
    int m_writer = -1;
};

// Descriptors on which a socket request fails for want of a usable socket, with the
// emulation's message for each: what they are differs between systems.
struct UnusableDescriptor {
    std::string what;
    int fd;
    std::string message;
};
std::vector<UnusableDescriptor> UnusableDescriptors();
void CloseDescriptors(const std::vector<UnusableDescriptor>& descriptors);

// size bytes that end where memory that may not be read begins.
class GuardedBytes {
public:
    explicit GuardedBytes(std::size_t size);
    ~GuardedBytes();
    GuardedBytes(const GuardedBytes&) = delete;
    GuardedBytes& operator=(const GuardedBytes&) = delete;
    unsigned char* data() const { return m_data; }

private:
    void* m_pages = nullptr;
    std::size_t m_length = 0;
    unsigned char* m_data = nullptr;
};

// The system's loader, for tests that load a built library as a program would.
void* OpenLibrary(const char* path);
void* LibrarySymbol(void* library, const char* name);
bool CloseLibrary(void* library);

// The system's own ctime text of a time.
std::string SystemCTime(std::time_t time);
void SetTimeZone(const char* zone);
