// The check before sending over real databases written by jetwrite: every
// kind of finding from the records that cause it, a clean day without any,
// the documents equal to the export's, and a check that writes nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <tuple>

#include "CheckTestSupport.h"
#include "app/CheckCommand.h"
#include "check/CheckRun.h"
#include "core/RunError.h"
#include "core/RunState.h"
#include "platform/FileStore.h"
#include "jet/JetEngine.h"
#include "service/ServiceMessages.h"
#include "stays/ExportStays.h"
#include "stays/StaysContext.h"
#include "support/Fakes.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

using test::TempDir;

// A hotel directory and the check over it.
struct Checked {
    Checked(const std::string& registerRows, const std::string& historyRows)
        : engine(dir.path()), files(dir.path()) {
        test::writeCheckHotel(dir, registerRows, historyRows);
        state.UserId = test::kUser;
    }
    CheckReport run(const std::string& first, const std::string& last) {
        RunView view;
        return CheckRun(state, engine, files, clock).run(first, last, view);
    }

    TempDir dir;
    JetEngine engine;
    LocalFileStore files;
    test::FixedClock clock;
    RunState state;
};

struct Expected {
    CheckSeverity severity;
    const char* kind;
    long long numero;  // -1: no number
    const char* problem;
    const char* fix;
};

using Key = std::tuple<std::string, int, long long>;

Key keyOf(const CheckFinding& f) {
    return {f.kind, static_cast<int>(f.severity), f.numeroProgressivo.value_or(-1)};
}
Key keyOf(const Expected& e) { return {e.kind, static_cast<int>(e.severity), e.numero}; }

constexpr CheckSeverity B = CheckSeverity::Blocking;
constexpr CheckSeverity R = CheckSeverity::Rejected;
constexpr CheckSeverity N = CheckSeverity::NeverSent;
constexpr CheckSeverity S = CheckSeverity::Skipped;

// A register guest of room r arriving on 10/03/2026 who is fine in every
// value but the ones a row changes (fields by position, see the header).
std::string guest(const std::string& numero, const std::string& role, const std::string& room,
                  const std::string& middle = "20260310|20260312|20260312|S|19800101",
                  const std::string& places = "CATANIA CT I|I|CATANIA") {
    return "1|" + numero + "|" + role + "|" + middle + "|" + places + "|M|" + room + "\n";
}

