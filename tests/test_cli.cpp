// The kelport program as a user runs it: output, exit status, and the one-line messages of
// bad usage.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/Subprocess.h"
#include "support/System.h"

using testing::HasSubstr;
using testing::StartsWith;

namespace {

ProcessResult Kelport(std::vector<std::string> args, std::vector<std::string> env = {})
{
    args.insert(args.begin(), KELPORT_PROGRAM);
    env.push_back("TZ=UTC");
    return RunProcess(args, env);
}

// A capture file of two frames, the second shorter than a header.
void WritePcap(const std::string& path)
{
    std::ofstream out(path, std::ios::binary);
    const auto word = [&out](std::uint32_t value) { out.write(reinterpret_cast<const char*>(&value), 4); };
    const auto half = [&out](std::uint16_t value) { out.write(reinterpret_cast<const char*>(&value), 2); };
    word(0xA1B2C3D4);
    half(2);
    half(4);
    word(0);
    word(0);
    word(65535);
    word(1);  // Ethernet
    const std::vector<std::vector<unsigned char>> frames = {
        {1, 2, 3, 4, 5, 6, 0x80, 0, 0, 0, 0, 1, 0x08, 0x00, 0x45, 0x00},
        {1, 2, 3},
    };
    for (const auto& frame : frames) {
        word(1764946882);
        word(0);
        word(static_cast<std::uint32_t>(frame.size()));
        word(static_cast<std::uint32_t>(frame.size()));
        out.write(reinterpret_cast<const char*>(frame.data()), static_cast<std::streamsize>(frame.size()));
    }
}

}  // namespace

TEST(Kelport, SubcommandsShowWhatTheCallsGive)
{
    SetTimeZone("UTC");  // as the program's
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out;
    };
    const Case cases[] = {
        {{"hostname"}, 0, HostName() + "\n"},
        {{"sysinfo", "13"}, 0, "KelSysInfo(13) = " + std::to_string(HostName().size() + 1) + ": " + HostName() + "\n"},
        {{"sysinfo", "14"}, 1, "KelSysInfo(14) = -1, errno 22 (Invalid argument)\n"},
        {{"maxthreads", "-1"}, 0, "KelMaxThreads(-1) = -1\n"},
        {{"dl", kMathLibrary, "cos", "no_such_symbol"}, 1,
         std::string("KelDLOpen(") + kMathLibrary + "): loaded\nKelDLSym(cos): found\nKelDLSym(no_such_symbol): missing\n"},
        {{"dl", "/no/such/library.so"}, 1, "KelDLOpen(/no/such/library.so): not loaded\n"},
        {{"atoll", "  -42", "1,000,000", "18446744073709551616"}, 0,
         "KelAtoll(\"  -42\") = -42\nKelAtoll(\"1,000,000\") = 1000000\nKelAtoll(\"18446744073709551616\") = 0\n"},
        {{"proto", "tcp"}, 0, "name tcp\naliases TCP\nnumber 6\n"},
        {{"ctime", "1000000000"}, 0, SystemCTime(1000000000)},
        {{"ioctl"}, 0, "KelIoctl(KEL_SOCKET_N_READ) = 0, 10 bytes waiting\n"},
        {{"ioctl", "32", "--bytes", "3"}, 0, "KelIoctl(32) = 0, 3 bytes waiting\n"},
        {{"ioctl", "KEL_FIONREAD"}, 1, "KelIoctl(KEL_FIONREAD) = -1, errno 22 (Invalid argument)\n"},
        {{"pktlen", "--bytes", "0"}, 0, "KelGetSocketPacketLength = 0\n"},
        {{"ipstr", "10.1.2.3"}, 0, "10.1.2.3\n"},
        {{"ipstr", "0x0A010203", "--host-order"}, 0, "10.1.2.3\n"},
        {{"aton", "10.1.2.3"}, 0, "KelInetAtoN(10.1.2.3) = 1, address bytes 0a 01 02 03\n"},
        {{"aton", "256.1.1.1"}, 1, "KelInetAtoN(256.1.1.1) = 0, no address, address bytes 00 00 00 00\n"},
        {{"ether", "ff:ff:ff:ff:ff:ff:02:00:5e:10:20:30:08:06", "800000000001-010203040506-86dd-ffff"}, 0,
         "destination ff-ff-ff-ff-ff-ff (-1), source 02-00-5e-10-20-30 (2200601370672), type 0x0806 (2054)\n"
         "destination 80-00-00-00-00-01 (-140737488355327), source 01-02-03-04-05-06 (1108152157446), "
         "type 0x86dd (34525)\n"},
        {{"errors", "-220566", "-220422", "-1"}, 1,
         "-220566 fatal       Duplicate Object Upon Insertion\n"
         "-220422 fatal       A critical argument is missing. \n"
         "-1 is not in the catalogue\n"},
        {{"raise", "-220459"}, 0,
         "reported information code -220459; the caller goes on (traced only at --debug 4 or more)\n"},
    };
    for (const auto& c : cases) {
        const auto result = Kelport(c.args);
        EXPECT_EQ(c.status, result.exitCode) << c.args[0] << " " << result.err;
        EXPECT_EQ(c.out, result.out) << c.args[0];
    }
}

