// The check before sending over databases written by jetwrite: every kind of
// finding from the records that cause it, one table row per rule; a blocking
// record stopping one document only, the exit status, an unreadable database;
// the printed and HTML forms; and "velmora check"'s usage and refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <tuple>

#include "app/CheckCommand.h"
#include "check/CheckReport.h"
#include "check/CheckRun.h"
#include "core/RunState.h"
#include "core/Text.h"
#include "platform/FileStore.h"
#include "jet/JetEngine.h"
#include "stays/StaysWriters.h"
#include "support/Fakes.h"
#include "support/Support.h"

namespace velmora::test {
namespace {

using test::operator<<;

namespace fs = std::filesystem;

// A hotel the check accepts, with the guest rows given, and the check over it.
struct Checked {
    Checked(const std::string& registerRows, const std::string& historyRows)
        : engine(dir.path()), files(dir.path()) {
        ReadOnlyColumnsUsed(engine);  // as the program runs it
        writeSettings(dir, "http://127.0.0.1:9/istat");
        dir.write("QLBDataI.txt", "01/01/2026\r\n");
        writeTables(dir / "Comuni.mdb", {{"CodiciVari", testFile("check/data/codes.txt")}});
        writeTables(dir / "Scheda_Cliente.mdb",
                    {{"Scheda_Cliente", kRegisterHeader + registerRows}});
        writeTables(dir / "SchedaStoricoClienti.mdb",
                    {{"Scheda_Cliente", kHistoryHeader + historyRows}});
        state.UserId = kUser;
    }
    CheckReport run(const std::string& first, const std::string& last) {
        RunView view;
        return CheckRun(state, engine, files, clock).run(first, last, view);
    }
    TempDir dir;
    JetEngine engine;
    LocalFileStore files;
    FixedClock clock;
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

struct FindingRow {
    const char* rule;
    std::string registerRows;
    std::string historyRows;
    std::vector<Expected> expected;
};

const FindingRow kFindingRows[] = {
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
     guest("110", "U|N|0|0", "1", "20260310|20260312|20260312|S|19800101", "PRAGA ES CZ|CZ|PRAGA"),
     "",
     {{R, "A", 110, "cittadinanza (NationalityCode) e residenza (ResidencePlaceCode) vuoti",
       "correggere la sigla dello stato nella scheda"},
      {R, "A", 110, "nessun comune o stato di nome 'PRAGA'", "correggere il luogo di nascita"}}},
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
    {"residence only ended, province named like no valid place",
     guest("116", "U|N|0|0", "1", "20260310|20260312|20260312|S|19800101",
           "CATANIA CT I|I|SALTARA"),
     "",
     {{R, "A", 116,
       "il ripiego sulla provincia non trova un comune o stato valido oggi di nome 'PESARO E "
       "URBINO' (colonna Residenza)",
       "aggiornare Comuni.mdb"}}},
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
      {N, "A", 161, "Componente del gruppo 160 (CodiceCapoGruppo), ma la scheda 160 è capofamiglia",
       "correggere il collegamento al capo"},
      {N, "A", 170, "non è segnata né come capo (CapoFamiglia 'N', CapoGruppo 'N')",
       "segnare la scheda come ospite singolo"}}},
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

class CheckFindings : public ::testing::TestWithParam<FindingRow> {};

TEST_P(CheckFindings, EachRecordGivesItsFinding) {
    const FindingRow& row = GetParam();
    Checked c(row.registerRows, row.historyRows);
    const CheckReport report = c.run("10/03/2026", "10/03/2026");
    EXPECT_EQ(report.interruption, "");
    std::vector<const CheckFinding*> actual;
    for (const CheckFinding& f : report.findings) actual.push_back(&f);
    std::vector<const Expected*> expected;
    for (const Expected& e : row.expected) expected.push_back(&e);
    // Within a severity the order is the writers', which the rows do not pin down.
    std::stable_sort(actual.begin(), actual.end(),
                     [](auto* a, auto* b) { return keyOf(*a) < keyOf(*b); });
    std::stable_sort(expected.begin(), expected.end(),
                     [](auto* a, auto* b) { return keyOf(*a) < keyOf(*b); });
    ASSERT_EQ(actual.size(), expected.size())
        << "first: " << (actual.empty() ? "" : actual[0]->problem);
    for (std::size_t i = 0; i < actual.size(); ++i) {
        const CheckFinding& f = *actual[i];
        EXPECT_EQ(keyOf(f), keyOf(*expected[i])) << "#" << i << ": " << f.problem;
        EXPECT_NE(f.problem.find(expected[i]->problem), std::string::npos) << f.problem;
        EXPECT_NE(f.fix.find(expected[i]->fix), std::string::npos) << f.fix;
        EXPECT_EQ(f.day, "10/03/2026");
    }
    // Grouped by kind, arrivals first, by severity within.
    for (std::size_t i = 1; i < report.findings.size(); ++i) {
        const CheckFinding& a = report.findings[i - 1];
        const CheckFinding& b = report.findings[i];
        EXPECT_TRUE(a.kind == b.kind ? a.severity <= b.severity : a.kind == "A");
    }
}

INSTANTIATE_TEST_SUITE_P(Check, CheckFindings, ::testing::ValuesIn(kFindingRows), RuleName());

TEST(CheckRun, BlockingStopsOneDocumentAndTheExitStatusFollowsTheWorstFinding) {
    // A Null number stops the arrivals of 10/03; the departures of the same
    // day and the days after are still built and checked.
    Checked c(guest("\\N", "U|N|0|0", "1") +
                  guest("300", "U|N|0|0", "2", "20260311|20260312|20260312|S|19800101"),
              "");
    const CheckReport report = c.run("10/03/2026", "11/03/2026");
    ASSERT_EQ(report.documents.size(), 4u);
    EXPECT_TRUE(report.documents[0].stopped);
    EXPECT_FALSE(report.documents[1].stopped);
    EXPECT_NE(report.documents[2].body.find("<GuestId>26000300</GuestId>"), std::string::npos);
    EXPECT_EQ(CheckExitStatus(report), kCheckBlocking);
    const struct {
        std::string registerRows;
        int status;
    } rows[] = {
        {guest("100", "U|N|0|0", "1"), kCheckClean},
        {guest("190", "U|N|0|0", "1", "20251220|20260310|20260310|S|19800101"), kCheckClean},
        {guest("170", "N|N|0|0", "1"), kCheckFindings},
        {guest("110", "U|N|0|0", "1", "20260310|20260312|20260312|S|19800101",
               "CATANIA CT I|CZ|PRAGA"),
         kCheckFindings},
    };
    for (const auto& row : rows)
        EXPECT_EQ(CheckExitStatus(Checked(row.registerRows, "").run("10/03/2026", "10/03/2026")),
                  row.status)
            << row.registerRows;
}

TEST(CheckRun, UnreadableDatabaseInterruptsTheCheck) {
    Checked c(guest("100", "U|N|0|0", "1"), "");
    c.dir.write("SchedaStoricoClienti.mdb", std::string(4096, 'x'));
    const CheckReport report = c.run("10/03/2026", "11/03/2026");
    EXPECT_EQ(report.interruption.rfind("Verifica interrotta al 10/03/2026 (arrivi): ", 0), 0u)
        << report.interruption;
    EXPECT_NE(report.interruption.find("SchedaStoricoClienti.mdb"), std::string::npos);
    EXPECT_EQ(CheckExitStatus(report), kCheckBlocking);
}

CheckFinding finding(CheckSeverity severity, const std::string& day, const std::string& kind,
                     std::optional<long long> numero, const std::string& problem) {
    CheckFinding f;
    f.severity = severity;
    f.day = day;
    f.kind = kind;
    f.database = "SchedaStoricoClienti.mdb";
    f.numeroProgressivo = numero;
    f.room = "12";
    f.nomeCliente = "D'ANGELO <B> & C.";
    f.problem = problem;
    f.fix = "correggere \"qui\".";
    return f;
}

CheckReport sample() {
    CheckReport r;
    r.firstDay = "02/03/2026";
    r.lastDay = "03/03/2026";
    r.documents = {{"02/03/2026", "A", "<?xml?> <StaysPmsDTO> </StaysPmsDTO>", false, {}},
                   {"02/03/2026", "P", "", false, {}},
                   {"03/03/2026", "A", "", true, {}},
                   {"03/03/2026", "P", "", false, {}}};
    r.findings = {finding(CheckSeverity::Blocking, "03/03/2026", "A", std::nullopt, "vuoto"),
                  finding(CheckSeverity::Skipped, "03/03/2026", "A", 26000420, "annullata"),
                  finding(CheckSeverity::Rejected, "03/03/2026", "P", 4560, "stato 'CZ'")};
    return r;
}

TEST(CheckHtml, OneTablePerDayEscapedAndColoured) {
    const std::string html = checkReportHtml(sample(), {2026, 3, 5, 14, 7, 9});
    EXPECT_EQ(html.rfind("<!DOCTYPE html>\r\n", 0), 0u);
    EXPECT_EQ(replaceAll(html, "\r\n", "").find('\n'), std::string::npos) << "CR LF line ends";
    EXPECT_NE(html.find("verifica fatta il 05/03/2026 alle 14:07"), std::string::npos);
    EXPECT_NE(html.find("<h2>lunedì 02/03/2026</h2>\r\n<p class=\"nulla\">Nessun problema.</p>"),
              std::string::npos);
    EXPECT_NE(html.find("<h2>martedì 03/03/2026</h2>\r\n<table>"), std::string::npos);
    EXPECT_EQ(html.find("<B>"), std::string::npos);
    EXPECT_NE(html.find("<td>D&#39;ANGELO &lt;B&gt; &amp; C.</td>"), std::string::npos);
    EXPECT_NE(html.find("<tr class=\"respinto\"><td>partenze</td><td>RESPINTO</td>"),
              std::string::npos);
}

TEST(CheckProgram, UsageAndRefusals) {
    const struct {
        std::vector<std::string> args;
        bool dataFile;
        int status;
        const char* outStart;
        const char* errPiece;
    } rows[] = {
        {{"check", "--help"}, true, 0, "Uso:\nvelmora check --from", ""},
        {{"check"}, true, 64, "", "velmora check: manca --from"},
        {{"check", "--from", "02/03/2026", "--to", "02/03/2026", "--html"},
         true,
         64,
         "",
         "velmora check: manca il file dopo --html"},
        {{"check", "--from", "31/02/2026", "--to", "02/03/2026"},
         true,
         2,
         "",
         "velmora: data non valida per --from: \"31/02/2026\""},
        {{"check", "--from", "02/03/2026", "--to", "02/03/2026"},
         false,
         2,
         "",
         "Istat Regione Sicilia: Verifica non avviata!\nIl file QLBDataI.txt con la data"},
        {{"check", "--from", "020326", "--to", "03032026"},
         true,
         0,
         "Verifica dal 02/03/2026 al 03/03/2026\nRiepilogo: bloccanti 0",
         ""},
    };
    for (const auto& row : rows) {
        Checked c("", "");
        if (!row.dataFile) fs::remove(c.dir / "QLBDataI.txt");
        const ProgramResult res = runVelmora(c.dir.path(), row.args);
        EXPECT_EQ(res.status, row.status) << row.args.back() << "\n" << res.err;
        EXPECT_EQ(res.out.rfind(row.outStart, 0), 0u) << res.out;
        EXPECT_NE(res.err.find(row.errPiece), std::string::npos) << res.err;
        EXPECT_FALSE(fs::exists(c.dir / "Velmora")) << "the check makes no directory of its own";
    }
}

}  // namespace
}  // namespace velmora::test
