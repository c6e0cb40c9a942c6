// Databases written by the Jet writer, read back through libmdb: values with
// Null told from empty text, exact numbers, row order across pages and both
// kinds of usage map, several tables, long definitions, and refused input.
#include <glib.h>
#include <gtest/gtest.h>
// glib first: mdbtools.h relies on its types.
#include <mdbtools.h>

#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "MdbReader.h"
#include "jetwrite/JetWriter.h"
#include "support/TempDir.h"

namespace velmora::jetwrite {
namespace {

using test::MdbTableContent;
using test::readMdbTable;
using ReadRows = std::vector<std::vector<std::optional<std::string>>>;
const Cell kNull = std::nullopt;

// The rows as libmdb should give them back: Doubles in their shortest form.
ReadRows expectedRows(const Table& table) {
    ReadRows rows;
    for (const std::vector<Cell>& row : table.rows) {
        std::vector<std::optional<std::string>> out(row.begin(), row.end());
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (table.columns[i].type != ColumnType::Double || !row[i]) continue;
            double value = 0;
            std::from_chars(row[i]->data(), row[i]->data() + row[i]->size(), value);
            out[i] = test::canonicalDouble(value);
        }
        rows.push_back(std::move(out));
    }
    return rows;
}

std::string repeat(std::string_view piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += piece;
    return out;
}

// Largest row count found on any data page of the file.
unsigned maxRowsOnADataPage(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    unsigned most = 0;
    for (std::size_t page = 4096; page + 4096 <= bytes.size(); page += 4096) {
        if (bytes[page] != 0x01) continue;
        unsigned rows = static_cast<unsigned char>(bytes[page + 12]) |
                        static_cast<unsigned char>(bytes[page + 13]) << 8;
        most = std::max(most, rows);
    }
    return most;
}

TEST(JetWriter, ValuesSurviveLibmdb) {
    Table table{"Scheda_Cliente",
                {{"Nome", ColumnType::Text, 255},
                 {"Sigla", ColumnType::Text, 2},
                 {"Nr", ColumnType::Long},
                 {"Camera", ColumnType::Integer},
                 {"Tariffa", ColumnType::Double}},
                {}};
    struct Row {
        const char* rule;
        std::vector<Cell> cells;
    };
    const std::vector<Row> rows = {
        {"Null in every column", {kNull, kNull, kNull, kNull, kNull}},
        {"empty text is not Null", {"", "", "0", "0", "0"}},
        {"one blank stays one blank", {" ", " ", "1", "1", "1"}},
        {"accented Latin text (compressed form)",
         {"Cefal\xC3\xB9 citt\xC3\xA0 perch\xC3\xA9 \xC3\x9F \xC3\xB1", "\xC3\xA8", "2", "2",
          "2.5"}},
        {"apostrophe, ampersand and angle brackets",
         {"SANT'AGATA DI MILITELLO & <D'ANGELO>", "'&", "3", "3", "-0.3"}},
        {"text beyond Latin-1 (UCS-2 form)",
         {"\xCE\x95\xCE\xBB\xCE\xBB\xCE\xAC\xCE\xB4\xCE\xB1 \xE2\x82\xAC 10 \xE2\x80\x93 x",
          "\xE2\x82\xAC", "4", "4", "0.1"}},
        {"two characters are stored uncompressed", {"ab", "ab", "5", "5", "1e10"}},
        {"tab, CR and LF inside text", {"a\tb\rc\nd", "\t\n", "6", "6", "-0"}},
        {"text starting with U+FEFF",
         {"\xEF\xBB\xBFZERO WIDTH", "x", "7", "7", "123456789.12345679"}},
        {"255 Latin characters", {repeat("\xC3\xA0", 255), "zz", "8", "8", "4.9e-324"}},
        {"255 characters beyond Latin-1",
         {repeat("\xE2\x82\xAC", 255), "zz", "9", "9", "2.2250738585072014e-308"}},
        {"smallest numbers", {"min", "-", "-2147483648", "-32768", "-1.7976931348623157e308"}},
        {"largest numbers", {"max", "+", "2147483647", "32767", "1.7976931348623157e308"}},
    };
    for (const Row& row : rows) table.rows.push_back(row.cells);

    test::TempDir dir;
    writeDatabase(dir / "db.mdb", std::vector<Table>{table});
    MdbTableContent content = readMdbTable(dir / "db.mdb", "Scheda_Cliente");

    const std::vector<test::MdbColumnInfo> columns = {{"Nome", MDB_TEXT, 510},
                                                      {"Sigla", MDB_TEXT, 4},
                                                      {"Nr", MDB_LONGINT, 4},
                                                      {"Camera", MDB_INT, 2},
                                                      {"Tariffa", MDB_DOUBLE, 8}};
    ASSERT_EQ(content.columns.size(), columns.size());
    for (std::size_t i = 0; i < columns.size(); ++i) {
        EXPECT_EQ(content.columns[i].name, columns[i].name);
        EXPECT_EQ(content.columns[i].type, columns[i].type) << columns[i].name;
        EXPECT_EQ(content.columns[i].size, columns[i].size) << columns[i].name;
    }
    EXPECT_EQ(content.declaredRows, rows.size());
    const ReadRows expected = expectedRows(table);
    ASSERT_EQ(content.rows.size(), expected.size());
    for (std::size_t r = 0; r < rows.size(); ++r) {
        EXPECT_EQ(content.rows[r], expected[r]) << rows[r].rule;
    }
}

struct LayoutCase {
    const char* rule;
    int rows;
    int textLength;
    int mapType;
};

void PrintTo(const LayoutCase& c, std::ostream* os) { *os << c.rule; }

class RowOrder : public testing::TestWithParam<LayoutCase> {};

// Row i holds i and a text starting with i; read back in the same order.
TEST_P(RowOrder, IsTheOrderWritten) {
    const LayoutCase& c = GetParam();
    Table table{"T", {{"Nr", ColumnType::Long}, {"Testo", ColumnType::Text, 255}}, {}};
    for (int i = 0; i < c.rows; ++i) {
        Cell text;  // Null when textLength is 0: the smallest rows
        if (c.textLength > 0) {
            text = std::to_string(i);
            text->resize(static_cast<std::size_t>(c.textLength), static_cast<char>('a' + i % 26));
        }
        table.rows.push_back({std::to_string(i), text});
    }
    test::TempDir dir;
    writeDatabase(dir / "db.mdb", std::vector<Table>{table});
    MdbTableContent content = readMdbTable(dir / "db.mdb", "T");
    EXPECT_EQ(content.usageMapType, c.mapType);
    EXPECT_EQ(content.declaredRows, static_cast<unsigned>(c.rows));
    EXPECT_EQ(content.rows, expectedRows(table));
    EXPECT_LE(maxRowsOnADataPage(dir / "db.mdb"), 255u);
}

INSTANTIATE_TEST_SUITE_P(
    JetWriter, RowOrder,
    testing::Values(LayoutCase{"empty_table", 0, 10, 0}, LayoutCase{"one_page", 10, 10, 0},
                    LayoutCase{"at_most_255_rows_a_page", 1000, 0, 0},
                    LayoutCase{"inline_map_over_hundreds_of_pages", 8000, 200, 0},
                    LayoutCase{"bitmap_pages_beyond_the_inline_map", 20000, 200, 1}),
    [](const testing::TestParamInfo<LayoutCase>& info) { return info.param.rule; });

// One row a page, past the 32,736 pages the first bitmap page of a type 1
// usage map covers.
TEST(JetWriter, RowOrderPastTheFirstBitmapPage) {
    constexpr int kRows = 33000;
    Table table{"T", {{"Nr", ColumnType::Long}}, {}};
    for (int c = 0; c < 8; ++c)
        table.columns.push_back({"S" + std::to_string(c), ColumnType::Text, 255});
    const std::string wide = repeat("\xE2\x82\xAC", 250);  // 500 bytes stored
    for (int i = 0; i < kRows; ++i) {
        table.rows.push_back(std::vector<Cell>(9, wide));
        table.rows.back()[0] = std::to_string(i);
    }
    test::TempDir dir;
    writeDatabase(dir / "db.mdb", std::vector<Table>{table});
    table.rows.clear();
    EXPECT_GT(std::filesystem::file_size(dir / "db.mdb"), 32736u * 4096u);
    MdbTableContent content = readMdbTable(dir / "db.mdb", "T", 1);
    EXPECT_EQ(content.usageMapType, 1);
    ASSERT_EQ(content.rows.size(), static_cast<std::size_t>(kRows));
    for (int i = 0; i < kRows; ++i) {
        ASSERT_EQ(content.rows[i][0], std::to_string(i));
        ASSERT_EQ(content.rows[i][1], wide) << "row " << i;
    }
}

// More tables than the first map page has rows for.
TEST(JetWriter, ManyTables) {
    std::vector<Table> tables;
    std::vector<std::string> names;
    for (int t = 0; t < 40; ++t) {
        names.push_back("Tabella" + std::to_string(t));
        tables.push_back(
            {names.back(), {{"N", ColumnType::Long}}, {{std::to_string(t)}, {std::to_string(-t)}}});
    }
    test::TempDir dir;
    writeDatabase(dir / "db.mdb", tables);
    EXPECT_EQ(test::mdbUserTables(dir / "db.mdb"), names);
    for (const Table& table : tables) {
        EXPECT_EQ(readMdbTable(dir / "db.mdb", table.name).rows, expectedRows(table)) << table.name;
    }
}

TEST(JetWriter, SeveralTablesInOneFile) {
    const std::vector<Table> tables = {
        {"Scheda_Cliente",
         {{"NumeroProgressivo", ColumnType::Long}, {"DataArrivo", ColumnType::Text, 8}},
         {{"4501", "20260302"}, {"4502", " "}}},
        {"CodiciVari",
         {{"Tipo", ColumnType::Integer}, {"Descrizione", ColumnType::Text, 50}},
         {{"3", "SANT'AGATA DI MILITELLO"}, {"0", "GERMANIA"}, {"2", kNull}}},
        {"Vuota", {{"X", ColumnType::Double}}, {}},
    };
    test::TempDir dir;
    writeDatabase(dir / "db.mdb", tables);
    EXPECT_EQ(test::mdbUserTables(dir / "db.mdb"),
              (std::vector<std::string>{"Scheda_Cliente", "CodiciVari", "Vuota"}));
    for (const Table& table : tables) {
        EXPECT_EQ(readMdbTable(dir / "db.mdb", table.name).rows, expectedRows(table)) << table.name;
    }
}

TEST(JetWriter, DefinitionLongerThanAPageContinues) {
    Table table{"Wide", {}, {{}, {}}};
    const ColumnType types[] = {ColumnType::Text, ColumnType::Long, ColumnType::Integer,
                                ColumnType::Double};
    for (int i = 0; i < 255; ++i) {
        std::string name = "C" + std::to_string(i) + "_";
        name += std::string(64 - name.size(), 'x');
        table.columns.push_back({name, types[i % 4], 10});
        table.rows[0].push_back(std::to_string(i));
        table.rows[1].push_back(i % 3 == 0 ? kNull : Cell(std::to_string(-i)));
    }
    test::TempDir dir;
    writeDatabase(dir / "db.mdb", std::vector<Table>{table});
    MdbTableContent content = readMdbTable(dir / "db.mdb", "Wide");
    ASSERT_EQ(content.columns.size(), 255u);
    for (int i = 0; i < 255; ++i) EXPECT_EQ(content.columns[i].name, table.columns[i].name);
    EXPECT_EQ(content.rows, expectedRows(table));
}

struct RefusalCase {
    const char* rule;
    std::vector<Table> tables;
    std::string message;  // the error message starts with this
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.rule; }

class Refusals : public testing::TestWithParam<RefusalCase> {};

// A refused database leaves the file that was there untouched.
TEST_P(Refusals, NameTheCauseAndKeepTheOldFile) {
    const RefusalCase& c = GetParam();
    test::TempDir dir;
    dir.write("db.mdb", "old content");
    try {
        writeDatabase(dir / "db.mdb", c.tables);
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()).substr(0, c.message.size()), c.message) << e.what();
    }
    EXPECT_EQ(dir.read("db.mdb"), "old content");
    EXPECT_FALSE(std::filesystem::exists(dir / "db.mdb.partial"));
}

