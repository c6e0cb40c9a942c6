// The send journal through the real batch commands on the demo hotel and the
// loopback service: what a run records and "stato" shows, the rebuild from
// the log files, days already sent refused, the catch-up and where it stops,
// runs interrupted, killed or stopped at every exchange, a journal that
// cannot be written, lost or damaged, one export at a time, a guest edited
// after sending, and every path taken from the program's services.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "app/AppServices.h"
#include "app/BatchMode.h"
#include "app/CheckCommand.h"
#include "app/DateEntry.h"
#include "app/ExportRun.h"
#include "app/RealExportSteps.h"
#include "app/StatusCommand.h"
#include "app/VelmoraDT.h"
#include "core/Calendar.h"
#include "jet/JetEngine.h"
#include "jetwrite/JetWriter.h"
#include "journal/JournalDays.h"
#include "journal/JournalRebuild.h"
#include "journal/SendJournal.h"
#include "platform/Sqlite.h"
#include "platform/curl/CurlTransport.h"
#include "support/Fakes.h"
#include "support/Support.h"

namespace velmora::test {
namespace {

using test::operator<<;

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

// The journal's rows as comparable text, without the times (a rebuild knows
// only the minute).
struct Rows {
    std::set<std::string> exchanges;
    std::set<std::string> empty;  // "day kind" of the documents found empty
    std::set<std::string> stays;
    std::set<std::string> files;  // every file an exchange names
    std::vector<JournalRun> runs;
};

Rows rowsOf(const std::string& path) {
    Rows r;
    SendJournal j(path, JournalOpen::Read);
    r.runs = j.runs();
    for (const JournalExchange& e : j.allExchanges()) {
        if (e.verdict == std::optional<std::string>(kVerdictEmpty)) {
            r.empty.insert(e.day.value_or("") + " " + e.kind);
            continue;
        }
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

std::map<std::string, std::string> allDays(const std::vector<std::string>& days, const char* word) {
    std::map<std::string, std::string> out;
    for (const std::string& d : days) out[d] = word;
    return out;
}

std::string journalOf(const test::TempDir& dir) { return dir / "Velmora/Velmora.sqlite"; }

// "02/03/2026 arrivi" -> how many times the service received it, from the
// bodies it kept (requests from the first'th on).
std::map<std::string, int> posted(const LoopbackService& service, std::size_t first = 0) {
    std::map<std::string, int> out;
    const std::vector<RawRequest> requests = service.requests();
    for (std::size_t i = first; i < requests.size(); ++i) {
        const RawRequest& r = requests[i];
        const char* tag = r.segment == "arrivi"     ? "<ArrivalDate>"
                          : r.segment == "partenze" ? "<DepartureDate>"
                          : r.segment == "chiusura" ? "<CurrentDate>"
                                                    : nullptr;
        const std::size_t at = tag ? r.body.find(tag) : std::string::npos;
        if (at == std::string::npos) continue;
        const std::string iso = r.body.substr(at + std::strlen(tag), 10);
        ++out[dayTextOfIso(iso) + " " + r.segment];
    }
    return out;
}

struct Hotel {
    explicit Hotel(const std::function<void(sim::ServiceSimOptions&)>& configure = nullptr)
        : service(configure) {
        writeDemoHotel(dir);
        writeSettings(dir, service.base());
    }
    ProgramResult velmora(const Lines& args,
                          std::chrono::milliseconds limit = std::chrono::seconds(60),
                          const std::function<void(int)>& whileRunning = nullptr) {
        return runVelmora(dir.path(), args, limit, Stdout::Captured, "velmora", whileRunning);
    }
    test::TempDir dir;
    LoopbackService service;
};

// Six plain days, 01/03 to 06/03/2026: one guest arrives each day and leaves
// the next, so every day but the first has one arrival and one departure.
// The guest arriving on badBirthDay has a birth date that is no date.
const Lines kSixDays = {"01/03/2026", "02/03/2026", "03/03/2026",
                        "04/03/2026", "05/03/2026", "06/03/2026"};

void writeSixDayHotel(const test::TempDir& dir, int badBirthDay = 0) {
    std::string table = kRegisterHeader;
    for (int d = 1; d <= 6; ++d) {
        char row[160];
        std::snprintf(row, sizeof row,
                      "1|%d|U|N|0|0|202603%02d|202603%02d|202603%02d|S|%s|CATANIA CT I|I|"
                      "CATANIA|M|%d\n",
                      7000 + d, d, d + 1, d + 1, d == badBirthDay ? "19801301" : "19800101",
                      100 + d);
        table += row;
    }
    writeTables(dir / "Scheda_Cliente.mdb", {{"Scheda_Cliente", table}});
    writeTables(dir / "SchedaStoricoClienti.mdb", {{"Scheda_Cliente", kHistoryHeader}});
    dir.write("QLBDataI.txt", "01/02/2026\r\n");
}

#ifdef _WIN32
// Windows sends no signal to another process: SIGKILL is TerminateProcess,
// waited for. (The stop signals are left to scripts/windows.)
constexpr int SIGKILL = 9;
int kill(int pid, int) {
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (!process) return -1;
    TerminateProcess(process, 0xC0000001);  // STATUS_UNSUCCESSFUL: no exit of its own
    WaitForSingleObject(process, INFINITE);
    CloseHandle(process);
    return 0;
}
#endif

// Ends the process now and waits until it is gone, so that nothing it would
// do after this moment happens.
void killNow(int pid) {
    kill(pid, SIGKILL);
    const std::string stat = "/proc/" + std::to_string(pid) + "/stat";
    for (int i = 0; i < 2000; ++i) {
        std::ifstream in(stat);
        std::string text((std::istreambuf_iterator<char>(in)), {});
        const std::size_t close = text.rfind(')');
        if (!in || close == std::string::npos || text.substr(close + 2, 1) == "Z") return;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

TEST(JournalTest, RunRecordedShownAndRebuiltFromTheFiles) {
    Hotel h;
    ASSERT_EQ(
        h.velmora({"export", "--from", kFirstDay, "--to", "09/03/2026", "--close-days"}).status, 1);
    // Every log file is indexed; beside them only the journal and the lock.
    std::set<std::string> onDisk;
    for (const auto& e : fs::directory_iterator(h.dir / "Velmora")) {
        const std::string name = e.path().filename().string();
        if (name.rfind("Istat-", 0) != 0) onDisk.insert(name);
    }
    const Rows recorded = rowsOf(journalOf(h.dir));
    ASSERT_EQ(recorded.runs.size(), 1u);
    EXPECT_EQ(recorded.runs[0].outcome.value_or(""), kOutcomeWithErrors);
    EXPECT_EQ(recorded.runs[0].firstDay + " " + recorded.runs[0].lastDay, "2026-03-02 2026-03-09");
    EXPECT_TRUE(recorded.runs[0].closeDays);

    std::set<std::string> expected = recorded.files;
    expected.insert({kJournalFile, "Velmora.lock"});
    EXPECT_EQ(onDisk, expected);

    const ProgramResult stato = h.velmora({"stato", "--from", kFirstDay, "--to", "10/03/2026"});
    ASSERT_EQ(stato.status, 0) << stato.err;
    std::map<std::string, std::string> want =
        allDays({"02/03/2026", "03/03/2026", "04/03/2026", "05/03/2026", "06/03/2026", "08/03/2026",
                 "09/03/2026"},
                kStatusSent);
    want["07/03/2026"] = kStatusWithErrors;
    want["10/03/2026"] = kStatusNothingToSend;
    EXPECT_EQ(statusWords(stato.out), want) << stato.out;

    // As if the whole run had been written within one tick of the clock.
    const auto tick = fs::last_write_time(h.dir / ("Velmora/" + *recorded.files.begin()));
    for (const std::string& f : recorded.files) fs::last_write_time(h.dir / ("Velmora/" + f), tick);
    const ProgramResult rebuilt =
        h.velmora({"stato", "--ricostruisci", "--from", kFirstDay, "--to", "10/03/2026"});
    ASSERT_EQ(rebuilt.status, 0) << rebuilt.err;
    EXPECT_EQ(statusWords(rebuilt.out), want) << rebuilt.out;
    const Rows fromFiles = rowsOf(journalOf(h.dir));
    EXPECT_EQ(fromFiles.exchanges, recorded.exchanges);
    EXPECT_EQ(fromFiles.empty, recorded.empty);
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

    // A day sent only in part: what the service accepted is not posted again.
    Hotel partial([](sim::ServiceSimOptions& s) { s.fail500 = {"partenze"}; });
    const Lines day{"export", "--from", "03/03/2026", "--to", "03/03/2026"};
    ASSERT_EQ(partial.velmora(day).status, 2);
    LoopbackService healthy;
    writeSettings(partial.dir, healthy.base());
    const ProgramResult rest = partial.velmora(day);
    EXPECT_EQ(rest.status, 0) << rest.err;
    EXPECT_EQ(healthy.requestLines(), (Lines{"GET login", "POST partenze", "POST logout"}));
    EXPECT_NE(rest.out.find("Già inviato e accettato, non inviato di nuovo: il documento degli "
                            "arrivi del 03/03/2026"),
              std::string::npos)
        << rest.out;

    // A day whose departures never left (a record stopped them) is interrupted,
    // not sent: corrected, it is sent without --reinvia, the departures only.
    Hotel cut;
    writeSixDayHotel(cut.dir, 2);
    ASSERT_EQ(cut.velmora(day).status, 2);
    EXPECT_EQ(statusWords(cut.velmora({"stato", "--from", "03/03/2026", "--to", "03/03/2026"}).out),
              allDays({"03/03/2026"}, kStatusInterrupted));
    writeSixDayHotel(cut.dir);
    const std::size_t before = cut.service.requests().size();
    EXPECT_EQ(cut.velmora(day).status, 0);
    EXPECT_EQ(posted(cut.service, before),
              (std::map<std::string, int>{{"03/03/2026 partenze", 1}}));
}

// --pending in-process, so that "yesterday" comes from a fixed clock; each
// row runs after the rows before it, on the same hotel.
TEST(JournalTest, PendingSendsWhatIsMissingAndStopsWhereItMust) {
    Hotel h;
    LocalFileStore files(h.dir.path());
    test::FixedClock clock({2026, 3, 8, 8, 0, 0});
    JetEngine engine(h.dir.path());
    CurlTransport http;
    ExportStepsFactory factory = [&](RunState& state, Monitor& monitor,
                                     const StepsOptions& options) {
        return makeRealExportSteps(state, monitor, engine, http, files, clock, options.recorder);
    };
    BatchServices batch{files, clock, factory, journalLocationIn(h.dir.path())};
    const struct {
        const char* rule;
        Lines args;
        LocalTime now;
        int status;
        const char* says;
        Lines posted;  // "day kind" the service receives
    } rows[] = {
        {"nothing ever sent: --from is needed",
         {"--pending"},
         {2026, 3, 8},
         64,
         "indicare il primo giorno con --from",
         {}},
        {"a day with errors is sent by hand",
         {"--from", "02/03/2026", "--to", "07/03/2026"},
         {2026, 3, 8},
         1,
         "Sono presenti errori",
         {}},
        {"a day with errors is left to the operator, the next ones are sent",
         {"--pending"},
         {2026, 3, 10},
         1,
         "giorni con errori, non inviati di nuovo: 07/03/2026",
         {"08/03/2026 partenze"}},
        {"a gap of more than 31 days stops before the login",
         {"--pending"},
         {2026, 5, 1},
         64,
         "dal 10/03/2026, primo giorno non inviato, a ieri mancano 52 giorni",
         {}},
        {"--fino-a names how far to go",
         {"--pending", "--fino-a", "110326"},
         {2026, 5, 1},
         0,
         "dal 10/03/2026 al 11/03/2026",
         {}},
        {"then there is nothing to send",
         {"--pending"},
         {2026, 3, 12},
         0,
         "Nessun giorno da inviare: l'ultimo giorno inviato è il 11/03/2026",
         {}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.rule);
        clock.time = r.now;
        const std::size_t before = h.service.requests().size();
        std::ostringstream out, err;
        Lines args{"export"};
        args.insert(args.end(), r.args.begin(), r.args.end());
        EXPECT_EQ(dispatchCommand(args, {makeExportCommand(batch)}, out, err), r.status);
        EXPECT_NE((out.str() + err.str()).find(r.says), std::string::npos)
            << out.str() << err.str();
        if (r.args[0] != std::string("--pending")) continue;
        std::map<std::string, int> want;
        for (const std::string& p : r.posted) want[p] = 1;
        EXPECT_EQ(posted(h.service, before), want);
    }
}

struct Interruption {
    const char* rule;
    std::function<void(sim::ServiceSimOptions&)> fault;
    std::chrono::milliseconds limit;
    const char* departures03;  // status of 03/03, whose departures meet the fault
};

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
        Interruption{"500 on the departures: refused, the day has errors to look into",
                     [](sim::ServiceSimOptions& s) { s.fail500 = {"partenze"}; },
                     std::chrono::seconds(60), kStatusWithErrors},
        Interruption{"connection dropped on the departures: the service may hold them",
                     [](sim::ServiceSimOptions& s) { s.close = {"partenze"}; },
                     std::chrono::seconds(60), kStatusUnknown},
        Interruption{"program killed while the service holds the departures: outcome unknown",
                     [](sim::ServiceSimOptions& s) { s.hang = {"partenze"}; },
                     std::chrono::seconds(3), kStatusUnknown}),
    RuleName());

// The killed-run table: a five-day export with closing, killed as each
// request arrives (the service then takes it) and right after each answer;
// then the catch-up, with the operator marking what the portal shows as
// received. Every day ends sent and closed, each document and closing
// posted once.
struct KillPoint {
    int exchange;  // 1: the login, 17: the logout
    bool afterAnswer;
};

void PrintTo(const KillPoint& k, std::ostream* os) {
    *os << (k.afterAnswer ? "after answer " : "at request ") << k.exchange;
}

class KilledRunTest : public ::testing::TestWithParam<KillPoint> {};

TEST_P(KilledRunTest, CatchUpSendsOnlyWhatTheServiceLacks) {
    const KillPoint k = GetParam();
    std::atomic<int> child{0};
    std::atomic<std::size_t> killAt{0};
    Hotel h([&](sim::ServiceSimOptions& s) {
        s.received = [&](std::size_t n) {
            if (!k.afterAnswer && n == killAt) killNow(child);
        };
        s.answered = [&](std::size_t n) {
            if (k.afterAnswer && n == killAt) kill(child, SIGKILL);
        };
    });
    writeSixDayHotel(h.dir);
    const auto run = [&](const Lines& args) {
        return h.velmora(args, std::chrono::seconds(60), [&](int pid) { child = pid; });
    };
    ASSERT_EQ(run({"export", "--from", kSixDays[0], "--to", kSixDays[0], "--close-days"}).status,
              0);
    const std::size_t first = h.service.requests().size();
    killAt = first + static_cast<std::size_t>(k.exchange);
    EXPECT_EQ(run({"export", "--from", kSixDays[1], "--to", kSixDays[5], "--close-days"}).status,
              -1)
        << "killed";
    killAt = 0;
    ProgramResult catchUp;
    for (int attempt = 0; attempt < 3; ++attempt) {
        catchUp = run({"export", "--pending", "--fino-a", kSixDays[5], "--close-days"});
        std::smatch m;
        if (catchUp.status != 1 ||
            !std::regex_search(catchUp.err, m, std::regex("--ricevuto (\\d\\d/\\d\\d/\\d{4})")))
            break;
        ASSERT_EQ(run({"stato", "--ricevuto", m[1]}).status, 0);
    }
    EXPECT_EQ(catchUp.status, 0) << catchUp.out << catchUp.err;
    std::map<std::string, int> once;
    for (std::size_t d = 1; d < kSixDays.size(); ++d)
        for (const char* kind : {" arrivi", " partenze", " chiusura"}) once[kSixDays[d] + kind] = 1;
    EXPECT_EQ(posted(h.service, first), once);
    const ProgramResult stato = run({"stato", "--from", kSixDays[1], "--to", kSixDays[5]});
    EXPECT_EQ(statusWords(stato.out),
              allDays(Lines(kSixDays.begin() + 1, kSixDays.end()), kStatusSent))
        << stato.out;
}

std::vector<KillPoint> killPoints() {
    std::vector<KillPoint> points;
    for (bool after : {false, true})
        for (int e = 1; e <= 17; ++e) points.push_back({e, after});
    return points;
}

INSTANTIATE_TEST_SUITE_P(Kills, KilledRunTest, ::testing::ValuesIn(killPoints()),
                         [](const auto& info) {
                             return std::string(info.param.afterAnswer ? "AfterAnswer"
                                                                       : "AtRequest") +
                                    std::to_string(info.param.exchange);
                         });

// A journal that cannot be written: another program holds it. The logout
// goes out whatever the journal does, and what could not be recorded never
// reads as sent.
TEST(JournalTest, TheLogoutIsSentWhateverTheJournalDoes) {
    const struct {
        const char* rule;
        const char* lockAt;  // the request on whose arrival the journal is taken; "" before
        Lines requests;
        const char* says;
        const char* day02;
    } rows[] = {
        {"held before the run: nothing is sent", "", {}, "registro degli invii", kStatusNotSent},
        {"held from the login on: the session is closed",
         "login",
         {"GET login", "POST logout"},
         "registro degli invii",
         kStatusNotSent},
        {"held from the first arrivals on: nothing more is posted, the session is closed",
         "arrivi",
         {"GET login", "POST arrivi", "POST logout"},
         "il documento degli arrivi del 02/03/2026",
         kStatusUnknown},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.rule);
        std::unique_ptr<SqliteDatabase> holder;
        std::string journal;
        Hotel h([&](sim::ServiceSimOptions& s) {
            s.received = [&](std::size_t) {
                if (!holder && h.service.requests().back().segment == r.lockAt) {
                    holder = std::make_unique<SqliteDatabase>(journal, SqliteOpen::Existing);
                    holder->exec("BEGIN EXCLUSIVE");
                }
            };
        });
        journal = journalOf(h.dir);
        fs::create_directory(h.dir / "Velmora");
        { SendJournal made(journal, JournalOpen::Write); }
        if (*r.lockAt == '\0') {
            holder = std::make_unique<SqliteDatabase>(journal, SqliteOpen::Existing);
            holder->exec("BEGIN EXCLUSIVE");
        }
        AppServices app(h.dir.path());
        RunState state;
        std::string days[2];
        test::RecordingDialogs dialogs;
        test::RecordingMonitor monitor;
        std::ostringstream ignored;
        ASSERT_TRUE(prepareBatchDays("02/03/2026", "03/03/2026", app.files(), app.clock(), dialogs,
                                     ignored, state, days));
        ExportRun run(state, app.files(), dialogs, monitor, app.factory());
        const JournalLocation where = app.journal();
        run.useJournal([&] { return ExportJournal::Open(where, app.clock(), "prova", 300); },
                       AlreadySent::Refuse);
        RunView view;
        EXPECT_NE(run.run({days[0], days[1], true}, view), RunOutcome::Completed);
        EXPECT_EQ(h.service.requestLines(), r.requests);
        ASSERT_FALSE(dialogs.boxes.empty());
        EXPECT_NE(dialogs.boxes.back().prompt.find(r.says), std::string::npos)
            << dialogs.boxes.back().prompt;
        holder.reset();
        SendJournal after(journal, JournalOpen::Read);
        EXPECT_EQ(journalDayOf(after, "02/03/2026").status, r.day02);
    }
}

// A journal lost or damaged is rebuilt from the files by the export, or
// refused: never read as an empty one, so no day is sent twice; stato and
// the check refuse to read it.
TEST(JournalTest, LostOrDamagedJournalIsRebuiltOrRefused) {
    const struct {
        const char* rule;
        std::function<void(const std::string& journal)> damage;
        int status;
        const char* says;
    } rows[] = {
        {"emptied: rebuilt before anything is sent, the days refused as sent",
         [](const std::string& j) { std::ofstream(j, std::ios::trunc); }, 64,
         "era vuoto: è stato ricostruito"},
        {"deleted: the same", [](const std::string& j) { fs::remove(j); }, 64,
         "mancava: è stato ricostruito"},
        {"an index that lost its order: refused, naming the rebuild",
         [](const std::string& j) {
             SqliteDatabase db(j, SqliteOpen::Existing);
             db.exec(
                 "PRAGMA writable_schema=ON; UPDATE sqlite_master SET sql = "
                 "replace(sql, 'exchange(day, kind)', 'exchange(kind, day)') WHERE name = "
                 "'exchange_day'");
         },
         2, "--ricostruisci"},
        {"not a journal at all: refused",
         [](const std::string& j) { std::ofstream(j, std::ios::trunc) << std::string(8192, 'x'); },
         2, "--ricostruisci"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.rule);
        Hotel h;
        ASSERT_EQ(h.velmora({"export", "--from", "02/03/2026", "--to", "03/03/2026"}).status, 0);
        for (const char* tail : {"-wal", "-shm"}) fs::remove(journalOf(h.dir) + tail);
        r.damage(journalOf(h.dir));
        const ProgramResult stato = h.velmora({"stato"});
        EXPECT_EQ(stato.status, 2) << "never read as if nothing had been sent";
        EXPECT_NE(stato.err.find("--ricostruisci"), std::string::npos) << stato.err;
        const ProgramResult check =
            h.velmora({"check", "--from", "02/03/2026", "--to", "03/03/2026"});
        EXPECT_EQ(check.status, 2) << "a check that could not compare with the journal is not done";
        EXPECT_NE(check.err.find("Verifica interrotta: Il registro degli invii"), std::string::npos)
            << check.err;
        const std::size_t requests = h.service.requests().size();
        const ProgramResult again =
            h.velmora({"export", "--from", "02/03/2026", "--to", "03/03/2026"});
        EXPECT_EQ(again.status, r.status);
        EXPECT_NE((again.out + again.err).find(r.says), std::string::npos)
            << again.out << again.err;
        EXPECT_EQ(h.service.requests().size(), requests) << "nothing sent";
    }
}

// The rebuild takes the files in the order they were written. Two runs'
// files put into one minute as they would be named there: a complete run of
// 01/03, then a run of 02/03 killed after its arrivals' answer, before its
// departures' request was written. As written, the file system's times give
// the order: 01/03 sent, 02/03 interrupted. Copied without their times, the
// order is lost and nothing is claimed as sent.
TEST(JournalTest, RebuildPairsByContentAndOrderNotByTheMinute) {
    for (const bool copied : {false, true}) {
        SCOPED_TRACE(copied ? "copied without their times" : "as written");
        std::atomic<int> child{0};
        Hotel h([&](sim::ServiceSimOptions& s) {
            s.received = [&](std::size_t) {
                if (h.service.requests().back().segment == "partenze") killNow(child);
            };
        });
        writeSixDayHotel(h.dir);
        ASSERT_EQ(h.velmora({"export", "--from", kSixDays[0], "--to", kSixDays[0], "--close-days"})
                      .status,
                  0);
        h.velmora({"export", "--from", kSixDays[1], "--to", kSixDays[1], "--close-days"},
                  std::chrono::seconds(60), [&](int pid) { child = pid; });
        // The files in the order the journal recorded them.
        Lines written;
        {
            SendJournal journal(journalOf(h.dir), JournalOpen::Read);
            for (const JournalExchange& e : journal.allExchanges())
                for (const auto& f : {e.requestFile, e.answerFile})
                    if (f) written.push_back(fs::path(*f).filename().string());
        }
        ASSERT_TRUE(written.back().rfind("IstatDatiPInv-", 0) == 0);
        fs::remove(h.dir / ("Velmora/" + written.back()));
        written.pop_back();
        fs::remove(journalOf(h.dir));
        std::tm minute{};
        minute.tm_year = 126;
        minute.tm_mon = 2;
        minute.tm_mday = 1;
        minute.tm_hour = 12;
        minute.tm_isdst = -1;
        const auto start = std::chrono::system_clock::from_time_t(std::mktime(&minute));
        std::map<std::string, int> taken;
        for (std::size_t i = 0; i < written.size(); ++i) {
            const std::string prefix = written[i].substr(0, written[i].find('-') + 1);
            const int n = ++taken[prefix];
            const std::string name =
                prefix + "202603011200" + (n > 1 ? "-" + std::to_string(n) : "") + ".xml";
            const fs::path to = h.dir / ("Velmora/" + name);
            fs::rename(h.dir / ("Velmora/" + written[i]), h.dir / ("Velmora/x" + name));
            written[i] = "x" + name;
            const auto at = copied ? std::chrono::system_clock::now()
                                   : start + std::chrono::seconds(1 + static_cast<int>(i));
            fs::last_write_time(h.dir / ("Velmora/" + written[i]),
                                std::chrono::file_clock::from_sys(at));
        }
        for (const std::string& x : written)
            fs::rename(h.dir / ("Velmora/" + x), h.dir / ("Velmora/" + x.substr(1)));
        ASSERT_EQ(h.velmora({"stato", "--ricostruisci"}).status, 0);
        const ProgramResult stato =
            h.velmora({"stato", "--from", kSixDays[0], "--to", kSixDays[1]});
        const std::map<std::string, std::string> words = statusWords(stato.out);
        EXPECT_EQ(words.at(kSixDays[1]), kStatusInterrupted) << stato.out;
        EXPECT_EQ(words.at(kSixDays[0]), copied ? kStatusInterrupted : kStatusSent) << stato.out;
    }
}

// Killed (here: made to stop) just before the new journal takes the old one's
// place, the rebuild leaves the old journal where it was.
TEST(JournalTest, RebuildKeepsAJournalInPlaceAtEveryMoment) {
    Hotel h;
    ASSERT_EQ(h.velmora({"export", "--from", "02/03/2026", "--to", "03/03/2026"}).status, 0);
    struct Killed {};
    const JournalLocation where = journalLocationIn(h.dir.path());
    EXPECT_THROW(rebuildJournal(where, [] { throw Killed{}; }), Killed);
    EXPECT_EQ(rowsOf(where.journal()).runs.size(), 1u) << "the old journal, in its place";
    EXPECT_EQ(h.velmora({"export", "--from", "02/03/2026", "--to", "03/03/2026"}).status, 64);
    EXPECT_GT(rebuildJournal(where), 0);
    EXPECT_EQ(rowsOf(where.backup()).exchanges, rowsOf(where.journal()).exchanges);
}

// One export at a time in a hotel folder: the second waits a few seconds,
// then stops before its login naming the first; check and stato need no lock.
TEST(JournalTest, OneExportAtATimePerFolder) {
    Hotel h([](sim::ServiceSimOptions& s) { s.hang = {"arrivi"}; });
    auto first = std::async(std::launch::async, [&] {
        return h.velmora({"export", "--from", "02/03/2026", "--to", "03/03/2026"});
    });
    while (h.service.requests().size() < 2)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const ProgramResult second =
        h.velmora({"export", "--from", "05/03/2026", "--to", "05/03/2026"});
    EXPECT_EQ(second.status, 2);
    EXPECT_TRUE(std::regex_search(
        second.err, std::regex("Un'altra esportazione è in corso in questa cartella \\(velmora "
                               "export, avviata il [0-9/]+ alle [0-9:]+ \\(processo [0-9]+\\)\\)")))
        << second.err;
    EXPECT_EQ(h.velmora({"stato", "--from", "02/03/2026", "--to", "02/03/2026"}).status, 0);
    EXPECT_LT(h.velmora({"check", "--from", "02/03/2026", "--to", "02/03/2026"}).status, 2);
    EXPECT_EQ(h.service.requestLines(), (Lines{"GET login", "POST arrivi"}));
    h.service.stop();
    EXPECT_EQ(first.get().status, 2);
}

// A stop signal: while the login waits for its answer, the session it opens
// is closed with a logout; before anything runs, the same message and status.
TEST(JournalTest, AStopSignalClosesTheSessionTheLoginOpens) {
#ifdef _WIN32
    GTEST_SKIP() << "Wine gives no console event to another process: scripts/windows stops "
                    "velmora.exe under Wine with SIGINT, which Wine turns into Ctrl+C";
#else
    std::atomic<int> child{0};
    Hotel h([&](sim::ServiceSimOptions& s) {
        s.received = [&](std::size_t n) {
            if (n != 1) return;
            ::kill(child, SIGTERM);
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        };
    });
    const ProgramResult r = h.velmora({"export", "--from", "02/03/2026", "--to", "03/03/2026"},
                                      std::chrono::seconds(60), [&](int pid) { child = pid; });
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(h.service.requestLines(), (Lines{"GET login", "POST logout"}));
    EXPECT_NE(r.err.find("Esportazione interrotta dall'operatore."), std::string::npos) << r.err;
#endif
}

// "stato" reads the journal of a folder it cannot write (a read-only mount of
// the hotel folder, where SQLite cannot make its shared-memory file).
TEST(JournalTest, StatoReadsAJournalInAReadOnlyFolder) {
    Hotel h;
    ASSERT_EQ(h.velmora({"export", "--from", "02/03/2026", "--to", "03/03/2026"}).status, 0);
    test::TempDir mount;
    const std::string bind = "mount --bind '" + h.dir.path() + "' '" + mount.path() +
                             "' 2>/dev/null && mount -o remount,bind,ro '" + mount.path() + "'";
    if (std::system(bind.c_str()) != 0) {
        std::system(("umount '" + mount.path() + "' 2>/dev/null").c_str());
        GTEST_SKIP() << "no read-only mount here (needs root)";
    }
    const ProgramResult stato =
        runVelmora(mount.path(), {"stato", "--from", "02/03/2026", "--to", "03/03/2026"});
    std::system(("umount '" + mount.path() + "'").c_str());
    EXPECT_EQ(stato.status, 0) << stato.err;
    EXPECT_EQ(statusWords(stato.out), allDays({"02/03/2026", "03/03/2026"}, kStatusSent));
}

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
    const auto changed = [](const std::string& out) {
        Lines found;
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);)
            if (line.rfind("MODIFICATO DOPO L'INVIO ", 0) == 0) found.push_back(line);
        return found;
    };
    const Lines found = changed(check.out);
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

