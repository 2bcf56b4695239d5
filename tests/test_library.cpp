// The built libKelPort.so as a program meets it: loaded, used and unloaded at run time, and
// the names it exports.
#include <dlfcn.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include <sstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "JuZadTrc.h"
#include "support/Subprocess.h"

using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;

namespace {

struct Event {
    std::string component;
    JuZadTrc::StdCategory_e category;
    bool alive;
    bool operator==(const Event& other) const
    {
        return component == other.component && category == other.category && alive == other.alive;
    }
};

void PrintTo(const Event& e, std::ostream* os)
{
    *os << (e.alive ? "built " : "destroyed ") << e.component << "/" << e.category;
}

template <typename T>
T* Symbol(void* library, const char* name)
{
    return reinterpret_cast<T*>(dlsym(library, name));
}

}  // namespace

TEST(Library, BuildsItsTraceObjectsAtLoadAndDestroysThemInReverseAtUnload)
{
    std::vector<Event> events;
    JuZadTrc::SetObjectHandler([&events](const JuZadTrc::ObjectEvent& e) {
        events.push_back({e.component, e.category, e.alive});
    });

    void* library = dlopen(KELPORT_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, library) << dlerror();
    EXPECT_THAT(events, ElementsAre(Event{"ZeltaDiscovery", JuZadTrc::fTrace_k, true},
                                    Event{"Memory Usage", JuZadTrc::fResMgmt_k, true}));

    // The globals hold their first values from the moment of loading.
    ASSERT_NE(nullptr, Symbol<int>(library, "__Kelvora_Debug_Level"));
    EXPECT_EQ(0, *Symbol<int>(library, "__Kelvora_Debug_Level"));
    EXPECT_EQ(1, *Symbol<int>(library, "g_OqlUse"));
    EXPECT_EQ(nullptr, *Symbol<char*>(library, "g_OdbcUse"));
    EXPECT_EQ(nullptr, *Symbol<char*>(library, "g_OqlLog"));

    // The objects serve the library's traces in between.
    std::vector<std::string> texts;
    JuZadTrc::SetRecordHandler([&texts](const JuZadTrc::Record& r) { texts.push_back(r.component); });
    auto trace = Symbol<void(char*, int)>(library, "_Z11genZADTracePci");
    ASSERT_NE(nullptr, trace);
    char text[] = "between\n";
    trace(text, 6);
    trace(text, 4);
    JuZadTrc::SetRecordHandler(nullptr);
    EXPECT_THAT(texts, ElementsAre("Memory Usage", "ZeltaDiscovery"));

    events.clear();
    ASSERT_EQ(0, dlclose(library));
    EXPECT_THAT(events, ElementsAre(Event{"Memory Usage", JuZadTrc::fResMgmt_k, false},
                                    Event{"ZeltaDiscovery", JuZadTrc::fTrace_k, false}));
    JuZadTrc::SetObjectHandler(nullptr);
}

// Every name the library exports, as `nm -DC` shows it; grows as the library does.
TEST(Library, ExportsExactlyItsPublicNames)
{
    const std::set<std::string> expected = {
        "CKelError::CKelError(int, char const*, int, char const*)",
        "CKelError::~CKelError()",
        "CKelError::operator=(CKelError const&)",
        "CKelError::KEHandleError(int, char const*, int, char const*)",
        "typeinfo for CKelError",
        "typeinfo name for CKelError",
        "vtable for CKelError",
        "genZADTrace(char*, int)",
        "printMemoryUsage()",
        "KelSysInfo(EKelSysInfo, char*, long)",
        "KelFork()",
        "KelGetPid()",
        "KelMaxThreads(int)",
        "KelDLOpen(char const*, int)",
        "KelDLSym(void*, char const*)",
        "KelDLError()",
        "KelDLClose(void*)",
        "KelAtoll(char const*)",
        "KelGetProtoByName_r(char const*, protoent*, char*, unsigned int)",
        "KelGetHostByName_r(char const*, hostent*, char*, int, int*)",
        "KelGetHostByAddr_r(char const*, int, int, hostent*, char*, int, int*)",
        "KelCTime_r(long const*, char*, int)",
        "KelAscTime_r(tm const*, char*, int)",
        "KelReadDir_r(__dirstream*, dirent*)",
        "KelIoctl(int, KelIoctlEnum, void*)",
        "KelGetSocketPacketLength(int)",
        "KelGetIPStr(unsigned long)",
        "KelGetIPStr(in_addr)",
        "KelRecvFrom(int, void*, unsigned int, int, sockaddr*, int*)",
        "KelGetPeerName(unsigned int, sockaddr*, int*)",
        "__Kelvora_Debug_Level",
        "g_OqlUse",
        "g_OdbcUse",
        "g_OqlLog",
    };

    FILE* nm = popen("nm -DC --defined-only " KELPORT_LIBRARY, "r");
    ASSERT_NE(nullptr, nm);
    std::set<std::string> exported;
    char line[4096];
    while (std::fgets(line, sizeof line, nm) != nullptr) {
        // "<address> <type> <name>\n"
        std::string entry(line);
        entry.pop_back();
        const auto name = entry.find(' ', entry.find(' ') + 1);
        ASSERT_NE(std::string::npos, name) << entry;
        exported.insert(entry.substr(name + 1));
    }
    ASSERT_EQ(0, pclose(nm));

    std::vector<std::string> missing;
    std::vector<std::string> extra;
    for (const auto& name : expected) {
        if (exported.count(name) == 0) {
            missing.push_back(name);
        }
    }
    for (const auto& name : exported) {
        if (expected.count(name) == 0) {
            extra.push_back(name);
        }
    }
    EXPECT_THAT(missing, IsEmpty()) << "expected but not exported";
    EXPECT_THAT(extra, IsEmpty()) << "exported but not expected";
}

// What a program linked with the library sees with no configuration, and with the JSON file
// sink.
TEST(Library, DemonstrationReportsOnStandardErrorOrIntoAJsonFile)
{
    const std::string report =
        "Be aware : Given socket descriptor is invalid\\. in \\.\\./demo at line [0-9]+\\.\nthe descriptor was closed\n";
    const auto plain = RunProcess({KELPORT_DEMO});
    EXPECT_EQ(0, plain.exitCode);
    EXPECT_THAT(plain.err, testing::ContainsRegex(R"(\[ZeltaDiscovery\] \[Trace\] .*KelDebug:83 )" + report));
    EXPECT_THAT(plain.out, HasSubstr(" [sbrk] top of heap is 0x"));

    TempDir dir;
    const std::string path = dir.File("trace.json");
    const auto json = RunProcess({KELPORT_DEMO}, {"JUZAD_TRACE_FORMAT=json", "JUZAD_TRACE_SINK=file:" + path});
    EXPECT_EQ(0, json.exitCode);
    EXPECT_EQ("", json.err);
    std::vector<std::string> texts;
    std::istringstream lines(ReadFile(path));
    for (std::string line; std::getline(lines, line);) {
        const auto object = nlohmann::json::parse(line);
        EXPECT_EQ("KelDebug", object["file"]);
        texts.push_back(object["text"]);
    }
    EXPECT_THAT(texts, ElementsAre("KelPort demonstration: tracing is on\n", testing::MatchesRegex(report)));
}
