// The export run driven by recording steps: the order of the calls over a
// range, empty documents, day closing, the checks before the login, the
// completion message and what a failure on the way does.
#include <gtest/gtest.h>

#include <filesystem>

#include "RecordingSteps.h"
#include "app/DateEntry.h"
#include "app/ExportRun.h"
#include "app/Settings.h"
#include "platform/FileStore.h"
#include "support/Fakes.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

using test::dayCalls;
using test::RecordingDialogs;
using test::RecordingMonitor;
using test::StepScript;
using test::TempDir;
using V = std::vector<std::string>;

class FieldsView : public RunView {
public:
    void invalidDateField(int index) override { invalidFields.push_back(index); }
    void runStarted() override { events.push_back("started"); }
    void dayStarted(const std::string& day) override { events.push_back("day " + day); }
    void runEnded() override { events.push_back("ended"); }
    std::vector<int> invalidFields;
    V events;
};

class ExportRunTest : public ::testing::Test {
protected:
    ExportRunTest() : files(dir.path()) {
        test::writeHotelFiles(dir);
        FillDaysInMonth(state);
        LoadSettings(files, state);
    }

    RunOutcome run(const std::string& first, const std::string& last, bool close) {
        ExportRun exportRun(state, files, dialogs, monitor, test::recordingFactory(script));
        return exportRun.run({first, last, close}, view);
    }

    static V concat(std::initializer_list<V> parts) {
        V out;
        for (const V& p : parts) out.insert(out.end(), p.begin(), p.end());
        return out;
    }

    TempDir dir;
    LocalFileStore files;
    RunState state;
    RecordingDialogs dialogs;
    RecordingMonitor monitor;
    StepScript script;
    FieldsView view;
};

TEST_F(ExportRunTest, ProcessesEveryDayOfTheRangeInOrder) {
    EXPECT_EQ(run("30/01/2026", "02/02/2026", true), RunOutcome::Completed);
    EXPECT_EQ(script.calls, concat({{"DoLogin"},
                                    dayCalls("30/01/2026", true),
                                    dayCalls("31/01/2026", true),
                                    dayCalls("01/02/2026", true),
                                    dayCalls("02/02/2026", true),
                                    {"DoLogout"}}));
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].prompt, "Esportazione completata!");
    EXPECT_EQ(dialogs.boxes[0].style, 0);
    EXPECT_EQ(dialogs.boxes[0].title, "Istat Regione Sicilia");
    EXPECT_EQ(view.events, (V{"started", "day 30/01/2026", "day 31/01/2026", "day 01/02/2026",
                              "day 02/02/2026", "ended"}));
}

TEST_F(ExportRunTest, RangesWithoutOrWithOneDay) {
    struct Row {
        const char* rule;
        const char* first;
        const char* last;
        V calls;
    } rows[] = {
        {"reversed range: login, logout and completion only",
         "05/03/2026",
         "03/03/2026",
         {"DoLogin", "DoLogout"}},
        {"equal days: exactly one day", "05/03/2026", "05/03/2026",
         concat({{"DoLogin"}, dayCalls("05/03/2026", true), {"DoLogout"}})},
        {"the last possible day ends the loop", "31/12/9999", "31/12/9999",
         concat({{"DoLogin"}, dayCalls("31/12/9999", true), {"DoLogout"}})},
    };
    for (const Row& r : rows) {
        script.calls.clear();
        dialogs.boxes.clear();
        EXPECT_EQ(run(r.first, r.last, true), RunOutcome::Completed) << r.rule;
        EXPECT_EQ(script.calls, r.calls) << r.rule;
        ASSERT_EQ(dialogs.boxes.size(), 1u) << r.rule;
        EXPECT_EQ(dialogs.boxes[0].prompt, "Esportazione completata!") << r.rule;
    }
}

TEST_F(ExportRunTest, AnEmptyDocumentIsNotSentButTheOtherKindIs) {
    script.documents["05/03/2026 A"] = "";
    run("05/03/2026", "05/03/2026", false);
    EXPECT_EQ(script.calls, (V{"DoLogin", "ExportStays 05/03/2026 05/03/2026 A",
                               "ExportStays 05/03/2026 05/03/2026 P",
                               "SendMovements P <05/03/2026 P>", "DoLogout"}));
}

