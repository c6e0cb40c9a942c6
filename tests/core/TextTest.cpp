// Text helpers: the numeric value of a piece of a date and the splitting of
// a file into lines.
#include <gtest/gtest.h>

#include "core/Text.h"

namespace velmora {
namespace {

TEST(NumericValue, ReadsTheNumberAtTheStartOfAPiece) {
    struct Row {
        const char* piece;
        double value;
    } rows[] = {
        {"5/", 5},    {"/5", 0},   {".5", 0.5},    {"-1", -1},   {"", 0},
        {"  12", 12}, {"1 2", 12}, {"2024", 2024}, {"20a4", 20}, {"1.2.3", 1.2},
        {"+7", 7},    {"1e10", 1}, {"´5", 0},      {"-", 0},     {"0025", 25},
    };
    for (const auto& r : rows) EXPECT_DOUBLE_EQ(numericValue(r.piece), r.value) << r.piece;
}

TEST(SplitLines, HandlesCrLfLfBomAndLastLineWithoutEnd) {
    using V = std::vector<std::string>;
    EXPECT_EQ(splitLines("a\r\nb\r\n"), (V{"a", "b"}));
    EXPECT_EQ(splitLines("a\nb"), (V{"a", "b"}));
    EXPECT_EQ(splitLines("\xEF\xBB\xBF"
                         "a\n\nc\n"),
              (V{"a", "", "c"}));
    EXPECT_EQ(splitLines("a\rb\n"), (V{"a\rb"}));
    EXPECT_EQ(splitLines(""), V{});
    EXPECT_EQ(splitLines("\r\n"), V{""});
}

}  // namespace
}  // namespace velmora
