#include <gtest/gtest.h>

#include <set>

#include "platform/bytetext.h"
#include "tags/genretable.h"

using tags::GenreCodeToName;
using tags::GenreNameToCode;

TEST(GenreTable, CodesAndNames)
{
    EXPECT_EQ(GenreCodeToName(0), "Blues");
    EXPECT_EQ(GenreCodeToName(147), "Synthpop");
    EXPECT_EQ(GenreCodeToName(148), "");
    EXPECT_EQ(GenreCodeToName(255), "");
    EXPECT_EQ(GenreNameToCode("Blues"), 0);
    EXPECT_EQ(GenreNameToCode("blues"), 255);
    EXPECT_EQ(GenreNameToCode(" Blues"), 255);
    EXPECT_EQ(GenreNameToCode(""), 255);
    // The table's own spellings.
    EXPECT_EQ(GenreNameToCode("Chiristian Rap"), 61);
    EXPECT_EQ(GenreNameToCode("Dardwave"), 50);
    EXPECT_EQ(GenreNameToCode("Latain"), 86);
    EXPECT_EQ(GenreNameToCode("ballad"), 116);
    EXPECT_EQ(GenreNameToCode("Electoronic"), 52);
}

TEST(GenreTable, RoundTripCoversEveryCodeOnce)
{
    for (int code = 0; code < 256; ++code) {
        const std::string name = GenreCodeToName(static_cast<std::uint8_t>(code));
        EXPECT_EQ(GenreNameToCode(name), code < 148 ? code : 255) << code;
    }
    std::set<std::string> folded;
    for (std::size_t i = 0; i < tags::GenreCount; ++i)
        folded.insert(platform::asciiUpper(tags::genreTable()[i].name));
    EXPECT_EQ(folded.size(), tags::GenreCount); // unique, also when case is ignored
}

TEST(GenreTable, ListOrderIsAlphabeticalWithTheFourExceptions)
{
    const std::vector<std::string> list = tags::genreListEntries();
    ASSERT_EQ(list.size(), 149u);
    EXPECT_EQ(list[0], "");
    EXPECT_EQ(list[1], "A Cappella");
    EXPECT_EQ(list[11], "ballad");
    EXPECT_EQ(list[18], "Blues");
    EXPECT_EQ(list[148], "Vocal");
    const std::set<std::pair<std::string, std::string>> exceptions = {
        {"Chorus", "Chiristian Gangsta Rap"},
        {"Drum&Bass", "Drum Solo"},
        {"Eurodance", "Euro-House"},
        {"Pop/Funk", "Pop-Folk"},
    };
    int seen = 0;
    for (std::size_t i = 2; i < list.size(); ++i) {
        const bool ordered = platform::asciiUpper(list[i - 1]) < platform::asciiUpper(list[i]);
        if (exceptions.count({list[i - 1], list[i]})) {
            EXPECT_FALSE(ordered) << list[i - 1] << " / " << list[i];
            ++seen;
        } else {
            EXPECT_TRUE(ordered) << list[i - 1] << " / " << list[i];
        }
    }
    EXPECT_EQ(seen, 4);
}
