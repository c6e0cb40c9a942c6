// The stays area over guest databases written at test time from the tables in
// data/: whole documents compared byte for byte with expected/, the stays and
// guests a window selects, the value rules, the records that stop the run, the
// code lookups, the place splitter and the stays file.
#include <gtest/gtest.h>
#include <libxml/parser.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <set>

#include "core/RunError.h"
#include "core/Text.h"
#include "jet/JetEngine.h"
#include "jet/JetText.h"
#include "jet/TextFold.h"
#include "stays/CodeLookups.h"
#include "stays/ExportStays.h"
#include "stays/LineSink.h"
#include "stays/PostedDocument.h"
#include "stays/SplitPlace.h"
#include "stays/StayValues.h"
#include "stays/StaysContext.h"
#include "stays/StaysWriters.h"
#include "support/Fakes.h"
#include "support/Support.h"

namespace velmora::test {
namespace {

using test::operator<<;

namespace fs = std::filesystem;

const std::string kBlanks = "         ";
const std::string kFirstFile = "Velmora/Istat-20260305140709.xml";

// A working directory with the codes database and the guest databases given
// (data/ files or inline rows), the run state (UserId 123456, InitialDate
// 20240101) and the stays context over the real engine.
struct Hotel {
    explicit Hotel(const std::string& registerFile = "register.txt",
                   const std::string& historyFile = "history.txt") {
        writeTables(dir / "Comuni.mdb", {{"CodiciVari", testFile("stays/data/codes.txt")}});
        if (!registerFile.empty())
            guests("Scheda_Cliente.mdb", testFile("stays/data/" + registerFile));
        if (!historyFile.empty())
            guests("SchedaStoricoClienti.mdb", testFile("stays/data/" + historyFile));
        state.UserId = "123456";
        state.InitialDate = "20240101";
        ReadOnlyColumnsUsed(engine);  // as the program runs it
    }
    void guests(const std::string& database, const std::string& table) {
        writeTables(dir / database, {{"Scheda_Cliente", table}});
    }
    std::vector<std::string> write(bool history, const std::string& from, const std::string& to,
                                   const std::string& kind) {
        MemoryLineSink sink;
        if (history)
            WriteHistoryStays(ctx, from, to, sink, kind);
        else
            WriteRegisterStays(ctx, from, to, sink, kind);
        return sink.lines();
    }
    TempDir dir;
    RunState state;
    JetEngine engine{dir.path()};
    LocalFileStore files{dir.path()};
    FixedClock clock;
    StaysContext ctx{state, engine, files, clock, nullptr};
};

// "StayId(GuestId GuestId) StayId(...)" of a document's lines.
std::string stayOutline(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& line : lines) {
        for (const char* tag : {"<StayId>", "<GuestId>"}) {
            const auto b = line.find(tag);
            if (b == std::string::npos) continue;
            const std::string text =
                line.substr(b + std::strlen(tag), line.find('<', b + 1) - b - std::strlen(tag));
            if (tag[1] == 'S')
                out += (out.empty() ? "" : ") ") + text + "(";
            else
                out += (out.back() == '(' ? "" : " ") + text;
        }
    }
    return out.empty() ? out : out + ")";
}

struct Document {
    const char* rule;
    const char* file;
    const char* day;
    const char* kind;
};

class StaysDocument : public ::testing::TestWithParam<Document> {};

TEST_P(StaysDocument, IsTheExpectedFileByteForByte) {
    Hotel hotel;
    MemoryLineSink sink;
    writeStaysDocument(hotel.ctx, GetParam().day, GetParam().day, GetParam().kind, sink);
    std::string text;
    for (const auto& line : sink.lines()) text += line + "\r\n";
    EXPECT_EQ(text, testFile(std::string("stays/expected/") + GetParam().file));
    EXPECT_EQ(hotel.state.StaysWritten, 1);
}

const Document kDocuments[] = {
    {"register arrivals of 15 03 2024", "register-arrivals.xml", "15/03/2024", "A"},
    {"history departures of 10 03 2024", "history-departures.xml", "10/03/2024", "P"},
};
INSTANTIATE_TEST_SUITE_P(Stays, StaysDocument, ::testing::ValuesIn(kDocuments), RuleName());

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

class StaysSelection : public ::testing::TestWithParam<SelectionRow> {};

TEST_P(StaysSelection, WritesTheseStaysAndGuests) {
    const SelectionRow& row = GetParam();
    Hotel hotel;
    hotel.state.InitialDate = row.initialDate;
    const auto lines = hotel.write(row.history, row.from, row.to, row.kind);
    EXPECT_EQ(stayOutline(lines), row.outline);
    EXPECT_EQ(hotel.state.StaysWritten, row.outline.empty() ? 0 : 1);
    const std::string checkout = std::string("           <Checkout>") +
                                 (std::string(row.kind) == "A" ? "false" : "true") + "</Checkout>";
    for (const auto& line : lines)
        if (line.find("<Checkout>") != std::string::npos) {
            EXPECT_EQ(line, checkout);
        }
}

INSTANTIATE_TEST_SUITE_P(Stays, StaysSelection, ::testing::ValuesIn(kSelectionRows), RuleName());

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
    {"age: born 29/02, arriving 28/02 of a common year", "23007006", 3, "           <Age>22</Age>"},
    {"Type: family head before group head", "24007101", 7, "            <Type>17</Type>"},
    {"Type: family member before group head", "24007103", 7, "            <Type>19</Type>"},
    {"Type: group member before group head", "24007104", 7, "            <Type>20</Type>"},
    {"Type: a 'U' record with a family code", "24007107", 7, "            <Type>19</Type>"},
    {"gender: \"M\"", "24007201", 8, "           <Gender>1</Gender>"},
    {"gender: \"F\"", "24007205", 8, "           <Gender>2</Gender>"},
    {"gender: empty is not male", "24007203", 8, "           <Gender>2</Gender>"},
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
    {"room: < and > become blanks", "24007401", 15, "              <RoomId> 12 </RoomId>"},
    {"room: & is left to the export", "24007404", 15, "              <RoomId>B&B Sole</RoomId>"},
    {"departure: Partito \"S\" takes DataPartenzaReale", "24007501", 10,
     "           <DepartureDate>2024-06-08T10:00:00.000Z</DepartureDate>"},
    {"departure: Partito \"s\" takes DataPartenza", "24007502", 10,
     "           <DepartureDate>2024-06-10T10:00:00.000Z</DepartureDate>"},
    {"departure: Partito \"N\" takes DataPartenza", "24007503", 17,
     "              <EndDate>2024-06-10T10:00:00.000Z</EndDate>"},
    {"birth place: the words after the place are cut", "24007601", 5,
     "           <BirthPlaceCode>419086014</BirthPlaceCode>"},
    {"birth place: \"***\" is no place in the register", "24007602", 5,
     "           <BirthPlaceCode>" + kBlanks + "</BirthPlaceCode>"},
};

