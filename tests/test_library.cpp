// The built library as a program meets it: loaded, used and unloaded at run time.
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "JuZadTrc.h"
#include "support/Subprocess.h"
#include "support/System.h"

using testing::ElementsAre;
using testing::HasSubstr;

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
    return reinterpret_cast<T*>(LibrarySymbol(library, name));
}

}  // namespace

TEST(Library, BuildsItsTraceObjectsAtLoadAndDestroysThemInReverseAtUnload)
{
    std::vector<Event> events;
    JuZadTrc::SetObjectHandler([&events](const JuZadTrc::ObjectEvent& e) {
        events.push_back({e.component, e.category, e.alive});
    });

    void* library = OpenLibrary(KELPORT_LIBRARY);
    ASSERT_NE(nullptr, library);
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
    ASSERT_TRUE(CloseLibrary(library));
    EXPECT_THAT(events, ElementsAre(Event{"Memory Usage", JuZadTrc::fResMgmt_k, false},
                                    Event{"ZeltaDiscovery", JuZadTrc::fTrace_k, false}));
    JuZadTrc::SetObjectHandler(nullptr);
}

// What a program linked with the library sees with no configuration, and with the JSON file
// sink.
TEST(Library, DemonstrationReportsOnStandardErrorOrIntoAJsonFile)
{
    const std::string report = "Be aware : Given socket descriptor is invalid. in ../demo at line N.\nthe descriptor was closed\n";
    const auto plain = RunProcess({KELPORT_DEMO});
    EXPECT_EQ(0, plain.exitCode);
    EXPECT_THAT(MaskNumbers(plain.err, {"pid ", "tid ", "line "}),
                HasSubstr("[ZeltaDiscovery] [Trace] [pid N tid N] KelDebug:83 " + report));
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
        texts.push_back(MaskNumbers(object["text"], {"line "}));
    }
    EXPECT_THAT(texts, ElementsAre("KelPort demonstration: tracing is on\n", report));
}
