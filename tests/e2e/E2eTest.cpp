// End to end, the built program over the demo hotel against the loopback
// service: the demo week checked and then exported, its whole transcript
// compared byte for byte with expected/demo-week.txt and every file it keeps
// with what was sent and answered; then the faults (service down, silent,
// refusing or failing, the connection closed, damaged databases, bad files in
// the working directory, a log directory that stops taking files, output
// nobody reads), each ending in a clear message and the right exit status,
// sending nothing after the failure but the logout a successful login owes.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <sstream>

#include "app/BatchMode.h"
#include "app/AppServices.h"
#include "app/RealExportSteps.h"
#include "core/RunError.h"
#include "core/Text.h"
#include "jet/JetEngine.h"
#include "platform/Clock.h"
#include "platform/NativePath.h"
#include "platform/curl/CurlHandles.h"
#include "platform/curl/CurlTransport.h"
#include "support/Support.h"

namespace velmora::test {
namespace {

using test::operator<<;

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;
using Counts = std::map<std::string, std::size_t>;

const std::string kInterrupted = "Istat Regione Sicilia: Esportazione interrotta!\n";
const std::string kNotStarted = "Istat Regione Sicilia: Esportazione non avviata!\n";
const std::string kWithErrors =
    "Istat Regione Sicilia: Esportazione completata!\nSono presenti errori: controllare il "
    "monitor.\n";

bool hasLine(const std::string& text, const std::string& start) {
    for (const std::string& line : splitLines(text))
        if (line.rfind(start, 0) == 0) return true;
    return false;
}

TEST(DemoWeek, IsCheckedThenExportedAsExpected) {
    LoopbackService service;
    TempDir dir;
    writeDemoHotel(dir);
    writeSettings(dir, service.base());
    const ProgramResult check = runVelmora(
        dir.path(),
        {"check", "--from", kFirstDay, "--to", kLastDay, "--documents", "--html", "v.html"});
    EXPECT_EQ(check.status, 1) << check.err;
    EXPECT_FALSE(fs::exists(dir / "Velmora"));
    EXPECT_TRUE(service.requests().empty());
    EXPECT_TRUE(
        check.out.ends_with("\nRiepilogo: bloccanti 0, respinti 1, mai inviati 1, esclusi 5\n"));
    // The planted state abbreviation, the group member who arrived a day after
    // its head, and a record left out.
    for (const char* line :
         {"RESPINTO 07/03/2026 arrivi - Scheda_Cliente.mdb, scheda 4560, camera 109: Codice di "
          "cittadinanza (NationalityCode) e residenza (ResidencePlaceCode) vuoti (nove spazi): "
          "nessuno stato con la sigla 'CZ'",
          "MAI INVIATO 04/03/2026 arrivi - Scheda_Cliente.mdb, scheda 4513, camera 206: "
          "Componente del gruppo 4510",
          "ESCLUSO 03/03/2026 partenze - Scheda_Cliente.mdb, scheda 4570, camera 110"})
        EXPECT_TRUE(hasLine(check.out, line)) << line;
    EXPECT_NE(dir.read("v.html").find("<tr class=\"respinto\"><td>arrivi</td><td>RESPINTO</td>"),
              std::string::npos);
    Lines checked;
    const Lines lines = splitLines(check.out);
    for (std::size_t i = 0; i + 1 < lines.size(); ++i)
        if (lines[i] == ">>> da inviare") checked.push_back(lines[i + 1]);

    const ProgramResult run =
        runVelmora(dir.path(), {"export", "--from", "020326", "--to", kLastDay, "--close-days"});
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(run.err, kWithErrors);
    // The whole transcript: every request and answer, the documents byte for
    // byte; only the service's address and the login token vary.
    const auto requests = service.requests();
    ASSERT_GT(requests.size(), 2u);
    const std::string token = requests[1].header("Authorization");
    const std::string transcript =
        replaceAll(replaceAll(run.out, service.base(), "{base}"), token, "{token}");
    EXPECT_EQ(transcript, testFile("e2e/expected/demo-week.txt"));
    // The check printed exactly the documents the export posted.
    Lines posted;
    for (const RawRequest& r : requests) {
        EXPECT_TRUE(r.complete) << r.segment;
        if (r.method == "POST") {
            EXPECT_EQ(r.header("Authorization"), token);
        }
        if (r.segment == "arrivi" || r.segment == "partenze") posted.push_back(r.body);
    }
    EXPECT_EQ(posted, checked);
    // Every file kept: one stays file per day and kind, each request and answer.
    const auto files = velmoraFiles(dir.path());
    // clang-format off
    EXPECT_EQ(fileCounts(dir.path()),
              (Counts{{"DateClose", 7}, {"DateCloseI", 7}, {"Istat", 14}, {"IstatDatiAInv", 6}, {"IstatDatiAResp", 6},
                      {"IstatDatiPInv", 6}, {"IstatDatiPResp", 6}, {"Login", 1}, {"Logout", 1}}));
    // clang-format on
    EXPECT_EQ(files.at("Login").at(0), token + "\r\n");
    EXPECT_EQ(files.at("Logout").at(0), "Disconnessione effettuata\r\n");

    // The journal's pages and the check's: one page shell, one heading each,
    // CON ERRORI coloured as the check's refusals, the documents in words,
    // the files only when asked for.
    const Lines week = {"--from", kFirstDay, "--to", kLastDay, "--html"};
    auto page = [&](Lines args, const std::string& name, int status) {
        args.insert(args.end(), week.begin(), week.end());
        args.push_back(name);
        EXPECT_EQ(runVelmora(dir.path(), args).status, status) << name;
        return dir.read(name);
    };
    const std::string stato = page({"stato"}, "stato.html", 0);
    // A second page never replaces the first.
    EXPECT_EQ(runVelmora(dir.path(), {"stato", "--html", "stato.html"}).status, 2);
    EXPECT_EQ(dir.read("stato.html"), stato);
    const std::string withFiles = page({"stato", "--files"}, "file.html", 0);
    const std::string report = page({"check"}, "verifica.html", 1);
    auto styles = [](const std::string& p) {
        return p.substr(p.find("<style>"), p.find("</style>") - p.find("<style>"));
    };
    EXPECT_EQ(styles(stato), styles(report));
    EXPECT_NE(stato.find("tr.respinto td, tr.con-errori td {"), std::string::npos);
    EXPECT_EQ(stato.find("<h1>"), stato.rfind("<h1>"));
    EXPECT_EQ(stato.find("<h2>"), std::string::npos);
    for (const std::string* p : {&stato, &report})
        EXPECT_NE(p->find("<tr class=\"con-errori\"><td>07/03/2026</td>"), std::string::npos);
    EXPECT_NE(stato.find("<p><strong>7 giorni: 6 inviati, 1 con errori.</strong></p>"),
              std::string::npos);
    EXPECT_NE(stato.find(" presenze inviate, accettate ("), std::string::npos);
    EXPECT_EQ(stato.find("<th>File</th>"), std::string::npos);
    EXPECT_NE(withFiles.find("<th>File</th>"), std::string::npos);
    EXPECT_NE(report.find("<h2>Registro degli invii</h2>"), std::string::npos);
}

// What a run must leave behind.
struct Expectation {
    int status;
    std::string errStart;  // "{base}" stands for the service's address
    Lines requests;        // as the service received them
    Counts files;          // Velmora/ by prefix
    bool velmoraDirectory = true;
};

void checkOutcome(const ProgramResult& o, const Expectation& e, const std::string& base,
                  const LoopbackService& service, const TempDir& dir) {
    ASSERT_FALSE(o.timedOut) << "the run did not end";
    EXPECT_EQ(o.status, e.status) << o.err;
    const std::string canonical = utf8Name(fs::canonical(NativePath(dir.path())));
    const std::string errStart =
        replaceAll(replaceAll(e.errStart, "{base}", base), "{dir}", canonical);
    EXPECT_EQ(o.err.substr(0, errStart.size()), systemNames(errStart)) << o.err;
    Lines requests;
    for (const RawRequest& r : service.requests()) {
        EXPECT_TRUE(r.complete) << r.segment;
        requests.push_back(r.method + " " + r.segment);
    }
    EXPECT_EQ(requests, e.requests);
    EXPECT_EQ(fs::is_directory(dir / "Velmora"), e.velmoraDirectory);
    EXPECT_EQ(fileCounts(dir.path()), e.files);
    if (o.err.rfind(kInterrupted, 0) == 0) {
        // The reason closes the answers monitor and fills the message.
        const auto exchanges = exchangesOf(o.out);
        ASSERT_FALSE(exchanges.empty() || exchanges.back().answers.empty());
        EXPECT_EQ(o.err, kInterrupted + withLineFeeds(exchanges.back().answers.back()) + "\n");
    } else if (o.status == kExitFailed) {
        EXPECT_EQ(o.out, "") << "a refused run shows nothing in the monitor";
    }
}

const Lines kTwoDays = {"export", "--from", "03/03/2026", "--to", "04/03/2026", "--close-days"};
const Lines kAllSent = {"GET login",   "POST arrivi",   "POST partenze", "POST chiusura",
                        "POST arrivi", "POST partenze", "POST chiusura", "POST logout"};
const Counts kTwoDaysFiles = {{"Login", 1},          {"Istat", 4},         {"IstatDatiAInv", 2},
                              {"IstatDatiAResp", 2}, {"IstatDatiPInv", 2}, {"IstatDatiPResp", 2},
                              {"DateCloseI", 2},     {"DateClose", 2},     {"Logout", 1}};
const Expectation kRegisterDamaged{
    2,
    kInterrupted +
        "Errore nel database Scheda_Cliente.mdb, tabella Scheda_Cliente: file non "
        "leggibile o danneggiato\n",
    {"GET login", "POST logout"},
    {{"Login", 1}, {"Logout", 1}}};

struct ProgramFault {
    const char* rule;
    std::function<void(sim::ServiceSimOptions&)> configure;
    // Changes the working directory; may change the address the settings name.
    std::function<void(const TempDir&, std::string& base)> prepare;
    Expectation expect;
    Stdout stdoutTo = Stdout::Captured;
};

// Cuts the register's file to the bytes kept(size).
auto cutRegister(std::size_t (*kept)(std::size_t)) {
    return [kept](const TempDir& d, std::string&) {
        const std::string bytes = d.read("Scheda_Cliente.mdb");
        d.write("Scheda_Cliente.mdb", bytes.substr(0, kept(bytes.size())));
    };
}

// clang-format off
const ProgramFault kProgramFaults[] = {
    {"service down", nullptr,
     [](const TempDir& d, std::string& base) {
         base = "http://127.0.0.1:" + std::to_string(unusedPort()) + "/istat";
         writeSettings(d, base);
     },
     {2, kInterrupted + "Servizio non raggiungibile: {base}/login. Controllare la connessione e l'indirizzo "
      "alla riga 3 di QLBSetup.txt. (", {}, {}}},
    {"wrong password gets 401 at the login and no logout is owed", nullptr,
     [](const TempDir& d, std::string& base) { writeSettings(d, base, "sbagliata"); },
     {2, kInterrupted + "Utente o password rifiutati dal servizio: controllare le righe 1 e 2 di QLBSetup.txt.\n"
      "Accesso al servizio non riuscito: {base}/login ha risposto 401.\n", {"GET login"}, {}}},
    {"500 on the arrivals post stops before closing the day and logs out",
     [](sim::ServiceSimOptions& s) { s.fail500 = {"arrivi"}; }, nullptr,
     {2, kInterrupted + "Il servizio non ha accettato il documento degli arrivi del 03/03/2026 (Velmora/IstatDatiAInv-",
      {"GET login", "POST arrivi", "POST logout"},
      {{"Login", 1}, {"Istat", 1}, {"IstatDatiAInv", 1}, {"IstatDatiAResp", 1}, {"Logout", 1}}}},
    {"connection closed without an answer to the arrivals stops and logs out",
     [](sim::ServiceSimOptions& s) { s.close = {"arrivi"}; }, nullptr,
     {2, kInterrupted + "Scambio con il servizio non riuscito: {base}/arrivi. Controllare la connessione e "
      "l'indirizzo alla riga 5 di QLBSetup.txt. (", {"GET login", "POST arrivi", "POST logout"},
      {{"Login", 1}, {"Istat", 1}, {"IstatDatiAInv", 1}, {"Logout", 1}}}},
    {"output nobody reads does not stop the run", nullptr, nullptr,
     {0, "Istat Regione Sicilia: Esportazione completata!\n", kAllSent, kTwoDaysFiles}, Stdout::ClosedPipe},
    {"register cut to half its size", nullptr, cutRegister([](std::size_t n) { return n / 2; }), kRegisterDamaged},
    {"register without its last page", nullptr, cutRegister([](std::size_t n) { return n - 4096; }), kRegisterDamaged},
    {"no QLBSetup txt", nullptr, [](const TempDir& d, std::string&) { fs::remove(d / "QLBSetup.txt"); },
     {2, "Parametri insufficienti: Nome utente e password non impostati! (QLBSetup.txt)\nIl file QLBSetup.txt "
      "non è nella cartella {dir}.\n", {}, {}, false}},
    {"no QLBDataI txt", nullptr, [](const TempDir& d, std::string&) { fs::remove(d / "QLBDataI.txt"); },
     {2, kNotStarted + "Il file QLBDataI.txt con la data iniziale dei soggiorni non esiste", {}, {}, false}},
    {"a file named Velmora where the log directory belongs", nullptr,
     [](const TempDir& d, std::string&) { d.write("Velmora", "appunti"); },
     {2, kNotStarted + "Impossibile creare la cartella Velmora\n", {}, {}, false}},
};
// clang-format on

class ProgramFaults : public ::testing::TestWithParam<ProgramFault> {};

TEST_P(ProgramFaults, EndInAClearMessage) {
    const ProgramFault& f = GetParam();
    LoopbackService service(f.configure);
    TempDir dir;
    writeDemoHotel(dir);
    std::string base = service.base();
    writeSettings(dir, base);
    if (f.prepare) f.prepare(dir, base);
    const ProgramResult r = runVelmora(dir.path(), kTwoDays, std::chrono::seconds(30), f.stdoutTo);
    checkOutcome(r, f.expect, base, service, dir);
    const auto files = velmoraFiles(dir.path());
    if (f.expect.files.count("IstatDatiAResp") && f.expect.status == 2) {
        // The refused answer is kept, and the message names the status.
        EXPECT_EQ(files.at("IstatDatiAResp").at(0), "Errore: errore interno simulato\r\n");
        EXPECT_NE(r.err.find("/arrivi ha risposto 500."), std::string::npos) << r.err;
    }
    if (fs::is_regular_file(dir / "Velmora")) {
        EXPECT_EQ(dir.read("Velmora"), "appunti");
    }
}

INSTANTIATE_TEST_SUITE_P(E2e, ProgramFaults, ::testing::ValuesIn(kProgramFaults), RuleName());

// "velmora prova": a login and a logout, nothing sent, no file written, and
// in Italian what works and what to check.
TEST(ConnectionTest, SaysWhetherTheAddressesAndTheCredentialsWork) {
    const struct {
        const char* rule;
        const char* password;
        bool down;
        int status;
        const char* said;
        Lines requests;
    } rows[] = {
        {"login and logout work", kPassword, false, 0,
         "Accesso (riga 3): riuscito, utente e password accettati (righe 1 e 2).\n"
         "Disconnessione (riga 4): riuscita.\n",
         {"GET login", "POST logout"}},
        {"a wrong password names lines 1 and 2", "sbagliata", false, 2,
         "Accesso: il servizio risponde all'indirizzo della riga 3, ma: Utente o password rifiutati "
         "dal servizio: controllare le righe 1 e 2 di QLBSetup.txt.\nCollegamento non riuscito.\n",
         {"GET login"}},
        {"no service names line 3", kPassword, true, 2,
         "Accesso: Servizio non raggiungibile: {base}/login. Controllare la connessione e "
         "l'indirizzo alla riga 3 di QLBSetup.txt. (",
         {}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.rule);
        LoopbackService service;
        TempDir dir;
        const std::string base =
            r.down ? "http://127.0.0.1:" + std::to_string(unusedPort()) + "/istat" : service.base();
        writeSettings(dir, base, r.password);
        const ProgramResult p = runVelmora(dir.path(), {"prova"});
        EXPECT_EQ(p.status, r.status) << p.out << p.err;
        EXPECT_NE(p.out.find(replaceAll(r.said, "{base}", base)), std::string::npos) << p.out;
        EXPECT_EQ(service.requestLines(), r.requests);
        EXPECT_FALSE(fs::exists(dir / "Velmora"));
    }
}

// Local files whose log directory takes the first `allowed` new files and
// refuses every later one, as a full disk would.
class FailingFileStore : public LocalFileStore {
public:
    FailingFileStore(std::string root, int allowed)
        : LocalFileStore(std::move(root)), m_allowed(allowed) {}
    std::string writeUnique(const std::string& dir, const std::string& stem, const std::string& ext,
                            std::string_view text) override {
        if (dir == "Velmora" && m_made++ >= m_allowed)
            throw RunError(systemNames("Impossibile creare il file " + dir + "/" + stem + ext),
                           "No space left on device");
        return LocalFileStore::writeUnique(dir, stem, ext, text);
    }

private:
    int m_allowed;
    int m_made = 0;
};

ProgramResult runInProcess(BatchServices& services, const Lines& args) {
    std::ostringstream out, err;
    std::vector<BatchCommand> commands{makeExportCommand(services)};
    ProgramResult o;
    o.status = dispatchCommand(args, commands, out, err);
    o.out = out.str();
    o.err = err.str();
    return o;
}

TEST(InProcessFaults, ServiceThatNeverAnswersTimesOut) {
    const CurlGlobal curl;
    const struct {
        const char* silentPath;
        Expectation expect;
    } rows[] = {
        // clang-format off
        {"arrivi", {2, kInterrupted + "Il servizio non ha risposto in tempo: {base}/arrivi. Controllare la "
                    "connessione e l'indirizzo alla riga 5 di QLBSetup.txt. (",
                    {"GET login", "POST arrivi", "POST logout"},
                    {{"Login", 1}, {"Istat", 1}, {"IstatDatiAInv", 1}, {"Logout", 1}}}},
        {"login", {2, kInterrupted + "Il servizio non ha risposto in tempo: {base}/login. Controllare la "
                   "connessione e l'indirizzo alla riga 3 di QLBSetup.txt. (", {"GET login"}, {}}},
        // clang-format on
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.silentPath);
        LoopbackService service([&](sim::ServiceSimOptions& s) { s.hang = {r.silentPath}; });
        TempDir dir;
        writeDemoHotel(dir);
        writeSettings(dir, service.base());
        CurlTransport::Options http;
        http.connectTimeout = std::chrono::milliseconds(2000);
        http.totalTimeout = std::chrono::milliseconds(1000);
        AppServices app(dir.path(), http);
        BatchServices batch{app.files(), app.clock(), app.factory()};
        checkOutcome(runInProcess(batch, kTwoDays), r.expect, service.base(), service, dir);
        service.stop();  // releases the request it holds
    }
}

TEST(InProcessFaults, LogDirectoryThatStopsTakingFiles) {
    const CurlGlobal curl;
    // The files of 03/03 with the day closed, in the order they are made:
    // Login, Istat (A), IstatDatiAInv, IstatDatiAResp, Istat (P),
    // IstatDatiPInv, IstatDatiPResp, DateCloseI, DateClose, Logout.
    const Lines day = {"export", "--from", "03/03/2026", "--to", "03/03/2026", "--close-days"};
    const struct {
        int allowed;
        Expectation expect;
    } rows[] = {
        // clang-format off
        {0, {2, kInterrupted + "Impossibile creare il file Velmora/Login-", {"GET login", "POST logout"}, {}}},
        {3, {2, kInterrupted + "Il servizio ha ricevuto il documento degli arrivi del 03/03/2026 (Velmora/IstatDatiAInv-",
             {"GET login", "POST arrivi", "POST logout"}, {{"Login", 1}, {"Istat", 1}, {"IstatDatiAInv", 1}}}},
        {9, {1, "Istat Regione Sicilia: Esportazione completata!\nTutto è stato inviato e la sessione è chiusa; non è "
                "stato possibile scrivere solo il file di registro della disconnessione (Logout-).\nImpossibile creare "
                "il file Velmora/Logout-",
             {"GET login", "POST arrivi", "POST partenze", "POST chiusura", "POST logout"},
             {{"Login", 1}, {"Istat", 2}, {"IstatDatiAInv", 1}, {"IstatDatiAResp", 1}, {"IstatDatiPInv", 1},
              {"IstatDatiPResp", 1}, {"DateCloseI", 1}, {"DateClose", 1}}}},
        // clang-format on
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.allowed);
        LoopbackService service;
        TempDir dir;
        writeDemoHotel(dir);
        writeSettings(dir, service.base());
        fs::create_directory(dir / "Velmora");
        FailingFileStore files(dir.path(), r.allowed);
        SystemClock clock;
        JetEngine engine(dir.path());
        CurlTransport http;
        ExportStepsFactory factory = [&](RunState& state, Monitor& monitor, const StepsOptions&) {
            return makeRealExportSteps(state, monitor, engine, http, files, clock);
        };
        BatchServices batch{files, clock, factory};
        checkOutcome(runInProcess(batch, day), r.expect, service.base(), service, dir);
        // Files made before the failure are whole: the login file holds the token.
        const auto made = velmoraFiles(dir.path());
        if (made.count("Login")) {
            EXPECT_EQ(made.at("Login").at(0),
                      service.requests().back().header("Authorization") + "\r\n");
        }
    }
}

