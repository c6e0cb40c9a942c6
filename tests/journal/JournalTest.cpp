// The send journal through the real batch commands on the demo hotel and the
// loopback service: what a run records and "stato" shows, days already sent
// refused or asked about, the catch-up and where it stops, runs interrupted or
// killed at every exchange, a guest edited after sending, and the schema's
// versions.
#include "JournalHarness.h"

namespace velmora::test::journal {
namespace {

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
    EXPECT_TRUE(
        std::regex_search(check.out, std::regex(" il \\d\\d/\\d\\d/20\\d\\d alle \\d\\d:\\d\\d ")))
        << check.out;
    EXPECT_NE(check.out.find("(velmora export --from 04/03/2026 --to 04/03/2026 --reinvia)"),
              std::string::npos);
    const std::string html = h.dir.read("verifica.html");
    auto count = [&html](const std::string& piece) {
        std::size_t n = 0;
        for (std::size_t at = html.find(piece); at != std::string::npos;
             at = html.find(piece, at + 1))
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
        {"05/03/2026 partenze - Scheda_Cliente.mdb, scheda 4520", "dopo l'invio: camera (RoomId)."},
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

}  // namespace
}  // namespace velmora::test::journal
