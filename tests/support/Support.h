// Test support, once for every suite: the traces a call makes, programs run as a user runs
// them, and what the tests need of the system they run on (Support.cpp holds each system's
// part).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "JuZadTrc.h"
#include "KelDebug.h"
#include "KelPortPlatform.h"

// The texts that call hands to the tracing library at a debug level, in order.
inline std::vector<std::string> Traces(int level, const std::function<void()>& call)
{
    std::vector<std::string> texts;
    const int saved = std::exchange(__Kelvora_Debug_Level, level);
    JuZadTrc::SetRecordHandler([&texts](const JuZadTrc::Record& r) { texts.push_back(r.text); });
    call();
    JuZadTrc::SetRecordHandler(nullptr);
    __Kelvora_Debug_Level = saved;
    return texts;
}

struct ProcessResult {
    int exitCode = -1;  // -1 when the program did not exit normally, or was ended at its limit
    std::string out;    // line ends as "\n" on every system
    std::string err;
};
// Runs a program built with the tests (a path, or a file name beside the test program) with
// the test's environment less every JUZAD_ variable, plus env ("NAME=value" each), under the
// tests' emulator where there is one; a program still running after limit (if given) is ended.
ProcessResult RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
                         std::chrono::milliseconds limit = {});

std::string ReadFile(const std::string& path);  // as text: line ends as "\n" on every system
std::vector<std::string> Lines(const std::string& text);

// A fresh folder under the system's temporary folder, removed with its files at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string File(const std::string& name) const { return m_path + "/" + name; }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

std::string HostName();
int ProcessId();
// Whether the tests run under an emulator, several times slower than the machine.
extern const bool kEmulated;
// For death tests: whether a process ended by abort, and what it leaves on standard error
// for what it wrote there (an emulator may add a line).
bool Aborted(int status);
std::string AbortOutput(const std::string& written);

sockaddr_in Loopback(std::uint16_t port = 0);
std::uint16_t PortOf(int socket);
int LoopbackSocket(int type);  // bound to the loopback on a port of the system's choosing; TCP ones listen
void CloseSocket(int socket);
int ClosedSocket();  // a number that was a socket a moment ago
void SetNonBlocking(int socket);

// Descriptors that no socket request can be made on, and the emulation's message for each:
// a closed socket everywhere; a directory and a listening socket where the system has no
// count for them.
struct Unusable {
    std::string what;
    int fd;
    std::string message;
};
std::vector<Unusable> UnusableDescriptors();

// Whether the system's loader holds the library at path.
bool IsLoaded(const char* path);

// The zone of local time for the C library.
void SetTimeZone(const char* zone);