    // Sent again, 04/03 is compared with that last send; 05/03 still with the first.
    ASSERT_EQ(
        h.velmora({"export", "--from", "04/03/2026", "--to", "04/03/2026", "--reinvia"}).status, 0);
    const Lines after =
        changed(h.velmora({"check", "--from", "04/03/2026", "--to", "05/03/2026"}).out);
    EXPECT_EQ(after, Lines(found.begin() + 2, found.end()));
}

// The window's question before days already sent: No ends without a login.
class ResendQuestionTest : public ::testing::TestWithParam<bool> {};

TEST_P(ResendQuestionTest, TheAnswerDecidesWhetherTheRunStarts) {
    Hotel h;
    ASSERT_EQ(h.velmora({"export", "--from", "02/03/2026", "--to", "03/03/2026"}).status, 0);
    AppServices app(h.dir.path());
    test::RecordingDialogs dialogs;
    dialogs.answer = GetParam();
    RunState state;
    std::string days[2];
    std::ostringstream ignored;
    ASSERT_TRUE(prepareBatchDays("02/03/2026", "03/03/2026", app.files(), app.clock(), dialogs,
                                 ignored, state, days));
    test::RecordingMonitor monitor;
    ExportRun run(state, app.files(), dialogs, monitor, app.factory());
    const JournalLocation where = app.journal();
    run.useJournal([&] { return ExportJournal::Open(where, app.clock(), "la finestra"); },
                   AlreadySent::Ask);
    RunView view;
    const std::size_t requests = h.service.requests().size();
    const RunOutcome outcome = run.run({days[0], days[1], false}, view);
    ASSERT_FALSE(dialogs.boxes.empty());
    EXPECT_EQ(dialogs.boxes[0].style, test::RecordingDialogs::kQuestion);
    EXPECT_EQ(dialogs.boxes[0].prompt,
              "I giorni 02/03/2026 e 03/03/2026 risultano già inviati e accettati. Inviarli di "
              "nuovo?");
    EXPECT_EQ(outcome, GetParam() ? RunOutcome::Completed : RunOutcome::Refused);
    EXPECT_EQ(h.service.requests().size() - requests, GetParam() ? 5u : 0u);
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

class JournalSchemaTest : public ::testing::TestWithParam<SchemaCase> {};

TEST_P(JournalSchemaTest, VersionDecides) {
    const SchemaCase& c = GetParam();
    Hotel h;
    fs::create_directory(h.dir / "Velmora");
    if (c.userVersion < 0) {
        h.dir.write("Velmora/Velmora.sqlite", "");
    } else {
        SqliteDatabase(journalOf(h.dir), SqliteOpen::Create)
            .exec("PRAGMA user_version = " + std::to_string(c.userVersion));
    }
    const ProgramResult r = h.velmora({"export", "--from", "02/03/2026", "--to", "02/03/2026"});
    EXPECT_EQ(r.status, c.status);
    EXPECT_NE(r.err.find(systemNames(c.err)), std::string::npos) << r.err;
    SqliteDatabase db(journalOf(h.dir), SqliteOpen::Existing);
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
    RuleName());

// Every path from the program's services: the window, the check and stato of
// a hotel folder work on its journal while the process's own folder holds
// another one, which stays as it was.
TEST(JournalTest, EveryPathComesFromTheServicesNotTheCurrentFolder) {
    Hotel h;
    ASSERT_EQ(h.velmora({"export", "--from", "02/03/2026", "--to", "03/03/2026"}).status, 0);
    Hotel elsewhere;  // the process's folder, with a journal of its own
    ASSERT_EQ(elsewhere.velmora({"export", "--from", "05/03/2026", "--to", "05/03/2026"}).status,
              0);
    const std::string before = elsewhere.dir.read("Velmora/Velmora.sqlite");
    const fs::path cwd = fs::current_path();
    fs::current_path(elsewhere.dir.path());

    AppServices app(h.dir.path());
    CheckServices check{app.files(), app.clock(), [&]() -> DBEngine& { return app.engine(true); },
                        app.journal()};
    std::ostringstream out, err;
    const std::vector<BatchCommand> commands{makeStatusCommand(check), makeCheckCommand(check)};
    EXPECT_EQ(dispatchCommand({"stato", "--from", "02/03/2026", "--to", "03/03/2026"}, commands,
                              out, err),
              0);
    EXPECT_EQ(statusWords(out.str()), allDays({"02/03/2026", "03/03/2026"}, kStatusSent));
    EXPECT_EQ(dispatchCommand({"check", "--from", "02/03/2026", "--to", "03/03/2026"}, commands,
                              out, err),
              0)
        << err.str();

    qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "velmora";
    char* argv[] = {name, nullptr};
    QApplication qt(argc, argv);
    RunState state;
    test::RecordingDialogs dialogs;
    dialogs.answer = true;
    VelmoraDT window(state, app.files(), app.clock(), dialogs, app.factory());
    window.setCheckEngine([&]() -> DBEngine& { return app.engine(true); });
    window.setJournal(app.journal());
    window.show();
    window.Form_Activate();
    for (QLineEdit* field : {window.Text1[0], window.Text1[1]}) field->setText("02/03/2026");
    // Each button's work runs on a thread of its own until runFinished.
    const auto runToEnd = [&window](int button) {
        QEventLoop loop;
        QObject::connect(&window, &VelmoraDT::runFinished, &loop, &QEventLoop::quit);
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        window.T_Click(button);
        loop.exec();
    };
    runToEnd(2);  // Verifica: the report carries the journal's table
    runToEnd(0);  // Esporta: asked, sent again, recorded there
    fs::current_path(cwd);
    ASSERT_EQ(dialogs.boxes.size(), 3u);  // the check's, the question, the completion
    EXPECT_NE(dialogs.boxes[1].prompt.find("risulta già inviato"), std::string::npos);
    bool reported = false;
    for (const auto& e : fs::directory_iterator(h.dir / "Velmora"))
        if (e.path().filename().string().rfind("Verifica-", 0) == 0)
            reported = h.dir.read("Velmora/" + e.path().filename().string()).find(kStatusSent) !=
                       std::string::npos;
    EXPECT_TRUE(reported);
    EXPECT_EQ(rowsOf(journalOf(h.dir)).runs.size(), 2u);
    EXPECT_EQ(elsewhere.dir.read("Velmora/Velmora.sqlite"), before);
}

}  // namespace
}  // namespace velmora::test
