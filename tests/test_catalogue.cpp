#include <array>
#include <cstring>

#include <gtest/gtest.h>

#include "KelErrorDB.h"

TEST(Catalogue, EachEntrySitsAtItsCodesIndex)
{
    ASSERT_EQ(164, kelErrorCount);
    ASSERT_EQ(164u, sizeof kelErrorDB / sizeof kelErrorDB[0]);
    for (int i = 0; i < kelErrorCount; ++i) {
        EXPECT_EQ(-220566 + i, kelErrorDB[i].S_Code) << "index " << i;
        ASSERT_NE(nullptr, kelErrorDB[i].S_Errstring) << "index " << i;
        EXPECT_EQ(nullptr, std::strchr(kelErrorDB[i].S_Errstring, '\n')) << "index " << i;
    }
}

TEST(Catalogue, SeverityCounts)
{
    std::array<int, 4> counts{};
    for (const auto& entry : kelErrorDB) {
        ASSERT_GE(entry.S_Level, E_KESInfo);
        ASSERT_LE(entry.S_Level, E_KESExit);
        ++counts[entry.S_Level];
    }
    EXPECT_EQ(52, counts[E_KESInfo]);
    EXPECT_EQ(49, counts[E_KESSick]);
    EXPECT_EQ(54, counts[E_KESFatal]);
    EXPECT_EQ(9, counts[E_KESExit]);
}

// The ends, and messages whose blanks and spelling are easy to lose. (The entries that the
// library raises itself are checked through their exact reports elsewhere.)
TEST(Catalogue, MessagesAreKeptExactly)
{
    struct Case {
        int code;
        __errsev severity;
        const char* message;
    };
    const Case cases[] = {
        {-220566, E_KESFatal, "Duplicate Object Upon Insertion"},
        {-220403, E_KESSick, "A bus error occurred."},
        {-220556, E_KESFatal, "Missing node ????"},
        {-220527, E_KESFatal, "QEVA has an inconsistent store .. definitely trouble at t'mill"},
        {-220493, E_KESFatal, "Record cache full.  Max number of objects is LLONG_MAX"},
        {-220449, E_KESSick, "A Discovery Stitcher definition filecould not be found."},
        {-220437, E_KESInfo, "The supplied record did not pass thgrough the filter."},
        {-220422, E_KESFatal, "A critical argument is missing. "},
        {-220420, E_KESSick, "An argument is missing. "},
        {-220407, E_KESSick, "An error was encountered whilst building the service from the database record. "},
    };
    for (const auto& c : cases) {
        const __errstruct& entry = kelErrorDB[c.code - kelFirstErrorCode];
        EXPECT_EQ(c.code, entry.S_Code);
        EXPECT_EQ(c.severity, entry.S_Level) << c.code;
        EXPECT_STREQ(c.message, entry.S_Errstring) << c.code;
    }
}