// What else the hosts file says of localhost (its aliases) differs from machine to machine.
TEST(Kelport, LooksUpLocalhostBothWays)
{
    for (const std::vector<std::string>& args : {std::vector<std::string>{"host", "localhost"},
                                                 std::vector<std::string>{"addr", "127.0.0.1"}}) {
        const auto result = Kelport(args);
        EXPECT_EQ(0, result.exitCode) << args[0];
        EXPECT_THAT(result.out, StartsWith("name localhost\naliases ")) << args[0];
        EXPECT_THAT(result.out, HasSubstr("\naddresses 127.0.0.1")) << args[0];
    }
}

TEST(Kelport, TracesGoToTheTracingLibrarysSink)
{
    const auto quiet = Kelport({"hostname"});
    EXPECT_EQ("", quiet.err);
    const auto traced = Kelport({"--debug", "4", "hostname"});
    EXPECT_THAT(traced.err, HasSubstr("] KelDebug:83 KelSysInfo()\n"));
    const auto json = Kelport({"--debug", "4", "raise", "-220459", "--line", "7", "--msg", "why"},
                              {"JUZAD_TRACE_SINK=stdout", "JUZAD_TRACE_FORMAT=json"});
    EXPECT_THAT(json.out, HasSubstr(R"("text":"Be aware : Given socket descriptor is invalid. in ../kelport at line 7.\nwhy\n")"));
}

TEST(Kelport, FatalAndExitCodesEndTheProgramAsTheyEndAnyCaller)
{
    const auto fatal = Kelport({"raise", "-220553", "--line", "3"});
    EXPECT_EQ(-1, fatal.exitCode);  // killed by SIGABRT
    EXPECT_EQ(AbortOutput("Fatal warning : Malloc failure - out of memory in ../kelport at line 3 Aborting ......\n"),
              fatal.err);
    const auto exiting = Kelport({"raise", "-220550"});
    EXPECT_EQ(1, exiting.exitCode);
    EXPECT_EQ("Termination : Invalid file name - file not found in ../kelport\n", exiting.err);
}

TEST(Kelport, ReadsFramesFromACaptureFile)
{
    TempDir dir;
    WritePcap(dir.File("two.pcap"));
    const auto result = Kelport({"ether", "--pcap", dir.File("two.pcap")});
    if (!KELPORT_CAPTURE_READER) {
        EXPECT_EQ(2, result.exitCode);
        EXPECT_EQ("kelport: this kelport was built without libpcap: it cannot read capture files\n", result.err);
        return;
    }
    EXPECT_EQ(0, result.exitCode) << result.err;
    EXPECT_EQ("frame 1: destination 01-02-03-04-05-06 (1108152157446), source 80-00-00-00-00-01 "
              "(-140737488355327), type 0x0800 (2048)\n"
              "frame 2: 3 bytes, shorter than a header\n",
              result.out);
}