TEST(CheckFindings, EachRecordGivesItsFinding) {
    struct Row {
        const char* rule;
        std::string registerRows;
        std::string historyRows;
        std::vector<Expected> expected;
    } rows[] = {
        {"clean day: family, single guest, residence found through the province",
         guest("100", "S|N|0|0", "1") + guest("101", "N|N|100|0", "1") +
             guest("102", "U|N|0|0", "2", "20260310|20260312|20260312|S|19500101",
                   "IONIA CT I|I|IONIA"),
         "1|26000200|ROSSI MARIA|U|N|0|0|20260308|20260310|20260310|S|19700101|ACIREALE CT "
         "I|I|ACIREALE|F|5\n",
         {}},
        {"a record that heads its own stay is sent, whatever member codes it also holds",
         // 120 heads a group and names a family head who arrived the day
         // before; 121 is 'U' with a family code: both are written as heads.
         guest("119", "S|N|0|0", "3", "20260309|20260312|20260312|S|19800101") +
             guest("120", "N|S|119|0", "4") + guest("121", "U|N|119|0", "5"),
         "",
         {}},
        {"state abbreviation unknown: one finding for both elements",
         guest("110", "U|N|0|0", "1", "20260310|20260312|20260312|S|19800101",
               "PRAGA ES CZ|CZ|PRAGA"),
         "",
         {{R, "A", 110, "cittadinanza (NationalityCode) e residenza (ResidencePlaceCode) vuoti",
           "correggere la sigla dello stato nella scheda"},
          {R, "A", 110, "nessun comune o stato di nome 'PRAGA'",
           "correggere il luogo di nascita"}}},
        {"state without a code",
         guest("111", "U|N|0|0", "1", "20260310|20260312|20260312|S|19800101",
               "CATANIA CT I|ZZ|SENZACODICE"),
         "",
         {{R, "A", 111, "lo stato 'ZZ' è in Comuni.mdb senza CodicePS",
           "completare il codice dello stato"}}},
        {"birth place nobody knows",
         guest("112", "U|N|0|0", "1", "20260310|20260312|20260312|S|19800101",
               "ATLANTIDE XX I|I|CATANIA"),
         "",
         {{R, "A", 112,
           "nessun comune o stato di nome 'ATLANTIDE' in Comuni.mdb (ricavato dal luogo di "
           "nascita 'ATLANTIDE XX I')",
           "correggere il luogo di nascita nella scheda"}}},
        {"birth place of one word is cut to nothing",
         guest("113", "U|N|0|0", "1", "20260310|20260312|20260312|S|19800101", "CATANIA|I|CATANIA"),
         "",
         {{R, "A", 113, "dal luogo di nascita 'CATANIA' non resta alcun nome",
           "scrivere il luogo di nascita come comune, sigla della provincia"}}},
        {"register birth place marker",
         guest("114", "U|N|0|0", "1", "20260310|20260312|20260312|S|19800101", "***|I|CATANIA"),
         "",
         {{R, "A", 114, "il luogo di nascita è sconosciuto ('***')",
           "indicare il luogo di nascita"}}},
        {"residence only ended, no province row",
         guest("115", "U|N|0|0", "1", "20260310|20260312|20260312|S|19800101",
               "CATANIA CT I|I|XITTA"),
         "",
         {{R, "A", 115,
           "la prima trovata è la riga valida dal 01/01/1900 al 31/12/1983, provincia 'TP') e "
           "nessuna "
           "provincia ha la sigla 'TP'",
           "scrivere nella scheda il comune attuale"}}},
        {"residence only ended, province named like no valid place",
         guest("116", "U|N|0|0", "1", "20260310|20260312|20260312|S|19800101",
               "CATANIA CT I|I|SALTARA"),
         "",
         {{R, "A", 116,
           "il ripiego sulla provincia non trova un comune o stato valido oggi di nome 'PESARO E "
           "URBINO' (colonna Residenza)",
           "aggiornare Comuni.mdb"}}},
        {"birth place a state that had ended before the birth",
         guest("117", "U|N|0|0", "1", "20260310|20260312|20260312|S|19950101",
               "JUGOSLAVIA ES YU|D|GERMANIA"),
         "",
         {{R, "A", 117,
           "'JUGOSLAVIA' è in Comuni.mdb ma non è valido alla data di nascita 01/01/1995 "
           "(riga valida dal 01/01/1900 al 27/04/1992)",
           "verificare nella scheda la data di nascita e il luogo di nascita"}}},
        {"departure dates and ages the service refuses",
         guest("118", "U|N|0|0", "1", "20260310|20260309| |N|19800101") +
             guest("119", "U|N|0|0", "2", "20260310| | |N|19800101") +
             guest("120", "U|N|0|0", "3", "20260310|20260312|20260312|S|18990101") +
             guest("121", "U|N|0|0", "4", "20260310|20260312|20260312|S|20270101"),
         "",
         {{R, "A", 118,
           "La data di partenza prevista 09/03/2026 (colonna DataPartenza) viene prima "
           "dell'arrivo 10/03/2026",
           "correggere la data di partenza o quella di arrivo"},
          {R, "A", 119, "La data di partenza prevista (colonna DataPartenza) è vuota",
           "correggere la data di partenza prevista"},
          {R, "A", 120, "Età calcolata 127 anni (nascita 01/01/1899, arrivo 10/03/2026)",
           "correggere la data di nascita"},
          {R, "A", 121, "Età calcolata -1 anni", "correggere la data di nascita"}}},
        {"blocking Null number: the arrivals stop, the departures are still checked",
         guest("\\N", "U|N|0|0", "1") + guest("122", "U|N|0|0", "3",
                                              "20260305|20260310|20260310|S|19800101",
                                              "CATANIA CT I|CZ|PRAGA"),
         "1|26000123|*** p***|U|N|0|0|20260310|20260312|20260312|S|19800101|CATANIA CT "
         "I|I|CATANIA|M|9\n",
         {{B, "A", -1,
           "NumeroProgressivo vuoto. L'esportazione si fermerebbe qui: questo documento e quelli "
           "dei giorni seguenti non verrebbero inviati. Non verificate in questo documento: le "
           "schede seguenti di Scheda_Cliente.mdb.",
           "assegnare alla scheda il suo numero progressivo"},
          {S, "A", 26000123, "Scheda annullata nello storico", "nulla"},
          {R, "P", 122, "nessuno stato con la sigla 'CZ'", "correggere la sigla dello stato"}}},
        {"blocking birth date in the history: the register is not compared",
         "1|124|N|N|0|0|20260310|20260312|20260312|S|19800101|CATANIA CT I|I|CATANIA|M|1\n",
         "1|26000300|BIANCHI ANNA|S|N|0|0|20260310|20260312|20260312|S|19800101|CATANIA CT "
         "I|I|CATANIA|F|2\n"
         "1|26000301|BIANCHI LUCA|N|N|300|0|20260310|20260312|20260312|S|19801340|CATANIA CT "
         "I|I|CATANIA|M|2\n",
         {{B, "A", 26000301,
           "scheda 26000301: DataNascita non valida ('19801340'). L'esportazione si fermerebbe "
           "qui",
           "correggere la data di nascita"}}},
        {"blocking arrival date that is not a date",
         guest("125", "U|N|0|0", "1", "2026031|20260310|20260310|S|19800101"),
         "",
         {{B, "P", 125, "DataArrivo non valida ('2026031')", "correggere la data di arrivo"}}},
        {"never sent: member a day after its head, member leaving before its head, member of a "
         "single guest, group member of a family head, record with no role",
         guest("140", "S|N|0|0", "1", "20260309|20260312|20260312|S|19800101") +
             guest("141", "N|N|140|0", "1") + guest("150", "U|N|0|0", "2") +
             guest("151", "N|N|150|0", "2") + guest("160", "S|N|0|0", "3") +
             guest("161", "N|N|0|160", "3") + guest("170", "N|N|0|0", "4") +
             guest("142", "S|N|0|0", "5", "20260305|20260312| |N|19800101") +
             guest("143", "N|N|142|0", "5", "20260305|20260312|20260310|S|19800101"),
         "",
         {{N, "P", 143,
           "(la scheda 142 arriva il 05/03/2026 e non ha ancora la data di partenza reale)",
           "allineare la data di partenza reale del componente"},
          {N, "A", 141,
           "Componente del nucleo familiare 140 (CodiceCapoFamiglia), ma il capo non è tra gli "
           "arrivi di questo giorno (la scheda 140 arriva il 09/03/2026)",
           "allineare la data di arrivo del componente a quella del suo capo"},
          {N, "A", 151, "la scheda 150 ha CapoFamiglia 'U' e CapoGruppo 'N'",
           "correggere il collegamento al capo"},
          {N, "A", 161,
           "Componente del gruppo 160 (CodiceCapoGruppo), ma la scheda 160 è capofamiglia",
           "correggere il collegamento al capo"},
          {N, "A", 170, "non è segnata né come capo (CapoFamiglia 'N', CapoGruppo 'N')",
           "segnare la scheda come ospite singolo"}}},
        {"never sent: history member whose head leaves another day",
         "",
         "1|26000180|NERI PAOLO|S|N|0|0|20260308|20260312|20260311|S|19800101|CATANIA CT "
         "I|I|CATANIA|M|1\n"
         "1|26000181|NERI ANNA|N|N|180|0|20260308|20260312|20260310|S|19800101|CATANIA CT "
         "I|I|CATANIA|F|1\n",
         {{N, "P", 26000181,
           "Componente del nucleo familiare 180 (CodiceCapoFamiglia), ma il capo non è tra le "
           "partenze di questo giorno: questa",
           "allineare la data di partenza reale del componente"}}},
        {"skipped by the history's tests, with the members of a skipped head",
         "",
         "1|26000400|*** p***|S|N|0|0|20260310|20260312|20260312|S|19800101|CATANIA CT "
         "I|I|CATANIA|M|1\n"
         "1|26000401|GIALLI ADA|N|N|400|0|20260310|20260312|20260312|S|19800101|CATANIA CT "
         "I|I|CATANIA|F|1\n"
         "1|26000410|VERDI ELIO|U|N|0|0|20260310|20260310|20260310|S|19800101|CATANIA CT "
         "I|I|CATANIA|M|2\n"
         "1|26000420|NERI ALDO|S|N|0|0|20260310|20260312|20260312|S|19800101|CATANIA CT "
         "I|I|CATANIA|M|3\n"
         "1|26000421|*** p**|N|N|420|0|20260310|20260312|20260312|S|19800101|CATANIA CT "
         "I|I|CATANIA|F|3\n"
         // A Null name is empty text, not the marker: written, no finding.
         "1|26000430|\\N|U|N|0|0|20260310|20260312|20260312|S|19800101|CATANIA CT "
         "I|I|CATANIA|M|4\n",
         {{S, "A", 26000400, "Scheda annullata nello storico (NomeCliente '*** p***')", "nulla"},
          {S, "A", 26000401,
           "Componente escluso insieme al suo capo, la scheda 26000400 (scheda annullata)",
           "nulla, se il capo è escluso a ragione"},
          {S, "A", 26000410, "arrivo e partenza reale nello stesso giorno (10/03/2026)",
           "se l'ospite ha pernottato"},
          {S, "P", 26000410, "arrivo e partenza reale nello stesso giorno (10/03/2026)",
           "se l'ospite ha pernottato"},
          {S, "A", 26000421, "(NomeCliente '*** p**')", "nulla"}}},
        {"skipped: arrived before the first day to export; a member under two heads is one "
         "finding",
         guest("190", "U|N|0|0", "1", "20251220|20260310|20260310|S|19800101") +
             guest("200", "S|N|0|0", "2") + guest("210", "N|S|0|0", "3") +
             guest("201", "N|N|200|210", "2", "20260310|20260312|20260312|S|19800101",
                   "CATANIA CT I|CZ|PRAGA"),
         "",
         {{S, "P", 190, "Arrivo 20/12/2025 prima della data iniziale 01/01/2026 di QLBDataI.txt",
           "anticipare la data iniziale in QLBDataI.txt"},
          {R, "A", 201, "nessuno stato con la sigla 'CZ'", "correggere la sigla dello stato"}}},
    };

    for (const Row& row : rows) {
        Checked c(row.registerRows, row.historyRows);
        const CheckReport report = c.run("10/03/2026", "10/03/2026");
        EXPECT_EQ(report.interruption, "") << row.rule;

        std::vector<const CheckFinding*> actual;
        for (const CheckFinding& f : report.findings) actual.push_back(&f);
        std::vector<const Expected*> expected;
        for (const Expected& e : row.expected) expected.push_back(&e);
        // Grouped by kind, then severity; within a severity the order is the
        // writers', which these rows do not pin down.
        std::stable_sort(actual.begin(), actual.end(),
                         [](auto* a, auto* b) { return keyOf(*a) < keyOf(*b); });
        std::stable_sort(expected.begin(), expected.end(),
                         [](auto* a, auto* b) { return keyOf(*a) < keyOf(*b); });
        ASSERT_EQ(actual.size(), expected.size())
            << row.rule << "\nfirst: " << (actual.empty() ? "" : actual[0]->problem);
        for (std::size_t i = 0; i < actual.size(); ++i) {
            const CheckFinding& f = *actual[i];
            const Expected& e = *expected[i];
            EXPECT_EQ(keyOf(f), keyOf(e)) << row.rule << " #" << i << ": " << f.problem;
            EXPECT_NE(f.problem.find(e.problem), std::string::npos) << row.rule << " #" << i << "\n"
                                                                    << f.problem;
            EXPECT_NE(f.fix.find(e.fix), std::string::npos) << row.rule << " #" << i << "\n"
                                                            << f.fix;
            EXPECT_EQ(f.day, "10/03/2026") << row.rule;
        }
        // The findings are grouped by kind, arrivals first, by severity within.
        for (std::size_t i = 1; i < report.findings.size(); ++i) {
            const CheckFinding& a = report.findings[i - 1];
            const CheckFinding& b = report.findings[i];
            EXPECT_TRUE(a.kind == b.kind ? a.severity <= b.severity : a.kind == "A") << row.rule;
        }
    }
}