TEST_F(ExportRunTest, WithoutCloseDaysNoDayIsClosed) {
    run("04/03/2026", "05/03/2026", false);
    EXPECT_EQ(script.calls, concat({{"DoLogin"},
                                    dayCalls("04/03/2026", false),
                                    dayCalls("05/03/2026", false),
                                    {"DoLogout"}}));
}

TEST_F(ExportRunTest, FirstDayHandedOnAsTypedLaterDaysAsDayMonthYear) {
    run("05-03-2026", "06/03/2026", true);
    EXPECT_EQ(script.calls, concat({{"DoLogin"},
                                    dayCalls("05-03-2026", true),
                                    dayCalls("06/03/2026", true),
                                    {"DoLogout"}}));
}

TEST_F(ExportRunTest, TwoRunsAppendToTheMonitorInOrder) {
    script.tag = "run1 ";
    run("05/03/2026", "05/03/2026", false);
    script.tag = "run2 ";
    run("05/03/2026", "05/03/2026", false);
    EXPECT_EQ(monitor.boxes[kSentBox],
              "\r\nrun1 <05/03/2026 A>\r\nrun1 <05/03/2026 P>"
              "\r\nrun2 <05/03/2026 A>\r\nrun2 <05/03/2026 P>");
    EXPECT_EQ(monitor.boxes[kAnswersBox], "\r\nrun1 OK A\r\nrun1 OK P\r\nrun2 OK A\r\nrun2 OK P");
    EXPECT_EQ(script.made, 2);
}

TEST_F(ExportRunTest, ErrorMarksChangeTheCompletionMessage) {
    struct Row {
        const char* rule;
        std::string markedCall;
    } rows[] = {
        {"a movements answer", "SendMovements P <05/03/2026 P>"},
        {"a day closing answer", "CloseDay 05/03/2026"},
        {"the logout answer", "DoLogout"},
    };
    for (const Row& r : rows) {
        script.marks = {r.markedCall};
        script.calls.clear();
        dialogs.boxes.clear();
        EXPECT_EQ(run("05/03/2026", "05/03/2026", true), RunOutcome::CompletedWithErrors) << r.rule;
        EXPECT_EQ(script.calls.back(), "DoLogout") << r.rule << ": the run went on";
        ASSERT_EQ(dialogs.boxes.size(), 1u) << r.rule;
        EXPECT_EQ(dialogs.boxes[0].prompt,
                  "Esportazione completata!\r\nSono presenti errori: controllare il monitor.")
            << r.rule;
        EXPECT_EQ(dialogs.boxes[0].style, 48) << r.rule;
        EXPECT_EQ(dialogs.boxes[0].title, "Istat Regione Sicilia") << r.rule;
    }
}

TEST_F(ExportRunTest, AFailureStopsTheRunAndStillLogsOut) {
    const std::string reason = "Servizio non raggiungibile\r\nhttp://127.0.0.1:9/istat/arrivi";
    struct Row {
        const char* rule;
        std::string failAt;
        V callsBeforeLogout;  // the failing call included
        bool logsOut;
    } rows[] = {
        {"the login", "DoLogin", {"DoLogin"}, false},
        {"day 2 arrivals document", "ExportStays 31/01/2026 31/01/2026 A",
         concat(
             {{"DoLogin"}, dayCalls("30/01/2026", true), {"ExportStays 31/01/2026 31/01/2026 A"}}),
         true},
        {"day 2 departures submission", "SendMovements P <31/01/2026 P>",
         concat({{"DoLogin"}, dayCalls("30/01/2026", true), dayCalls("31/01/2026", false)}), true},
        {"day 2 closing", "CloseDay 31/01/2026",
         concat({{"DoLogin"}, dayCalls("30/01/2026", true), dayCalls("31/01/2026", true)}), true},
    };
    for (const Row& r : rows) {
        script.calls.clear();
        script.failAt = r.failAt;
        dialogs.boxes.clear();
        monitor = RecordingMonitor();
        EXPECT_EQ(run("30/01/2026", "02/02/2026", true), RunOutcome::Interrupted) << r.rule;
        V expected = r.callsBeforeLogout;
        if (r.logsOut) expected.push_back("DoLogout");
        EXPECT_EQ(script.calls, expected) << r.rule;
        ASSERT_FALSE(monitor.appends.empty()) << r.rule;
        EXPECT_EQ(monitor.appends.back().box, kAnswersBox) << r.rule;
        EXPECT_EQ(monitor.appends.back().text, reason) << r.rule;
        ASSERT_EQ(dialogs.boxes.size(), 1u) << r.rule;
        EXPECT_EQ(dialogs.boxes[0].prompt, "Esportazione interrotta!\r\n" + reason) << r.rule;
        EXPECT_EQ(dialogs.boxes[0].style, 48) << r.rule;
        EXPECT_EQ(dialogs.boxes[0].title, "Istat Regione Sicilia") << r.rule;
    }
}

