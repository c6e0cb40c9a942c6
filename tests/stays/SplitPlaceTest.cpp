// The place splitter on the texts a birth place column holds: all four parts
// of each text, the "***" marker, texts with no, one or doubled blanks.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "stays/SplitPlace.h"

namespace velmora {
namespace {

struct SplitRow {
    const char* rule;
    std::string text;
    std::array<std::string, 4> parts;
};

const SplitRow kSplitRows[] = {
    {"two place words and two more",
     "PIAZZA ARMERINA EN I",
     {"I", "PIAZZA ARMERINA EN", "EN", "PIAZZA ARMERINA"}},
    {"one place word and two more", "CATANIA CT I", {"I", "CATANIA CT", "CT", "CATANIA"}},
    {"one blank only: part 3 empty", "CATANIA CT", {"CT", "CATANIA", "ATANIA", ""}},
    {"no blank: first character and the rest", "CATANIA", {"ATANIA", "C", "C", ""}},
    {"one character", "X", {"", "X", "X", ""}},
    {"outer blanks make no difference", "  CATANIA CT I ", {"I", "CATANIA CT", "CT", "CATANIA"}},
    {"two blanks in a row count twice", "A  B C", {"C", "A  B", "B", "A"}},
    {"two blanks before the last word", "AB  C", {"C", "AB", "", "AB"}},
    {"only the blank separates words", "CATANIA\tCT I", {"I", "CATANIA\tCT", "ATANIA\tCT", ""}},
    {"the marker gives nothing", "***", {"", "", "", ""}},
    {"the marker with outer blanks gives nothing", "  ***  ", {"", "", "", ""}},
    {"empty text", "", {"", "", "", ""}},
    {"blanks only", "   ", {"", "", "", ""}},
    {"four asterisks are no marker", "****", {"***", "*", "*", ""}},
    {"two asterisks, blank, asterisk", "** *", {"*", "**", "*", ""}},
    {"three asterisks, blank, asterisk", "*** *", {"*", "***", "**", ""}},
};

TEST(SplitPlaceTest, PartsOfEachText) {
    for (const auto& row : kSplitRows) {
        for (int part = 0; part < 4; ++part) {
            EXPECT_EQ(SplitPlace(row.text, part), row.parts[static_cast<std::size_t>(part)])
                << row.rule << ": part " << part << " of \"" << row.text << "\"";
        }
    }
}

TEST(SplitPlaceTest, PartOutsideZeroToThreeIsEmpty) {
    for (int part : {4, -1, 100}) {
        EXPECT_EQ(SplitPlace("PIAZZA ARMERINA EN I", part), "") << "part " << part;
    }
}

TEST(SplitPlaceTest, LongTextWithoutBlankHasEmptyPlace) {
    const std::string text(100000, 'A');
    EXPECT_EQ(SplitPlace(text, 3), "");
    EXPECT_EQ(SplitPlace(text, 0), text.substr(1));
}

}  // namespace
}  // namespace velmora
