// The kelport program as a user runs it: what it prints, its exit status, and the one-line
// messages of bad usage.
#include <cerrno>
#include <fstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/Support.h"

namespace {

ProcessResult Kelport(std::vector<std::string> args, std::vector<std::string> env = {})
{
    args.insert(args.begin(), KELPORT_PROGRAM);
    env.push_back("TZ=UTC");
    return RunProgram(args, env);
}

// A capture file of two frames, the second shorter than a header: little-endian words.
std::string Pcap()
{
    std::string file;
    const auto word = [&file](std::uint32_t value, int bytes = 4) {
        for (int i = 0; i < bytes; ++i) {
            file += static_cast<char>(value >> (8 * i));
        }
    };
    for (const std::uint32_t value : {0xA1B2C3D4u, 0x00040002u, 0u, 0u, 65535u, 1u}) {
        word(value);
    }
    for (const std::string& frame :
         {std::string("\1\2\3\4\5\6\x80\0\0\0\0\1\x08\0\x45\0", 16), std::string("\1\2\3")}) {
        word(1764946882);
        word(0);
        word(static_cast<std::uint32_t>(frame.size()));
        word(static_cast<std::uint32_t>(frame.size()));
        file += frame;
    }
    return file;
}

}  // namespace

TEST(Kelport, PrintsWhatTheCallsGiveAndExitsByWhatHappened)
{
    SetTimeZone("UTC");  // as the program's
    TempDir dir;
    std::ofstream(dir.File("two.pcap"), std::ios::binary) << Pcap();
    const std::string name = HostName();
    const std::string noSubcommand = " is not a subcommand (kelport --help lists them)\n";
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out;
        std::string err;
    };
    const Case cases[] =
    { {{"sysinfo", "13"}, 0, "KelSysInfo(13) = " + std::to_string(name.size() + 1) + ": " + name + "\n", ""},
      {{"sysinfo", "14"}, 1, "KelSysInfo(14) = -1, errno 22 (Invalid argument)\n", ""},
      {{"maxthreads", "-1"}, 0, "KelMaxThreads(-1) = -1\n", ""},
      {{"dl", kMathLibrary, "cos", "none"},
       1,
       std::string("KelDLOpen(") + kMathLibrary +
           "): loaded\nKelDLSym(cos): found\nKelDLSym(none): missing\n",
       ""},
      {{"atoll", "  -42", "18446744073709551616"},
       0,
       "KelAtoll(\"  -42\") = -42\nKelAtoll(\"18446744073709551616\") = 0\n",
       ""},
      {{"proto", "tcp"}, 0, "name tcp\naliases TCP\nnumber 6\n", ""},
      {{"ctime", "1000000000"}, 0, "Sun Sep  9 01:46:40 2001\n", ""},
      {{"ioctl", "32", "--bytes", "3"}, 0, "KelIoctl(32) = 0, 3 bytes waiting\n", ""},
      {{"ioctl", "KEL_FIONREAD"}, 1, "KelIoctl(KEL_FIONREAD) = -1, errno 22 (Invalid argument)\n", ""},
      {{"pktlen"}, 0, "KelGetSocketPacketLength = 10\n", ""},
      {{"ipstr", "0x0A010203", "--host-order"}, 0, "10.1.2.3\n", ""},
      {{"aton", "256.1.1.1"}, 1, "KelInetAtoN(256.1.1.1) = 0, no address, address bytes 00 00 00 00\n", ""},
      {{"ether", "ff:ff:ff:ff:ff:ff:02:00:5e:10:20:30:08:06"},
       0,
       "destination ff-ff-ff-ff-ff-ff (-1), source 02-00-5e-10-20-30 (2200601370672), type 0x0806 (2054)\n",
       ""},
      {{"errors", "-220422", "-1"},
       1,
       "-220422 fatal       A critical argument is missing. \n-1 is not in the catalogue\n",
       ""},
      {{"raise", "-220459"},
       0,
       "reported information code -220459; the caller goes on (traced only at --debug 4 or more)\n",
       ""},
      {{"raise", "-220550"}, 1, "", "Termination : Invalid file name - file not found in ../kelport\n"},
      {{"raise", "-220553", "--line", "3"},
       -1,
       "",
       AbortOutput(
           "Fatal warning : Malloc failure - out of memory in ../kelport at line 3 Aborting ......\n")},
      {{}, 2, "", "kelport: a subcommand is required (kelport --help lists them)\n"},
      {{"bogus"}, 2, "", "kelport: 'bogus'" + noSubcommand},
      {{"help", "bogus"}, 2, "", "kelport: 'bogus'" + noSubcommand},
      {{"ether", "0102"}, 2, "", "kelport: '0102' is shorter than the 14 bytes of a header\n"},
      {{"raise", ""}, 2, "", "kelport: CODE: '' is not a whole number\n"},
      {{"pktlen", "--bytes", "99999999999"},
       2,
       "",
       "kelport: --bytes: 99999999999 is out of range (0 to 2147483647)\n"},
      {{"ioctl", "KEL_NOPE"},
       2,
       "",
       "kelport: 'KEL_NOPE' is neither a KelIoctlEnum name nor a number (the names: KEL_I_NREAD, KEL_I_PUSH, "
       "KEL_I_STR, KEL_I_FLUSH, KEL_I_POP, KEL_I_LOOK, KEL_SIOCGIFCONF, KEL_SIOCGIFFLAGS, KEL_SIOCGIFADDR, "
       "KEL_SIOCGIFNETMASK, KEL_SIOCGARP, KEL_TIOCINQ, KEL_FIONREAD, KEL_SOCKET_N_READ)\n"},
      {{"--debg", "4", "hostname"},
       2,
       "",
       "kelport: '--debg' is not an option (kelport --help lists them)\n"},
      {{"hostname", "--debug", "4"},
       2,
       "",
       "kelport: '--debug' is not an option of hostname; kelport's own options go before the subcommand "
       "(kelport "
       "--help tells more)\n"},
      {{"--debug", "-1", "pid"}, 2, "", "kelport: --debug: -1 is out of range (0 to 2147483647)\n"},
#if KELPORT_CAPTURE_READER
      {{"ether", "--pcap", dir.File("two.pcap")},
       0,
       "frame 1: destination 01-02-03-04-05-06 (1108152157446), source 80-00-00-00-00-01 (-140737488355327), "
       "type "
       "0x0800 (2048)\nframe 2: 3 bytes, shorter than a header\n",
       ""},
      {{"ether", "--pcap", "/no/such/file"},
       2,
       "",
       "kelport: cannot read '/no/such/file': No such file or directory\n"},
#else
      {{"ether", "--pcap", dir.File("two.pcap")},
       2,
       "",
       "kelport: this kelport was built without libpcap: it cannot read capture files\n"},
#endif
    };
    for (const auto& c : cases) {
        const auto result = Kelport(c.args);
        const std::string args = testing::PrintToString(c.args);
        EXPECT_EQ(c.status, result.exitCode) << args;
        EXPECT_EQ(c.out, result.out) << args;
        EXPECT_EQ(c.err, result.err) << args;
    }
    // More bytes than a socket holds are refused rather than waited for.
    EXPECT_THAT(Kelport({"pktlen", "--bytes", "30000000"}).err,
                testing::StartsWith("kelport: --bytes 30000000: only "));
}

TEST(Kelport, LookUpsForkVersionAndHelp)
{
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"host", "localhost"}, std::vector<std::string>{"addr", "127.0.0.1"}}) {
        const auto result = Kelport(args);
        EXPECT_THAT(result.out, testing::StartsWith("name localhost\naliases ")) << args[0];
        EXPECT_THAT(result.out, testing::HasSubstr("\naddresses 127.0.0.1")) << args[0];
    }
    const auto fork = Kelport({"--debug", "4", "fork"});
    EXPECT_EQ(kHasFork ? "KelFork: child N exited with status 0\n"
                       : "KelFork: errno " + std::to_string(ENOSYS) + " (Function not implemented)\n",
              MaskNumbers(fork.out, {"child "}));
    EXPECT_EQ(kHasFork ? 0 : 1, fork.exitCode);
    EXPECT_EQ("kelport 1.0.0 (", Kelport({"--version"}).out.substr(0, 15));
    EXPECT_EQ(Kelport({"--help"}).out, Kelport({"help"}).out);
    EXPECT_EQ(Kelport({"pktlen", "--help"}).out, Kelport({"help", "pktlen"}).out);
}

// Piped, as into a log: each step's heading, then its traces, then its results.
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
}
