// Random and mutated criteria and SELECT texts, from a fixed seed: each must
// either parse, bind and evaluate, or be refused with CriteriaError. Any other
// exception, a crash or a hang is a fault.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>

#include "MemoryTable.h"
#include "jet/Criteria.h"
#include "jet/CriteriaError.h"
#include "jet/SelectQuery.h"
#include "jet/TableSearch.h"

namespace velmora::test {
namespace {

using jet::ColumnKind;

const char* const kFragments[] = {
    "Tipo", "Sigla",  "Descrizione", "DataFinoA", "Numero", "Trim(", "trim",  "Upper(",
    "(",    ")",      "'",           "''",        "'CT'",   "' '",   "=",     "<>",
    "<",    "<=",     ">",           ">=",        "and",    "or",    "not",   "AND",
    "0",    "3",      "-",           "-1",        "2.5",    ".5",    "1.",    " ",
    "  ",   "\t",     "\n",          "é",         "À",      "\xff",  "\xc3",  "[",
    "]",    "[Tipo]", ";",           ",",         "*",      "Order", "by",    "Select",
    "From", "Where",  "&",           "\"",        "%",      "1e5",   "12abc",
};

const char* const kSeeds[] = {
    "(Tipo = 0 or Tipo = 3) and Trim(Descrizione) = 'CATANIA' and DataFinoA = ' '",
    "Tipo = 0 and Sigla = 'I'",
    "not (Sigla = 'X' or Numero >= -2.5) and DataFinoA <= '20240315'",
    "Select * From Prova Where (Tipo = 0 or Tipo = 2) and Numero > 0 Order by Sigla,Numero;",
};

// Parses, binds and evaluates; returns false when the text was refused.
bool exercise(const std::string& text, jet::TableSearch& indexed, jet::TableSearch& scanned) {
    try {
        std::shared_ptr<const jet::Criteria> criteria;
        std::vector<jet::OrderKey> order;
        if (jet::SelectQuery::isQuery(text)) {
            jet::SelectQuery q = jet::SelectQuery::parse(text);
            criteria = q.where;
            order = q.orderBy;
        } else {
            criteria = jet::Criteria::parse(text);
        }
        std::shared_ptr<const jet::BoundCriteria> a, b;
        if (criteria) {
            a = indexed.bind(text, criteria);
            b = scanned.bind(text, criteria);
        }
        auto rows = indexed.select(a.get());
        EXPECT_EQ(rows, scanned.select(b.get())) << text;
        indexed.sort(rows, order);
        if (a) {
            EXPECT_EQ(indexed.findFrom(*a, 1), scanned.findFrom(*b, 1)) << text;
        }
        return true;
    } catch (const jet::CriteriaError& e) {
        EXPECT_FALSE(e.reason().empty());
        EXPECT_LE(e.position(), text.size());
        return false;
    }
}

TEST(CriteriaFuzz, RandomAndMutatedTextsParseOrAreRefused) {
    auto table = memoryTable("Prova",
                             {{"Tipo", ColumnKind::Number},
                              {"Sigla", ColumnKind::Text},
                              {"Descrizione", ColumnKind::Text},
                              {"DataFinoA", ColumnKind::Text},
                              {"Numero", ColumnKind::Number}},
                             {{"0", "I", "ITALIA", " ", "1"},
                              {"3", "CT", " CATANIA ", " ", "2.5"},
                              {"2", std::nullopt, "città", "20001231", std::nullopt},
                              {"3", "ct", "CATANIA", std::nullopt, "-3"}});
    jet::TableSearch indexed(table, true), scanned(table, false);
    std::mt19937 rng(7);
    auto pick = [&](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
    const auto started = std::chrono::steady_clock::now();
    int accepted = 0, refused = 0;
    for (int i = 0; i < 20000; ++i) {
        std::string text;
        if (i % 2 == 0) {
            std::size_t n = 1 + pick(14);
            for (std::size_t k = 0; k < n; ++k) {
                text += pick(10) ? kFragments[pick(std::size(kFragments))]
                                 : std::string(1, static_cast<char>(rng()));
                if (pick(2)) text += ' ';
            }
        } else {
            text = kSeeds[pick(std::size(kSeeds))];
            for (std::size_t m = 1 + pick(3); m > 0; --m) {
                std::size_t at = pick(text.size() + 1);
                switch (pick(3)) {
                    case 0:
                        text.insert(at, 1, static_cast<char>(rng()));
                        break;
                    case 1:
                        if (at < text.size()) text.erase(at, 1 + pick(4));
                        break;
                    default:
                        text.insert(at, kFragments[pick(std::size(kFragments))]);
                        break;
                }
            }
        }
        (exercise(text, indexed, scanned) ? accepted : refused)++;
    }
    EXPECT_GT(accepted, 100);
    EXPECT_GT(refused, 100);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

}  // namespace
}  // namespace velmora::test