TEST_F(ExportRunTest, UnexpectedFailuresAndAFailedLogoutAreReported) {
    script.failAt = "ExportStays 05/03/2026 05/03/2026 P";
    script.failure = test::Failure::OutOfMemory;
    EXPECT_EQ(run("05/03/2026", "05/03/2026", true), RunOutcome::Interrupted);
    EXPECT_EQ(script.calls.back(), "DoLogout");
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].prompt.rfind("Esportazione interrotta!\r\nErrore imprevisto", 0), 0u)
        << dialogs.boxes[0].prompt;

    // The document fails, then the logout too: both reasons are told.
    script.calls.clear();
    dialogs.boxes.clear();
    script.failure = test::Failure::RunErrorThrown;
    script.failAt = "DoLogout";
    script.marks.clear();
    script.documents["05/03/2026 A"] = "";
    script.onCall = [this](const std::string& call) {
        if (call == "ExportStays 05/03/2026 05/03/2026 P") throw RunError("Archivio illeggibile");
    };
    EXPECT_EQ(run("05/03/2026", "05/03/2026", true), RunOutcome::Interrupted);
    EXPECT_EQ(dialogs.boxes.at(0).prompt,
              "Esportazione interrotta!\r\nArchivio illeggibile\r\n"
              "Errore anche durante la disconnessione: Servizio non raggiungibile\r\n"
              "http://127.0.0.1:9/istat/arrivi");
}

TEST_F(ExportRunTest, FactoryFailureInterruptsWithoutLogout) {
    ExportRun exportRun(
        state, files, dialogs, monitor,
        [](RunState&, Monitor&, const StepsOptions&) -> std::unique_ptr<ExportSteps> {
            throw RunError("Esportazione non ancora disponibile");
        });
    EXPECT_EQ(exportRun.run({"05/03/2026", "05/03/2026", false}, view), RunOutcome::Interrupted);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].prompt,
              "Esportazione interrotta!\r\nEsportazione non ancora disponibile");
    EXPECT_EQ(monitor.boxes[kAnswersBox], "\r\nEsportazione non ancora disponibile");
}

