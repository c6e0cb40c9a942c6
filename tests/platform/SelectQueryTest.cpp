// Parsing of the SELECT texts the stay writers send, and the texts refused.
#include <gtest/gtest.h>

#include "jet/CriteriaError.h"
#include "jet/SelectQuery.h"

namespace velmora::test {
namespace {

using jet::SelectQuery;

TEST(SelectQueryParse, HeadsQueryOfTheStayWriters) {
    const std::string text =
        "Select * From Scheda_Cliente Where (CapoFamiglia = 'U' or CapoFamiglia = 'S' or "
        "CapoGruppo = 'S') "
        "and NumeroHotel = 1 and DataArrivo >= '20240101' and DataArrivo >= '20240315' and "
        "DataArrivo <= "
        "'20240315' Order by DataArrivo,NumeroCamera;";
    SelectQuery q = SelectQuery::parse(text);
    EXPECT_EQ(q.table, "Scheda_Cliente");
    ASSERT_TRUE(q.where);
    // The top node is the last "and", comparing DataArrivo <= '20240315'.
    const auto& root = q.where->nodes()[q.where->root()];
    EXPECT_EQ(root.kind, jet::Criteria::NodeKind::And);
    EXPECT_EQ(q.where->nodes()[root.right].kind, jet::Criteria::NodeKind::Compare);
    ASSERT_EQ(q.orderBy.size(), 2u);
    EXPECT_EQ(q.orderBy[0].column, "DataArrivo");
    EXPECT_EQ(q.orderBy[1].column, "NumeroCamera");
    EXPECT_FALSE(q.orderBy[0].descending);
}

TEST(SelectQueryParse, OptionalPartsAndSpellings) {
    struct Case {
        const char* text;
        const char* table;
        bool where;
        std::vector<std::string> order;
    };
    const Case cases[] = {
        {"select * from T where a = 1 order by b desc", "T", true, {"b"}},
        {"SELECT * FROM T;", "T", false, {}},
        {"Select * From T Order by a, b ;", "T", false, {"a", "b"}},
        {"Select *\r\nFrom T\r\nWhere a = 'x'\r\n", "T", true, {}},
        {"Select * From T Where a = 'x Order by y';", "T", true, {}},
        {"Select * From [Scheda Cliente] Where [Data Arrivo] >= '2024'",
         "Scheda Cliente",
         true,
         {}},
        {"Select*From T", "T", false, {}},
    };
    for (const Case& c : cases) {
        SelectQuery q = SelectQuery::parse(c.text);
        EXPECT_EQ(q.table, c.table) << c.text;
        EXPECT_EQ(static_cast<bool>(q.where), c.where) << c.text;
        std::vector<std::string> order;
        for (const auto& k : q.orderBy) order.push_back(k.column);
        EXPECT_EQ(order, c.order) << c.text;
    }
    EXPECT_TRUE(SelectQuery::parse("select * from T order by b desc, c asc").orderBy[0].descending);
    EXPECT_FALSE(
        SelectQuery::parse("select * from T order by b desc, c asc").orderBy[1].descending);
}

TEST(SelectQueryParse, RefusedTexts) {
    struct Case {
        const char* text;
        const char* describe;
    };
    const Case cases[] = {
        {"Select a From T", "si legge solo Select * alla posizione 8"},
        {"Select * T", "atteso 'from' alla posizione 10"},
        {"Select * From Where a = 1", "manca il nome della tabella alla posizione 15"},
        {"Select * From T Order a", "atteso 'by' alla posizione 23"},
        {"Select * From T Order by", "manca la colonna di ordinamento alla posizione 25"},
        {"Select * From T Order by a,", "manca la colonna di ordinamento alla posizione 28"},
        {"Select * From T; Delete",
         "testo inatteso dopo la fine dell'interrogazione alla posizione 18"},
        {"Select * From T Where", "manca un operando alla fine alla posizione 22"},
        {"Select * From T Where a = 'x", "testo non chiuso alla posizione 27"},
        {"Select * From T Where a = 1 b = 2",
         "testo inatteso dopo la fine dell'interrogazione alla posizione 29"},
    };
    for (const Case& c : cases) {
        try {
            SelectQuery::parse(c.text);
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const jet::CriteriaError& e) {
            EXPECT_EQ(e.describe(c.text), c.describe) << c.text;
        }
    }
}

TEST(SelectQueryParse, QueryOrTableName) {
    EXPECT_TRUE(SelectQuery::isQuery("Select * From T"));
    EXPECT_TRUE(SelectQuery::isQuery("  select*from T"));
    EXPECT_TRUE(SelectQuery::isQuery("SELECT\n* FROM T"));
    EXPECT_FALSE(SelectQuery::isQuery("CodiciVari"));
    EXPECT_FALSE(SelectQuery::isQuery("Selezioni"));
    EXPECT_FALSE(SelectQuery::isQuery(""));
}

}  // namespace
}  // namespace velmora::test