// The built program under the operator's signals and a report path that is
// already taken: SIGINT or SIGTERM during an export abandons the post under
// way, sends nothing more, logs out, keeps only whole files and exits 2; a
// second signal ends it at once. "velmora check --html" never writes over an
// existing file or through a symbolic link.
struct SignalRow {
    const char* rule;
    int signal;
    Lines hang;   // service paths that never answer
    bool second;  // a second signal once the logout is under way
    int status;   // -1: ended by the signal
    Lines requests;
    std::map<std::string, std::size_t> files;
};

class Signals : public ::testing::TestWithParam<SignalRow> {};

TEST_P(Signals, StopTheExportCleanly) {
#ifdef _WIN32
    GTEST_SKIP() << "Wine gives no console event to another process: scripts/windows stops "
                    "velmora.exe under Wine with SIGINT, which Wine turns into Ctrl+C";
#else
    const SignalRow& r = GetParam();
    LoopbackService service([&](sim::ServiceSimOptions& s) { s.hang = r.hang; });
    test::TempDir dir;
    writeDemoHotel(dir);
    writeSettings(dir, service.base());
    int sent = 0;
    const ProgramResult p = runVelmora(
        dir.path(), {"export", "--from", "03/03/2026", "--to", "04/03/2026", "--close-days"},
        std::chrono::seconds(30), Stdout::Captured, "velmora", [&](int pid) {
            const Lines seen = service.requestLines();
            const bool posting = !seen.empty() && seen.back() == "POST partenze";
            const bool loggingOut = !seen.empty() && seen.back() == "POST logout";
            if ((sent == 0 && posting) || (sent == 1 && r.second && loggingOut)) {
                ::kill(pid, r.signal);
                ++sent;
            }
        });
    ASSERT_FALSE(p.timedOut) << p.err;
    EXPECT_EQ(p.status, r.status) << p.err;
    EXPECT_EQ(service.requestLines(), r.requests);
    // Whole files only: no temporary file is left and each answer is as sent.
    EXPECT_EQ(fileCounts(dir.path()), r.files);
    if (r.status == 2) {
        EXPECT_NE(p.err.find("Istat Regione Sicilia: Esportazione interrotta dall'operatore.\n"
                             "In corso: il documento delle partenze del 03/03/2026, risposta NON "
                             "ricevuta"),
                  std::string::npos)
            << p.err;
    }
#endif
}