class StayValue : public ::testing::TestWithParam<ValueRow> {};

TEST_P(StayValue, IsWrittenOnItsLine) {
    // data/values.txt holds one single stay per rule, written once.
    static const std::vector<std::string> lines = [] {
        Hotel hotel("values.txt", "");
        hotel.state.InitialDate = "20230101";
        return hotel.write(false, "01/01/2023", "31/12/2024", "A");
    }();
    const ValueRow& row = GetParam();
    const std::string idLine = std::string("           <GuestId>") + row.guestId + "</GuestId>";
    const auto at = std::find(lines.begin(), lines.end(), idLine);
    ASSERT_NE(at, lines.end()) << "guest " << row.guestId << " missing";
    ASSERT_LT(at - lines.begin() + row.line - 2, static_cast<long>(lines.size()));
    EXPECT_EQ(*(at + row.line - 2), row.text);
}

INSTANTIATE_TEST_SUITE_P(Stays, StayValue, ::testing::ValuesIn(kValueRows), RuleName());

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
    {"birth date that is no day", false, "A",
     "1|4521|X|U|N|0|0|20240315|20240320| |N|19800230|CATANIA CT I|I|CATANIA|M|12\n",
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

class RecordThatStops : public ::testing::TestWithParam<RejectRow> {};

TEST_P(RecordThatStops, StopsTheRunNamingTheRecord) {
    const RejectRow& row = GetParam();
    Hotel hotel("", "");
    hotel.guests(row.history ? "SchedaStoricoClienti.mdb" : "Scheda_Cliente.mdb",
                 kHistoryHeader + row.rows);
    std::string message;
    try {
        hotel.write(row.history, "15/03/2024", "15/03/2024", row.kind);
    } catch (const RunError& e) {
        message = e.message();
        EXPECT_FALSE(e.detail().empty());
    }
    EXPECT_EQ(message, row.message);
}

INSTANTIATE_TEST_SUITE_P(Stays, RecordThatStops, ::testing::ValuesIn(kRejectRows), RuleName());

struct LookupRow {
    const char* rule;
    const char* routine;  // "StateCode", "PlaceCode", "PlaceCodeAtDate"
    std::string text;
    std::string date;
    std::string code;
};
const LookupRow kLookupRows[] = {
    {"state found by abbreviation", "StateCode", "D", "", "100000216"},
    {"state that no kind-0 row has", "StateCode", "ZZ", "", kBlanks},
    {"state row with Null CodicePS", "StateCode", "E", "", kBlanks},
    {"valid municipality", "PlaceCode", "PALERMO", "", "419082053"},
    {"name trimmed, stored name padded", "PlaceCode", "  CATANIA ", "", "419087015"},
    {"apostrophe in the name", "PlaceCode", "SANT'AGATA DI MILITELLO", "", "419083084"},
    {"recoded municipality: the valid row", "PlaceCode", "FORLI'", "", "408140012"},
    {"ended municipality: its province names a valid place", "PlaceCode", "IONIA", "", "419087015"},
    {"fall-back through a province named with an apostrophe", "PlaceCode", "FIUMANA", "",
     "408140012"},
    {"fall-back through a padded province name", "PlaceCode", "SALINA", "", "419083048"},
    {"fall-back: no place named like the province", "PlaceCode", "SALTARA", "", kBlanks},
    {"unknown place", "PlaceCode", "VATTELAPESCA", "", kBlanks},
    {"valid row with Null CodicePS", "PlaceCode", "GIARRE", "", kBlanks},
    {"old code valid at the birth date", "PlaceCodeAtDate", "FORLI'", "19800515", "408040012"},
    {"last day of the validity window counts", "PlaceCodeAtDate", "FORLI'", "19941231",
     "408040012"},
    {"new code from its first day", "PlaceCodeAtDate", "FORLI'", "19950101", "408140012"},
    {"ended municipality inside its window", "PlaceCodeAtDate", "IONIA", "19750315", "419087501"},
    {"date after the end falls through to the fall-back", "PlaceCodeAtDate", "IONIA", "19840101",
     "419087015"},
};

class CodeLookup : public ::testing::TestWithParam<LookupRow> {};

TEST_P(CodeLookup, GivesTheCodeTracedOrNot) {
    static Hotel hotel("", "");
    const LookupRow& row = GetParam();
    const std::string routine = row.routine;
    for (LookupTrace* trace : {static_cast<LookupTrace*>(nullptr), new LookupTrace}) {
        const std::string code = routine == "StateCode" ? StateCode(hotel.engine, row.text, trace)
                                 : routine == "PlaceCode"
                                     ? PlaceCode(hotel.engine, row.text, trace)
                                     : PlaceCodeAtDate(hotel.engine, row.text, row.date, trace);
        EXPECT_EQ(code, row.code) << (trace ? "traced" : "");
        delete trace;
    }
}

INSTANTIATE_TEST_SUITE_P(Stays, CodeLookup, ::testing::ValuesIn(kLookupRows), RuleName());

struct SplitRow {
    const char* rule;
    std::string text;
    std::array<std::string, 4> parts;
};
const SplitRow kSplitRows[] = {
    {"two place words and two more",
     "PIAZZA ARMERINA EN I",
     {"I", "PIAZZA ARMERINA EN", "EN", "PIAZZA ARMERINA"}},
    {"one place word and two more", "CATANIA CT I", {"I", "CATANIA CT", "CT", "CATANIA"}},
    {"one blank only: part 3 empty", "CATANIA CT", {"CT", "CATANIA", "ATANIA", ""}},
    {"no blank: first character and the rest", "CATANIA", {"ATANIA", "C", "C", ""}},
    {"two blanks in a row count twice", "A  B C", {"C", "A  B", "B", "A"}},
    {"the marker gives nothing", "***", {"", "", "", ""}},
    {"empty text", "", {"", "", "", ""}},
    {"three asterisks, blank, asterisk", "*** *", {"*", "***", "**", ""}},
};

class PlaceSplit : public ::testing::TestWithParam<SplitRow> {};

TEST_P(PlaceSplit, GivesTheFourParts) {
    const SplitRow& row = GetParam();
    for (int part = 0; part < 4; ++part)
        EXPECT_EQ(SplitPlace(row.text, part), row.parts[static_cast<std::size_t>(part)])
            << "part " << part;
    EXPECT_EQ(SplitPlace(row.text, 4), "");
}

INSTANTIATE_TEST_SUITE_P(Stays, PlaceSplit, ::testing::ValuesIn(kSplitRows), RuleName());

// The stays file of ExportStays, with the data file and the log directory.
struct ExportHotel : Hotel {
    explicit ExportHotel(const std::string& registerFile = "register.txt") : Hotel(registerFile) {
        fs::create_directory(dir / "Velmora");
        dir.write("QLBDataI.txt", "01/01/2024\r\n");
    }
};

// What the writers report of each guest, and what the reader finds in the
// document as posted, are the same for both databases: the journal records
// the first and rebuilds from the second.
class GuestsReported : public StaysObserver {
public:
    void guestWritten(const WrittenGuest& g) override {
        guests.push_back(g.day + " " + g.guest.database + " " +
                         std::to_string(g.guest.numeroProgressivo.value_or(-1)) + " " + g.guestId +
                         " " + g.fingerprint);
    }
    void stayWritten(const std::string& fingerprint) override {
        for (; stayed < guests.size(); ++stayed) guests[stayed] += " " + fingerprint;
    }
    std::vector<std::string> guests;
    std::size_t stayed = 0;
};

TEST(PostedDocument, ReadsBackWhatTheWritersReport) {
    const struct {
        const char* registerFile;
        const char* day;
        const char* kind;
        const char* database;  // the database of the document's guests
    } rows[] = {{"register.txt", "15/03/2024", "A", "Scheda_Cliente.mdb"},
                {"register.txt", "10/03/2024", "P", "SchedaStoricoClienti.mdb"},
                // "&" is posted as a blank
                {"values.txt", "01/06/2024", "A", "Scheda_Cliente.mdb"}};
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.registerFile) + " " + r.day + " " + r.kind);
        ExportHotel hotel(r.registerFile);
        hotel.dir.write("QLBDataI.txt", "01/01/2023\r\n");
        GuestsReported reported;
        hotel.ctx.observer = &reported;
        const std::string body = ExportStays(hotel.ctx, r.day, r.day, r.kind);
        std::vector<std::string> read;
        for (const PostedGuest& g : ReadPostedGuests(body, r.kind))
            read.push_back(g.day + " " + g.database + " " +
                           std::to_string(g.numeroProgressivo.value_or(-1)) + " " + g.guestId +
                           " " + g.fingerprint + " " + g.stayFingerprint);
        EXPECT_EQ(read, reported.guests);
        std::set<std::string> databases;
        for (const PostedGuest& g : ReadPostedGuests(body, r.kind)) databases.insert(g.database);
        EXPECT_EQ(databases, std::set<std::string>{r.database});
    }
}

