// The criteria language over a small in-memory table: which rows each rule
// selects (scan and index paths alike), and the errors of malformed texts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MemoryTable.h"
#include "jet/Criteria.h"
#include "jet/CriteriaError.h"
#include "jet/TableSearch.h"

namespace velmora::test {
namespace {

using jet::ColumnKind;

std::shared_ptr<const jet::Table> sampleTable() {
    return memoryTable("Prova",
                       {{"Tipo", ColumnKind::Number},
                        {"Sigla", ColumnKind::Text},
                        {"Descrizione", ColumnKind::Text},
                        {"DataFinoA", ColumnKind::Text},
                        {"Nota", ColumnKind::Text},
                        {"Numero", ColumnKind::Number},
                        {"Testo", ColumnKind::Text}},
                       {
                           {"0", "I", "ITALIA", " ", std::nullopt, "1", "12"},
                           {"3", "CT", "  CATANIA ", " ", "", "2.5", " 7 "},
                           {"3", "ct", "città", "20001231", "x", std::nullopt, "abc"},
                           {"2", "S ", "SANT'AGATA", std::nullopt, "S", "-3", ""},
                           {"0", std::nullopt, "CITTÀ", "20240315", "À", "0", std::nullopt},
                       });
}

std::vector<std::size_t> scanMatches(const jet::Table& table, const std::string& text) {
    jet::BoundCriteria bound(jet::Criteria::parse(text), table);
    std::vector<std::size_t> rows;
    for (std::size_t r = 0; r < table.rowCount(); ++r) {
        if (bound.matches(table, r)) rows.push_back(r);
    }
    return rows;
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
    {"both ends of a text range count",
     "DataFinoA >= '20001231' and DataFinoA <= '20240315'",
     {2, 4}},
    {"< and > exclude the bound; a blank sorts before digits",
     "DataFinoA < '20240315' and DataFinoA > ' '",
     {2}},
    {"decimal number", "Numero = 2.5", {1}},
    {"negative number", "Numero = -3", {3}},
    {"> 0 excludes zero and Null", "Numero > 0", {0, 1}},
    {">= 0 includes zero", "Numero >= 0", {0, 1, 4}},
    {"number against a text column reads the text as a number", "Testo = 12 or Testo = 7", {0, 1}},
    {"text that reads as no number is neither equal nor unequal", "Testo <> 12", {1}},
    {"range of a number against text", "Testo > 5", {0, 1}},
    {"text constant against a number column", "Numero = '2.5' or Numero = 'x'", {1}},
    {"constant on the left", "0 = Tipo", {0, 4}},
    {"text constant on the left of a range", "'20001231' <= DataFinoA", {2, 4}},
    {"keywords and names in any letter case", "TIPO = 0 AND sigla = 'I' OR Not Tipo <> 2", {0, 3}},
    {"Trim of a number is its decimal text", "Trim(Numero) = '2.5'", {1}},
    {"nested parentheses", "((Tipo = 0))", {0, 4}},
    {"a parenthesized value", "(Tipo) = 3", {1, 2}},
    {"bracketed column name", "[Tipo] = 2", {3}},
    {"comparison of two columns", "Nota = Trim(Sigla)", {3}},
};

TEST(CriteriaRules, EachRuleSelectsItsRows) {
    auto table = sampleTable();
    for (const Rule& r : kRules) {
        EXPECT_EQ(scanMatches(*table, r.criteria), r.rows) << r.rule << ": " << r.criteria;
    }
}

TEST(CriteriaRules, IndexedSelectionEqualsTheScan) {
    auto table = sampleTable();
    jet::TableSearch indexed(table, true);
    for (const Rule& r : kRules) {
        jet::BoundCriteria bound(jet::Criteria::parse(r.criteria), *table);
        std::vector<std::uint32_t> rows = indexed.select(&bound);
        std::vector<std::size_t> got(rows.begin(), rows.end());
        EXPECT_EQ(got, r.rows) << r.rule << ": " << r.criteria;
    }
}

struct Malformed {
    const char* fault;
    std::string criteria;
    const char* reason;
    std::size_t position;  // characters, from 1
};

TEST(CriteriaErrors, MalformedTextsNameTheFaultAndItsPosition) {
    const Malformed cases[] = {
        {"unterminated text", "Tipo = 0 and Sigla = 'X", "testo non chiuso", 22},
        {"character outside the language", "Tipo = 0 & Sigla = 'X'", "carattere non ammesso '&'",
         10},
        {"missing right operand", "Tipo = ", "manca un operando alla fine", 8},
        {"missing left operand", "and Tipo = 0", "manca un operando prima di 'and'", 1},
        {"dangling and", "Tipo = 0 and", "manca un operando alla fine", 13},
        {"unclosed parenthesis", "(Tipo = 0", "parentesi non chiusa", 1},
        {"extra closing parenthesis", "Tipo = 0)", "simbolo inatteso ')'", 9},
        {"unknown function", "Upper(Sigla) = 'X'", "funzione sconosciuta 'Upper'", 1},
        {"a value alone is no condition", "Tipo", "manca un confronto", 1},
        {"a value alone after and", "Tipo = 0 and Sigla", "manca un confronto", 14},
        {"chained comparisons", "Tipo = 0 = 1", "confronti consecutivi senza and/or", 10},
        {"a condition compared as a value", "(Tipo = 0) = 1",
         "atteso un valore, non una condizione", 2},
        {"letters glued to a number", "Tipo = 12abc", "numero non valido", 8},
        {"minus before a name", "Tipo = -Sigla", "dopo '-' serve un numero", 9},
        {"empty text", "", "criterio vuoto", 1},
        {"only blanks", "   ", "criterio vuoto", 1},
        {"unclosed bracket", "[Tipo = 0", "nome tra [ ] non chiuso", 1},
        {"accented character position counts characters", "Descrizione = 'CITTÀ' +",
         "carattere non ammesso '+'", 23},
        {"nesting beyond the limit", std::string(200, '(') + "Tipo = 0" + std::string(200, ')'),
         "annidamento troppo profondo", 66},
        {"text beyond the size limit", "Sigla = '" + std::string(20000, 'x') + "'",
         "testo troppo lungo (20010 caratteri)", 1},
    };
    for (const Malformed& m : cases) {
        try {
            jet::Criteria::parse(m.criteria);
            ADD_FAILURE() << m.fault << ": accepted " << m.criteria;
        } catch (const jet::CriteriaError& e) {
            EXPECT_EQ(e.describe(m.criteria),
                      std::string(m.reason) + " alla posizione " + std::to_string(m.position))
                << m.fault;
        }
    }
}

TEST(CriteriaErrors, BindingRefusesAnUnknownColumnAtItsPosition) {
    auto table = sampleTable();
    const std::string text = "Tipo = 0 and Regione = 'X'";
    try {
        jet::BoundCriteria bound(jet::Criteria::parse(text), *table);
        ADD_FAILURE() << "unknown column accepted";
    } catch (const jet::CriteriaError& e) {
        EXPECT_EQ(e.describe(text), "colonna sconosciuta 'Regione' alla posizione 14");
    }
}

TEST(CriteriaIndexTerms, OnlyTopLevelAndTermsOfMatchingKindsAreIndexable) {
    auto table = sampleTable();
    struct Case {
        const char* criteria;
        std::size_t terms;
    };
    const Case cases[] = {
        {"(Tipo = 0 or Tipo = 3) and Trim(Descrizione) = 'X' and DataFinoA = ' '", 2},
        {"'20000101' <= DataFinoA and DataFinoA <= '20241231'", 2},
        {"Tipo = 0 or Sigla = 'X'", 0},  // or: no single term holds for every match
        {"not Sigla = 'X'", 0},
        {"Sigla <> 'X'", 0},
        {"Testo = 12 and Numero = '1'", 0},  // kinds differ: compared numerically
        {"Trim(Numero) = '1'", 0},
    };
    for (const Case& c : cases) {
        jet::BoundCriteria bound(jet::Criteria::parse(c.criteria), *table);
        EXPECT_EQ(bound.indexTerms().size(), c.terms) << c.criteria;
    }
}

}  // namespace
}  // namespace velmora::test
