// The application area: the date fields' routines and the settings file as tables,
// the export run driven by recording steps (order of the calls, day closing,
// error marks, the checks before the login and what a failure does), and
// batch mode's arguments and the built program's usage.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "RecordingSteps.h"
#include "app/BatchMode.h"
#include "app/DateEntry.h"
#include "app/ExportRun.h"
#include "app/Settings.h"
#include "platform/FileStore.h"
#include "platform/StopRequest.h"
#include "support/Fakes.h"
#include "support/Support.h"

namespace velmora::test {
namespace {

using test::operator<<;

namespace fs = std::filesystem;
using V = std::vector<std::string>;

// One row per rule of a date field's routine: Normalize (a), Expand (a,
// current year b).
struct DateRow {
    const char* rule;
    const char* routine;
    std::string a;
    std::string b;
    std::string expected;
};

// clang-format off
const DateRow kDateRows[] = {
    {"blanks at the ends removed", "Normalize", " 05/03/2026  ", "", "05/03/2026"},
    {"accented letters become capitals", "Normalize", "àb", "", "ÀB"},
    {"apostrophe becomes acute accent", "Normalize", "l'a", "", "L´A"},
    {"empty input becomes one blank", "Normalize", "", "", " "},
    {"six digits of this century", "Expand", "050324", "2026", "05/03/2024"},
    {"pivot current year plus 20 is still 20yy", "Expand", "050346", "2026", "05/03/2046"},
    {"pivot beyond current year plus 20 is 19yy", "Expand", "050347", "2026", "05/03/1947"},
    {"pivot moves with the clock", "Expand", "050350", "2030", "05/03/2050"},
    {"one digit day and month with slashes", "Expand", "1/1/25", "2026", "01/01/2025"},
    {"slashes and a two digit year", "Expand", "02/03/26", "2026", "02/03/2026"},
    {"no leading zeros and four digits", "Expand", "2/3/2026", "2026", "02/03/2026"},
    {"dots and the pivot of the two digit year", "Expand", "2.3.47", "2026", "02/03/1947"},
    {"ten characters with dashes stay as typed", "Expand", "05-03-2026", "2026", "05-03-2026"},
    {"three digit year is no date form", "Expand", "5/3/202", "2026", "5/3/202"},
    {"two separators of different kinds", "Expand", "2/3-2026", "2026", "2/3-2026"},
    {"a short form needs digits", "Expand", "05´326", "2026", "05´326"},
};
// clang-format on

class DateRoutine : public ::testing::TestWithParam<DateRow> {};

TEST_P(DateRoutine, FollowsItsRule) {
    const DateRow& r = GetParam();
    if (std::string(r.routine) == "Normalize") {
        EXPECT_EQ(NormalizeText(r.a), r.expected);
        return;
    }
    std::string text = r.a;
    EXPECT_EQ(ExpandYear(text, std::stoi(r.b)), r.expected);
    EXPECT_EQ(text, r.expected) << "the argument is replaced";
}

INSTANTIATE_TEST_SUITE_P(App, DateRoutine, ::testing::ValuesIn(kDateRows), RuleName());

struct SettingsRow {
    const char* rule;
    bool present;
    std::string content;
    std::string expected;  // the seven values joined by '|', or the refusal
};

const std::string kNeeded =
    "ne servono 7 (nome utente, password e i cinque indirizzi del servizio).";
const SettingsRow kSettingsRows[] = {
    {"seven lines with CR LF", true, "U1\r\nP1\r\nL\r\nO\r\nA\r\nD\r\nC\r\n", "U1|P1|L|O|A|D|C"},
    {"seven lines with LF and no last line end", true, "U1\nP1\nL\nO\nA\nD\nC", "U1|P1|L|O|A|D|C"},
    {"byte order mark dropped", true, "\xEF\xBB\xBFU1\r\nP1\r\nL\r\nO\r\nA\r\nD\r\nC\r\n",
     "U1|P1|L|O|A|D|C"},
    {"lines after the seventh ignored", true, "U1\nP1\nL\nO\nA\nD\nC\nX\n", "U1|P1|L|O|A|D|C"},
    {"blanks and a lone CR are kept", true, " U1 \r\nP\r1\r\n\r\nO\r\nA\r\nD\r\nC \r\n",
     " U1 |P\r1||O|A|D|C "},
    {"missing file, named with its folder", false, "",
     "Nome utente e password non impostati! (QLBSetup.txt)\r\nIl file QLBSetup.txt non è nella "
     "cartella {dir}."},
    {"six lines", true, "U\r\nP\r\nL\r\nO\r\nA\r\nD\r\n",
     "Il file QLBSetup.txt contiene solo 6 righe: " + kNeeded},
    {"empty file", true, "", "Il file QLBSetup.txt è vuoto (0 righe): " + kNeeded},
};

class SettingsFile : public ::testing::TestWithParam<SettingsRow> {};

TEST_P(SettingsFile, IsReadOrRefused) {
    const SettingsRow& r = GetParam();
    TempDir dir;
    if (r.present) dir.write("QLBSetup.txt", r.content);
    LocalFileStore files(dir.path());
    RunState state;
    state.UserId = "prima";
    const SettingsOutcome outcome = loadSettings(files, state);
    const std::string got = outcome.loaded()
                                ? state.UserId + "|" + state.Password + "|" + state.LoginUrl + "|" +
                                      state.LogoutUrl + "|" + state.ArrivalsUrl + "|" +
                                      state.DeparturesUrl + "|" + state.CloseDayUrl
                                : outcome.prompt;
    EXPECT_EQ(got, replaceAll(r.expected, "{dir}", dir.path()));
    if (!outcome.loaded()) {
        EXPECT_EQ(state.UserId, "prima");
    }
}

INSTANTIATE_TEST_SUITE_P(App, SettingsFile, ::testing::ValuesIn(kSettingsRows), RuleName());

class FieldsView : public RunView {
public:
    void invalidDateField(int index) override { invalidFields.push_back(index); }
    void runStarted() override { events.push_back("started"); }
    void dayStarted(const std::string& day) override { events.push_back("day " + day); }
    void runEnded() override { events.push_back("ended"); }
    std::vector<int> invalidFields;
    V events;
};

// An export run over a working directory the checks accept, with recording steps.
struct ExportRunner {
    ExportRunner() : files(dir.path()) {
        writeHotelFiles(dir);
    }
    RunOutcome run(const std::string& first, const std::string& last, bool close) {
        loadSettings(files, state);
        ExportRun exportRun(state, files, dialogs, monitor, recordingFactory(script));
        exportRun.setStopRequest(&stop);
        return exportRun.run({first, last, close}, view);
    }
    // The only message box, as "style title: prompt".
    std::string box() const {
        if (dialogs.boxes.size() != 1) return "(" + std::to_string(dialogs.boxes.size()) + " box)";
        const auto& b = dialogs.boxes[0];
        return std::to_string(b.style) + " " + b.title + ": " + b.prompt;
    }
    TempDir dir;
    LocalFileStore files;
    RunState state;
    RecordingDialogs dialogs;
    RecordingMonitor monitor;
    StepScript script;
    FieldsView view;
    StopRequest stop;
};

V concat(std::initializer_list<V> parts) {
    V out;
    for (const V& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

TEST(ExportRun, ProcessesEveryDayOfTheRangeInOrder) {
    ExportRunner r;
    EXPECT_EQ(r.run("30/01/2026", "02/02/2026", true), RunOutcome::Completed);
    EXPECT_EQ(r.script.calls, concat({{"DoLogin"},
                                      dayCalls("30/01/2026", true),
                                      dayCalls("31/01/2026", true),
                                      dayCalls("01/02/2026", true),
                                      dayCalls("02/02/2026", true),
                                      {"DoLogout"}}));
    EXPECT_EQ(r.box(), "0 Istat Regione Sicilia: Esportazione completata!");
    EXPECT_EQ(r.view.events, (V{"started", "day 30/01/2026", "day 31/01/2026", "day 01/02/2026",
                                "day 02/02/2026", "ended"}));
    EXPECT_TRUE(fs::is_directory(r.dir / "Velmora"));
}

TEST(ExportRun, RangesDocumentsAndClosing) {
    const struct {
        const char* rule;
        const char* first;
        const char* last;
        bool close;
        const char* emptyDocument;
        V calls;
    } rows[] = {
        // clang-format off
        {"the last possible day ends the loop", "31/12/9999", "31/12/9999", true, "",
         concat({{"DoLogin"}, dayCalls("31/12/9999", true), {"DoLogout"}})},
        {"without closing no day is closed", "04/03/2026", "05/03/2026", false, "",
         concat({{"DoLogin"}, dayCalls("04/03/2026", false), dayCalls("05/03/2026", false), {"DoLogout"}})},
        {"first day handed on as typed", "05-03-2026", "06/03/2026", true, "",
         concat({{"DoLogin"}, dayCalls("05-03-2026", true), dayCalls("06/03/2026", true), {"DoLogout"}})},
        {"an empty document is not sent", "05/03/2026", "05/03/2026", false, "05/03/2026 A",
         {"DoLogin", "ExportStays 05/03/2026 05/03/2026 A", "ExportStays 05/03/2026 05/03/2026 P",
          "SendMovements P <05/03/2026 P>", "DoLogout"}},
        // clang-format on
    };
    for (const auto& row : rows) {
        ExportRunner r;
        if (*row.emptyDocument) r.script.documents[row.emptyDocument] = "";
        EXPECT_EQ(r.run(row.first, row.last, row.close), RunOutcome::Completed) << row.rule;
        EXPECT_EQ(r.script.calls, row.calls) << row.rule;
    }
}

TEST(ExportRun, ErrorMarksChangeTheCompletionMessage) {
    for (const char* marked : {"SendMovements A <05/03/2026 A>", "SendMovements P <05/03/2026 P>",
                               "CloseDay 05/03/2026", "DoLogout"}) {
        ExportRunner r;
        r.script.marks = {marked};
        EXPECT_EQ(r.run("05/03/2026", "05/03/2026", true), RunOutcome::CompletedWithErrors)
            << marked;
        EXPECT_EQ(r.script.calls.back(), "DoLogout") << marked;
        EXPECT_EQ(r.box(),
                  "48 Istat Regione Sicilia: Esportazione completata!\r\nSono presenti "
                  "errori: controllare il monitor.")
            << marked;
    }
}

TEST(ExportRun, AFailureStopsTheRunAndStillLogsOut) {
    const std::string reason = "Servizio non raggiungibile\r\nhttp://127.0.0.1:9/istat/arrivi";
    const struct {
        const char* failAt;
        V callsBeforeLogout;  // the failing call included
        bool logsOut;
    } rows[] = {
        {"DoLogin", {"DoLogin"}, false},
        {"ExportStays 31/01/2026 31/01/2026 A",
         concat(
             {{"DoLogin"}, dayCalls("30/01/2026", true), {"ExportStays 31/01/2026 31/01/2026 A"}}),
         true},
        {"SendMovements P <31/01/2026 P>",
         concat({{"DoLogin"}, dayCalls("30/01/2026", true), dayCalls("31/01/2026", false)}), true},
        {"CloseDay 31/01/2026",
         concat({{"DoLogin"}, dayCalls("30/01/2026", true), dayCalls("31/01/2026", true)}), true},
    };
    for (const auto& row : rows) {
        ExportRunner r;
        r.script.failAt = row.failAt;
        EXPECT_EQ(r.run("30/01/2026", "02/02/2026", true), RunOutcome::Interrupted) << row.failAt;
        V expected = row.callsBeforeLogout;
        if (row.logsOut) expected.push_back("DoLogout");
        EXPECT_EQ(r.script.calls, expected) << row.failAt;
        ASSERT_FALSE(r.monitor.appends.empty());
        EXPECT_EQ(r.monitor.appends.back().box, kAnswersBox);
        EXPECT_EQ(r.monitor.appends.back().text, reason);
        EXPECT_EQ(r.box(), "48 Istat Regione Sicilia: Esportazione interrotta!\r\n" + reason);
    }
    // An unexpected failure, then a failed logout: both are told.
    ExportRunner r;
    r.script.failAt = "DoLogout";
    r.script.onCall = [](const std::string& call) {
        if (call == "ExportStays 05/03/2026 05/03/2026 P") throw std::bad_alloc();
    };
    EXPECT_EQ(r.run("05/03/2026", "05/03/2026", true), RunOutcome::Interrupted);
    EXPECT_EQ(r.box().rfind("48 Istat Regione Sicilia: Esportazione interrotta!\r\nErrore "
                            "imprevisto: l'esportazione non può continuare.",
                            0),
              0u)
        << r.box();
    EXPECT_NE(r.box().find("\r\nErrore anche durante la disconnessione: Servizio non "
                           "raggiungibile\r\nhttp://127.0.0.1:9/istat/arrivi"),
              std::string::npos)
        << r.box();
    // The final logout failing unexpectedly is told, never sent a second time.
    ExportRunner last;
    last.script.onCall = [](const std::string& call) {
        if (call == "DoLogout") throw std::bad_alloc();
    };
    EXPECT_EQ(last.run("05/03/2026", "05/03/2026", false), RunOutcome::Interrupted);
    EXPECT_EQ(last.script.calls,
              concat({{"DoLogin"}, dayCalls("05/03/2026", false), {"DoLogout"}}));
}

struct RefusalRow {
    const char* rule;
    std::function<void(const TempDir&)> spoil;
    std::string first;
    std::string last;
    std::string problem;  // second line of the prompt, or its start
    std::vector<int> invalidFields;
};

const std::string kToday = "05/03/2026";
// clang-format off
const RefusalRow kRefusals[] = {
    {"first day invalid", nullptr, "31/04/2026", kToday,
     "La data \"Dalla data\" non è valida (scriverla come GG/MM/AAAA).", {0}},
    {"last day empty", nullptr, kToday, "",
     "La data \"Alla data\" non è valida (scriverla come GG/MM/AAAA).", {1}},
    {"first day valid but not in digits by position", nullptr, "1//3//2026", kToday,
     "La data \"Dalla data\" va scritta in cifre come GG/MM/AAAA: \"1//3//2026\".", {0}},
    {"last day before the first", nullptr, kToday, "04/03/2026", kReversedRange, {0}},
    {"data file missing", [](const TempDir& d) { fs::remove(d / "QLBDataI.txt"); }, kToday, kToday,
     "Il file QLBDataI.txt con la data iniziale dei soggiorni non esiste nella cartella di lavoro.", {}},
    {"data file empty", [](const TempDir& d) { d.write("QLBDataI.txt", ""); }, kToday, kToday,
     "Il file QLBDataI.txt è vuoto: la prima riga deve contenere la data iniziale (GG/MM/AAAA).", {}},
    {"data file first line not a date",
     [](const TempDir& d) { d.write("QLBDataI.txt", "2026-01-01\r\n01/01/2026\r\n"); }, kToday, kToday,
     "La prima riga del file QLBDataI.txt non è una data valida (GG/MM/AAAA): \"2026-01-01\".", {}},
    {"data file first line with a leading blank",
     [](const TempDir& d) { d.write("QLBDataI.txt", " 05/03/2026\r\n"); }, kToday, kToday,
     "La prima riga del file QLBDataI.txt non è una data valida (GG/MM/AAAA): \" 05/03/2026\".", {}},
    {"guest register missing", [](const TempDir& d) { fs::remove(d / "Scheda_Cliente.mdb"); }, kToday,
     kToday, "Archivio mancante nella cartella di lavoro: Scheda_Cliente.mdb.", {}},
    {"history and codes missing",
     [](const TempDir& d) { fs::remove(d / "SchedaStoricoClienti.mdb"); fs::remove(d / "Comuni.mdb"); },
     kToday, kToday, "Archivi mancanti nella cartella di lavoro: SchedaStoricoClienti.mdb e Comuni.mdb.", {}},
    {"an empty address, before the login",
     [](const TempDir& d) {
         d.write("QLBSetup.txt", "HOTEL01\r\nsegreta\r\nhttp://127.0.0.1:9/istat/login\r\n\r\n"
                 "http://127.0.0.1:9/istat/arrivi\r\nhttp://h/p\r\nhttp://h/c\r\n");
     }, kToday, kToday, "QLBSetup.txt, riga 4 (indirizzo di disconnessione): l'indirizzo è vuoto. "
     "Correggerlo prima di esportare.", {}},
    {"log directory cannot be made", [](const TempDir& d) { d.write("Velmora", "a file"); }, kToday,
     kToday, "Impossibile creare la cartella Velmora", {}},
};
// clang-format on

class RefusalBeforeLogin : public ::testing::TestWithParam<RefusalRow> {};

TEST_P(RefusalBeforeLogin, SendsAndWritesNothing) {
    const RefusalRow& row = GetParam();
    ExportRunner r;
    if (row.spoil) row.spoil(r.dir);
    EXPECT_EQ(r.run(row.first, row.last, true), RunOutcome::Refused);
    EXPECT_EQ(r.script.made, 0);
    EXPECT_TRUE(r.view.events.empty());
    EXPECT_EQ(r.view.invalidFields, row.invalidFields);
    EXPECT_FALSE(fs::is_directory(r.dir / "Velmora"));
    EXPECT_TRUE(r.monitor.appends.empty());
    const std::string box = "48 Istat Regione Sicilia: Esportazione non avviata!\r\n" + row.problem;
    EXPECT_EQ(r.box().substr(0, box.size()), box);
}

INSTANTIATE_TEST_SUITE_P(App, RefusalBeforeLogin, ::testing::ValuesIn(kRefusals), RuleName());

struct UsageRow {
    const char* rule;
    V args;
    std::string expected;  // "from to close cache", or the error
};

// clang-format off
const UsageRow kUsageRows[] = {
    {"separate values", {"--from", "01/03/2026", "--to", "05/03/2026"}, "01/03/2026 05/03/2026 0 1"},
    {"inline values in any order with closing", {"--close-days", "--to=050326", "--from=010326"}, "010326 050326 1 1"},
    {"hidden table cache switch", {"--from", "a", "--to", "b", "--no-table-cache"}, "a b 0 0"},
    {"nothing", {}, "manca --from"},
    {"repeated option", {"--from", "a", "--from", "b", "--to", "c"}, "opzione --from ripetuta"},
    {"switch with a value", {"--close-days=1", "--from", "a", "--to", "b"}, "argomento non previsto \"--close-days=1\""},
};
// clang-format on

class ExportArguments : public ::testing::TestWithParam<UsageRow> {};

TEST_P(ExportArguments, AreReadOrRefused) {
    std::string error;
    const auto a = parseExportArguments(GetParam().args, error);
    EXPECT_EQ(a ? a->from + " " + a->to + " " + std::to_string(a->closeDays) + " " +
                      std::to_string(a->tableCache)
                : error,
              GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(App, ExportArguments, ::testing::ValuesIn(kUsageRows), RuleName());

struct AddressRow {
    const char* rule;
    int line;  // 3..7 of QLBSetup.txt
    const char* address;
    const char* problem;  // "" when usable
};

// clang-format off
const AddressRow kAddressRows[] = {
    {"blank after the departures", 6, "http://h/istat/partenze ", "finisce con uno spazio"},
    {"blank before the login", 3, " http://h/istat/login", "comincia con uno spazio"},
    {"empty logout", 4, "", "è vuoto"},
    {"no scheme", 5, "h/istat/arrivi", "non comincia con http:// o https://"},
    {"other scheme", 7, "ftp://h/istat", "non comincia con http:// o https://"},
    {"no host", 5, "http:///istat/arrivi", "non indica il server"},
    {"control character", 7, "http://h/ist\x01" "at", "contiene un carattere di controllo"},
    {"blank inside", 3, "http://h/is tat", "contiene uno spazio"},
    {"bad port", 4, "http://h:99999/istat", "non è un indirizzo valido"},
    {"capital scheme and port are fine", 3, "HTTP://127.0.0.1:9/istat/login", ""},
    {"query is fine", 6, "https://h/istat/partenze?x=1", ""},
};
// clang-format on

class SettingsAddress : public ::testing::TestWithParam<AddressRow> {};

TEST_P(SettingsAddress, NamesTheLineAndWhatIsWrong) {
    const AddressRow& r = GetParam();
    RunState state;
    std::string* lines[] = {&state.LoginUrl, &state.LogoutUrl, &state.ArrivalsUrl,
                            &state.DeparturesUrl, &state.CloseDayUrl};
    for (std::string* l : lines) *l = "https://servizio.example.it:8443/istat/x";
    *lines[r.line - 3] = r.address;
    const std::string problem = settingsAddressProblem(state);
    const char* names[] = {"accesso", "disconnessione", "degli arrivi", "delle partenze",
                           "chiusura della giornata"};
    if (*r.problem == '\0') {
        EXPECT_EQ(problem, "");
    } else {
        EXPECT_EQ(problem.rfind("QLBSetup.txt, riga " + std::to_string(r.line) + " (indirizzo ", 0),
                  0u);
        EXPECT_NE(problem.find(names[r.line - 3]), std::string::npos) << problem;
        EXPECT_NE(problem.find(std::string("): l'indirizzo ") + r.problem), std::string::npos)
            << problem;
    }
}

INSTANTIATE_TEST_SUITE_P(App, SettingsAddress, ::testing::ValuesIn(kAddressRows), RuleName());

struct StopRow {
    const char* rule;
    std::string stopAt;  // the recorded call during which the stop comes
    bool abandoned;      // the transport gives that call up once the stop comes
    V calls;
    std::string said;  // the start of the line after "Esportazione interrotta dall'operatore."
};

const V kStopDay = {"DoLogin", "ExportStays 02/03/2026 02/03/2026 A",
                    "SendMovements A <02/03/2026 A>", "ExportStays 02/03/2026 02/03/2026 P"};
const StopRow kStopRows[] = {
    {"while the departures document is built", kStopDay.back(), false,
     concat({kStopDay, {"DoLogout"}}),
     "Nessuno scambio in corso; l'ultimo, il documento degli arrivi del 02/03/2026, "
     "ha avuto risposta. Nient'altro è stato inviato."},
    {"during a day closing whose answer came", "CloseDay 02/03/2026", false,
     concat({kStopDay, {"SendMovements P <02/03/2026 P>", "CloseDay 02/03/2026", "DoLogout"}}),
     "Nessuno scambio in corso; l'ultimo, la chiusura della giornata 02/03/2026, ha "
     "avuto risposta. Nient'altro è stato inviato."},
    {"an abandoned post is named as unanswered", "SendMovements P <02/03/2026 P>", true,
     concat({kStopDay, {"SendMovements P <02/03/2026 P>", "DoLogout"}}),
     "In corso: il documento delle partenze del 02/03/2026, risposta NON ricevuta"},
};

class OperatorStop : public ::testing::TestWithParam<StopRow> {};

TEST_P(OperatorStop, SendsNothingMoreLogsOutAndSaysWhatWasUnderWay) {
    const StopRow& r = GetParam();
    ExportRunner x;
    if (r.abandoned) x.script.failAt = r.stopAt;
    x.script.onCall = [&](const std::string& call) {
        if (call == r.stopAt) x.stop.request();
    };
    EXPECT_EQ(x.run("02/03/2026", "03/03/2026", true), RunOutcome::Interrupted);
    EXPECT_EQ(x.script.calls, r.calls);
    const std::string said = "Esportazione interrotta dall'operatore.\r\n" + r.said;
    ASSERT_EQ(x.dialogs.boxes.size(), 1u);
    EXPECT_EQ(x.dialogs.boxes[0].prompt.substr(0, said.size()), said);
    EXPECT_NE(x.monitor.boxes[kAnswersBox].find(r.said), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(App, OperatorStop, ::testing::ValuesIn(kStopRows), RuleName());

TEST(BatchMode, PrintsMonitorAndMessagesEscaped) {
    std::ostringstream out, err;
    StreamMonitor monitor(out);
    StreamDialogs dialogs(err);
    monitor.append(kSentBox, "<Nome>\x1b[2J</Nome>");
    dialogs.MsgBox("scheda \x1b[31mROSSI\r\nfine", kStyleExclamation, "Titolo");
    EXPECT_EQ(out.str(), std::string(kSentMarker) + "\n<Nome>\\x1B[2J</Nome>\n");
    EXPECT_EQ(err.str(), "Titolo: scheda \\x1B[31mROSSI\nfine\n");
}

TEST(BatchMode, ProgramUsage) {
    TempDir cwd;
    // Hotel folders below the working directory with only their settings file.
    for (const std::string folder : {"albergo", "Città d'Arte"})
        cwd.write(
            folder + "/QLBSetup.txt",
            "u\r\np\r\nhttp://127.0.0.1:9/a\r\nhttp://127.0.0.1:9/b\r\nhttp://127.0.0.1:9/c\r\n"
            "http://127.0.0.1:9/d\r\nhttp://127.0.0.1:9/e\r\n");
    const struct {
        V args;
        int status;
        const char* outStart;
        const char* errPiece;
        bool usage = true;  // a status 64 prints the usage
    } rows[] = {
        {{"--help"}, 0, "Uso:\nvelmora\n", ""},
        {{"export", "--help"}, 0, "Uso:\nvelmora export --from", ""},
        {{"esporta"}, 64, "", "comando sconosciuto \"esporta\""},
        {{"export"}, 64, "", "velmora export: manca --from"},
        {{"export", "--from", "05/03/2026", "--to", "05/03/2026"},
         2,
         "",
         "Parametri insufficienti: Nome utente e password non impostati! (QLBSetup.txt)"},
        {{"--version"}, 0, "velmora " VELMORA_VERSION "\n", ""},
        {{"--cartella", "albergo", "export", "--from", "050326", "--to", "050326"},
         2,
         "",
         "Il file QLBDataI.txt con la data iniziale dei soggiorni non esiste"},
        {{"--cartella", "Città d'Arte", "export", "--from", "050326", "--to", "050326"},
         2,
         "",
         "Il file QLBDataI.txt con la data iniziale dei soggiorni non esiste"},
        {{"--cartella=albergo", "check", "--from", "050326", "--to", "050326"},
         2,
         "",
         "QLBDataI.txt con la data iniziale"},
        {{"--cartella", "assente", "export", "--from", "050326", "--to", "050326"},
         2,
         "",
         "velmora: la cartella non esiste: \"assente\""},
        {{"--cartella", "albergo", "export", "--from", "05/03/2026", "--to", "3/3/26"},
         64,
         "",
         "velmora export: La data finale precede la data iniziale.\n",
         false},
        {{"--cartella", "albergo", "check", "--from", "5.3.26", "--to", "04032026"},
         64,
         "",
         "velmora check: La data finale precede la data iniziale.\n",
         false},
        {{"--cartella", "albergo", "export", "--from", "32/3/26", "--to", "050326"},
         2,
         "",
         "velmora: data non valida per --from: \"32/3/26\" (scriverla come GG/MM/AAAA)\n"},
        {{"--cartella"}, 64, "", "manca la cartella dopo --cartella"},
        {{"--ultima-cartella", "export"}, 64, "", "non vuole altri"},
    };
    for (const auto& row : rows) {
        const ProgramResult res = runVelmora(cwd.path(), row.args);
        EXPECT_EQ(res.status, row.status) << row.args[0] << "\n" << res.err;
        EXPECT_EQ(res.out.rfind(row.outStart, 0), 0u) << res.out;
        EXPECT_NE(res.err.find(row.errPiece), std::string::npos) << res.err;
        EXPECT_EQ(res.err.find("Uso:") != std::string::npos, row.status == 64 && row.usage)
            << res.err;
    }
}

}  // namespace
}  // namespace velmora::test
