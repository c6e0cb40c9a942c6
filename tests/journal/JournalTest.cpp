// The send journal through the real batch commands on the demo hotel and the
// loopback service: what a run records and "stato" shows, the rebuild from
// the log files, days already sent refused, --pending after a gap, an
// interrupted or killed run, a guest edited after sending, two runs at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <regex>
#include <set>
#include <sstream>

#include "app/BatchMode.h"
#include "app/DateEntry.h"
#include "app/ExportRun.h"
#include "check/JournalDays.h"
#include "app/RealExportSteps.h"
#include "jet/JetEngine.h"
#include "jetwrite/JetWriter.h"
#include "platform/Sqlite.h"
#include "platform/curl/CurlTransport.h"
#include "service/SendJournal.h"
#include "support/Fakes.h"
#include "support/Support.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

// The journal's rows as comparable text, without the times (a rebuild knows
// only the minute) and without the empty documents (no file shows them).
struct Rows {
    std::set<std::string> exchanges;
    std::set<std::string> stays;
    std::set<std::string> files;  // every file an exchange names
    std::vector<JournalRun> runs;
};

Rows rowsOf(const std::string& path) {
    Rows r;
    SendJournal j(path, true);
    r.runs = j.runs();
    for (const JournalExchange& e : j.allExchanges()) {
        if (e.verdict == std::optional<std::string>(kVerdictEmpty)) continue;
        for (const auto& f : {e.requestFile, e.answerFile})
            if (f) r.files.insert(fs::path(*f).filename().string());
        r.exchanges.insert(e.kind + "|" + e.day.value_or("") + "|" + e.requestFile.value_or("") +
                           "|" + e.answerFile.value_or("") + "|" + e.verdict.value_or("?") + "|" +
                           std::to_string(e.stays) + "|" + e.bodyHash.value_or(""));
        for (const SentStay& s : j.staysOf(e.id))
            r.stays.insert(e.requestFile.value_or("") + "|" + s.day + s.kind + s.database +
                           std::to_string(s.numeroProgressivo.value_or(-1)) + s.guestId +
                           s.stayHash + s.guestHash);
    }
    return r;
}

// The status word of each day line of "velmora stato".
std::map<std::string, std::string> statusWords(const std::string& out) {
    std::map<std::string, std::string> words;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        if (line.size() < 10 || line[2] != '/' || line[5] != '/') continue;
        for (const char* w : {kStatusSent, kStatusWithErrors, kStatusInterrupted, kStatusUnknown,
                              kStatusNotSent, kStatusNothingToSend})
            if (line.size() >= std::strlen(w) && line.ends_with(w)) words[line.substr(0, 10)] = w;
    }
    return words;
}

std::string journalOf(const test::TempDir& dir) { return dir / "Velmora/Velmora.sqlite"; }

struct Hotel {
    explicit Hotel(const std::function<void(sim::ServiceSimOptions&)>& configure = nullptr)
        : service(configure) {
        writeDemoHotel(dir);
        writeSettings(dir, service.base());
    }
    ProgramResult velmora(const Lines& args,
                          std::chrono::milliseconds limit = std::chrono::seconds(60)) {
        return runVelmora(dir.path(), args, limit);
    }
    test::TempDir dir;
    LoopbackService service;
};

