// The built program under the operator's signals and a report path that is
// already taken: SIGINT or SIGTERM during an export abandons the post under
// way, sends nothing more, logs out, keeps only whole files and exits 2; a
// second signal ends it at once. "velmora check --html" never writes over an
// existing file or through a symbolic link.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>

#include "support/Support.h"


namespace velmora::test {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

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
}

const std::map<std::string, std::size_t> kUpToTheDepartures = {
    {"Login", 1},          {"Istat", 2},         {"IstatDatiAInv", 1},
    {"IstatDatiAResp", 1}, {"IstatDatiPInv", 1}, {"Logout", 1}};

INSTANTIATE_TEST_SUITE_P(
    Rows, Signals,
    ::testing::Values(SignalRow{"sigint_while_the_departures_wait_for_an_answer",
                                SIGINT,
                                {"partenze"},
                                false,
                                2,
                                {"GET login", "POST arrivi", "POST partenze", "POST logout"},
                                kUpToTheDepartures},
                      SignalRow{"a_second_sigterm_during_the_logout_ends_at_once",
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
    [](const auto& info) { return std::string(info.param.rule); });

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
    Rows, CheckReportPath,
    ::testing::Values(ReportRow{"the_register_itself", "", "", "Scheda_Cliente.mdb"},
                      ReportRow{"a_link_to_the_register", "rapporto.html", "Scheda_Cliente.mdb",
                                "rapporto.html"},
                      ReportRow{"a_dangling_link", "rapporto.html", "nuovo.html", "rapporto.html"}),
    [](const auto& info) { return std::string(info.param.rule); });

}  // namespace
}  // namespace velmora::test
