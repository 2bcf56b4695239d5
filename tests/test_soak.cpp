// Eight threads, 100,000 calls each, at debug level 4 into the JSON file sink: afterwards
// every record is in the file once and whole.
#include <fstream>
#include <map>
#include <string>
#include <unordered_set>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "support/Support.h"

TEST(Soak, EightThreadsLeaveEveryRecordOnceAndWhole)
{
    const int threads = 8;
    const int calls = 100000;
    TempDir dir;
    const std::string path = dir.File("soak.json");
    const auto run = RunProgram({KELPORT_SOAK, std::to_string(threads), std::to_string(calls)},
                                {"JUZAD_TRACE_SINK=file:" + path, "JUZAD_TRACE_FORMAT=json"});
    ASSERT_EQ(0, run.exitCode) << run.err;
    EXPECT_EQ("", run.err);
    const long expected = std::stol(run.out);

    // Texts that carry a call's own number must each come once; the rest come once per call
    // of their kind.
    std::unordered_set<std::string> unique;
    std::map<std::string, long> repeated;
    long records = 0;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line); ++records) {
        const auto record = nlohmann::json::parse(line, nullptr, false);
        ASSERT_FALSE(record.is_discarded()) << "record " << records << " is not whole: " << line;
        const std::string text = record["text"];
        const bool carriesNumber =
            text.rfind("../KelThreads:", 0) == 0 || text.find("../soak") != std::string::npos;
        if (carriesNumber) {
            ASSERT_TRUE(unique.insert(text).second) << "twice: " << text;
        } else {
            ++repeated[text.rfind("KelGetSocketPacketLength(", 0) == 0 ? "KelGetSocketPacketLength(fd)"
                                                                       : text];
        }
    }
    EXPECT_EQ(expected, records);
    const long rounds = static_cast<long>(threads) * calls / 5;
    EXPECT_EQ(static_cast<std::size_t>(rounds * 3), unique.size());  // two per KelMaxThreads, one per report
    const std::map<std::string, long> perRound = {
        {"KelGetSocketPacketLength(fd)", 1},
        {"KelIoctl()\n", 1},
        {"KelIoctl_PktLen()\n", 1},
        {"KelGetIPStr()\n", 2},
        {"CKelEtherHeader::CKelEtherHeader\n", 1},
        {"u_short CKelEtherHeader::KEHGetEtherType( void )\n", 1},
        {"CKelEtherHeader::KEHGetEtherType = 2048\n", 1},
        {"CKelEtherHeader Destructor!\n", 1},
    };
    for (const auto& [text, count] : perRound) {
        EXPECT_EQ(rounds * count, repeated[text]) << text;
    }
    EXPECT_EQ(perRound.size(), repeated.size());
}