TEST(JournalTest, RunRecordedShownAndRebuiltFromTheFiles) {
    Hotel h;
    ASSERT_EQ(
        h.velmora({"export", "--from", kFirstDay, "--to", "09/03/2026", "--close-days"}).status, 1);
    const Rows recorded = rowsOf(journalOf(h.dir));
    ASSERT_EQ(recorded.runs.size(), 1u);
    EXPECT_EQ(recorded.runs[0].outcome.value_or(""), kOutcomeWithErrors);
    EXPECT_EQ(recorded.runs[0].firstDay + " " + recorded.runs[0].lastDay, "2026-03-02 2026-03-09");
    EXPECT_TRUE(recorded.runs[0].closeDays);

    // Every log file is indexed, and the journal is the only other file.
    std::set<std::string> onDisk;
    for (const auto& e : fs::directory_iterator(h.dir / "Velmora")) {
        const std::string name = e.path().filename().string();
        if (name.rfind("Istat-", 0) != 0) onDisk.insert(name);
    }
    std::set<std::string> expected = recorded.files;
    expected.insert(kJournalFile);
    EXPECT_EQ(onDisk, expected);

    const ProgramResult stato = h.velmora({"stato", "--from", kFirstDay, "--to", "10/03/2026"});
    ASSERT_EQ(stato.status, 0) << stato.err;
    const std::map<std::string, std::string> want{
        {"02/03/2026", kStatusSent},         {"03/03/2026", kStatusSent},
        {"04/03/2026", kStatusSent},         {"05/03/2026", kStatusSent},
        {"06/03/2026", kStatusSent},         {"07/03/2026", kStatusWithErrors},
        {"08/03/2026", kStatusSent},         {"09/03/2026", kStatusSent},
        {"10/03/2026", kStatusNothingToSend}};
    EXPECT_EQ(statusWords(stato.out), want) << stato.out;

    const ProgramResult rebuilt =
        h.velmora({"stato", "--ricostruisci", "--from", kFirstDay, "--to", "10/03/2026"});
    ASSERT_EQ(rebuilt.status, 0) << rebuilt.err;
    EXPECT_EQ(statusWords(rebuilt.out), want) << rebuilt.out;
    const Rows fromFiles = rowsOf(journalOf(h.dir));
    EXPECT_EQ(fromFiles.exchanges, recorded.exchanges);
    EXPECT_EQ(fromFiles.stays, recorded.stays);
    ASSERT_EQ(fromFiles.runs.size(), 1u);
    EXPECT_EQ(fromFiles.runs[0].outcome, recorded.runs[0].outcome);
    EXPECT_EQ(fromFiles.runs[0].firstDay + fromFiles.runs[0].lastDay,
              recorded.runs[0].firstDay + recorded.runs[0].lastDay);
    EXPECT_EQ(rowsOf(journalOf(h.dir) + ".bak").exchanges, recorded.exchanges);
}

TEST(JournalTest, DaysAlreadySentAreRefusedUnlessResent) {
    Hotel h;
    ASSERT_EQ(h.velmora({"export", "--from", "02/03/2026", "--to", "04/03/2026"}).status, 0);
    const std::size_t requests = h.service.requests().size();
    const ProgramResult again = h.velmora({"export", "--from", "03/03/2026", "--to", "05/03/2026"});
    EXPECT_EQ(again.status, 64);
    EXPECT_NE(again.err.find("I giorni 03/03/2026 e 04/03/2026 risultano già inviati e accettati."),
              std::string::npos)
        << again.err;
    EXPECT_EQ(h.service.requests().size(), requests) << "no login";
    // One day is told in the singular.
    EXPECT_NE(h.velmora({"export", "--from", "04/03/2026", "--to", "05/03/2026"})
                  .err.find("Il giorno 04/03/2026 risulta già inviato e accettato. Per inviarlo "
                            "di nuovo aggiungere --reinvia."),
              std::string::npos);
    EXPECT_EQ(
        h.velmora({"export", "--from", "03/03/2026", "--to", "05/03/2026", "--reinvia"}).status, 0);
    EXPECT_EQ(rowsOf(journalOf(h.dir)).runs.size(), 2u);
}

