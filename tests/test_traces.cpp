// Every traced exported call of the library, once: the texts it hands to the tracing library at
// the level that shows them, in order, and one level below; and none at a negative level.
#include <climits>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "KelPort.h"
#include "support/Support.h"

TEST(Traces, EachCallTracesItsOwnTexts)
{
    char buffer[256];
    std::uint32_t count = 0;
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
    struct Row {
        std::string what;
        int level;
        std::function<void()> call;
        std::vector<std::string> traces;
        std::vector<std::string> below = {};  // at level - 1
    };
    const Row rows[] = {
        {"dynamic loading",
         2,
         [&] {
             KelDLClose(KelDLOpen(KEL_TEST_PLUGIN, 0));
             KelDLOpen("/no/such/library.so", 0);
             KelDLSym(library, "none");
         },
         {"Inside KelDLOpen( " + plugin + " ) \n", "KelDLOpen returning successfully\n",
          "Inside KelDLOpen( /no/such/library.so ) \n", missingFile, "Inside KelDLSym\n", missingSymbol},
         {missingFile, missingSymbol}},
        {"every other call",
         4,
         [&] {
             KelDLSym(library, "none");
             KelSysInfo(E_KSIHostname, buffer, sizeof buffer);
             KelMaxThreads(INT_MIN);
             KelGetProtoByName_r("tcp", &proto, nullptr, 0);
             KelGetHostByName_r("localhost", &host, nullptr, 0, nullptr);
             KelGetHostByAddr_r(reinterpret_cast<const char*>(&loopback), 4, AF_INET, &host, nullptr, 0,
                                nullptr);
             KelCTime_r(&clock, buffer, 26);
             KelAscTime_r(&time, nullptr, 0);
         },
         {"Inside KelDLSym\n", "KelDLSym: missing symbol none\n", missingSymbol, "KelSysInfo()\n",
          "../KelThreads:65 KelMaxThreads -w- request = -2147483648\n",
          "../KelThreads:124 Returning value of -2147483648\n", "KelGetProtoByName_r\n",
          "KelGetHostByName_r()\n", "*KelGetHostByAddr_r()\n", "KelCTime_r()\n", "KelAscTime_r()\n"},
         {"Inside KelDLSym\n", missingSymbol}},
        {"network calls",
         4,
         [&] {
             KelIoctl(unusable.fd, KEL_I_NREAD, &count);
             KelIoctl(unusable.fd, KEL_TIOCINQ, &count);
             KelGetSocketPacketLength(unusable.fd);
             std::free(KelGetIPStr(Address(1)));
         },
         {"KelIoctl()\n", "KelIoctl_I()\n", "KelIoctl()\n", "KelIoctl_TIOC()\n",
          "KelGetSocketPacketLength(" + std::to_string(unusable.fd) + ")\n", "KelIoctl()\n",
          "KelIoctl_PktLen()\n", invalid + "372.\n" + unusable.message + "\n",
          invalid + "408.\n" + unusable.message + "\n", "KelGetIPStr()\n", "KelGetIPStr()\n"}},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(row.traces, Traces(row.level, row.call)) << row.what << " at level " << row.level;
        EXPECT_EQ(row.below, Traces(row.level - 1, row.call)) << row.what << " below level " << row.level;
        EXPECT_EQ(std::vector<std::string>{}, Traces(-1, row.call)) << row.what << " at a negative level";
    }
    KelDLClose(library);
}
