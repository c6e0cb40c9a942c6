// The send journal when things go wrong around it: the logout sent whatever
// the journal does, a journal lost, damaged, locked, read-only or that cannot
// be opened, the rebuild from the log files, one export at a time per folder,
// a stop signal inside the session, and every path taken from the program's
// services rather than the current folder.
#include "JournalHarness.h"

namespace velmora::test::journal {
namespace {

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
}  // namespace velmora::test::journal