TEST(CheckFindings, FindingNamesTheRecord) {
    Checked c("",
              "1|26000400|D'ANGELO <B> & C.|S|N|0|0|20260310|20260312|20260312|S|19800101|"
              "CATANIA|I|CATANIA|M|12\n");
    const CheckReport report = c.run("10/03/2026", "10/03/2026");
    ASSERT_EQ(report.findings.size(), 1u);
    const CheckFinding& f = report.findings[0];
    EXPECT_EQ(f.severity, CheckSeverity::Rejected);
    EXPECT_EQ(f.day, "10/03/2026");
    EXPECT_EQ(f.kind, "A");
    EXPECT_EQ(f.database, "SchedaStoricoClienti.mdb");
    EXPECT_EQ(f.numeroProgressivo, 26000400);
    EXPECT_EQ(f.room, "12");
    EXPECT_EQ(f.nomeCliente, std::optional<std::string>("D'ANGELO <B> & C."));
}

TEST(CheckFindings, BlockingStopsOneDocumentOnly) {
    // A Null number stops the arrivals of 10/03; the departures of the same
    // day and the days after are still built and checked.
    Checked c(guest("\\N", "U|N|0|0", "1") +
                  guest("300", "U|N|0|0", "2", "20260311|20260312|20260312|S|19800101"),
              "");
    const CheckReport report = c.run("10/03/2026", "11/03/2026");
    ASSERT_EQ(report.documents.size(), 4u);
    EXPECT_TRUE(report.documents[0].stopped);
    EXPECT_EQ(report.documents[0].body, "");
    EXPECT_FALSE(report.documents[1].stopped);
    EXPECT_EQ(report.documents[2].day, "11/03/2026");
    EXPECT_NE(report.documents[2].body.find("<GuestId>26000300</GuestId>"), std::string::npos);
    ASSERT_EQ(report.findings.size(), 1u);
    EXPECT_EQ(CheckExitStatus(report), kCheckBlocking);
}