const std::map<std::string, std::size_t> kUpToTheDepartures = {
    {"Login", 1},          {"Istat", 2},         {"IstatDatiAInv", 1},
    {"IstatDatiAResp", 1}, {"IstatDatiPInv", 1}, {"Logout", 1}};

INSTANTIATE_TEST_SUITE_P(
    E2e, Signals,
    ::testing::Values(SignalRow{"SIGINT while the departures wait for an answer",
                                SIGINT,
                                {"partenze"},
                                false,
                                2,
                                {"GET login", "POST arrivi", "POST partenze", "POST logout"},
                                kUpToTheDepartures},
                      SignalRow{"a second SIGTERM during the logout ends at once",
                                SIGTERM,
                                {"partenze", "logout"},
                                true,
                                -1,
                                {"GET login", "POST arrivi", "POST partenze", "POST logout"},
                                {{"Login", 1},
                                 {"Istat", 2},
                                 {"IstatDatiAInv", 1},
                                 {"IstatDatiAResp", 1},
                                 {"IstatDatiPInv", 1}}}),
    RuleName());

struct ReportRow {
    const char* rule;
    const char* link;    // a symbolic link made first, named html, or ""
    const char* target;  // what it points to
    const char* html;
};

class CheckReportPath : public ::testing::TestWithParam<ReportRow> {};

