// Faults from end to end: the service down, silent, refusing or failing,
// damaged databases, a log directory that cannot be made or written, and bad
// settings or data files. Each run must end in a clear Italian message with
// the right exit status, send nothing after the failure but the logout that a
// successful login owes, and keep every file it had already written.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <sstream>

#include "E2eSupport.h"
#include "app/BatchMode.h"
#include "app/ExportSteps.h"
#include "app/AppServices.h"
#include "app/RealExportSteps.h"
#include "core/RunError.h"
#include "platform/Clock.h"
#include "platform/FileStore.h"
#include "platform/curl/CurlTransport.h"
#include "jet/JetEngine.h"

namespace velmora::e2e {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;
using Counts = std::map<std::string, std::size_t>;

const std::string kInterrupted = "Istat Regione Sicilia: Esportazione interrotta!\n";
const std::string kNotStarted = "Istat Regione Sicilia: Esportazione non avviata!\n";

// Two days that each have arrivals and departures, closed.
const Lines kTwoDays = {"export", "--from", "03/03/2026", "--to", "04/03/2026", "--close-days"};
const Lines kWeek = {"export", "--from", kFirstDay, "--to", kLastDay, "--close-days"};
const Lines kAllSent = {"GET login",   "POST arrivi",   "POST partenze", "POST chiusura",
                        "POST arrivi", "POST partenze", "POST chiusura", "POST logout"};

// What a run must leave behind.
struct Expectation {
    int status;
    // The start of standard error; "{base}" stands for the service's address.
    std::string errStart;
    Lines requests;  // as the service received them
    Counts files;    // Velmora/ by prefix
    bool velmoraDirectory = true;
};

struct Outcome {
    int status = -1;
    bool timedOut = false;
    std::string out;
    std::string err;
};

void checkOutcome(const Outcome& o, const Expectation& e, const std::string& base,
                  const LoopbackService& service, const test::TempDir& dir) {
    ASSERT_FALSE(o.timedOut) << "the run did not end";
    EXPECT_EQ(o.status, e.status) << o.err;
    const std::string errStart = replaceAll(e.errStart, "{base}", base);
    EXPECT_EQ(o.err.substr(0, errStart.size()), errStart) << o.err;

    // Nothing half-sent: each request the service saw arrived whole.
    std::vector<RawRequest> requests = service.requests();
    Lines lines;
    for (const RawRequest& r : requests) {
        lines.push_back(r.method + " " + r.segment);
        EXPECT_TRUE(r.complete) << r.segment;
    }
    EXPECT_EQ(lines, e.requests);

    EXPECT_EQ(fs::is_directory(dir / "Velmora"), e.velmoraDirectory);
    EXPECT_EQ(fileCounts(velmoraFiles(dir.path())), e.files);

    const std::vector<MonitorAppend> appends = parseBatchOutput(o.out);
    if (o.err.rfind(kInterrupted, 0) == 0) {
        // The reason closes the answers monitor and fills the message.
        ASSERT_FALSE(appends.empty());
        EXPECT_EQ(appends.back().box, 1);
        EXPECT_EQ(o.err, kInterrupted + withLineFeeds(appends.back().text) + "\n");
    } else if (o.status == kExitFailed) {
        EXPECT_EQ(o.out, "") << "a refused run shows nothing in the monitor";
    }
}

// The demo hotel, settings for the service, and a run of the program.
struct ProgramFault {
    const char* rule;
    std::function<void(sim::ServiceSimOptions&)> configure;
    // Changes the working directory; may change the address the settings name.
    std::function<void(const test::TempDir&, std::string& base)> prepare;
    Lines args;
    Expectation expect;
    // Further checks of this row.
    std::function<void(const test::TempDir&, const Outcome&)> more;
};

void runProgramFault(const ProgramFault& f) {
    SCOPED_TRACE(f.rule);
    LoopbackService service(f.configure);
    test::TempDir dir;
    writeDemoHotel(dir);
    std::string base = service.base();
    writeSettings(dir, base);
    if (f.prepare) f.prepare(dir, base);
    const ProgramResult r = runVelmora(dir.path(), f.args);
    const Outcome o{r.status, r.timedOut, r.out, r.err};
    checkOutcome(o, f.expect, base, service, dir);
    if (f.more) f.more(dir, o);
}

void cutRegister(const test::TempDir& dir, std::size_t keep) {
    const std::string bytes = dir.read("Scheda_Cliente.mdb");
    dir.write("Scheda_Cliente.mdb", bytes.substr(0, keep));
}

// The arrivals stays document of 02/03 was being built when the register
// failed: no stays file is left for it, not even a temporary one.
const Expectation kRegisterDamaged{
    2,
    kInterrupted +
        "Errore nel database Scheda_Cliente.mdb, tabella Scheda_Cliente: file non "
        "leggibile o danneggiato\n",
    {"GET login", "POST logout"},
    {{"Login", 1}, {"Logout", 1}}};

TEST(E2eProgramFaults, ServiceFailuresEndInAClearMessage) {
    const ProgramFault faults[] = {
        {"service down: nothing listens at the address",
         nullptr,
         [](const test::TempDir& d, std::string& base) {
             base = "http://127.0.0.1:" + std::to_string(unusedPort()) + "/istat";
             writeSettings(d, base);
         },
         kWeek,
         {2, kInterrupted + "Servizio non raggiungibile: {base}/login (", {}, {}},
         nullptr},
        {"wrong password: 401 at the login, no logout owed",
         nullptr,
         [](const test::TempDir& d, std::string& base) { writeSettings(d, base, "sbagliata"); },
         kWeek,
         {2,
          kInterrupted + "Accesso al servizio non riuscito: {base}/login ha risposto 401\n",
          {"GET login"},
          {}},
         [](const test::TempDir&, const Outcome& o) {
             const auto x = exchangesOf(parseBatchOutput(o.out));
             ASSERT_EQ(x.size(), 1u);
             EXPECT_EQ(x[0].answers.at(0), "Errore: utente o password non validi");
         }},
        {"500 on the arrivals post: stop before closing the day, log out",
         [](sim::ServiceSimOptions& s) { s.fail500 = {"arrivi"}; },
         nullptr,
         kTwoDays,
         {2,
          kInterrupted + "Il servizio non ha accettato il documento degli arrivi del 03/03/2026 "
                         "(Velmora/IstatDatiAInv-",
          {"GET login", "POST arrivi", "POST logout"},
          {{"Login", 1}, {"Istat", 1}, {"IstatDatiAInv", 1}, {"IstatDatiAResp", 1}, {"Logout", 1}}},
         [](const test::TempDir& d, const Outcome& o) {
             const auto files = velmoraFiles(d.path());
             EXPECT_EQ(files.at("IstatDatiAResp").at(0).content,
                       "Errore: errore interno simulato\r\n");
             EXPECT_NE(o.err.find("/arrivi ha risposto 500."), std::string::npos) << o.err;
         }},
        {"connection closed without an answer to the arrivals: stop, log out",
         [](sim::ServiceSimOptions& s) { s.close = {"arrivi"}; },
         nullptr,
         kTwoDays,
         {2,
          kInterrupted + "Scambio con il servizio non riuscito: {base}/arrivi (",
          {"GET login", "POST arrivi", "POST logout"},
          {{"Login", 1}, {"Istat", 1}, {"IstatDatiAInv", 1}, {"Logout", 1}}},
         nullptr},
    };
    for (const ProgramFault& f : faults) runProgramFault(f);
}

TEST(E2eProgramFaults, DamagedRegisterStopsTheRunAndLeavesNoStaysFile) {
    std::vector<ProgramFault> faults = {
        {"register cut to half its size", nullptr,
         [](const test::TempDir& d, std::string&) {
             cutRegister(d, d.read("Scheda_Cliente.mdb").size() / 2);
         },
         kWeek, kRegisterDamaged, nullptr},
        {"register without its last page", nullptr,
         [](const test::TempDir& d, std::string&) {
             cutRegister(d, d.read("Scheda_Cliente.mdb").size() - 4096);
         },
         kWeek, kRegisterDamaged, nullptr},
    };
    // Garbage over each page but the file header.
    test::TempDir probe;
    writeDemoHotel(probe);
    const std::size_t pages = probe.read("Scheda_Cliente.mdb").size() / 4096;
    ASSERT_GT(pages, 2u);
    std::vector<std::string> rules;
    for (std::size_t p = 1; p < pages; ++p)
        rules.push_back("garbage over page " + std::to_string(p));
    for (std::size_t p = 1; p < pages; ++p) {
        faults.push_back({rules[p - 1].c_str(), nullptr,
                          [p](const test::TempDir& d, std::string&) {
                              std::string bytes = d.read("Scheda_Cliente.mdb");
                              std::mt19937 rng(static_cast<unsigned>(p));
                              for (std::size_t i = 0; i < 4096; ++i)
                                  bytes[p * 4096 + i] = static_cast<char>(rng());
                              d.write("Scheda_Cliente.mdb", bytes);
                          },
                          kWeek, kRegisterDamaged, nullptr});
    }
    for (const ProgramFault& f : faults) runProgramFault(f);
}

TEST(E2eProgramFaults, BadFilesInTheWorkingDirectoryRefuseTheRun) {
    const std::string shortSettings =
        "Parametri insufficienti: Il file QLBSetup.txt contiene solo 3 righe: ne servono 7 "
        "(nome utente, password e i cinque indirizzi del servizio).\n";
    const ProgramFault faults[] = {
        {"no QLBSetup.txt",
         nullptr,
         [](const test::TempDir& d, std::string&) { fs::remove(d / "QLBSetup.txt"); },
         kWeek,
         {2,
          "Parametri insufficienti: Nome utente e password non impostati! (QLBSetup.txt)\n",
          {},
          {},
          false},
         nullptr},
        {"QLBSetup.txt with three lines",
         nullptr,
         [](const test::TempDir& d, std::string& base) {
             d.write("QLBSetup.txt", std::string(kUser) + "\r\ndemo\r\n" + base + "/login\r\n");
         },
         kWeek,
         {2, shortSettings, {}, {}, false},
         nullptr},
        {"empty QLBSetup.txt",
         nullptr,
         [](const test::TempDir& d, std::string&) { d.write("QLBSetup.txt", ""); },
         kWeek,
         {2,
          "Parametri insufficienti: Il file QLBSetup.txt è vuoto (0 righe): ne servono 7 (nome "
          "utente, password e i cinque indirizzi del servizio).\n",
          {},
          {},
          false},
         nullptr},
        {"no QLBDataI.txt",
         nullptr,
         [](const test::TempDir& d, std::string&) { fs::remove(d / "QLBDataI.txt"); },
         kWeek,
         {2,
          kNotStarted +
              "Il file QLBDataI.txt con la data iniziale dei soggiorni non esiste nella cartella "
              "di lavoro.\n",
          {},
          {},
          false},
         nullptr},
        {"empty QLBDataI.txt",
         nullptr,
         [](const test::TempDir& d, std::string&) { d.write("QLBDataI.txt", ""); },
         kWeek,
         {2,
          kNotStarted +
              "Il file QLBDataI.txt è vuoto: la prima riga deve contenere la data iniziale "
              "(GG/MM/AAAA).\n",
          {},
          {},
          false},
         nullptr},
        {"QLBDataI.txt with a date in another form",
         nullptr,
         [](const test::TempDir& d, std::string&) { d.write("QLBDataI.txt", "2026-01-01\r\n"); },
         kWeek,
         {2,
          kNotStarted + "La prima riga del file QLBDataI.txt non è una data valida (GG/MM/AAAA): "
                        "\"2026-01-01\".\n",
          {},
          {},
          false},
         nullptr},
        {"a file named Velmora where the log directory belongs",
         nullptr,
         [](const test::TempDir& d, std::string&) { d.write("Velmora", "appunti"); },
         kWeek,
         {2, kNotStarted + "Impossibile creare la cartella Velmora\n", {}, {}, false},
         [](const test::TempDir& d, const Outcome&) { EXPECT_EQ(d.read("Velmora"), "appunti"); }},
    };
    for (const ProgramFault& f : faults) runProgramFault(f);
}

TEST(E2eProgramFaults, OutputNobodyReadsDoesNotStopTheRun) {
    // As after "velmora export ... | head": the run must not die half way, with
    // a document posted but its answer not kept and the session left open.
    LoopbackService service;
    test::TempDir dir;
    writeDemoHotel(dir);
    writeSettings(dir, service.base());
    const ProgramResult r =
        runVelmora(dir.path(), kTwoDays, std::chrono::seconds(30), Stdout::ClosedPipe);
    checkOutcome({r.status, r.timedOut, "", r.err},
                 {0,
                  "Istat Regione Sicilia: Esportazione completata!\n",
                  kAllSent,
                  {{"Login", 1},
                   {"Istat", 4},
                   {"IstatDatiAInv", 2},
                   {"IstatDatiAResp", 2},
                   {"IstatDatiPInv", 2},
                   {"IstatDatiPResp", 2},
                   {"DateCloseI", 2},
                   {"DateClose", 2},
                   {"Logout", 1}}},
                 service.base(), service, dir);
}

// Local files whose log directory takes the first `allowed` new files and
// refuses every later one, as a full disk would.
class FailingFileStore : public LocalFileStore {
public:
    FailingFileStore(std::string root, int allowed)
        : LocalFileStore(std::move(root)), m_allowed(allowed) {}
    std::string writeUnique(const std::string& dir, const std::string& stem,
                            const std::string& ext, std::string_view text) override {
        if (dir == "Velmora" && m_made++ >= m_allowed)
            throw RunError("Impossibile creare il file " + dir + "/" + stem + ext,
                           "No space left on device");
        return LocalFileStore::writeUnique(dir, stem, ext, text);
    }

private:
    int m_allowed;
    int m_made = 0;
};

Outcome runInProcess(BatchServices& services, const Lines& args) {
    std::ostringstream out, err;
    std::vector<BatchCommand> commands{MakeExportCommand(services)};
    Outcome o;
    o.status = DispatchCommand(args, commands, out, err);
    o.out = out.str();
    o.err = err.str();
    return o;
}

TEST(E2eInProcessFaults, ServiceThatNeverAnswersTimesOut) {
    struct Row {
        const char* rule;
        const char* silentPath;
        Expectation expect;
    } rows[] = {
        {"silent at the arrivals: stop, log out",
         "arrivi",
         {2,
          kInterrupted + "Il servizio non ha risposto in tempo: {base}/arrivi (",
          {"GET login", "POST arrivi", "POST logout"},
          {{"Login", 1}, {"Istat", 1}, {"IstatDatiAInv", 1}, {"Logout", 1}}}},
        {"silent at the login: nothing else is sent",
         "login",
         {2,
          kInterrupted + "Il servizio non ha risposto in tempo: {base}/login (",
          {"GET login"},
          {}}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.rule);
        LoopbackService service([&](sim::ServiceSimOptions& s) { s.hang = {r.silentPath}; });
        test::TempDir dir;
        writeDemoHotel(dir);
        writeSettings(dir, service.base());
        CurlTransport::Options http;
        http.connectTimeout = std::chrono::milliseconds(2000);
        http.totalTimeout = std::chrono::milliseconds(1000);
        AppServices app(dir.path(), http);
        BatchServices batch{app.files(), app.clock(), app.factory()};
        const Outcome o = runInProcess(batch, kTwoDays);
        checkOutcome(o, r.expect, service.base(), service, dir);
        service.stop();  // releases the request it holds
    }
}

TEST(E2eInProcessFaults, LogDirectoryThatStopsTakingFiles) {
    // The files of 03/03 with the day closed, in the order they are made:
    // Login, Istat (A), IstatDatiAInv, IstatDatiAResp, Istat (P),
    // IstatDatiPInv, IstatDatiPResp, DateCloseI, DateClose, Logout.
    const Lines day = {"export", "--from", "03/03/2026", "--to", "03/03/2026", "--close-days"};
    struct Row {
        const char* rule;
        int allowed;
        Expectation expect;
    } rows[] = {
        {"the login's own file",
         0,
         {2,
          kInterrupted + "Impossibile creare il file Velmora/Login-",
          {"GET login", "POST logout"},
          {}}},
        {"the arrivals stays file",
         1,
         {2,
          kInterrupted + "Impossibile creare il file Velmora/Istat-",
          {"GET login", "POST logout"},
          {{"Login", 1}}}},
        {"the arrivals request file: the document is not sent without it",
         2,
         {2,
          kInterrupted + "Impossibile creare il file Velmora/IstatDatiAInv-",
          {"GET login", "POST logout"},
          {{"Login", 1}, {"Istat", 1}}}},
        {"the arrivals answer file, after the document went out",
         3,
         {2,
          kInterrupted + "Il servizio ha ricevuto il documento degli arrivi del 03/03/2026 "
                         "(Velmora/IstatDatiAInv-",
          {"GET login", "POST arrivi", "POST logout"},
          {{"Login", 1}, {"Istat", 1}, {"IstatDatiAInv", 1}}}},
        {"the end-of-day request file: the day is not closed",
         7,
         {2,
          kInterrupted + "Impossibile creare il file Velmora/DateCloseI-",
          {"GET login", "POST arrivi", "POST partenze", "POST logout"},
          {{"Login", 1},
           {"Istat", 2},
           {"IstatDatiAInv", 1},
           {"IstatDatiAResp", 1},
           {"IstatDatiPInv", 1},
           {"IstatDatiPResp", 1}}}},
        {"the logout's file, after everything went out: completed, only the file missing",
         9,
         {1,
          "Istat Regione Sicilia: Esportazione completata!\nTutto è stato inviato e la sessione "
          "è chiusa; non è stato possibile scrivere solo il file di registro della "
          "disconnessione (Logout-).\nImpossibile creare il file Velmora/Logout-",
          {"GET login", "POST arrivi", "POST partenze", "POST chiusura", "POST logout"},
          {{"Login", 1},
           {"Istat", 2},
           {"IstatDatiAInv", 1},
           {"IstatDatiAResp", 1},
           {"IstatDatiPInv", 1},
           {"IstatDatiPResp", 1},
           {"DateCloseI", 1},
           {"DateClose", 1}}}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.rule);
        LoopbackService service;
        test::TempDir dir;
        writeDemoHotel(dir);
        writeSettings(dir, service.base());
        fs::create_directory(dir / "Velmora");
        FailingFileStore files(dir.path(), r.allowed);
        SystemClock clock;
        JetEngine engine(dir.path());
        CurlTransport http;
        ExportStepsFactory factory = [&](RunState& state, Monitor& monitor, const StepsOptions&) {
            return MakeRealExportSteps(state, monitor, engine, http, files, clock);
        };
        BatchServices batch{files, clock, factory};
        const Outcome o = runInProcess(batch, day);
        checkOutcome(o, r.expect, service.base(), service, dir);
        // Files made before the failure are whole: the login file holds the token.
        const auto made = velmoraFiles(dir.path());
        if (made.count("Login")) {
            ASSERT_FALSE(service.requests().empty());
            EXPECT_EQ(made.at("Login").at(0).content,
                      service.requests().back().header("Authorization") + "\r\n");
        }
    }
}

}  // namespace
}  // namespace velmora::e2e