// --pending in-process, so that "yesterday" comes from a fixed clock.
TEST(JournalTest, PendingCatchesUpAfterAGapAndThenHasNothingToDo) {
    Hotel h;
    LocalFileStore files(h.dir.path());
    test::FixedClock clock({2026, 3, 10, 8, 0, 0});
    JetEngine engine(h.dir.path());
    CurlTransport http;
    const std::string journal = journalOf(h.dir);
    ExportStepsFactory factory = [&](RunState& state, Monitor& monitor, const StepsOptions&) {
        return MakeRealExportSteps(state, monitor, engine, http, files, clock, journal);
    };
    BatchServices batch{files, clock, factory, journal};
    auto run = [&](const Lines& args) {
        std::ostringstream out, err;
        const int status = DispatchCommand(args, {MakeExportCommand(batch)}, out, err);
        return std::make_pair(status, out.str() + err.str());
    };
    EXPECT_EQ(run({"export", "--pending"}).first, 64) << "nothing ever sent: --from is needed";
    ASSERT_EQ(run({"export", "--from", "02/03/2026", "--to", "03/03/2026"}).first, 0);
    const auto [status, text] = run({"export", "--pending", "--close-days"});
    EXPECT_EQ(status, 1) << text;  // 07/03 holds the guest the service refuses
    EXPECT_NE(text.find("dal 04/03/2026 al 09/03/2026"), std::string::npos) << text;
    const auto [again, nothing] = run({"export", "--pending"});
    EXPECT_EQ(again, 0);
    EXPECT_NE(nothing.find("Nessun giorno da inviare"), std::string::npos) << nothing;
    SendJournal j(journal, true);
    EXPECT_EQ(LastDaySent(j).value_or(""), "09/03/2026");
}

struct Interruption {
    const char* rule;
    std::function<void(sim::ServiceSimOptions&)> fault;
    std::chrono::milliseconds limit;
    const char* departures03;  // status of 03/03, whose departures meet the fault
};

void PrintTo(const Interruption& r, std::ostream* os) { *os << r.rule; }

class InterruptedRunTest : public ::testing::TestWithParam<Interruption> {};

TEST_P(InterruptedRunTest, TheJournalSaysWhatItKnows) {
    const Interruption& r = GetParam();
    Hotel h(r.fault);
    h.velmora({"export", "--from", "02/03/2026", "--to", "04/03/2026"}, r.limit);
    h.service.stop();
    const Rows rows = rowsOf(journalOf(h.dir));
    ASSERT_EQ(rows.runs.size(), 1u);
    EXPECT_NE(rows.runs[0].outcome.value_or(""), kOutcomeCompleted);
    const ProgramResult stato = h.velmora({"stato", "--from", "02/03/2026", "--to", "04/03/2026"});
    const std::map<std::string, std::string> want{{"02/03/2026", kStatusSent},
                                                  {"03/03/2026", r.departures03},
                                                  {"04/03/2026", kStatusNotSent}};
    EXPECT_EQ(statusWords(stato.out), want) << stato.out << stato.err;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, InterruptedRunTest,
    ::testing::Values(
        Interruption{"connection closed on the departures: the run stops, the day is interrupted",
                     [](sim::ServiceSimOptions& s) { s.close = {"partenze"}; },
                     std::chrono::seconds(60), kStatusInterrupted},
        Interruption{"program killed while the service holds the departures: outcome unknown",
                     [](sim::ServiceSimOptions& s) { s.hang = {"partenze"}; },
                     std::chrono::seconds(3), kStatusUnknown}),
    [](const auto& info) { return info.index == 0 ? "ServiceFailure" : "Killed"; });

