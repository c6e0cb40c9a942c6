// Text helpers: the numeric value of a piece of a date, the splitting of a
// file into lines, and text shown on a terminal with its controls escaped.
#include <gtest/gtest.h>

#include "core/TerminalText.h"
#include "core/Text.h"
#include "support/Support.h"

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

struct EscapeRow {
    const char* rule;
    std::string text;
    std::string shown;
};

const EscapeRow kEscapeRows[] = {
    {"esc sequence in a name",
     "ROSSI\x1b]0;x\x07"
     "A",
     "ROSSI\\x1B]0;x\\x07A"},
    {"cr lf tab and text kept", "a\r\n\tè€😀", "a\r\n\tè€😀"},
    {"lone cr del and nul",
     std::string("a\rb\x7f"
                 "c\0d",
                 7),
     "a\\x0Db\\x7Fc\\x00d"},
    {"c1 control",
     "12\xc2\x85"
     "A\xc2\xa0",
     "12\\u0085A\xc2\xa0"},
};

class TerminalText : public ::testing::TestWithParam<EscapeRow> {};

TEST_P(TerminalText, ControlCharactersAreShownEscaped) {
    EXPECT_EQ(terminalSafe(GetParam().text), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(Core, TerminalText, ::testing::ValuesIn(kEscapeRows), test::RuleName());

}  // namespace
}  // namespace velmora
