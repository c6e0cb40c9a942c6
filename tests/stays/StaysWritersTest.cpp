// The two stay writers over guest databases written at test time: whole
// documents compared line for line, which stays and guests a window selects,
// the history's skip tests and member keys, the value rules, the exact
// queries and searches, and the records that stop the run.
#include <gtest/gtest.h>

#include <algorithm>

#include "StaysTestSupport.h"
#include "core/RunError.h"
#include "stays/ExportStays.h"
#include "stays/StaysObserver.h"
#include "stays/StaysWriters.h"

namespace velmora {
namespace {

using test::StaysFixture;

const std::string kBlanks = "         ";

// The register and the history of data/.
struct GuestDatabases : StaysFixture {
    GuestDatabases() {
        test::writeTableFile(dir, "Scheda_Cliente.mdb", "Scheda_Cliente", "register.txt");
        test::writeTableFile(dir, "SchedaStoricoClienti.mdb", "Scheda_Cliente", "history.txt");
    }
};

void expectSameLines(const std::vector<std::string>& actual,
                     const std::vector<std::string>& expected) {
    const std::size_t n = std::min(actual.size(), expected.size());
    for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(actual[i], expected[i]) << "line " << i + 1;
    EXPECT_EQ(actual.size(), expected.size());
}

TEST(StaysWritersTest, RegisterArrivalsDocument) {
    GuestDatabases f;
    MemoryLineSink sink;
    writeStaysDocument(f.ctx, "15/03/2024", "15/03/2024", "A", sink);
    expectSameLines(sink.lines(), test::expectedLines("register-arrivals.xml"));
    EXPECT_EQ(f.state.StaysWritten, 1);
}

TEST(StaysWritersTest, HistoryDeparturesDocument) {
    GuestDatabases f;
    MemoryLineSink sink;
    writeStaysDocument(f.ctx, "10/03/2024", "10/03/2024", "P", sink);
    expectSameLines(sink.lines(), test::expectedLines("history-departures.xml"));
    EXPECT_EQ(f.state.StaysWritten, 1);
}

struct SelectionRow {
    const char* rule;
    bool history;
    const char* from;
    const char* to;
    const char* kind;
    const char* initialDate;
    std::string outline;
};

const SelectionRow kSelectionRows[] = {
    {"arrivals: heads by room; a member arriving a day later is not under its head; a member "
     "of a family and a group is under both; a family and group head lists its family only",
     false, "02/04/2024", "02/04/2024", "A", "20240101",
     "12345624005001(24005001 24005002 24005011) 12345624005010(24005010 24005011) "
     "12345624005020(24005020 24005021)"},
    {"a member whose head is not in the window is not written", false, "03/04/2024", "03/04/2024",
     "A", "20240101", ""},
    {"departures by DataPartenzaReale, members in the members query's order", false, "04/04/2024",
     "04/04/2024", "P", "20240101", "12345624005001(24005001 24005002 24005011 24005003)"},
    {"departures: arrival before InitialDate never exported; heads by arrival then room", false,
     "05/04/2024", "05/04/2024", "P", "20240101",
     "12345624005030(24005030) 12345624005020(24005020 24005021)"},
    {"kind \"a\" is departures", false, "05/04/2024", "05/04/2024", "a", "20240101",
     "12345624005030(24005030) 12345624005020(24005020 24005021)"},
    {"a window of several days", false, "01/04/2024", "05/04/2024", "P", "20240101",
     "12345624005030(24005030) 12345624005001(24005001 24005002 24005011 24005003) "
     "12345624005020(24005020 24005021)"},
    {"InitialDate bounds departures too", false, "04/04/2024", "04/04/2024", "P", "20240403", ""},
    {"history: marker, same-day, blank and Null departure leave a head out; capital P, an "
     "extra character or a Null name do not; members by their own marker only",
     true, "11/03/2024", "11/03/2024", "A", "20240101",
     "12345624006010(24006010) 12345624006020(24006020 24006022 24006023 24006024) "
     "12345624006030(24006030)"},
    {"history member keys: last six digits; a key of 0 finds no members", true, "12/03/2024",
     "12/03/2024", "A", "20240101",
     "12345601234567(01234567 01234568) 12345601000000(01000000) "
     "12345624007000(24007000 24007001) 123456123456789(123456789)"},
    {"history whose only head is skipped writes nothing", true, "13/03/2024", "13/03/2024", "A",
     "20240101", ""},
};

TEST(StaysWritersTest, StaysAndGuestsOfAWindow) {
    GuestDatabases f;
    for (const auto& row : kSelectionRows) {
        f.state.InitialDate = row.initialDate;
        f.state.StaysWritten = 0;
        MemoryLineSink sink;
        if (row.history)
            WriteHistoryStays(f.ctx, row.from, row.to, sink, row.kind);
        else
            WriteRegisterStays(f.ctx, row.from, row.to, sink, row.kind);
        EXPECT_EQ(test::stayOutline(sink.lines()), row.outline) << row.rule;
        EXPECT_EQ(f.state.StaysWritten, row.outline.empty() ? 0 : 1) << row.rule;

        const std::string checkout = std::string("           <Checkout>") +
                                     (std::string(row.kind) == "A" ? "false" : "true") +
                                     "</Checkout>";
        for (const auto& line : sink.lines()) {
            if (line.find("<Checkout>") != std::string::npos) {
                EXPECT_EQ(line, checkout) << row.rule;
            }
        }
    }
}

TEST(StaysWritersTest, WritersNeverClearStaysWritten) {
    GuestDatabases f;
    f.state.StaysWritten = 1;
    MemoryLineSink sink;
    WriteRegisterStays(f.ctx, "01/02/2024", "01/02/2024", sink, "A");
    WriteHistoryStays(f.ctx, "13/03/2024", "13/03/2024", sink, "A");
    EXPECT_TRUE(sink.lines().empty());
    EXPECT_EQ(f.state.StaysWritten, 1);
}

struct ValueRow {
    const char* rule;
    const char* guestId;
    int line;  // 1 (G1) to 20 (G20)
    std::string text;
};

const ValueRow kValueRows[] = {
    {"age: birthday on 31/12 not reached on 01/01", "24007001", 3, "           <Age>43</Age>"},
    {"age: born 01/01, arriving 31/12", "24007002", 3, "           <Age>44</Age>"},
    {"age: born 29/02, arriving 28/02", "24007003", 3, "           <Age>23</Age>"},
    {"age: born 29/02, arriving 29/02", "24007004", 3, "           <Age>24</Age>"},
    {"age: born 29/02, arriving 01/03", "24007005", 3, "           <Age>24</Age>"},
    {"age: born 29/02, arriving 28/02 of a common year", "23007006", 3, "           <Age>22</Age>"},
    {"age: born 29/02, arriving 01/03 of a common year", "23007007", 3, "           <Age>23</Age>"},
    {"Type: family head before group head", "24007101", 7, "            <Type>17</Type>"},
    {"Type: family member before group head", "24007103", 7, "            <Type>19</Type>"},
    {"Type: group member before group head", "24007104", 7, "            <Type>20</Type>"},
    {"Type: group head", "24007105", 7, "            <Type>18</Type>"},
    {"Type: on their own", "24007106", 7, "            <Type>16</Type>"},
    {"Type: a 'U' record with a family code", "24007107", 7, "            <Type>19</Type>"},
    {"gender: \"M\"", "24007201", 8, "           <Gender>1</Gender>"},
    {"gender: \"m\"", "24007202", 8, "           <Gender>2</Gender>"},
    {"gender: empty", "24007203", 8, "           <Gender>2</Gender>"},
    {"gender: Null", "24007204", 8, "           <Gender>2</Gender>"},
    {"gender: \"F\"", "24007205", 8, "           <Gender>2</Gender>"},
    {"Stato \"I\": residence from Residenza", "24007301", 6,
     "           <ResidencePlaceCode>419082053</ResidencePlaceCode>"},
    {"Stato \" \": residence from Residenza", "24007302", 6,
     "           <ResidencePlaceCode>419082053</ResidencePlaceCode>"},
    {"Stato \" \": no nationality", "24007302", 4,
     "           <NationalityCode>" + kBlanks + "</NationalityCode>"},
    {"Stato \"\": residence from the state", "24007303", 6,
     "           <ResidencePlaceCode>" + kBlanks + "</ResidencePlaceCode>"},
    {"Stato \"D\": residence is the state", "24007304", 6,
     "           <ResidencePlaceCode>100000216</ResidencePlaceCode>"},
    {"Stato Null: like empty", "24007305", 6,
     "           <ResidencePlaceCode>" + kBlanks + "</ResidencePlaceCode>"},
    {"room: < and > become blanks", "24007401", 15, "              <RoomId> 12 </RoomId>"},
    {"room: a tab becomes a blank", "24007402", 15, "              <RoomId>12 3</RoomId>"},
    {"room: Null is empty", "24007403", 15, "              <RoomId></RoomId>"},
    {"room: & is left to the export", "24007404", 15, "              <RoomId>B&B Sole</RoomId>"},
    {"departure: Partito \"S\" takes DataPartenzaReale", "24007501", 10,
     "           <DepartureDate>2024-06-08T10:00:00.000Z</DepartureDate>"},
    {"departure: Partito \"s\" takes DataPartenza", "24007502", 10,
     "           <DepartureDate>2024-06-10T10:00:00.000Z</DepartureDate>"},
    {"departure: Partito \"N\" takes DataPartenza", "24007503", 17,
     "              <EndDate>2024-06-10T10:00:00.000Z</EndDate>"},
    {"departure: Partito Null takes DataPartenza", "24007504", 10,
     "           <DepartureDate>2024-06-10T10:00:00.000Z</DepartureDate>"},
    {"birth place: the words after the place are cut", "24007601", 5,
     "           <BirthPlaceCode>419086014</BirthPlaceCode>"},
    {"birth place: \"***\" is no place in the register", "24007602", 5,
     "           <BirthPlaceCode>" + kBlanks + "</BirthPlaceCode>"},
};

TEST(StaysWritersTest, ValueRules) {
    StaysFixture f;
    test::writeTableFile(f.dir, "Scheda_Cliente.mdb", "Scheda_Cliente", "values.txt");
    f.state.InitialDate = "20230101";
    MemoryLineSink sink;
    WriteRegisterStays(f.ctx, "01/01/2023", "31/12/2024", sink, "A");

    for (const auto& row : kValueRows) {
        const auto guest = test::guestLines(sink.lines(), row.guestId);
        ASSERT_EQ(guest.size(), 20u) << row.rule << ": guest " << row.guestId << " missing";
        EXPECT_EQ(guest[static_cast<std::size_t>(row.line - 1)], row.text) << row.rule;
    }

    // Ids of five, seven and nine digits.
    const std::string outline = test::stayOutline(sink.lines());
    for (const char* stay : {"12345624004521(24004521)", "123456241234567(241234567)",
                             "12345624123456789(24123456789)"})
        EXPECT_NE(outline.find(stay), std::string::npos) << stay << " in " << outline;
}

// The searches on the guest database, without the code lookups in between.
std::vector<std::string> guestDatabaseCalls(const std::vector<std::string>& log) {
    std::vector<std::string> out;
    bool inCodes = false;
    for (const auto& entry : log) {
        if (entry == "OpenDatabase Comuni.mdb") inCodes = true;
        if (!inCodes) out.push_back(entry);
        if (inCodes && entry == "Close") inCodes = false;
    }
    return out;
}

TEST(StaysWritersTest, QueriesAndSearchesOfTheRegister) {
    GuestDatabases f;
    MemoryLineSink sink;
    WriteRegisterStays(f.ctx, "15/03/2024", "15/03/2024", sink, "A");
    const std::vector<std::string> expected = {
        "OpenDatabase Scheda_Cliente.mdb",
        "OpenRecordset Select * From Scheda_Cliente Where (CapoFamiglia = 'U' or CapoFamiglia = "
        "'S' or CapoGruppo = 'S') and NumeroHotel = 1 and DataArrivo >= '20240101' and "
        "DataArrivo >= '20240315' and DataArrivo <= '20240315' Order by DataArrivo,NumeroCamera;",
        "OpenRecordset Select * From Scheda_Cliente Where (CodiceCapoFamiglia > 0 or "
        "CodiceCapoGruppo > 0) and NumeroHotel = 1 and DataArrivo >= '20240101' and DataArrivo "
        ">= '20240315' and DataArrivo <= '20240315' Order by DataArrivo,NumeroCamera;",
        "FindFirst NumeroHotel = 1",
        "FindFirst NumeroHotel = 1 and CodiceCapoGruppo = 4530",
        "FindNext NumeroHotel = 1 and CodiceCapoGruppo = 4530",
        "FindNext NumeroHotel = 1",
        "FindFirst NumeroHotel = 1 and CodiceCapoFamiglia = 4521",
        "FindNext NumeroHotel = 1 and CodiceCapoFamiglia = 4521",
        "FindNext NumeroHotel = 1 and CodiceCapoFamiglia = 4521",
        "FindNext NumeroHotel = 1",
        "FindNext NumeroHotel = 1",
        "FindNext NumeroHotel = 1",
        "Close",
    };
    EXPECT_EQ(guestDatabaseCalls(f.engine.log), expected);

    // The lookups of the first guest, in line order: nationality, birth
    // place at the birth date, residence.
    const auto first =
        std::find(f.engine.log.begin(), f.engine.log.end(), "FindFirst NumeroHotel = 1");
    const auto members = std::find(first, f.engine.log.end(),
                                   "FindFirst NumeroHotel = 1 and CodiceCapoGruppo = 4530");
    std::vector<std::string> lookups;
    for (auto it = first + 1; it != members; ++it)
        if (it->rfind("FindFirst", 0) == 0) lookups.push_back(*it);
    const std::vector<std::string> expectedLookups = {
        "FindFirst Tipo = 0 and Sigla = 'I'",
        "FindFirst (Tipo = 0 or Tipo = 3) and Trim(Descrizione) = 'PALERMO' and DataDal <= "
        "'19700704' and (DataFinoA = ' ' or DataFinoA >= '19700704')",
        "FindFirst (Tipo = 0 or Tipo = 3) and Trim(Descrizione) = 'PALERMO' and DataFinoA = ' '",
    };
    EXPECT_EQ(lookups, expectedLookups);
}

TEST(StaysWritersTest, QueriesAndSearchesOfTheHistory) {
    GuestDatabases f;
    MemoryLineSink sink;
    WriteHistoryStays(f.ctx, "10/03/2024", "10/03/2024", sink, "P");
    const auto calls = guestDatabaseCalls(f.engine.log);
    ASSERT_GE(calls.size(), 4u);
    EXPECT_EQ(calls[0], "OpenDatabase SchedaStoricoClienti.mdb");
    EXPECT_EQ(calls[1],
              "OpenRecordset Select * From Scheda_Cliente Where (CapoFamiglia = 'U' or "
              "CapoFamiglia = 'S' or CapoGruppo = 'S') and NumeroHotel = 1 and DataArrivo >= "
              "'20240101' and DataPartenzaReale >= '20240310' and DataPartenzaReale <= "
              "'20240310' Order by DataArrivo,NumeroCamera;");
    EXPECT_NE(std::find(calls.begin(), calls.end(),
                        "FindFirst NumeroHotel = 1 and CodiceCapoFamiglia = 4521"),
              calls.end());
    EXPECT_NE(std::find(calls.begin(), calls.end(),
                        "FindFirst NumeroHotel = 1 and CodiceCapoGruppo = 4530"),
              calls.end());
    EXPECT_EQ(calls.back(), "Close");
}

// Records what the writers tell, in a compact form.
class RecordingObserver : public StaysObserver {
public:
    void guestConsidered(const GuestNote& g, GuestDecision d) override {
        static const char* names[] = {"written", "marker", "no later departure"};
        considered.push_back(std::to_string(g.numeroProgressivo.value_or(-1)) + " " +
                             names[static_cast<int>(d)]);
    }
    void codeLookedUp(const GuestNote& g, const CodeLookupNote& n) override {
        lookups.push_back(std::to_string(g.numeroProgressivo.value_or(-1)) + " " + n.element + " " +
                          n.routine + " " + n.column + " '" + n.text + "' " + n.date + " -> '" +
                          n.result + "'");
    }
    void guestWritten(const WrittenGuest& w) override { written.push_back(w); }
    void recordRejected(const GuestNote& g, const std::string& column,
                        const std::string& message) override {
        rejected.push_back(std::to_string(g.numeroProgressivo.value_or(-1)) + " " + column + ": " +
                           message);
    }
    std::vector<std::string> considered;
    std::vector<std::string> lookups;
    std::vector<WrittenGuest> written;
    std::vector<std::string> rejected;
};

TEST(StaysWritersTest, ObserverIsToldWithoutChangingTheDocument) {
    GuestDatabases f;
    RecordingObserver observer;
    f.ctx.observer = &observer;
    MemoryLineSink sink;
    writeStaysDocument(f.ctx, "10/03/2024", "10/03/2024", "P", sink);
    expectSameLines(sink.lines(), test::expectedLines("history-departures.xml"));

    const std::vector<std::string> considered = {
        "24004530 written", "24004531 written", "24004521 written", "24004523 written",
        "24004522 written", "24004524 marker",  "24004540 written", "24004550 written",
    };
    EXPECT_EQ(observer.considered, considered);
    ASSERT_EQ(observer.lookups.size(), 7u * 3u);
    EXPECT_EQ(observer.lookups[9], "24004523 NationalityCode StateCode Stato 'I'  -> '100000100'");
    EXPECT_EQ(observer.lookups[10],
              "24004523 BirthPlaceCode PlaceCodeAtDate Residenza 'IONIA' 19750315 -> "
              "'419087501'");
    EXPECT_EQ(observer.lookups[11],
              "24004523 ResidencePlaceCode PlaceCode Residenza 'IONIA'  -> '419087015'");
    EXPECT_EQ(
        observer.lookups[4],
        "24004531 BirthPlaceCode PlaceCodeAtDate LuogoNascita '' 19920229 -> '" + kBlanks + "'");

    ASSERT_EQ(observer.written.size(), 7u);
    const WrittenGuest& last = observer.written.back();
    EXPECT_EQ(last.guest.database, "SchedaStoricoClienti.mdb");
    EXPECT_EQ(last.guestId, "24004550");
    EXPECT_EQ(last.age, 38);
    EXPECT_EQ(last.arrivalDate, "20240305");
    EXPECT_EQ(last.departureDate, "20240310");
    EXPECT_EQ(last.guest.room, "30");
    EXPECT_EQ(last.guest.nomeCliente, "MEIER ANNA");
    EXPECT_EQ(observer.written[3].guest.headNumeroProgressivo, 24004521);

    observer.considered.clear();
    MemoryLineSink skips;
    WriteHistoryStays(f.ctx, "11/03/2024", "11/03/2024", skips, "A");
    const std::vector<std::string> skipped = {
        "24006001 marker",
        "24006010 written",
        "24006020 written",
        "24006021 marker",
        "24006022 written",
        "24006023 written",
        "24006024 written",
        "24006030 written",
        "24006040 no later departure",
        "24006050 no later departure",
        "24006060 no later departure",
    };
    EXPECT_EQ(observer.considered, skipped);
}

struct RejectRow {
    const char* rule;
    bool history;
    const char* kind;
    std::string rows;  // guest table rows for the day 15/03/2024
    std::string message;
};

const RejectRow kRejectRows[] = {
    {"Null birth date", false, "A",
     "1|4521|X|U|N|0|0|20240315|20240320| |N|\\N|CATANIA CT I|I|CATANIA|M|12\n",
     "Dati non validi in Scheda_Cliente.mdb, scheda 4521: DataNascita vuota"},
    {"blank birth date", false, "A",
     "1|4521|X|U|N|0|0|20240315|20240320| |N| |CATANIA CT I|I|CATANIA|M|12\n",
     "Dati non validi in Scheda_Cliente.mdb, scheda 4521: DataNascita vuota"},
    {"birth date that is no day", false, "A",
     "1|4521|X|U|N|0|0|20240315|20240320| |N|19800230|CATANIA CT I|I|CATANIA|M|12\n",
     "Dati non validi in Scheda_Cliente.mdb, scheda 4521: DataNascita non valida"},
    {"birth date of seven digits", false, "A",
     "1|4521|X|U|N|0|0|20240315|20240320| |N|1980011|CATANIA CT I|I|CATANIA|M|12\n",
     "Dati non validi in Scheda_Cliente.mdb, scheda 4521: DataNascita non valida"},
    {"arrival date that is no day", false, "P",
     "1|4521|X|U|N|0|0|20240230|20240320|20240315|S|19800101|CATANIA CT I|I|CATANIA|M|12\n",
     "Dati non validi in Scheda_Cliente.mdb, scheda 4521: DataArrivo non valida"},
    {"Null NumeroProgressivo", false, "A",
     "1|\\N|X|U|N|0|0|20240315|20240320| |N|19800101|CATANIA CT I|I|CATANIA|M|12\n",
     "Dati non validi in Scheda_Cliente.mdb: NumeroProgressivo vuoto"},
    {"member of a written history head", true, "A",
     "1|24004521|ROSSI|S|N|0|0|20240315|20240320|20240320|S|19800101|CATANIA CT I|I|CATANIA|M|12\n"
     "1|24004522|ROSSI|N|N|4521|0|20240315|20240320|20240320|S|\\N|CATANIA CT I|I|CATANIA|F|12\n",
     "Dati non validi in SchedaStoricoClienti.mdb, scheda 24004522: DataNascita vuota"},
    {"skipped history records are not checked", true, "A",
     "1|24004521|*** p***|S|N|0|0|20240315|20240320|20240320|S|\\N|CATANIA CT I|I|CATANIA|M|12\n"
     "1|24004530|ROSSI|S|N|0|0|20240315|20240320|20240320|S|19800101|CATANIA CT I|I|CATANIA|M|13\n"
     "1|24004531|*** p**|N|N|4530|0|20240315|20240320|20240320|S|\\N|CATANIA CT I|I|CATANIA|F|13\n",
     ""},
};

TEST(StaysWritersTest, RecordsThatStopTheRun) {
    for (const auto& row : kRejectRows) {
        StaysFixture f;
        RecordingObserver observer;
        f.ctx.observer = &observer;
        const std::string database =
            row.history ? "SchedaStoricoClienti.mdb" : "Scheda_Cliente.mdb";
        test::writeTableText(f.dir, database, "Scheda_Cliente", test::kGuestHeader + row.rows);
        MemoryLineSink sink;
        std::string message;
        try {
            if (row.history)
                WriteHistoryStays(f.ctx, "15/03/2024", "15/03/2024", sink, row.kind);
            else
                WriteRegisterStays(f.ctx, "15/03/2024", "15/03/2024", sink, row.kind);
        } catch (const RunError& e) {
            message = e.message();
            EXPECT_FALSE(e.detail().empty()) << row.rule;
        }
        EXPECT_EQ(message, row.message) << row.rule;
        if (row.message.empty()) {
            EXPECT_TRUE(observer.rejected.empty()) << row.rule;
        } else {
            ASSERT_EQ(observer.rejected.size(), 1u) << row.rule;
            EXPECT_NE(observer.rejected[0].find(row.message), std::string::npos) << row.rule;
        }
    }
}

TEST(StaysWritersTest, LinesBeforeTheStopStay) {
    StaysFixture f;
    test::writeTableText(
        f.dir, "SchedaStoricoClienti.mdb", "Scheda_Cliente",
        std::string(test::kGuestHeader) +
            "1|24004521|ROSSI|S|N|0|0|20240315|20240320|20240320|S|19800101|CATANIA CT "
            "I|I|CATANIA|M|12\n"
            "1|24004522|ROSSI|N|N|4521|0|20240315|20240320|20240320|S|19800230|CATANIA CT "
            "I|I|CATANIA|F|12\n");
    MemoryLineSink sink;
    EXPECT_THROW(WriteHistoryStays(f.ctx, "15/03/2024", "15/03/2024", sink, "A"), RunError);
    // The head's stay lines and its own guest lines, nothing of the member.
    ASSERT_EQ(sink.lines().size(), 4u + 20u);
    EXPECT_EQ(sink.lines().back(), "         </Guest>");
}

}  // namespace
}  // namespace velmora