const std::vector<Column> kOneLong = {{"N", ColumnType::Long}};

INSTANTIATE_TEST_SUITE_P(
    JetWriter, Refusals,
    testing::Values(
        RefusalCase{"bad_number",
                    {{"T", kOneLong, {{"1"}, {"x"}}}},
                    "table T, row 2: column N: not a whole number: \"x\""},
        RefusalCase{"empty_text_is_no_number",
                    {{"T", kOneLong, {{""}}}},
                    "table T, row 1: column N: not a whole number"},
        RefusalCase{"text_longer_than_its_column",
                    {{"T", {{"S", ColumnType::Text, 2}}, {{"abc"}}}},
                    "table T, row 1: column S: text of 3 characters, longer than Text(2)"},
        RefusalCase{"same_column_twice_ignoring_case",
                    {{"T", {{"Nome", ColumnType::Long}, {"NOME", ColumnType::Long}}, {}}},
                    "table T: column NOME appears twice"},
        RefusalCase{"cells_do_not_match_columns",
                    {{"T", kOneLong, {{"1", "2"}}}},
                    "table T, row 1: 2 cells where the table has 1 columns"},
        RefusalCase{"same_table_twice_ignoring_case",
                    {{"Codici", kOneLong, {}}, {"CODICI", kOneLong, {}}},
                    "table CODICI appears twice"},
        RefusalCase{"system_table_name",
                    {{"MSysQueries", kOneLong, {}}},
                    "table MSysQueries: names starting with MSys"},
        RefusalCase{"name_Jet_refuses",
                    {{"T", {{"A.B", ColumnType::Long}}, {}}},
                    "table T: column name holds a character Jet does not allow"},
        RefusalCase{
            "table_without_columns", {{"T", {}, {}}}, "table T: a table has 1 to 255 columns"},
        RefusalCase{"text_size_out_of_range",
                    {{"T", {{"S", ColumnType::Text, 0}}, {}}},
                    "table T: column S: Text size 0 is not in 1..255"}),
    [](const testing::TestParamInfo<RefusalCase>& info) { return info.param.rule; });

TEST(JetWriter, RowLargerThanAPageIsRefused) {
    Table table{"T", {}, {{}}};
    for (int i = 0; i < 9; ++i) {
        table.columns.push_back({"S" + std::to_string(i), ColumnType::Text, 255});
        table.rows[0].push_back(repeat("\xE2\x82\xAC", 255));  // 510 bytes each
    }
    test::TempDir dir;
    try {
        writeDatabase(dir / "db.mdb", std::vector<Table>{table});
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("table T, row 1: column S7: the row needs", 0), 0u)
            << e.what();
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "db.mdb"));
}

TEST(JetWriter, UnwritablePlaceIsAnError) {
    test::TempDir dir;
    EXPECT_THROW(writeDatabase(dir / "missing/db.mdb", std::vector<Table>{{"T", kOneLong, {}}}),
                 std::runtime_error);
}

}  // namespace
}  // namespace velmora::jetwrite