TEST(CheckFindings, ExitStatusFollowsTheWorstFinding) {
    struct Row {
        const char* rule;
        std::string registerRows;
        int status;
    } rows[] = {
        {"nothing found", guest("100", "U|N|0|0", "1"), kCheckClean},
        {"only skips", guest("190", "U|N|0|0", "1", "20251220|20260310|20260310|S|19800101"),
         kCheckClean},
        {"never sent", guest("170", "N|N|0|0", "1"), kCheckFindings},
        {"rejected",
         guest("110", "U|N|0|0", "1", "20260310|20260312|20260312|S|19800101",
               "CATANIA CT I|CZ|PRAGA"),
         kCheckFindings},
        {"blocking", guest("\\N", "U|N|0|0", "1"), kCheckBlocking},
    };
    for (const Row& row : rows) {
        Checked c(row.registerRows, "");
        EXPECT_EQ(CheckExitStatus(c.run("10/03/2026", "10/03/2026")), row.status) << row.rule;
    }
}

TEST(CheckDocuments, AreWhatTheExportWrites) {
    // The same data through ExportStays (which keeps its stays files) and
    // through the check: every document is the body the export would post.
    const std::string registerRows =
        guest("100", "S|N|0|0", "1") + guest("101", "N|N|100|0", "1") +
        guest("110", "U|N|0|0", "2", "20260311|20260312|20260312|S|19800101") +
        guest("\\N", "U|N|0|0", "3", "20260312|20260314|20260314|S|19800101");
    const std::string historyRows =
        "1|26000200|ROSSI MARIA|U|N|0|0|20260308|20260311|20260311|S|19700101|ACIREALE CT "
        "I|I|ACIREALE|F|5\n";
    // A hotel code with "&" shows the export's replacement by a blank.
    Checked c(registerRows, historyRows);
    c.state.UserId = "19&0001";
    const CheckReport report = c.run("10/03/2026", "12/03/2026");
    ASSERT_EQ(report.documents.size(), 6u);

    Checked exported(registerRows, historyRows);
    exported.state.UserId = "19&0001";
    exported.files.createDirectory("Velmora");
    StaysContext ctx{exported.state, exported.engine, exported.files, exported.clock, nullptr};
    for (const CheckedDocument& d : report.documents) {
        if (d.stopped) {
            EXPECT_THROW(ExportStays(ctx, d.day, d.day, d.kind), RunError) << d.day << d.kind;
            continue;
        }
        const std::string document = ExportStays(ctx, d.day, d.day, d.kind);
        EXPECT_EQ(d.body, document.empty() ? std::string() : XmlDeclaration() + document)
            << d.day << " " << d.kind;
    }
    EXPECT_NE(report.documents[2].body.find("<HotelCode>19 0001</HotelCode>"), std::string::npos);
    EXPECT_TRUE(report.documents[4].stopped);
}