TEST(JournalTest, CheckFindsGuestsChangedSinceSent) {
    Hotel h;
    ASSERT_EQ(h.velmora({"export", "--from", "02/03/2026", "--to", "06/03/2026"}).status, 0);
    // 4520 moves to room 115, 4530 is deleted, 4525 is entered late for 04/03.
    std::istringstream in(testFile("../demo/Scheda_Cliente.txt"));
    std::string table, line;
    while (std::getline(in, line)) {
        if (line.rfind("1|4530|", 0) == 0) continue;
        if (line.rfind("1|4520|", 0) == 0) {
            table += replaceAll(line, "|F|105|", "|F|115|") + "\n";
            table += replaceAll(replaceAll(line, "1|4520|BIANCHI", "1|4525|VERDI"), "|F|105|",
                                "|F|104|") +
                     "\n";
            continue;
        }
        table += line + "\n";
    }
    fs::remove(h.dir / "Scheda_Cliente.mdb");
    jetwrite::writeDatabase(h.dir / "Scheda_Cliente.mdb",
                            {jetwrite::parseTextTable(table, "Scheda_Cliente")});

    const ProgramResult check = h.velmora(
        {"check", "--from", "02/03/2026", "--to", "06/03/2026", "--html", "verifica.html"});
    EXPECT_EQ(check.status, 1);
    // Days as GG/MM/AAAA, the command that sends the day again, and in the
    // report no option name a browser could break at its hyphen.
    EXPECT_TRUE(std::regex_search(check.out, std::regex(" il \\d\\d/\\d\\d/20\\d\\d alle \\d\\d:\\d\\d ")))
        << check.out;
    EXPECT_NE(check.out.find("(velmora export --from 04/03/2026 --to 04/03/2026 --reinvia)"),
              std::string::npos);
    const std::string html = h.dir.read("verifica.html");
    auto count = [&html](const std::string& piece) {
        std::size_t n = 0;
        for (std::size_t at = html.find(piece); at != std::string::npos; at = html.find(piece, at + 1))
            ++n;
        return n;
    };
    EXPECT_GT(count("--reinvia"), 0u);
    EXPECT_EQ(count("<span class=\"opzione\">--reinvia</span>"), count("--reinvia"));
    Lines found;
    std::istringstream lines(check.out);
    while (std::getline(lines, line))
        if (line.rfind("MODIFICATO DOPO L'INVIO ", 0) == 0) found.push_back(line);
    const std::pair<const char*, const char*> want[] = {
        {"04/03/2026 arrivi - Scheda_Cliente.mdb, scheda 4520", "dopo l'invio: camera (RoomId)."},
        {"04/03/2026 arrivi - Scheda_Cliente.mdb, scheda 4525", "mai inviato"},
        {"05/03/2026 arrivi - Scheda_Cliente.mdb, scheda 4530", "non più presente"},
        {"05/03/2026 partenze - Scheda_Cliente.mdb, scheda 4520",
         "dopo l'invio: camera (RoomId)."},
        {"05/03/2026 partenze - Scheda_Cliente.mdb, scheda 4525", "mai inviato"},
    };
    EXPECT_EQ(found.size(), std::size(want)) << check.out;
    for (const auto& [finding, problem] : want)
        EXPECT_EQ(std::count_if(found.begin(), found.end(),
                                [&](const std::string& l) {
                                    return l.find(finding) != std::string::npos &&
                                           l.find(problem) != std::string::npos;
                                }),
                  1)
            << finding;
    EXPECT_NE(check.out.find("modificati dopo l'invio 5"), std::string::npos);
}

TEST(JournalTest, TwoRunsAtOnceAreBothRecorded) {
    Hotel h;
    auto first = std::async(std::launch::async, [&] {
        return h.velmora({"export", "--from", "02/03/2026", "--to", "05/03/2026", "--close-days"});
    });
    const ProgramResult second =
        h.velmora({"export", "--from", "06/03/2026", "--to", kLastDay, "--close-days"});
    const ProgramResult one = first.get();
    EXPECT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(second.status, 1) << second.err;
    const Rows rows = rowsOf(journalOf(h.dir));
    ASSERT_EQ(rows.runs.size(), 2u);
    for (const JournalRun& run : rows.runs) EXPECT_TRUE(run.outcome.has_value());
    const ProgramResult stato = h.velmora({"stato", "--from", kFirstDay, "--to", kLastDay});
    for (const auto& [day, word] : statusWords(stato.out))
        EXPECT_TRUE(word == kStatusSent || word == kStatusWithErrors) << day << " " << word;
    EXPECT_EQ(statusWords(stato.out).size(), 7u) << stato.out;
}