TEST_F(ExportRunTest, ChecksBeforeTheLoginRefuseWithoutSendingOrWriting) {
    struct Row {
        const char* rule;
        std::function<void(const TempDir&)> spoil;
        std::string first;
        std::string last;
        std::string problem;  // second line of the prompt
        std::vector<int> invalidFields;
    } rows[] = {
        {"first day invalid",
         nullptr,
         "31/04/2026",
         "05/03/2026",
         "La data \"Dalla data\" non è valida (scriverla come GG/MM/AAAA).",
         {0}},
        {"last day empty",
         nullptr,
         "05/03/2026",
         "",
         "La data \"Alla data\" non è valida (scriverla come GG/MM/AAAA).",
         {1}},
        {"first day valid for the date check but not in digits by position",
         nullptr,
         "1//3//2026",
         "05/03/2026",
         "La data \"Dalla data\" va scritta in cifre come GG/MM/AAAA: \"1//3//2026\".",
         {0}},
        {"last day with a two-byte separator",
         nullptr,
         "05/03/2026",
         "05\xC2\xB4" "03\xC2\xB4" "2026",
         "La data \"Alla data\" va scritta in cifre come GG/MM/AAAA: \"05\xC2\xB4" "03\xC2\xB4" "2026\".",
         {1}},
        {"last day with a leading blank",
         nullptr,
         "05/03/2026",
         " 05/03/2026",
         "La data \"Alla data\" va scritta in cifre come GG/MM/AAAA: \" 05/03/2026\".",
         {1}},
        {"data file missing",
         [](const TempDir& d) { std::filesystem::remove(d / "QLBDataI.txt"); },
         "05/03/2026",
         "05/03/2026",
         "Il file QLBDataI.txt con la data iniziale dei soggiorni non esiste nella cartella di "
         "lavoro.",
         {}},
        {"data file empty",
         [](const TempDir& d) { d.write("QLBDataI.txt", ""); },
         "05/03/2026",
         "05/03/2026",
         "Il file QLBDataI.txt è vuoto: la prima riga deve contenere la data iniziale "
         "(GG/MM/AAAA).",
         {}},
        {"data file first line not a date",
         [](const TempDir& d) { d.write("QLBDataI.txt", "2026-01-01\r\n01/01/2026\r\n"); },
         "05/03/2026",
         "05/03/2026",
         "La prima riga del file QLBDataI.txt non è una data valida (GG/MM/AAAA): \"2026-01-01\".",
         {}},
        {"data file first line with a leading blank",
         [](const TempDir& d) { d.write("QLBDataI.txt", " 05/03/2026\r\n"); },
         "05/03/2026",
         "05/03/2026",
         "La prima riga del file QLBDataI.txt non è una data valida (GG/MM/AAAA): \" 05/03/2026\".",
         {}},
        {"data file first line in short pieces",
         [](const TempDir& d) { d.write("QLBDataI.txt", "1//1//2026\r\n"); },
         "05/03/2026",
         "05/03/2026",
         "La prima riga del file QLBDataI.txt non è una data valida (GG/MM/AAAA): \"1//1//2026\".",
         {}},
        {"guest register missing",
         [](const TempDir& d) { std::filesystem::remove(d / "Scheda_Cliente.mdb"); },
         "05/03/2026",
         "05/03/2026",
         "Archivio mancante nella cartella di lavoro: Scheda_Cliente.mdb.",
         {}},
        {"history and codes missing",
         [](const TempDir& d) {
             std::filesystem::remove(d / "SchedaStoricoClienti.mdb");
             std::filesystem::remove(d / "Comuni.mdb");
         },
         "05/03/2026",
         "05/03/2026",
         "Archivi mancanti nella cartella di lavoro: SchedaStoricoClienti.mdb e Comuni.mdb.",
         {}},
        {"log directory cannot be made",
         [](const TempDir& d) { d.write("Velmora", "a file"); },
         "05/03/2026",
         "05/03/2026",
         "",
         {}},
    };
    for (const Row& r : rows) {
        TempDir d;
        test::writeHotelFiles(d);
        if (r.spoil) r.spoil(d);
        LocalFileStore store(d.path());
        RecordingDialogs boxes;
        FieldsView fields;
        StepScript steps;
        ExportRun exportRun(state, store, boxes, monitor, test::recordingFactory(steps));
        EXPECT_EQ(exportRun.run({r.first, r.last, true}, fields), RunOutcome::Refused) << r.rule;
        EXPECT_EQ(steps.made, 0) << r.rule;
        EXPECT_TRUE(steps.calls.empty()) << r.rule;
        EXPECT_TRUE(fields.events.empty()) << r.rule;
        EXPECT_EQ(fields.invalidFields, r.invalidFields) << r.rule;
        EXPECT_FALSE(std::filesystem::is_directory(d / "Velmora")) << r.rule;
        ASSERT_EQ(boxes.boxes.size(), 1u) << r.rule;
        EXPECT_EQ(boxes.boxes[0].style, 48) << r.rule;
        EXPECT_EQ(boxes.boxes[0].title, "Istat Regione Sicilia") << r.rule;
        const std::string& prompt = boxes.boxes[0].prompt;
        if (!r.problem.empty()) {
            EXPECT_EQ(prompt, "Esportazione non avviata!\r\n" + r.problem) << r.rule;
        } else {
            EXPECT_EQ(prompt.rfind("Esportazione non avviata!\r\nImpossibile creare la cartella "
                                   "Velmora",
                                   0),
                      0u)
                << r.rule << ": " << prompt;
        }
    }
    EXPECT_TRUE(monitor.appends.empty());
}

TEST_F(ExportRunTest, MakesTheLogDirectoryWhenMissing) {
    ASSERT_FALSE(std::filesystem::exists(dir / "Velmora"));
    EXPECT_EQ(run("05/03/2026", "05/03/2026", false), RunOutcome::Completed);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "Velmora"));
}

}  // namespace
}  // namespace velmora
