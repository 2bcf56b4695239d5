// Every traced call of the library, once: the texts it hands to the tracing library at a debug
// level, in order, and one level below.
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CKelEtherHeader.h"
#include "KelPort.h"
#include "KelNetworkInternal.h"
#include "support/Support.h"

TEST(Traces, EachCallTracesItsOwnTexts)
{
    char buffer[256];
    std::uint32_t count = 0;
    StreamPair pair;
    pair.Send("0123456789");
    const Unusable unusable = UnusableDescriptors().front();
    const std::string plugin = KEL_TEST_PLUGIN;
    HINSTANCE library = KelDLOpen(KEL_TEST_PLUGIN, 0);
    const std::string missingFile = "Possible threat to execution : A required dynamic library file is "
                                    "missing. in ../KelDL at line 44.\n\n";
    const std::string missingSymbol =
        "Possible threat to execution : The requested symbol does not exist within the "
        "dynamic library. in ../KelDL at line 171\n";
    const std::string invalid = "Be aware : Given socket descriptor is invalid. in ../KelIoctl at line ";
    const long clock = 1000000000;
    const std::tm time{};
    protoent proto;
    hostent host;
    const in_addr loopback = Address(htonl(INADDR_LOOPBACK));
    const auto dynamicLoading = [&library] {
        KelDLClose(KelDLOpen(KEL_TEST_PLUGIN, 0));
        KelDLOpen("/no/such/library.so", 0);
        KelDLSym(library, "none");
    };
    unsigned char frame[14] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0x08, 0x00};
    const auto ether = [&frame] {
        CKelEtherHeader header(frame);
        header.KEHGetEtherDhost();
        header.KEHGetEtherShost();
        std::free(header.KEHGetEtherDhostAsUCHAR());
        std::free(header.KEHGetEtherShostAsUCHAR());
        std::free(header.KEHGetPacketHeader());
        header.KEHGetEtherType();
    };
    const std::vector<std::string> morix = {"CKelEtherHeader::KEHGetEtherDhost - Morix\n",
                                            "CKelEtherHeader::KEHGetEtherShost - Morix\n"};
    struct Row {
        std::string what;
        int level;
        std::function<void()> call;
        std::vector<std::string> traces;
        std::vector<std::string> below = {};  // at level - 1
    };
    const Row rows[] = {
        {"KelSysInfo", 4, [&] { KelSysInfo(E_KSIHostname, buffer, sizeof buffer); }, {"KelSysInfo()\n"}},
        {"KelMaxThreads",
         4,
         [] { KelMaxThreads(-1); },
         {"../KelThreads:65 KelMaxThreads -w- request = -1\n", "../KelThreads:124 Returning value of -1\n"}},
        {"untraced",
         9,
         [&] {
             KelGetPid();
             KelAtoll("1");
             sockaddr_in from{};
             int length = sizeof from;
             KelRecvFrom(ClosedSocket(), buffer, 1, 0, reinterpret_cast<sockaddr*>(&from), &length);
             KelGetPeerName(static_cast<unsigned>(ClosedSocket()), reinterpret_cast<sockaddr*>(&from),
                            &length);
         },
         {}},
        {"dynamic loading",
         2,
         dynamicLoading,
         {"Inside KelDLOpen( " + plugin + " ) \n", "KelDLOpen returning successfully\n",
          "Inside KelDLOpen( /no/such/library.so ) \n", missingFile, "Inside KelDLSym\n", missingSymbol},
         {missingFile, missingSymbol}},
        {"KelDLSym of no symbol",
         4,
         [&] { KelDLSym(library, "none"); },
         {"Inside KelDLSym\n", "KelDLSym: missing symbol none\n", missingSymbol},
         {"Inside KelDLSym\n", missingSymbol}},
        {"look-ups and times",
         4,
         [&] {
             KelGetProtoByName_r("tcp", &proto, nullptr, 0);
             KelGetHostByName_r("localhost", &host, nullptr, 0, nullptr);
             KelGetHostByAddr_r(reinterpret_cast<const char*>(&loopback), 4, AF_INET, &host, nullptr, 0,
                                nullptr);
             KelCTime_r(&clock, buffer, 26);
             KelAscTime_r(&time, nullptr, 0);
         },
         {"KelGetProtoByName_r\n", "KelGetHostByName_r()\n", "*KelGetHostByAddr_r()\n", "KelCTime_r()\n",
          "KelAscTime_r()\n"}},
        {"KelIoctl",
         4,
         [&] {
             KelIoctl(pair.reader(), KEL_I_NREAD, &count);
             KelIoctl(pair.reader(), KEL_TIOCINQ, &count);
             KelIoctl(pair.reader(), KEL_FIONREAD, &count);
         },
         {"KelIoctl()\n", "KelIoctl_I()\n", "KelIoctl()\n", "KelIoctl_TIOC()\n", "KelIoctl()\n"}},
        {"KelGetSocketPacketLength",
         4,
         [&] {
             KelGetSocketPacketLength(pair.reader());
             KelGetSocketPacketLength(unusable.fd);
         },
         {"KelGetSocketPacketLength(" + std::to_string(pair.reader()) + ")\n", "KelIoctl()\n",
          "KelIoctl_PktLen()\n", "KelGetSocketPacketLength(" + std::to_string(unusable.fd) + ")\n",
          "KelIoctl()\n", "KelIoctl_PktLen()\n", invalid + "372.\n" + unusable.message + "\n",
          invalid + "408.\n" + unusable.message + "\n"}},
        {"address text",
         4,
         [] {
             std::free(KelGetIPStrH(Address(1)));
             in_addr address;
             char text[] = "10.1.2.3";
             KelInetAtoN(text, &address);
         },
         {"KelGetIPStrH()\n", "KelGetIPStr()\n", "KelGetIPStr()\n", "KelInetAtoN()\n"}},
        {"CKelEtherHeader",
         4,
         ether,
         {"CKelEtherHeader::CKelEtherHeader\n", "CKelEtherHeader::KEHGetEtherDhost\n", morix[0],
          "CKelEtherHeader::KEHGetEtherShost\n", morix[1], "CKelEtherHeader::KEHGetEtherDhostAsUCHAR()\n",
          "*CKelEtherHeader::KEHGetEtherShostAsUCHAR\n", "CKelEtherHeader::KEHGetPacketHeader()\n",
          "u_short CKelEtherHeader::KEHGetEtherType( void )\n", "CKelEtherHeader::KEHGetEtherType = 2048\n",
          "CKelEtherHeader Destructor!\n"},
         morix},
        {"CKelEtherHeader", 2, ether, morix},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(row.traces, Traces(row.level, row.call)) << row.what << " at level " << row.level;
        EXPECT_EQ(row.below, Traces(row.level - 1, row.call)) << row.what << " below level " << row.level;
    }
    KelDLClose(library);
}