TEST(StaysFile, OneLineDocumentsUnderNamesThatNeverReplaceEachOther) {
    ExportHotel hotel;
    const std::string text = ExportStays(hotel.ctx, "15/03/2024", "15/03/2024", "A");
    EXPECT_EQ(hotel.state.InitialDate, "20240101");
    EXPECT_EQ(hotel.dir.read(kFirstFile), text + "\r\n");
    // Exactly the document built without any file, lines joined.
    MemoryLineSink sink;
    buildStaysDocument(hotel.ctx, "15/03/2024", "15/03/2024", "A", sink);
    std::string joined;
    for (const auto& line : sink.lines()) joined += line;
    EXPECT_EQ(text, joined);
    // A day without stays: the empty document, kept but not returned.
    EXPECT_EQ(ExportStays(hotel.ctx, "01/02/2024", "01/02/2024", "P"), "");
    EXPECT_EQ(hotel.state.StaysWritten, 0);
    EXPECT_EQ(hotel.dir.read("Velmora/Istat-20260305140709-2.xml"),
              " <StaysPmsDTO> </StaysPmsDTO>\r\n");
    ExportStays(hotel.ctx, "01/02/2024", "01/02/2024", "P");
    EXPECT_TRUE(fs::exists(hotel.dir / "Velmora/Istat-20260305140709-3.xml"));
    // The first line of QLBDataI.txt bounds the arrivals.
    hotel.dir.write("QLBDataI.txt", "16/03/2024\r\n01/01/2000\r\n");
    EXPECT_EQ(ExportStays(hotel.ctx, "15/03/2024", "15/03/2024", "A"), "");
}

