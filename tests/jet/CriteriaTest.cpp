// The criteria language over a small in-memory table: the rows each rule
// selects, by a scan and through the indexes alike, and the errors of
// malformed texts with their positions.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "jet/Criteria.h"
#include "jet/CriteriaError.h"
#include "jet/TableSearch.h"
#include "support/Support.h"

namespace velmora::test {
namespace {

using test::operator<<;

using jet::ColumnKind;
using Cell = std::optional<std::string>;

std::shared_ptr<const jet::Table> sampleTable() {
    const std::pair<const char*, ColumnKind> columns[] = {
        {"Tipo", ColumnKind::Number},      {"Sigla", ColumnKind::Text},
        {"Descrizione", ColumnKind::Text}, {"DataFinoA", ColumnKind::Text},
        {"Nota", ColumnKind::Text},        {"Numero", ColumnKind::Number},
        {"Testo", ColumnKind::Text}};
    const std::vector<std::vector<Cell>> rows = {
        {"0", "I", "ITALIA", " ", std::nullopt, "1", "12"},
        {"3", "CT", "  CATANIA ", " ", "", "2.5", " 7 "},
        {"3", "ct", "città", "20001231", "x", std::nullopt, "abc"},
        {"2", "S ", "SANT'AGATA", std::nullopt, "S", "-3", ""},
        {"0", std::nullopt, "CITTÀ", "20240315", "À", "0", std::nullopt},
    };
    jet::TableBuilder builder("Prova");
    for (const auto& [column, kind] : columns) builder.addColumn(column, kind);
    for (const auto& row : rows) {
        builder.addRow();
        for (std::size_t c = 0; c < row.size(); ++c) {
            if (!row[c]) continue;
            if (columns[c].second == ColumnKind::Number)
                builder.setNumber(c, std::stod(*row[c]));
            else
                builder.setText(c, *row[c]);
        }
    }
    return builder.finish();
}

struct Rule {
    const char* rule;
    const char* criteria;
    std::vector<std::size_t> rows;
};

const Rule kRules[] = {
    {"and binds tighter than or", "Tipo = 0 or Tipo = 3 and Sigla = 'CT'", {0, 1, 2, 4}},
    {"parentheses group or before and", "(Tipo = 0 or Tipo = 3) and Sigla = 'CT'", {1, 2}},
    {"not binds tighter than and", "not Tipo = 3 and Sigla = 'I'", {0}},
    {"not binds looser than a comparison", "not Sigla = 'CT'", {0, 3}},
    {"comparison with Null is Null, so its negation does not match",
     "not (Sigla = 'X')",
     {0, 1, 2, 3}},
    {"<> with Null does not match", "Sigla <> 'I'", {1, 2, 3}},
    {"Null equals nothing, not even Null", "Sigla = Testo", {}},
    {"Null or true is true", "Sigla = 'X' or Tipo = 0", {0, 4}},
    {"Null or false is Null", "not (Sigla = 'X' or Tipo = 9)", {0, 1, 2, 3}},
    {"Null and true is Null", "not (Sigla = 'I' and Tipo = 0)", {1, 2, 3}},
    {"Null and false is false", "not (Sigla = 'I' and Tipo = 9)", {0, 1, 2, 3, 4}},
    {"Trim of Null is Null", "not (Trim(Nota) = 'q')", {1, 2, 3, 4}},
    {"empty text is not Null", "Nota = ''", {1}},
    {"text comparison ignores letter case", "Sigla = 'ct'", {1, 2}},
    {"accented letters fold to their capitals", "Descrizione = 'CITTÀ'", {2, 4}},
    {"an accent is not dropped", "Descrizione = 'CITTA' or Tipo = 2", {3}},
    {"trailing blanks count in =", "Sigla = 'S' or Sigla = 'I'", {0}},
    {"a text with its trailing blank matches exactly", "Sigla = 'S '", {3}},
    {"Trim removes outer blanks before comparing", "Trim(Descrizione) = 'catania'", {1}},
    {"without Trim the outer blanks count", "Descrizione = 'CATANIA' or Tipo = 2", {3}},
    {"a doubled quote is one quote", "Descrizione = 'SANT''AGATA'", {3}},
    {"a text of one blank", "DataFinoA = ' '", {0, 1}},
    {"< and > exclude the bound; a blank sorts before digits",
     "DataFinoA < '20240315' and DataFinoA > ' '",
     {2}},
    {"negative number", "Numero = -3", {3}},
    {"> 0 excludes zero and Null", "Numero > 0", {0, 1}},
    {">= 0 includes zero", "Numero >= 0", {0, 1, 4}},
    {"number against a text column reads the text as a number", "Testo = 12 or Testo = 7", {0, 1}},
    {"text that reads as no number is neither equal nor unequal", "Testo <> 12", {1}},
    {"text that reads as no number against a number is false, not Null, so not makes it true",
     "not (Testo = 12) and not (Numero = 'x')",
     {1, 3}},
    {"range of a number against text", "Testo > 5", {0, 1}},
    {"text constant against a number column", "Numero = '2.5' or Numero = 'x'", {1}},
    {"text constant on the left of a range", "'20001231' <= DataFinoA", {2, 4}},
    {"keywords and names in any letter case", "TIPO = 0 AND sigla = 'I' OR Not Tipo <> 2", {0, 3}},
    {"Trim of a number is its decimal text", "Trim(Numero) = '2.5'", {1}},
    {"bracketed column name", "[Tipo] = 2", {3}},
    {"comparison of two columns", "Nota = Trim(Sigla)", {3}},
};

class CriteriaRule : public ::testing::TestWithParam<Rule> {};

TEST_P(CriteriaRule, SelectsItsRowsByScanAndByIndex) {
    const Rule& r = GetParam();
    auto table = sampleTable();
    jet::BoundCriteria bound(jet::Criteria::parse(r.criteria), *table);
    std::vector<std::size_t> scanned;
    for (std::size_t row = 0; row < table->rowCount(); ++row)
        if (bound.matches(*table, row)) scanned.push_back(row);
    EXPECT_EQ(scanned, r.rows) << r.criteria;
    jet::TableSearch indexed(table, true);
    const std::vector<std::uint32_t> rows = indexed.select(&bound);
    EXPECT_EQ(std::vector<std::size_t>(rows.begin(), rows.end()), r.rows) << r.criteria;
}

INSTANTIATE_TEST_SUITE_P(Criteria, CriteriaRule, ::testing::ValuesIn(kRules), RuleName());

struct Malformed {
    const char* rule;
    std::string criteria;
    const char* reason;
    std::size_t position;  // characters, from 1
};

const Malformed kMalformed[] = {
    {"unterminated text", "Tipo = 0 and Sigla = 'X", "testo non chiuso", 22},
    {"character outside the language", "Tipo = 0 & Sigla = 'X'", "carattere non ammesso '&'", 10},
    {"missing right operand", "Tipo = ", "manca un operando alla fine", 8},
    {"unclosed parenthesis", "(Tipo = 0", "parentesi non chiusa", 1},
    {"unknown function", "Upper(Sigla) = 'X'", "funzione sconosciuta 'Upper'", 1},
    {"a condition compared as a value", "(Tipo = 0) = 1", "atteso un valore, non una condizione",
     2},
    {"positions count characters not bytes", "Descrizione = 'CITTÀ' +", "carattere non ammesso '+'",
     23},
    {"nesting beyond the limit", std::string(200, '(') + "Tipo = 0" + std::string(200, ')'),
     "annidamento troppo profondo", 66},
    {"text beyond the size limit", "Sigla = '" + std::string(20000, 'x') + "'",
     "testo troppo lungo (20010 caratteri)", 1},
};

class CriteriaRefusal : public ::testing::TestWithParam<Malformed> {};

TEST_P(CriteriaRefusal, NamesTheFaultAndItsPosition) {
    const Malformed& m = GetParam();
    try {
        jet::Criteria::parse(m.criteria);
        ADD_FAILURE() << "accepted " << m.criteria;
    } catch (const jet::CriteriaError& e) {
        EXPECT_EQ(e.describe(m.criteria),
                  std::string(m.reason) + " alla posizione " + std::to_string(m.position));
    }
}

INSTANTIATE_TEST_SUITE_P(Criteria, CriteriaRefusal, ::testing::ValuesIn(kMalformed), RuleName());

// Past the first few thousand cells a column of mostly distinct values is no
// longer interned, so its dictionary may hold a value twice; a column of few
// values, or of many values each met often (birth dates), keeps interning. Values, selections,
// finds and sorting must not notice.
TEST(TableBuilderDictionary, MostlyDistinctColumnsKeepEveryValue) {
    jet::TableBuilder builder("T");
    builder.addColumn("Codice", ColumnKind::Text);
    builder.addColumn("Numero", ColumnKind::Number);
    builder.addColumn("Flag", ColumnKind::Text);
    builder.addColumn("Data", ColumnKind::Text);
    const int rows = 80000;
    auto code = [](int i) { return "N" + std::to_string(i * 7919 % 40000); };
    for (int i = 0; i < rows; ++i) {
        builder.addRow();
        builder.setText(0, code(i));
        builder.setNumber(1, i * 7919 % 40000);
        builder.setText(2, i % 2 ? "S" : "N");
        builder.setText(3, std::to_string(20000000 + i % 30000));
    }
    auto table = builder.finish();
    EXPECT_GT(table->dictionarySize(0), 40000u) << "the code column was interned throughout";
    EXPECT_EQ(table->dictionarySize(2), 2u) << "the flag column stopped interning";
    EXPECT_EQ(table->dictionarySize(3), 30000u) << "the dates, each met often, stopped interning";
    for (int i = 0; i < rows; i += 997) EXPECT_EQ(table->value(i, 0).text, code(i));
    jet::TableSearch indexed(table, true), scanned(table, false);
    for (const std::string text :
         {"Codice = 'N1234'", "Numero = 1234 and Flag = 'N'", "Codice >= 'N39998'"}) {
        auto parsed = jet::Criteria::parse(text);
        auto a = indexed.bind(text, parsed);
        auto b = scanned.bind(text, parsed);
        auto selected = indexed.select(a.get());
        EXPECT_GE(selected.size(), 2u) << text;
        EXPECT_EQ(selected, scanned.select(b.get())) << text;
        EXPECT_EQ(indexed.findFrom(*a, selected[0] + 1), scanned.findFrom(*b, selected[0] + 1));
    }
    auto all = indexed.select(nullptr);
    indexed.sort(all, {jet::OrderKey{"Codice", false, 0}});
    for (std::size_t k = 1; k < all.size(); ++k) {
        auto a = table->value(all[k - 1], 0).text, b = table->value(all[k], 0).text;
        ASSERT_TRUE(a < b || (a == b && all[k - 1] < all[k])) << "equal codes in table order";
    }
}

}  // namespace
}  // namespace velmora::test