// A journal that cannot be written stops the run as a log file would: here
// before the login, so nothing is sent unrecorded.
TEST(JournalTest, JournalThatCannotBeOpenedStopsTheRunBeforeTheLogin) {
    Hotel h;
    fs::create_directories(h.dir / "Velmora/Velmora.sqlite");
    const ProgramResult r = h.velmora({"export", "--from", "02/03/2026", "--to", "02/03/2026"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(systemNames("registro degli invii Velmora/Velmora.sqlite")),
              std::string::npos)
        << r.err;
    EXPECT_TRUE(h.service.requests().empty());
}

// The window's question before days already sent: No ends without a login.
class ResendQuestionTest : public ::testing::TestWithParam<bool> {};

TEST_P(ResendQuestionTest, TheAnswerDecidesWhetherTheRunStarts) {
    test::TempDir dir;
    writeDemoHotel(dir);
    LocalFileStore files(dir.path());
    test::RecordingDialogs dialogs;
    dialogs.answer = GetParam();
    RunState state;
    FillDaysInMonth(state);
    for (std::string* url : {&state.LoginUrl, &state.LogoutUrl, &state.ArrivalsUrl,
                             &state.DeparturesUrl, &state.CloseDayUrl})
        *url = "http://127.0.0.1:9/istat";
    int made = 0;
    test::RecordingMonitor monitor;
    ExportRun run(state, files, dialogs, monitor,
                  [&made](RunState&, Monitor&, const StepsOptions&) {
                      ++made;
                      return std::unique_ptr<ExportSteps>();
                  });
    run.askBeforeResending([](const RunRequest& r) { return Lines{r.firstDay, r.lastDay}; });
    RunView view;
    const RunOutcome outcome = run.run({"02/03/2026", "03/03/2026", false}, view);
    ASSERT_FALSE(dialogs.boxes.empty());
    EXPECT_EQ(dialogs.boxes[0].style, -1);
    EXPECT_EQ(dialogs.boxes[0].title, "Istat Regione Sicilia");
    EXPECT_EQ(dialogs.boxes[0].prompt,
              "I giorni 02/03/2026 e 03/03/2026 risultano già inviati e accettati. Inviarli di "
              "nuovo?");
    EXPECT_EQ(made, GetParam() ? 1 : 0);
    EXPECT_EQ(outcome, GetParam() ? RunOutcome::Interrupted : RunOutcome::Refused);
}

INSTANTIATE_TEST_SUITE_P(Answers, ResendQuestionTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Yes" : "No"; });

// A journal of a newer version is refused, untouched; an empty file (a journal
// made before its schema) is brought to the present one.
struct SchemaCase {
    const char* rule;
    int userVersion;  // -1: an empty file
    int status;
    const char* err;
    int versionAfter;
};

void PrintTo(const SchemaCase& c, std::ostream* os) { *os << c.rule; }

class JournalSchemaTest : public ::testing::TestWithParam<SchemaCase> {};

TEST_P(JournalSchemaTest, VersionDecides) {
    const SchemaCase& c = GetParam();
    Hotel h;
    fs::create_directory(h.dir / "Velmora");
    if (c.userVersion < 0) {
        h.dir.write("Velmora/Velmora.sqlite", "");
    } else {
        SqliteDatabase(journalOf(h.dir), false)
            .exec("PRAGMA user_version = " + std::to_string(c.userVersion));
    }
    const ProgramResult r = h.velmora({"export", "--from", "02/03/2026", "--to", "02/03/2026"});
    EXPECT_EQ(r.status, c.status);
    EXPECT_NE(r.err.find(systemNames(c.err)), std::string::npos) << r.err;
    SqliteDatabase db(journalOf(h.dir), true);
    SqliteStatement v = db.prepare("PRAGMA user_version");
    ASSERT_TRUE(v.step());
    EXPECT_EQ(v.integer(0), c.versionAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, JournalSchemaTest,
    ::testing::Values(
        SchemaCase{"newer: refused before the login, naming the file", kJournalSchemaVersion + 1, 2,
                   "Velmora/Velmora.sqlite è stato scritto da una versione più recente",
                   kJournalSchemaVersion + 1},
        SchemaCase{"empty file: migrated", -1, 0, "", kJournalSchemaVersion}),
    [](const auto& info) { return info.index == 0 ? "Newer" : "Empty"; });

}  // namespace
}  // namespace velmora::test