TEST(CheckDocuments, TheCheckWritesNoFile) {
    Checked c(guest("100", "S|N|0|0", "1") + guest("\\N", "U|N|0|0", "3"), "");
    c.files.createDirectory("Velmora");
    const std::vector<std::string> before = test::filesBelow(c.dir.path());
    const CheckReport report = c.run("09/03/2026", "11/03/2026");
    EXPECT_EQ(report.documents.size(), 6u);
    EXPECT_EQ(test::filesBelow(c.dir.path()), before);
}

TEST(CheckDocuments, UnreadableDatabaseInterruptsTheCheck) {
    Checked c(guest("100", "U|N|0|0", "1", "20260311|20260312|20260312|S|19800101"), "");
    // The history of the second day is damaged after the engine read it once.
    RunView view;
    CheckRun check(c.state, c.engine, c.files, c.clock);
    CheckReport first = check.run("11/03/2026", "11/03/2026", view);
    EXPECT_EQ(first.interruption, "");
    c.dir.write("SchedaStoricoClienti.mdb", std::string(4096, 'x'));
    const CheckReport report = check.run("10/03/2026", "11/03/2026", view);
    EXPECT_EQ(report.interruption.rfind("Verifica interrotta al 10/03/2026 (arrivi): ", 0), 0u)
        << report.interruption;
    EXPECT_NE(report.interruption.find("SchedaStoricoClienti.mdb"), std::string::npos)
        << report.interruption;
    EXPECT_TRUE(report.documents.empty());
    EXPECT_EQ(CheckExitStatus(report), kCheckBlocking);
}

}  // namespace
}  // namespace velmora