TEST(StaysFile, AmpersandBecomesABlank) {
    ExportHotel hotel("values.txt");
    hotel.dir.write("QLBDataI.txt", "01/01/2023\r\n");
    const std::string text = ExportStays(hotel.ctx, "01/06/2024", "01/06/2024", "A");
    EXPECT_NE(text.find("<RoomId>B B Sole</RoomId>"), std::string::npos);
    EXPECT_EQ(text.find('&'), std::string::npos);
}

// Text exactly as stored, and well-formed documents for every stored text:
// room values planted as UTF-16 units in a real Jet 4 file and written by the
// register writer, byte values and dates through the value rules, Jet text
// decoding and case folding; every document piece is parsed by libxml2.
enum class Through {
    Room,   // UTF-16LE units of NumeroCamera in the register → RoomId
    Memo,   // the same, NumeroCamera made a memo kept in its row
    Value,  // UTF-8 bytes → xmlSafe
    Date,   // stored date → xmlSafe(dateTimeText)
    Jet3,   // code page 1252 bytes → UTF-8
    Jet4,   // Jet 4 stored bytes → UTF-8
    Fold,   // "a|b" → "<", "=" or ">" as the engine compares them
};

struct TextRule {
    const char* rule;
    Through through;
    std::string stored;
    std::string expected;
};

