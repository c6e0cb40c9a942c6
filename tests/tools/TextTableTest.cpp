// The text table format: header types, field splitting without trimming,
// escapes, Null against empty text, and errors that name file and line.
#include <gtest/gtest.h>

#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "jetwrite/JetWriter.h"
#include "support/TempDir.h"

namespace velmora::jetwrite {
namespace {

using Rows = std::vector<std::vector<Cell>>;

// A test name from a rule: "fields are never trimmed" -> "fields_are_never_trimmed".
std::string caseName(const char* rule) {
    std::string name;
    for (const char* p = rule; *p; ++p) {
        const bool alnum =
            (*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z') || (*p >= '0' && *p <= '9');
        name += alnum ? *p : '_';
    }
    return name;
}
const Cell kNull = std::nullopt;

struct ParseCase {
    const char* rule;
    std::string text;
    Rows rows;
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.rule; }

class ParseRows : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseRows, GivesTheCells) {
    const ParseCase& c = GetParam();
    Table table = parseTextTable(c.text, "T", "t.txt");
    EXPECT_EQ(table.name, "T");
    EXPECT_EQ(table.rows, c.rows);
}

const std::string kTwoText = "A:Text(10)|B:Text(10)\n";
const std::string kTextLong = "A:Text(10)|N:Long\n";

INSTANTIATE_TEST_SUITE_P(
    TextTable, ParseRows,
    testing::Values(
        ParseCase{"fields are never trimmed", kTwoText + " | x \n", {{" ", " x "}}},
        ParseCase{"empty text field is empty text, not Null", kTwoText + "|\n", {{"", ""}}},
        ParseCase{"empty number field is Null", kTextLong + "a|\n", {{"a", kNull}}},
        ParseCase{
            "backslash N alone is Null in any column", kTextLong + "\\N|\\N\n", {{kNull, kNull}}},
        ParseCase{"escapes resolve", kTwoText + "a\\|b\\\\c|\\t\\r\\n\n", {{"a|b\\c", "\t\r\n"}}},
        ParseCase{"escaped hash starts a row instead of a comment",
                  kTwoText + "\\#1|#2\n",
                  {{"#1", "#2"}}},
        ParseCase{"comments and empty lines are skipped anywhere",
                  "# head\n\n" + kTwoText + "# mid\n\na|b\n\n# end\n",
                  {{"a", "b"}}},
        ParseCase{"CR LF line ends are dropped, inner CR kept",
                  "A:Text(10)|B:Text(10)\r\na\rb|c\r\n",
                  {{"a\rb", "c"}}},
        ParseCase{"a last line without LF counts", kTwoText + "a|b", {{"a", "b"}}},
        ParseCase{"byte order mark before the header is dropped",
                  "\xEF\xBB\xBF" + kTwoText + "a|b\n",
                  {{"a", "b"}}},
        ParseCase{"accented text counts characters, not bytes",
                  "A:Text(5)\n\xC3\xA0\xC3\xA8\xC3\xAC\xC3\xB2\xC3\xB9\n",
                  {{"\xC3\xA0\xC3\xA8\xC3\xAC\xC3\xB2\xC3\xB9"}}},
        ParseCase{"numbers at the ends of their ranges",
                  "L:Long|I:Integer|D:Double\n-2147483648|-32768|-1.7976931348623157e308\n"
                  "2147483647|32767|4.9e-324\n",
                  {{"-2147483648", "-32768", "-1.7976931348623157e308"},
                   {"2147483647", "32767", "4.9e-324"}}},
        ParseCase{"header only gives no rows", kTwoText, {}}),
    [](const testing::TestParamInfo<ParseCase>& info) { return caseName(info.param.rule); });

struct ErrorCase {
    const char* rule;
    std::string text;
    std::string message;  // the whole message starts with this
};

void PrintTo(const ErrorCase& c, std::ostream* os) { *os << c.rule; }

class ParseErrors : public testing::TestWithParam<ErrorCase> {};

TEST_P(ParseErrors, NameFileAndLine) {
    const ErrorCase& c = GetParam();
    try {
        parseTextTable(c.text, "T", "guests.txt");
        FAIL() << c.rule << ": no error";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()).substr(0, c.message.size()), c.message)
            << c.rule << ": " << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    TextTable, ParseErrors,
    testing::Values(
        ErrorCase{"no header", "# only a comment\n\n", "guests.txt: no header line"},
        ErrorCase{"unknown type", "# c\nA:Text(3)|B:Memo\n",
                  "guests.txt:2: bad column type \"Memo\""},
        ErrorCase{"text size 256", "A:Text(256)\n", "guests.txt:1: bad text size"},
        ErrorCase{"header item without type", "A:Long|B\n", "guests.txt:1: header item \"B\""},
        ErrorCase{"duplicate column ignoring case", "Nr:Long|NR:Long\n",
                  "guests.txt:1: column NR appears twice"},
        ErrorCase{"empty column name", "A:Long|:Long\n", "guests.txt:1: empty column name"},
        ErrorCase{"too few fields", "A:Long|B:Long\n1|2\n3\n",
                  "guests.txt:3: 1 fields where the header has 2"},
        ErrorCase{"too many fields", "A:Long|B:Long\n1|2|\n",
                  "guests.txt:2: 3 fields where the header has 2"},
        ErrorCase{"text longer than its size", "A:Text(3)\n# x\nabcd\n",
                  "guests.txt:3: column A: text of 4 characters, longer than Text(3)"},
        ErrorCase{"Long out of range", "A:Long\n2147483648\n",
                  "guests.txt:2: column A: Long out of range"},
        ErrorCase{"Integer out of range", "A:Integer\n-32769\n",
                  "guests.txt:2: column A: Integer out of range"},
        ErrorCase{"blank in a number", "A:Long\n 1\n",
                  "guests.txt:2: column A: not a whole number"},
        ErrorCase{"decimal comma in a Double", "A:Double\n0,3\n",
                  "guests.txt:2: column A: not a number"},
        ErrorCase{"infinite Double", "A:Double\ninf\n", "guests.txt:2: column A: not a number"},
        ErrorCase{"Double beyond its range", "A:Double\n1e999\n",
                  "guests.txt:2: column A: Double out of range"},
        ErrorCase{"unknown escape", "A:Text(5)\na\\x\n", "guests.txt:2: unknown escape \\x"},
        ErrorCase{"lone backslash at the end", "A:Text(5)\na\\\n",
                  "guests.txt:2: a lone backslash ends the line"},
        ErrorCase{"backslash N inside a longer field", "A:Text(5)\nx\\N\n",
                  "guests.txt:2: \\N must stand alone"},
        ErrorCase{"invalid UTF-8", "A:Text(5)\n\xC3(\n",
                  "guests.txt:2: column A: text is not valid UTF-8"},
        ErrorCase{"character beyond U+FFFF", "A:Text(5)\n\xF0\x9F\x98\x80\n",
                  "guests.txt:2: column A: text holds a character beyond U+FFFF"}),
    [](const testing::TestParamInfo<ErrorCase>& info) { return caseName(info.param.rule); });

TEST(TextTable, ReadTextTableNamesTheFile) {
    test::TempDir dir;
    dir.write("codes.txt", "Tipo:Integer|Descrizione:Text(50)\n0|ITALIA\nx|FRANCIA\n");
    try {
        readTextTable(dir / "codes.txt", "CodiciVari");
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(
            std::string(e.what()).rfind(dir / "codes.txt:3: column Tipo: not a whole number", 0),
            0u)
            << e.what();
    }
    EXPECT_THROW(readTextTable(dir / "missing.txt", "T"), std::runtime_error);
}

}  // namespace
}  // namespace velmora::jetwrite
