#include <gtest/gtest.h>

#include "core/LocalTime.h"
#include "core/Text.h"

namespace velmora {
namespace {

TEST(NumericValue, ReadsTheNumberAtTheStartOfAPiece) {
    struct Row {
        const char* piece;
        double value;
    } rows[] = {
        {"5/", 5},   {"/5", 0},     {".5", 0.5},  {"-1", -1},     {"", 0},     {"  12", 12},
        {"1 2", 12}, {"2024", 2024}, {"20a4", 20}, {"1.2.3", 1.2}, {"+7", 7},   {"1e10", 1},
        {"´5", 0},   {"-", 0},       {"0025", 25},
    };
    for (const auto& r : rows) EXPECT_DOUBLE_EQ(numericValue(r.piece), r.value) << r.piece;
}

TEST(TrimBlanks, RemovesOnlyBlanksAtBothEnds) {
    EXPECT_EQ(trimBlanks("  CATANIA CT I  "), "CATANIA CT I");
    EXPECT_EQ(trimBlanks("   "), "");
    EXPECT_EQ(trimBlanks("\tX\t"), "\tX\t");
}

TEST(Mid, ClipsLikeMid) {
    EXPECT_EQ(mid("20240315", 3, 2), "24");
    EXPECT_EQ(mid("abc", 3, 5), "c");
    EXPECT_EQ(mid("abc", 4, 1), "");
    EXPECT_EQ(mid("abc", 0, 1), "");
}

TEST(SplitLines, HandlesCrLfLfBomAndLastLineWithoutEnd) {
    using V = std::vector<std::string>;
    EXPECT_EQ(splitLines("a\r\nb\r\n"), (V{"a", "b"}));
    EXPECT_EQ(splitLines("a\nb"), (V{"a", "b"}));
    EXPECT_EQ(splitLines("\xEF\xBB\xBF" "a\n\nc\n"), (V{"a", "", "c"}));
    EXPECT_EQ(splitLines("a\rb\n"), (V{"a\rb"}));
    EXPECT_EQ(splitLines(""), V{});
    EXPECT_EQ(splitLines("\r\n"), V{""});
}

TEST(UpperCase, CoversAsciiAndLatinLetters) {
    EXPECT_EQ(upperCaseUtf8("abc'è÷ÿ1"), "ABC'È÷ÿ1");
}

TEST(Stamps, AreZeroPadded) {
    LocalTime t{2026, 3, 5, 4, 7, 9};
    EXPECT_EQ(stamp12(t), "202603050407");
    EXPECT_EQ(stamp14(t), "20260305040709");
    EXPECT_EQ(dayText(t), "05/03/2026");
}

}  // namespace
}  // namespace velmora