TEST_P(CheckReportPath, NeverReplacesAFileNorFollowsALink) {
    const ReportRow& r = GetParam();
    test::TempDir dir;
    writeDemoHotel(dir);
    writeSettings(dir, "http://127.0.0.1:9/istat");
    const std::string registerBytes = dir.read("Scheda_Cliente.mdb");
#ifdef _WIN32
    if (*r.link) GTEST_SKIP() << "MinGW's std::filesystem makes no symbolic links";
#endif
    if (*r.link) fs::create_symlink(r.target, dir / r.link);
    const ProgramResult p =
        runVelmora(dir.path(), {"check", "--from", kFirstDay, "--to", kLastDay, "--html", r.html});
    EXPECT_EQ(p.status, 64) << p.err;
    EXPECT_NE(p.err.find(std::string("il file \"") + r.html + "\" esiste già"), std::string::npos)
        << p.err;
    EXPECT_EQ(dir.read("Scheda_Cliente.mdb"), registerBytes);
    EXPECT_FALSE(fs::exists(dir / "nuovo.html"));
    for (const auto& e : fs::directory_iterator(dir.path()))
        EXPECT_NE(e.path().extension(), ".tmp") << e.path();
}

INSTANTIATE_TEST_SUITE_P(
    E2e, CheckReportPath,
    ::testing::Values(ReportRow{"the register itself", "", "", "Scheda_Cliente.mdb"},
                      ReportRow{"a link to the register", "rapporto.html", "Scheda_Cliente.mdb",
                                "rapporto.html"},
                      ReportRow{"a dangling link", "rapporto.html", "nuovo.html", "rapporto.html"}),
    RuleName());

}  // namespace
}  // namespace velmora::test
