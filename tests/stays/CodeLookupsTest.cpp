// The code lookups over a small codes database written at test time
// (data/codes.txt): states, places valid today, places valid at a date, the
// province fall-back for municipalities known only as ended rows, and what the
// trace tells about a result of nine blanks.
#include <gtest/gtest.h>

#include "StaysTestSupport.h"
#include "core/RunError.h"
#include "stays/CodeLookups.h"

namespace velmora {
namespace {

using test::StaysFixture;

const std::string kBlanks = "         ";

struct LookupRow {
    const char* rule;
    const char* routine;  // "StateCode", "PlaceCode", "PlaceCodeAtDate"
    std::string text;
    std::string date;
    std::string code;
};

const LookupRow kLookupRows[] = {
    {"state found by abbreviation", "StateCode", "D", "", "100000216"},
    {"state abbreviation is not trimmed", "StateCode", " D", "", kBlanks},
    {"state that no kind-0 row has", "StateCode", "ZZ", "", kBlanks},
    {"empty state", "StateCode", "", "", kBlanks},
    {"province abbreviation is no state", "StateCode", "CT", "", kBlanks},
    {"state row with Null CodicePS", "StateCode", "E", "", kBlanks},
    {"valid municipality", "PlaceCode", "PALERMO", "", "419082053"},
    {"name trimmed, stored name padded", "PlaceCode", "  CATANIA ", "", "419087015"},
    {"state found by name", "PlaceCode", "GERMANIA", "", "100000216"},
    {"apostrophe in the name", "PlaceCode", "SANT'AGATA DI MILITELLO", "", "419083084"},
    {"apostrophe in a state name", "PlaceCode", "STATI UNITI D'AMERICA", "", "100000536"},
    {"recoded municipality: the valid row", "PlaceCode", "FORLI'", "", "408140012"},
    {"ended municipality: its province names a valid place", "PlaceCode", "IONIA", "", "419087015"},
    {"fall-back through a province named with an apostrophe", "PlaceCode", "FIUMANA", "",
     "408140012"},
    {"fall-back through a padded province name", "PlaceCode", "SALINA", "", "419083048"},
    {"fall-back: no place named like the province", "PlaceCode", "SALTARA", "", kBlanks},
    {"fall-back: no province row", "PlaceCode", "XITTA", "", kBlanks},
    {"unknown place", "PlaceCode", "VATTELAPESCA", "", kBlanks},
    {"empty place", "PlaceCode", "", "", kBlanks},
    {"province only, no place of that name", "PlaceCode", "PESARO E URBINO", "", kBlanks},
    {"valid row with Null CodicePS", "PlaceCode", "GIARRE", "", kBlanks},
    {"same valid name twice: the first in table order", "PlaceCode", "CASTRO", "", "416075096"},
    {"old code valid at the birth date", "PlaceCodeAtDate", "FORLI'", "19800515", "408040012"},
    {"last day of the validity window counts", "PlaceCodeAtDate", "FORLI'", "19941231",
     "408040012"},
    {"new code from its first day", "PlaceCodeAtDate", "FORLI'", "19950101", "408140012"},
    {"first day of the validity window counts", "PlaceCodeAtDate", "IONIA", "19340101",
     "419087501"},
    {"ended municipality inside its window", "PlaceCodeAtDate", "IONIA", "19750315", "419087501"},
    {"date before every DataDal falls through to the fall-back", "PlaceCodeAtDate", "IONIA",
     "19331231", "419087015"},
    {"date after the end falls through to the fall-back", "PlaceCodeAtDate", "IONIA", "19840101",
     "419087015"},
    {"valid place at date, name trimmed", "PlaceCodeAtDate", " CATANIA ", "19800101", "419087015"},
    {"apostrophe at date", "PlaceCodeAtDate", "SANT'AGATA DI MILITELLO", "19910823", "419083084"},
    {"state at date", "PlaceCodeAtDate", "GERMANIA", "19851120", "100000216"},
    {"empty place at date", "PlaceCodeAtDate", "", "19800101", kBlanks},
    {"Null CodicePS at date", "PlaceCodeAtDate", "GIARRE", "19800101", kBlanks},
};

std::string lookUp(DBEngine& engine, const LookupRow& row, LookupTrace* trace = nullptr) {
    const std::string routine = row.routine;
    if (routine == "StateCode") return StateCode(engine, row.text, trace);
    if (routine == "PlaceCode") return PlaceCode(engine, row.text, trace);
    return PlaceCodeAtDate(engine, row.text, row.date, trace);
}

TEST(CodeLookupsTest, CodesFromTheCodesDatabase) {
    StaysFixture f;
    for (const auto& row : kLookupRows) {
        EXPECT_EQ(lookUp(f.engine, row), row.code) << row.rule;
        // Asking for the trace must not change the result.
        LookupTrace trace;
        EXPECT_EQ(lookUp(f.engine, row, &trace), row.code) << row.rule << " (traced)";
    }
}

TEST(CodeLookupsTest, EveryCallOpensSearchesAndClosesTheCodesDatabase) {
    StaysFixture f;
    PlaceCode(f.engine, " SALTARA ");
    const std::vector<std::string> expected = {
        "OpenDatabase Comuni.mdb",
        "OpenRecordset CodiciVari",
        "FindFirst (Tipo = 0 or Tipo = 3) and Trim(Descrizione) = 'SALTARA' and DataFinoA = ' '",
        "FindFirst Tipo = 3 and Trim(Descrizione) = 'SALTARA'",
        "FindFirst Tipo = 2 and Sigla = 'PS'",
        "FindFirst (Tipo = 0 or Tipo = 3) and Trim(Descrizione) = 'PESARO E URBINO' and "
        "DataFinoA = ' '",
        "Close",
    };
    EXPECT_EQ(f.engine.log, expected);

    f.engine.log.clear();
    PlaceCodeAtDate(f.engine, "SANT'AGATA DI MILITELLO", "19910823");
    StateCode(f.engine, "D'");
    const std::vector<std::string> quoted = {
        "OpenDatabase Comuni.mdb",
        "OpenRecordset CodiciVari",
        "FindFirst (Tipo = 0 or Tipo = 3) and Trim(Descrizione) = 'SANT''AGATA DI MILITELLO' "
        "and DataDal <= '19910823' and (DataFinoA = ' ' or DataFinoA >= '19910823')",
        "Close",
        "OpenDatabase Comuni.mdb",
        "OpenRecordset CodiciVari",
        "FindFirst Tipo = 0 and Sigla = 'D'''",
        "Close",
    };
    EXPECT_EQ(f.engine.log, quoted);
}

TEST(CodeLookupsTest, TraceExplainsNineBlanks) {
    StaysFixture f;

    LookupTrace fallBack;
    EXPECT_EQ(PlaceCodeAtDate(f.engine, "SALTARA", "20000101", &fallBack), kBlanks);
    ASSERT_EQ(fallBack.steps.size(), 4u);
    EXPECT_FALSE(fallBack.steps[0].found);
    EXPECT_TRUE(fallBack.steps[1].found);
    EXPECT_EQ(fallBack.steps[1].dataFinoA, "19981231");  // the ended row
    EXPECT_EQ(fallBack.steps[1].provincia, "PS");
    EXPECT_TRUE(fallBack.steps[2].found);
    EXPECT_EQ(fallBack.steps[2].descrizione, "PESARO E URBINO");
    EXPECT_FALSE(fallBack.steps[3].found);
    EXPECT_FALSE(fallBack.nullCode);

    LookupTrace nullCode;
    EXPECT_EQ(StateCode(f.engine, "E", &nullCode), kBlanks);
    ASSERT_EQ(nullCode.steps.size(), 1u);
    EXPECT_TRUE(nullCode.steps[0].found);
    EXPECT_FALSE(nullCode.steps[0].codicePS.has_value());
    EXPECT_TRUE(nullCode.nullCode);

    LookupTrace noProvince;
    EXPECT_EQ(PlaceCode(f.engine, "XITTA", &noProvince), kBlanks);
    ASSERT_EQ(noProvince.steps.size(), 3u);
    EXPECT_EQ(noProvince.steps[1].provincia, "TP");
    EXPECT_FALSE(noProvince.steps[2].found);
}

TEST(CodeLookupsTest, MissingCodesDatabaseStopsTheRun) {
    test::TempDir empty;
    JetEngine engine(empty.path());
    EXPECT_THROW(StateCode(engine, "I"), RunError);
}

}  // namespace
}  // namespace velmora
