#include "Commands.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <iomanip>
#include <iostream>
#include <sstream>

#include "CKelError.h"
#include "CKelEtherHeader.h"
#include "KelAtoll.h"
#include "KelDL.h"
#include "KelDebug.h"
#include "KelErrorDB.h"
#include "KelIoctl.h"
#include "KelNetwork.h"
#include "KelNetworkInternal.h"
#include "KelProcess.h"
#include "KelReentrant.h"
#include "KelSysInfo.h"
#include "KelThreads.h"
#include "Capture.h"
#include "Host.h"

namespace kelport::tool {
namespace {

std::string Failure(int error)
{
    return "errno " + std::to_string(error) + " (" + std::strerror(error) + ")";
}

// An IPv4 address A.B.C.D, or nothing.
std::optional<in_addr> ParseAddress(const std::string& text)
{
    in_addr address{};
    if (::inet_pton(AF_INET, text.c_str(), &address) != 1) {
        return std::nullopt;
    }
    return address;
}

std::string FormatAddress(const void* address)
{
    char text[INET_ADDRSTRLEN];
    return ::inet_ntop(AF_INET, address, text, sizeof text) != nullptr ? text : "?";
}

std::string List(char** items)
{
    std::string list;
    for (; items != nullptr && *items != nullptr; ++items) {
        list += (list.empty() ? "" : " ") + std::string(*items);
    }
    return list.empty() ? "(none)" : list;
}

void ShowHost(const hostent& entry)
{
    std::cout << "name " << entry.h_name << "\naliases " << List(entry.h_aliases) << "\naddresses";
    for (char** address = entry.h_addr_list; *address != nullptr; ++address) {
        std::cout << ' ' << (entry.h_addrtype == AF_INET ? FormatAddress(*address) : "(not IPv4)");
    }
    std::cout << '\n';
}

const std::pair<const char*, KelIoctlEnum> kRequests[] = {
    {"KEL_I_NREAD", KEL_I_NREAD},
    {"KEL_I_PUSH", KEL_I_PUSH},
    {"KEL_I_STR", KEL_I_STR},
    {"KEL_I_FLUSH", KEL_I_FLUSH},
    {"KEL_I_POP", KEL_I_POP},
    {"KEL_I_LOOK", KEL_I_LOOK},
    {"KEL_SIOCGIFCONF", KEL_SIOCGIFCONF},
    {"KEL_SIOCGIFFLAGS", KEL_SIOCGIFFLAGS},
    {"KEL_SIOCGIFADDR", KEL_SIOCGIFADDR},
    {"KEL_SIOCGIFNETMASK", KEL_SIOCGIFNETMASK},
    {"KEL_SIOCGARP", KEL_SIOCGARP},
    {"KEL_TIOCINQ", KEL_TIOCINQ},
    {"KEL_FIONREAD", KEL_FIONREAD},
    {"KEL_SOCKET_N_READ", KEL_SOCKET_N_READ},
};

std::vector<unsigned char> HexBytes(const std::string& text)
{
    std::vector<unsigned char> bytes;
    std::string digits;
    for (const char c : text) {
        if (c == ':' || c == '-' || c == ' ') {
            continue;
        }
        if (!std::isxdigit(static_cast<unsigned char>(c))) {
            throw UsageError("'" + text + "' is not a frame in hex");
        }
        digits += c;
    }
    if (digits.size() % 2 != 0) {
        throw UsageError("'" + text + "' has an odd number of hex digits");
    }
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        bytes.push_back(static_cast<unsigned char>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

std::string HardwareAddress(const unsigned char* bytes)
{
    std::ostringstream text;
    text << std::hex << std::setfill('0');
    for (int i = 0; i < CKelEtherHeader::EH_LENGTH; ++i) {
        text << (i == 0 ? "" : "-") << std::setw(2) << static_cast<unsigned>(bytes[i]);
    }
    return text.str();
}

void ShowFrame(const unsigned char* frame)
{
    CKelEtherHeader header(const_cast<unsigned char*>(frame));
    unsigned char* destination = header.KEHGetEtherDhostAsUCHAR();
    unsigned char* source = header.KEHGetEtherShostAsUCHAR();
    const long long destinationNumber = header.KEHGetEtherDhost();
    const long long sourceNumber = header.KEHGetEtherShost();
    const unsigned type = header.KEHGetEtherType();
    std::cout << "destination " << HardwareAddress(destination) << " (" << destinationNumber << "), source "
              << HardwareAddress(source) << " (" << sourceNumber << "), type 0x" << std::hex << std::setw(4)
              << std::setfill('0') << type << std::dec << std::setfill(' ') << " (" << type << ")\n";
    std::free(destination);
    std::free(source);
}

int EtherPcap(const std::string& file)
{
    int frames = 0;
    ReadCapture(file, [&frames](const unsigned char* frame, std::size_t length) {
        ++frames;
        if (length < static_cast<std::size_t>(CKelEtherHeader::EH_PKT_SIZE)) {
            std::cout << "frame " << frames << ": " << length << " bytes, shorter than a header\n";
            return;
        }
        std::cout << "frame " << frames << ": ";
        ShowFrame(frame);
    });
    return 0;
}

const char* SeverityName(__errsev severity)
{
    switch (severity) {
    case E_KESInfo:
        return "information";
    case E_KESSick:
        return "sick";
    case E_KESFatal:
        return "fatal";
    case E_KESExit:
        return "exit";
    }
    return "?";
}

void ShowEntry(const __errstruct& entry)
{
    std::cout << entry.S_Code << ' ' << std::left << std::setw(11) << SeverityName(entry.S_Level)
              << std::right << ' ' << entry.S_Errstring << '\n';
}

int HostName()
{
    char name[256];
    if (KelSysInfo(E_KSIHostname, name, sizeof name) < 0) {
        std::cout << "KelSysInfo: " << Failure(errno) << '\n';
        return 1;
    }
    std::cout << name << '\n';
    return 0;
}

int SysInfo(int query)
{
    char answer[256] = {};
    const long result = KelSysInfo(static_cast<EKelSysInfo>(query), answer, sizeof answer);
    const int error = errno;
    std::cout << "KelSysInfo(" << query << ") = " << result;
    if (result < 0) {
        std::cout << ", " << Failure(error) << '\n';
        return 1;
    }
    std::cout << ": " << answer << '\n';
    return 0;
}

int Pid()
{
    std::cout << KelGetPid() << '\n';
    return 0;
}

int Fork()
{
    std::cout.flush();
    const int child = KelFork();
    if (child < 0) {
        std::cout << "KelFork: " << Failure(errno) << '\n';
        return 1;
    }
    if (child == 0) {
        host::EndChild(0);
    }
    std::cout << "KelFork: child " << child << " exited with status " << host::WaitForChild(child) << '\n';
    return 0;
}

int MaxThreads(int request)
{
    const int granted = KelMaxThreads(request);
    std::cout << "KelMaxThreads(" << request << ") = " << granted << '\n';
    return 0;
}

int DynamicLoad(const std::string& library, const std::vector<std::string>& symbols)
{
    HINSTANCE handle = KelDLOpen(library.c_str(), 0);
    if (handle == nullptr) {
        std::cout << "KelDLOpen(" << library << "): not loaded\n";
        return 1;
    }
    std::cout << "KelDLOpen(" << library << "): loaded\n";
    int status = 0;
    for (const auto& symbol : symbols) {
        void* address = KelDLSym(handle, symbol.c_str());
        std::cout << "KelDLSym(" << symbol << "): " << (address != nullptr ? "found" : "missing") << '\n';
        status = address != nullptr ? status : 1;
    }
    KelDLClose(handle);
    return status;
}

int Atoll(const std::vector<std::string>& texts)
{
    for (const auto& text : texts) {
        std::cout << "KelAtoll(\"" << text << "\") = " << KelAtoll(text.c_str()) << '\n';
    }
    return 0;
}

int Proto(const std::string& name)
{
    protoent entry;
    if (KelGetProtoByName_r(name.c_str(), &entry, nullptr, 0) == nullptr) {
        std::cout << "KelGetProtoByName_r(" << name << "): no such protocol\n";
        return 1;
    }
    std::cout << "name " << entry.p_name << "\naliases " << List(entry.p_aliases) << "\nnumber "
              << entry.p_proto << '\n';
    return 0;
}

int Host(const std::string& name)
{
    hostent entry;
    if (KelGetHostByName_r(name.c_str(), &entry, nullptr, 0, nullptr) == nullptr) {
        std::cout << "KelGetHostByName_r(" << name << "): not found\n";
        return 1;
    }
    ShowHost(entry);
    return 0;
}

int Addr(const std::string& address)
{
    const std::optional<in_addr> parsed = ParseAddress(address);
    if (!parsed) {
        throw UsageError("'" + address + "' is not an IPv4 address A.B.C.D");
    }
    const in_addr bytes = *parsed;
    hostent entry;
    if (KelGetHostByAddr_r(reinterpret_cast<const char*>(&bytes), sizeof bytes, AF_INET, &entry, nullptr, 0,
                           nullptr) == nullptr) {
        std::cout << "KelGetHostByAddr_r(" << address << "): not found\n";
        return 1;
    }
    ShowHost(entry);
    return 0;
}

int CTime(std::optional<long> seconds)
{
    const long clock = seconds.value_or(static_cast<long>(std::time(nullptr)));
    char text[26];
    if (KelCTime_r(&clock, text, sizeof text) == nullptr) {
        std::cout << "KelCTime_r(" << clock << "): " << Failure(errno) << '\n';
        return 1;
    }
    std::cout << text;
    return 0;
}

int AscTime()
{
    const std::time_t now = std::time(nullptr);
    const std::tm local = host::LocalTime(now);
    std::cout << KelAscTime_r(&local, nullptr, 0);
    return 0;
}

int Ioctl(const std::string& request, int queued)
{
    std::optional<int> number = ParseNumber<int>(request);
    for (const auto& [name, value] : kRequests) {
        if (request == name) {
            number = value;
        }
    }
    if (!number) {
        std::string names;
        for (const auto& [name, value] : kRequests) {
            names += std::string(names.empty() ? "" : ", ") + name;
        }
        throw UsageError("'" + request +
                         "' is neither a KelIoctlEnum name nor a number (the names: " + names + ")");
    }
    host::QueuedSocket socket(queued);
    std::uint32_t count = 0;
    const int result = KelIoctl(socket.fd(), static_cast<KelIoctlEnum>(*number), &count);
    const int error = errno;
    std::cout << "KelIoctl(" << request << ") = " << result;
    if (result < 0) {
        std::cout << ", " << Failure(error) << '\n';
        return 1;
    }
    std::cout << ", " << count << " bytes waiting\n";
    return 0;
}

int PacketLength(int queued)
{
    host::QueuedSocket socket(queued);
    const int waiting = KelGetSocketPacketLength(socket.fd());
    std::cout << "KelGetSocketPacketLength = " << waiting << '\n';
    return 0;
}

int IpStr(const std::string& value, bool hostOrder)
{
    char* text = nullptr;
    if (const auto number = ParseNumber<std::uint32_t>(value)) {
        in_addr hostOrderAddress{};
        hostOrderAddress.s_addr = *number;
        text = hostOrder ? KelGetIPStrH(hostOrderAddress) : KelGetIPStr(static_cast<unsigned long>(*number));
    } else {
        const std::optional<in_addr> address = ParseAddress(value);
        if (!address) {
            throw UsageError("'" + value + "' is neither an address A.B.C.D nor a 32-bit number");
        }
        if (hostOrder) {
            throw UsageError("--host-order applies to numbers only, and '" + value +
                             "' is an address A.B.C.D");
        }
        text = KelGetIPStr(*address);
    }
    std::cout << text << '\n';
    std::free(text);
    return 0;
}

int Aton(const std::string& text)
{
    in_addr address{};
    std::string writable = text;
    const int result = KelInetAtoN(writable.data(), &address);
    const auto* bytes = reinterpret_cast<const unsigned char*>(&address);
    std::cout << "KelInetAtoN(" << text << ") = " << result << (result == 0 ? ", no address" : "")
              << ", address bytes " << std::hex << std::setfill('0');
    for (int i = 0; i < 4; ++i) {
        std::cout << std::setw(2) << static_cast<unsigned>(bytes[i]) << (i < 3 ? " " : "\n");
    }
    std::cout << std::dec << std::setfill(' ');
    return result == 0 ? 1 : 0;
}

int Ether(const std::vector<std::string>& frames, const std::string& pcapFile)
{
    if (frames.empty() == pcapFile.empty()) {
        throw UsageError("give frames in hex or --pcap FILE, not both and not neither");
    }
    if (!pcapFile.empty()) {
        return EtherPcap(pcapFile);
    }
    std::vector<std::vector<unsigned char>> decoded;
    for (const auto& text : frames) {
        decoded.push_back(HexBytes(text));
        if (decoded.back().size() < static_cast<std::size_t>(CKelEtherHeader::EH_PKT_SIZE)) {
            throw UsageError("'" + text + "' is shorter than the 14 bytes of a header");
        }
    }
    for (const auto& frame : decoded) {
        ShowFrame(frame.data());
    }
    return 0;
}

int Errors(const std::vector<std::string>& codes)
{
    if (codes.empty()) {
        for (const auto& entry : kelErrorDB) {
            ShowEntry(entry);
        }
        return 0;
    }
    int status = 0;
    for (const auto& text : codes) {
        const auto code = std::optional<int>(ArgumentNumber<int>("CODE", text));
        if (*code < kelFirstErrorCode || *code > kelLastErrorCode) {
            std::cout << *code << " is not in the catalogue\n";
            status = 1;
            continue;
        }
        ShowEntry(kelErrorDB[*code - kelFirstErrorCode]);
    }
    return status;
}

int Raise(int code, int line, std::optional<std::string> message)
{
    std::cout.flush();
    CKelError report(code, "../kelport", line, message ? message->c_str() : nullptr);
    const __errstruct& entry = kelErrorDB[code - kelFirstErrorCode];
    const int needs = entry.S_Level == E_KESInfo ? 4 : 1;
    std::cout << "reported " << SeverityName(entry.S_Level) << " code " << code << "; the caller goes on"
              << (__Kelvora_Debug_Level >= needs
                      ? ""
                      : " (traced only at --debug " + std::to_string(needs) + " or more)")
              << '\n';
    return 0;
}

int Trace(int level, std::string text)
{
    genZADTrace(text.data(), level);
    return 0;
}

int Memory()
{
    printMemoryUsage();
    return 0;
}

int Tour()
{
    __Kelvora_Debug_Level = 4;
    // Each step's calls in the order given, so that their lines are in that order too.
    const std::pair<const char*, std::vector<std::function<int()>>> steps[] = {
        {"System: the host name", {HostName}},
        {"Process: id and thread limit", {Pid, [] { return MaxThreads(8); }}},
        {"Dynamic loading: the C math library", {[] { return DynamicLoad(host::kMathLibrary, {"cos"}); }}},
        {"64-bit parsing", {[] {
             return Atoll({"  -42", "1,000,000", "18446744073709551615"});
         }}},
        {"Look-ups: localhost and tcp", {[] { return Host("localhost"); }, [] { return Proto("tcp"); }}},
        {"Time", {[] { return CTime(1000000000); }}},
        {"Socket packet length: a socket pair with 10 bytes queued", {[] { return PacketLength(10); }}},
        {"Address text", {[] { return IpStr("192.168.10.1", false); }, [] { return Aton("10.1.2.3"); }}},
        {"Ethernet header: a broadcast ARP frame decoded",
         {[] { return Ether({"ff:ff:ff:ff:ff:ff:02:00:5e:10:20:30:08:06"}, ""); }}},
        // It fails, as it should: what it shows is the report.
        {"A sick report: a library that is not there",
         {[] { return DynamicLoad("libkelport-no-such-library.so", {}) == 1 ? 0 : 1; }}},
    };
    int status = 0;
    for (const auto& [heading, calls] : steps) {
        std::cout << "\n== " << heading << " ==\n";
        for (const auto& call : calls) {
            status |= call();
        }
    }
    return status;
}

// --bytes, for the two subcommands that queue bytes on a socket.
void AddQueued(CLI::App& sub, Arguments& a)
{
    a.second = "10";
    sub.add_option("--bytes", a.second, "Bytes queued on the socket")
        ->type_name("INT")
        ->capture_default_str();
}

const char* const kReportHelp =
    "Report CODE through CKelError as a caller would. Fatal codes, and codes that are not in the catalogue, "
    "abort this program, and exit codes end it with status 1, as they end any caller";

}  // namespace

// Numbers are read by the program itself, so that an empty or too large one is named as such
// rather than taken for 0.
const std::vector<Subcommand>& Subcommands()
{
    static const std::vector<Subcommand> table = {
        {"hostname", "The host name, through KelSysInfo",
         [](CLI::App&, Arguments&) -> Run { return HostName; }},
        {"sysinfo", "KelSysInfo with query N (13 is the host name; 1 to 12 are not served)",
         [](CLI::App& sub, Arguments& a) -> Run {
             sub.add_option("N", a.first, "The query number")->type_name("INT")->required();
             return [&a] { return SysInfo(ArgumentNumber<int>("N", a.first)); };
         }},
        {"pid", "The process id, through KelGetPid", [](CLI::App&, Arguments&) -> Run { return Pid; }},
        {"fork", "KelFork: the child exits at once and the parent reports its status (not on Windows)",
         [](CLI::App&, Arguments&) -> Run { return Fork; }},
        {"maxthreads", "KelMaxThreads for a request of N threads",
         [](CLI::App& sub, Arguments& a) -> Run {
             sub.add_option("N", a.first, "Threads asked for")->type_name("INT")->required();
             return [&a] { return MaxThreads(ArgumentNumber<int>("N", a.first)); };
         }},
        {"dl", "KelDLOpen the library, then KelDLSym each symbol",
         [](CLI::App& sub, Arguments& a) -> Run {
             sub.add_option("LIBRARY", a.first, "File name or path of a shared library")->required();
             sub.add_option("SYMBOL", a.list, "Names to look up");
             return [&a] { return DynamicLoad(a.first, a.list); };
         }},
        {"atoll", "KelAtoll of each text",
         [](CLI::App& sub, Arguments& a) -> Run {
             sub.add_option("TEXT", a.list, "Decimal texts")->required();
             return [&a] { return Atoll(a.list); };
         }},
        {"proto", "KelGetProtoByName_r",
         [](CLI::App& sub, Arguments& a) -> Run {
             sub.add_option("NAME", a.first, "Protocol name, such as tcp")->required();
             return [&a] { return Proto(a.first); };
         }},
        {"host", "KelGetHostByName_r",
         [](CLI::App& sub, Arguments& a) -> Run {
             sub.add_option("NAME", a.first, "Host name")->required();
             return [&a] { return Host(a.first); };
         }},
        {"addr", "KelGetHostByAddr_r",
         [](CLI::App& sub, Arguments& a) -> Run {
             sub.add_option("A.B.C.D", a.first, "IPv4 address")->required();
             return [&a] { return Addr(a.first); };
         }},
        {"ctime", "KelCTime_r of SECONDS since the epoch (now when not given)",
         [](CLI::App& sub, Arguments& a) -> Run {
             sub.add_option("SECONDS", a.list, "Calendar time")->type_name("INT")->expected(0, 1);
             return [&a] {
                 return CTime(a.list.empty() ? std::nullopt
                                             : std::optional(ArgumentNumber<long>("SECONDS", a.list[0])));
             };
         }},
        {"asctime", "KelAscTime_r of the local time now",
         [](CLI::App&, Arguments&) -> Run { return AscTime; }},
        {"ioctl", "KelIoctl on two connected sockets with bytes queued",
         [](CLI::App& sub, Arguments& a) -> Run {
             a.first = "KEL_SOCKET_N_READ";
             sub.add_option("REQUEST", a.first, "A KelIoctlEnum name or number")->capture_default_str();
             AddQueued(sub, a);
             return [&a] { return Ioctl(a.first, ArgumentNumber<int>("--bytes", a.second, 0)); };
         }},
        {"pktlen", "KelGetSocketPacketLength on two connected sockets with bytes queued",
         [](CLI::App& sub, Arguments& a) -> Run {
             AddQueued(sub, a);
             return [&a] { return PacketLength(ArgumentNumber<int>("--bytes", a.second, 0)); };
         }},
        {"ipstr", "KelGetIPStr of dotted text or a 32-bit number",
         [](CLI::App& sub, Arguments& a) -> Run {
             sub.add_option("VALUE", a.first, "A.B.C.D, or a number (decimal or 0x hex), network order")
                 ->required();
             sub.add_flag("--host-order", a.flag,
                          "The number is in host byte order (KelGetIPStrH); numbers only");
             return [&a] { return IpStr(a.first, a.flag); };
         }},
        {"aton", "KelInetAtoN of a dotted text",
         [](CLI::App& sub, Arguments& a) -> Run {
             sub.add_option("TEXT", a.first, "Address text")->required();
             return [&a] { return Aton(a.first); };
         }},
        {"ether", "CKelEtherHeader over frames given in hex or read from a pcap file",
         [](CLI::App& sub, Arguments& a) -> Run {
             sub.add_option("HEX", a.list, "A frame's bytes in hex (':' or '-' may separate them)");
             sub.add_option("--pcap", a.first,
                            kHasCaptureReader
                                ? "A capture file of Ethernet frames"
                                : "A capture file of Ethernet frames (not in this build: it has no libpcap)");
             return [&a] { return Ether(a.list, a.first); };
         }},
        {"errors", "List the error catalogue, or look up CODEs",
         [](CLI::App& sub, Arguments& a) -> Run {
             sub.add_option("CODE", a.list, "Catalogue codes, -220566 to -220403");
             return [&a] { return Errors(a.list); };
         }},
        {"raise", kReportHelp,
         [](CLI::App& sub, Arguments& a) -> Run {
             a.second = "0";
             sub.add_option("CODE", a.first, "Catalogue code")->type_name("INT")->required();
             sub.add_option("--line", a.second, "Source line of the report (0: none)")->type_name("INT");
             sub.add_option("--msg", a.text, "Extra text of the report");
             return [&a] {
                 return Raise(ArgumentNumber<int>("CODE", a.first), ArgumentNumber<int>("--line", a.second),
                              a.text);
             };
         }},
        {"trace",
         "genZADTrace of TEXT at LEVEL: 6 to the Memory Usage component, any other to ZeltaDiscovery",
         [](CLI::App& sub, Arguments& a) -> Run {
             sub.add_option("LEVEL", a.first, "Trace level")->type_name("INT")->required();
             sub.add_option("TEXT", a.second, "The text, as a call hands it over")->required();
             return [&a] { return Trace(ArgumentNumber<int>("LEVEL", a.first), a.second); };
         }},
        {"memory", "printMemoryUsage: the top of the heap, at any debug level",
         [](CLI::App&, Arguments&) -> Run { return Memory; }},
        {"tour", "Every family once on this host, at debug level 4",
         [](CLI::App&, Arguments&) -> Run { return Tour; }},
    };
    return table;
}

}  // namespace kelport::tool
