// The kelport program's subcommands. Each makes the library's calls, writes what they gave
// on standard output and returns the exit status: 0 when the calls succeeded, 1 when one
// failed. Input that cannot be used throws UsageError (exit status 2).
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace kelport::tool {

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

int HostName();
int SysInfo(int query);
int Pid();
int Fork();
int MaxThreads(int request);
int DynamicLoad(const std::string& library, const std::vector<std::string>& symbols);
int Atoll(const std::vector<std::string>& texts);
int Proto(const std::string& name);
int Host(const std::string& name);
int Addr(const std::string& address);
int CTime(std::optional<long> seconds);
int AscTime();
int Ioctl(const std::string& request, int queued);
int PacketLength(int queued);
int IpStr(const std::string& value, bool hostOrder);
int Aton(const std::string& text);
int Ether(const std::vector<std::string>& frames, const std::string& pcapFile);
int Errors(const std::vector<std::string>& codes);
int Raise(int code, int line, std::optional<std::string> message);
int Tour();

}  // namespace kelport::tool
