// Selections, Order by and finds over in-memory tables; the indexed paths
// checked against plain scans on random tables and random criteria.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "MemoryTable.h"
#include "jet/Criteria.h"
#include "jet/CriteriaError.h"
#include "jet/SelectQuery.h"
#include "jet/TableSearch.h"

namespace velmora::test {
namespace {

using jet::ColumnKind;

std::vector<std::uint32_t> ordered(jet::TableSearch& search, const std::string& query) {
    jet::SelectQuery q = jet::SelectQuery::parse(query);
    std::optional<jet::BoundCriteria> where;
    if (q.where) where.emplace(q.where, search.table());
    auto rows = search.select(where ? &*where : nullptr);
    search.sort(rows, q.orderBy);
    return rows;
}

TEST(OrderBy, StableWithNullsFirstTextWithoutCaseNumbersNumerically) {
    auto table = memoryTable("Ospiti",
                             {{"DataArrivo", ColumnKind::Text},
                              {"NumeroCamera", ColumnKind::Number},
                              {"Nome", ColumnKind::Text}},
                             {
                                 {"20240315", "12", "b"},            // 0
                                 {"20240314", "9", "B"},             // 1
                                 {"20240315", std::nullopt, "a"},    // 2
                                 {std::nullopt, "3", "c"},           // 3
                                 {"20240315", "9", "A"},             // 4
                                 {"20240315", "12", "a"},            // 5: ties with 0 on both keys
                                 {"20240314", "100", std::nullopt},  // 6
                             });
    jet::TableSearch search(table, true);
    EXPECT_EQ(ordered(search, "Select * From Ospiti Order by DataArrivo,NumeroCamera;"),
              (std::vector<std::uint32_t>{3, 1, 6, 2, 4, 0, 5}));
    // Letter case does not order: b/B and a/A keep table order among themselves.
    EXPECT_EQ(ordered(search, "Select * From Ospiti Order by Nome"),
              (std::vector<std::uint32_t>{6, 2, 4, 5, 0, 1, 3}));
    // Descending puts Null last and keeps ties in table order.
    EXPECT_EQ(ordered(search, "Select * From Ospiti Order by NumeroCamera desc"),
              (std::vector<std::uint32_t>{6, 0, 5, 1, 4, 3, 2}));
    EXPECT_EQ(ordered(search,
                      "Select * From Ospiti Where DataArrivo >= '20240315' Order by NumeroCamera"),
              (std::vector<std::uint32_t>{2, 4, 0, 5}));
    EXPECT_EQ(ordered(search, "Select * From Ospiti"),
              (std::vector<std::uint32_t>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_THROW(ordered(search, "Select * From Ospiti Order by Camera"), jet::CriteriaError);
}

TEST(FindFrom, WalksMatchesInTableOrderWithAndWithoutIndexes) {
    auto table = memoryTable("CodiciVari",
                             {{"Tipo", ColumnKind::Number},
                              {"Descrizione", ColumnKind::Text},
                              {"DataFinoA", ColumnKind::Text}},
                             {
                                 {"3", "FORLI'", "19941231"},  // 0
                                 {"3", " Forli' ", " "},       // 1
                                 {"0", "FORLI'", " "},         // 2
                                 {"3", "CATANIA", " "},        // 3
                                 {"3", "FORLI' ", " "},        // 4
                             });
    const std::string text =
        "(Tipo = 0 or Tipo = 3) and Trim(Descrizione) = 'FORLI''' and DataFinoA = ' '";
    for (bool indexes : {false, true}) {
        jet::TableSearch search(table, indexes);
        auto bound = search.bind(text, jet::Criteria::parse(text));
        std::vector<std::size_t> found;
        for (auto row = search.findFrom(*bound, 0); row; row = search.findFrom(*bound, *row + 1))
            found.push_back(*row);
        EXPECT_EQ(found, (std::vector<std::size_t>{1, 2, 4})) << "indexes " << indexes;
        EXPECT_EQ(search.findFrom(*bound, 5), std::nullopt);
        EXPECT_EQ(search.bind(text, jet::Criteria::parse(text)), bound) << "bound once per text";
    }
}

// Past the first few thousand cells a column of mostly distinct values is
// no longer interned, so its dictionary may hold a value twice: values,
// selections, finds and sorting must not notice.
TEST(TableBuilderDictionary, MostlyDistinctColumnsKeepEveryValue) {
    jet::TableBuilder builder("T");
    builder.addColumn("Codice", ColumnKind::Text);
    builder.addColumn("Numero", ColumnKind::Number);
    builder.addColumn("Flag", ColumnKind::Text);
    const int rows = 80000;
    auto code = [](int i) { return "N" + std::to_string(i * 7919 % 40000); };
    for (int i = 0; i < rows; ++i) {
        builder.addRow();
        builder.setText(0, code(i));
        builder.setNumber(1, i * 7919 % 40000);
        builder.setText(2, i % 2 ? "S" : "N");
    }
    auto table = builder.finish();
    EXPECT_GT(table->dictionarySize(0), 40000u) << "the code column stopped interning";
    EXPECT_EQ(table->dictionarySize(2), 2u) << "the flag column kept interning";
    for (int i = 0; i < rows; i += 997) {
        EXPECT_EQ(table->value(i, 0).text, code(i));
        EXPECT_EQ(table->value(i, 1).number, i * 7919 % 40000);
    }
    jet::TableSearch indexed(table, true), scanned(table, false);
    for (const std::string text :
         {"Codice = 'N1234'", "Numero = 1234 and Flag = 'N'", "Codice >= 'N39998'"}) {
        auto parsed = jet::Criteria::parse(text);
        auto a = indexed.bind(text, parsed);
        auto b = scanned.bind(text, parsed);
        auto selected = indexed.select(a.get());
        EXPECT_GE(selected.size(), 2u) << text;
        EXPECT_EQ(selected, scanned.select(b.get())) << text;
        EXPECT_EQ(indexed.findFrom(*a, selected[0] + 1), scanned.findFrom(*b, selected[0] + 1))
            << text;
    }
    // Equal codes stay in table order when sorted.
    auto all = indexed.select(nullptr);
    indexed.sort(all, {jet::OrderKey{"Codice", false, 0}});
    for (std::size_t k = 1; k < all.size(); ++k) {
        auto a = table->value(all[k - 1], 0).text, b = table->value(all[k], 0).text;
        ASSERT_TRUE(a < b || (a == b && all[k - 1] < all[k])) << k;
    }
}

// Random tables whose values collide often (few dates, names differing in
// case and outer blanks, Nulls, NaN) and random criteria built from the
// forms the export uses: selections and finds through the indexes must
// return exactly what a scan returns.
TEST(IndexedSearch, EqualsFullScanOnRandomTablesAndCriteria) {
    std::mt19937 rng(20240315);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const char* names[] = {"CATANIA", "catania",    " CATANIA ", "CATANIA ", "Città",
                           "CITTÀ",   "SANT'AGATA", "",          " "};
    const char* dates[] = {" ",        "20240314", "20240315", "20240316",
                           "20240401", "2024031",  "202403150"};
    for (int round = 0; round < 20; ++round) {
        jet::TableBuilder builder("T");
        builder.addColumn("Data", ColumnKind::Text);
        builder.addColumn("Nome", ColumnKind::Text);
        builder.addColumn("Numero", ColumnKind::Number);
        const int rows = 1 + pick(400);
        for (int r = 0; r < rows; ++r) {
            builder.addRow();
            if (pick(10)) builder.setText(0, dates[pick(7)]);
            if (pick(10)) builder.setText(1, names[pick(9)]);
            int n = pick(12);
            if (n == 11)
                builder.setNumber(2, std::nan(""));
            else if (n)
                builder.setNumber(2, n - 5);
        }
        auto table = builder.finish();
        jet::TableSearch indexed(table, true), scanned(table, false);
        const char* ops[] = {"=", "<", "<=", ">", ">="};
        for (int q = 0; q < 40; ++q) {
            auto quote = [](const std::string& s) {
                std::string q = "'";
                for (char c : s) q += c == '\'' ? std::string("''") : std::string(1, c);
                return q + "'";
            };
            std::string text;
            int terms = 1 + pick(3);
            for (int t = 0; t < terms; ++t) {
                if (t) text += pick(4) ? " and " : " or ";
                switch (pick(4)) {
                    case 0:
                        text += std::string("Data ") + ops[pick(5)] + " " + quote(dates[pick(7)]);
                        break;
                    case 1:
                        text += "Trim(Nome) = " + quote(names[pick(9)]);
                        break;
                    case 2:
                        text += std::string("Nome ") + ops[pick(5)] + " " + quote(names[pick(9)]);
                        break;
                    default:
                        text += std::string("Numero ") + ops[pick(5)] + " " +
                                std::to_string(pick(9) - 4);
                        break;
                }
            }
            auto parsed = jet::Criteria::parse(text);
            auto a = indexed.bind(text, parsed);
            auto b = scanned.bind(text, parsed);
            ASSERT_EQ(indexed.select(a.get()), scanned.select(b.get())) << text;
            std::size_t from = static_cast<std::size_t>(pick(rows + 1));
            ASSERT_EQ(indexed.findFrom(*a, from), scanned.findFrom(*b, from))
                << text << " from " << from;
        }
    }
}

}  // namespace
}  // namespace velmora::test