TEST(Kelport, BadUsageIsOneLineAndStatusTwo)
{
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, "kelport: a subcommand is required (kelport --help lists them)"},
        {{"bogus"}, "kelport: 'bogus' is not a subcommand (kelport --help lists them)"},
        {{"help", "bogus"}, "kelport: 'bogus' is not a subcommand (kelport --help lists them)"},
        {{"atoll"}, "kelport: TEXT is required (kelport --help tells more)"},
        {{"ether", "01ZZ"}, "kelport: '01ZZ' is not a frame in hex"},
        {{"ether", "0102"}, "kelport: '0102' is shorter than the 14 bytes of a header"},
        {{"ether", "--pcap", "/no/such/file"},
         KELPORT_CAPTURE_READER ? "kelport: cannot read '/no/such/file': No such file or directory"
                                : "kelport: this kelport was built without libpcap: it cannot read capture files"},
        {{"sysinfo", "x"}, "kelport: N: 'x' is not a whole number"},
        {{"raise", ""}, "kelport: CODE: '' is not a whole number"},
        {{"--debug", "", "pid"}, "kelport: --debug: '' is not a whole number"},
        {{"pktlen", "--bytes", "99999999999"}, "kelport: --bytes: 99999999999 is out of range (0 to 2147483647)"},
        {{"pktlen", "--bytes", "-1"}, "kelport: --bytes: -1 is out of range (0 to 2147483647)"},
        {{"ipstr", "1.2.3"}, "kelport: '1.2.3' is neither an address A.B.C.D nor a 32-bit number"},
        {{"ioctl", "KEL_NOPE"}, "kelport: 'KEL_NOPE' is neither a KelIoctlEnum name nor a number"},
    };
    for (const auto& [args, message] : cases) {
        const auto result = Kelport(args);
        EXPECT_EQ(2, result.exitCode) << message;
        EXPECT_EQ(message + "\n", result.err);
    }
    // More bytes than a socket holds are refused, not waited on.
    const auto tooMany = Kelport({"pktlen", "--bytes", "30000000"});
    EXPECT_EQ(2, tooMany.exitCode);
    EXPECT_THAT(tooMany.err, StartsWith("kelport: --bytes 30000000: only "));
}

// Piped, as in a log: each step's heading, then its traces, then its results.
TEST(Kelport, TourKeepsItsOrderInAPipe)
{
    const auto result = Kelport({"tour"}, {"JUZAD_TRACE_SINK=stdout"});
    EXPECT_EQ(0, result.exitCode) << result.err;
    const auto heading = result.out.find("\n== System: the host name ==\n");
    const auto trace = result.out.find("KelDebug:83 KelSysInfo()\n");
    const auto answer = result.out.find("\n" + HostName() + "\n");
    EXPECT_LT(heading, trace);
    EXPECT_LT(trace, answer);
    EXPECT_NE(std::string::npos, answer);
    EXPECT_THAT(result.out, HasSubstr("Possible threat to execution : A required dynamic library file is missing."));
}

TEST(Kelport, SaysItsVersionAndHelps)
{
    const auto version = Kelport({"--version"});
    EXPECT_EQ(0, version.exitCode);
    EXPECT_EQ("kelport 1.0.0 (", version.out.substr(0, 15));
    EXPECT_EQ(Kelport({"--help"}).out, Kelport({"help"}).out);
    EXPECT_EQ(Kelport({"pktlen", "--help"}).out, Kelport({"help", "pktlen"}).out);
}

TEST(Kelport, ProcessSubcommands)
{
    EXPECT_EQ("N\n", MaskNumbers(Kelport({"pid"}).out, {""}));
    const auto fork = Kelport({"--debug", "4", "fork"});
    if (kHasFork) {
        EXPECT_EQ(0, fork.exitCode);
        EXPECT_EQ("KelFork: child N exited with status 0\n", MaskNumbers(fork.out, {"child "}));
    } else {
        EXPECT_EQ(1, fork.exitCode);
        EXPECT_EQ("KelFork: errno " + std::to_string(ENOSYS) + " (Function not implemented)\n", fork.out);
    }
    EXPECT_EQ(1, std::count(fork.err.begin(), fork.err.end(), '\n')) << "KelFork() traced once: " << fork.err;
}