std::string u16(std::u16string_view units) {
    std::string bytes;
    for (char16_t c : units) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

// Whether libxml2 reads the text as a well-formed document, no recovery.
bool wellFormed(const std::string& xml) {
    xmlDocPtr doc = xmlReadMemory(xml.data(), static_cast<int>(xml.size()), "doc.xml", "UTF-8",
                                  XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    xmlFreeDoc(doc);
    return doc != nullptr;
}

// RoomId of the one register guest whose room is stored as these UTF-16LE
// bytes, as text or as a memo kept in its row; the whole register document
// must be well-formed. The room is written as as many U+0100 as it needs
// units (stored uncompressed), then overwritten in the file.
std::string roomThroughWriter(std::string stored, bool memo) {
    Hotel f("", "");
    if (memo) {
        const std::size_t n = stored.size();
        stored = std::string{static_cast<char>(n), static_cast<char>(n >> 8), 0, '\x80'} +
                 std::string(8, '\0') + stored;
    }
    std::string header = kHistoryHeader, placeholder;
    header.replace(header.find("NumeroCamera:Integer"), 20, "NumeroCamera:Text(40)");
    for (std::size_t k = 0; k < stored.size() / 2; ++k) placeholder += "\xC4\x80";
    f.guests("Scheda_Cliente.mdb", header + "1|4521|ROSSI|U|N|0|0|20240315|20240320| |N|19800101|" +
                                       "CATANIA CT I|I|CATANIA|M|" + placeholder + "\n");
    std::string file = f.dir.read("Scheda_Cliente.mdb");
    const std::size_t at = file.find(u16(std::u16string(stored.size() / 2, u'\u0100')));
    if (at == std::string::npos) return "placeholder not found";
    file.replace(at, stored.size(), stored);
    if (memo) {
        // The row's page names its definition; column 16's entry starts with its type.
        const std::size_t definition = static_cast<unsigned char>(file[at / 4096 * 4096 + 4]) |
                                       static_cast<unsigned char>(file[at / 4096 * 4096 + 5]) << 8;
        file[definition * 4096 + 63 + 25 * 16] = 0x0C;
    }
    f.dir.write("Scheda_Cliente.mdb", file);

    MemoryLineSink sink;
    WriteRegisterStays(f.ctx, "15/03/2024", "15/03/2024", sink, "A");
    std::string doc = "<StaysPmsDTO>";
    for (const auto& line : sink.lines()) doc += line;
    doc += "</StaysPmsDTO>";
    if (!wellFormed(doc)) return "not well-formed: " + doc;
    const std::size_t b = doc.find("<RoomId>") + 8;
    return doc.substr(b, doc.find("</RoomId>") - b);
}

std::string outcome(const TextRule& row) {
    switch (row.through) {
        case Through::Room:
        case Through::Memo:
            return roomThroughWriter(row.stored, row.through == Through::Memo);
        case Through::Value:
        case Through::Date: {
            const std::string value = row.through == Through::Value
                                          ? xmlSafe(row.stored)
                                          : xmlSafe(dateTimeText(row.stored, "T10:00:00.000Z"));
            return wellFormed("<v>" + value + "</v>") ? value : "not well-formed: " + value;
        }
        case Through::Jet3:
            return jet::jetTextToUtf8(row.stored, jet::JetTextForm::Jet3Cp1252);
        case Through::Jet4:
            return jet::jetTextToUtf8(row.stored, jet::JetTextForm::Jet4);
        case Through::Fold: {
            const std::size_t bar = row.stored.find('|');
            const int c = jet::compareFolded(row.stored.substr(0, bar), row.stored.substr(bar + 1));
            return c < 0 ? "<" : c == 0 ? "=" : ">";
        }
    }
    return {};
}

class TextRulesTest : public testing::TestWithParam<TextRule> {};

TEST_P(TextRulesTest, FollowsTheRule) { EXPECT_EQ(outcome(GetParam()), GetParam().expected); }

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Rules, TextRulesTest,
    testing::Values(
        TextRule{"room_as_stored", Through::Room, u16(u"12A"), "12A"},
        TextRule{"room_C0_controls_and_NUL_are_blanks", Through::Room, u16(u"1\u0001\u001B\0"s),
                 "1   "},
        TextRule{"room_tab_LF_CR_are_blanks", Through::Room, u16(u"\t\n\r"), "   "},
        TextRule{"room_DEL_and_C1_controls_are_blanks", Through::Room,
                 u16(u"12\u007F\u0080\u0085\u009FA"), "12    A"},
        TextRule{"room_U_FFFE_and_U_FFFF_are_blanks", Through::Room, u16(u"R\uFFFE\uFFFF"), "R  "},
        TextRule{"room_surrogate_pair_is_one_character", Through::Room, u16(u"R\xD83D\xDE00"),
                 "R\xF0\x9F\x98\x80"},
        TextRule{"room_unpaired_surrogates_are_blanks", Through::Room,
                 u16(u"R\xD83D"
                     u"A\xDE00"),
                 "R A "},
        TextRule{"memo_in_its_row_with_a_surrogate_pair_and_a_C1_control", Through::Memo,
                 u16(u"R\xD83D\xDE00\u0085"), "R\xF0\x9F\x98\x80 "},
        TextRule{"room_markup_and_letters_beyond_latin", Through::Room, u16(u"<\u03B1>\u20AC"),
                 " \xCE\xB1 \xE2\x82\xAC"},
        TextRule{"value_broken_sequence_bytes_are_blanks", Through::Value,
                 "A\xC3"
                 "B\xE2\x82",
                 "A B  "},
        TextRule{"value_invalid_bytes_and_overlong_forms_are_blanks", Through::Value,
                 "\xFF\xC0\xAF\xE0\x80\xAF"
                 "x",
                 "      x"},
        TextRule{"value_encoded_surrogate_is_one_blank", Through::Value,
                 "a\xED\xA0\x80"
                 "b",
                 "a b"},
        TextRule{"value_C1_control_is_a_blank", Through::Value,
                 "12\xC2\x85"
                 "A",
                 "12 A"},
        TextRule{"value_beyond_plane_0_kept", Through::Value, "\xF0\x9F\x98\x80",
                 "\xF0\x9F\x98\x80"},
        TextRule{"date_cut_by_characters", Through::Date, "2024031\xC3\xA9",
                 "2024-03-1\xC3\xA9T10:00:00.000Z"},
        TextRule{"date_cut_by_characters_before_an_accent", Through::Date,
                 "2024\xC3\xA9"
                 "315",
                 "2024-\xC3\xA9"
                 "3-15T10:00:00.000Z"},
        TextRule{"jet3_1252_high_bytes_are_their_characters", Through::Jet3, "\x80\x85\x93\x94\x9F",
                 "\xE2\x82\xAC\xE2\x80\xA6\xE2\x80\x9C\xE2\x80\x9D\xC5\xB8"},
        TextRule{"jet3_unassigned_1252_byte_is_its_control", Through::Jet3, "\x81\xE0",
                 "\xC2\x81\xC3\xA0"},
        TextRule{"jet4_compressed_switching_to_a_surrogate_pair", Through::Jet4,
                 "\xFF\xFE"
                 "R\x00\x3D\xD8\x01\xDE\x00"
                 "A"s,
                 "R\xF0\x9F\x98\x81"
                 "A"},
        TextRule{"jet4_unpaired_surrogate_kept_as_stored", Through::Jet4, "\x00\xDC"s,
                 "\xED\xB0\x80"},
        TextRule{"jet4_odd_last_byte_is_a_replacement_character", Through::Jet4, "A\x00\x42"s,
                 "A\xEF\xBF\xBD"},
        TextRule{"fold_greek_ignores_case", Through::Fold,
                 "\xCE\xB1\xCE\xB8\xCE\xB7\xCE\xBD\xCE\xB1|"
                 "\xCE\x91\xCE\x98\xCE\x97\xCE\x9D\xCE\x91",
                 "="},
        TextRule{"fold_final_sigma_meets_sigma", Through::Fold, "\xCF\x82|\xCE\xA3", "="},
        TextRule{"fold_cyrillic_ignores_case", Through::Fold, "\xD0\xB4|\xD0\x94", "="},
        TextRule{"fold_keeps_accents", Through::Fold, "citta|CITT\xC3\x80", "<"},
        TextRule{"fold_latin_as_before", Through::Fold, "\xC3\xA0|\xC3\x80", "="},
        TextRule{"fold_no_letter_outside_ascii_meets_ascii", Through::Fold, "\xC4\xB1|I", ">"},
        TextRule{"fold_pair_of_different_length", Through::Fold, "\xE2\xB1\xA5|\xC8\xBA", "="},
        TextRule{"fold_orders_beyond_plane_0_after_letters", Through::Fold, "R\xF0\x9F\x98\x80|rz",
                 ">"}),
    RuleName());

}  // namespace
}  // namespace velmora::test
