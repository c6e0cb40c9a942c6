// Batch mode: argument parsing, the export command in process with recording
// steps, and the built velmora program run from a scratch working directory.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "RecordingSteps.h"
#include "app/BatchMode.h"
#include "platform/FileStore.h"
#include "support/Fakes.h"
#include "support/TempDir.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace velmora {
namespace {

using test::StepScript;
using test::TempDir;
using V = std::vector<std::string>;

TEST(ParseExportArguments, AcceptsTheDocumentedForms) {
    struct Row {
        const char* rule;
        V args;
        const char* from;
        const char* to;
        bool closeDays;
        bool tableCache;
    } rows[] = {
        {"separate values",
         {"--from", "01/03/2026", "--to", "05/03/2026"},
         "01/03/2026",
         "05/03/2026",
         false,
         true},
        {"inline values, any order, close days",
         {"--close-days", "--to=050326", "--from=010326"},
         "010326",
         "050326",
         true,
         true},
        {"hidden table cache switch",
         {"--from", "a", "--to", "b", "--no-table-cache"},
         "a",
         "b",
         false,
         false},
    };
    for (const Row& r : rows) {
        std::string error;
        auto parsed = ParseExportArguments(r.args, error);
        ASSERT_TRUE(parsed) << r.rule << ": " << error;
        EXPECT_EQ(parsed->from, r.from) << r.rule;
        EXPECT_EQ(parsed->to, r.to) << r.rule;
        EXPECT_EQ(parsed->closeDays, r.closeDays) << r.rule;
        EXPECT_EQ(parsed->tableCache, r.tableCache) << r.rule;
        EXPECT_FALSE(parsed->help) << r.rule;
    }
}

TEST(ParseExportArguments, RejectsWrongUsage) {
    struct Row {
        const char* rule;
        V args;
        const char* error;
    } rows[] = {
        {"nothing", {}, "manca --from"},
        {"no last day", {"--from", "01/03/2026"}, "manca --to"},
        {"value missing at the end", {"--to", "01/03/2026", "--from"}, "manca la data dopo --from"},
        {"empty inline value", {"--from=", "--to", "x"}, "data vuota per --from"},
        {"repeated option", {"--from", "a", "--from", "b", "--to", "c"}, "opzione --from ripetuta"},
        {"repeated switch", {"--close-days", "--close-days"}, "opzione --close-days ripetuta"},
        {"unknown option",
         {"--from", "a", "--to", "b", "--fast"},
         "argomento non previsto \"--fast\""},
        {"switch with a value",
         {"--close-days=1", "--from", "a", "--to", "b"},
         "argomento non previsto \"--close-days=1\""},
        {"stray word", {"oggi"}, "argomento non previsto \"oggi\""},
    };
    for (const Row& r : rows) {
        std::string error;
        EXPECT_FALSE(ParseExportArguments(r.args, error)) << r.rule;
        EXPECT_EQ(error, r.error) << r.rule;
    }
    std::string error;
    auto help = ParseExportArguments({"--from", "x", "--help"}, error);
    ASSERT_TRUE(help);
    EXPECT_TRUE(help->help);
}

class ExportCommandTest : public ::testing::Test {
protected:
    ExportCommandTest() : files(dir.path()) { test::writeHotelFiles(dir); }

    int runCommand(const V& args) {
        BatchServices services{files, clock, test::recordingFactory(script)};
        std::vector<BatchCommand> commands{MakeExportCommand(services)};
        V all{"export"};
        all.insert(all.end(), args.begin(), args.end());
        return DispatchCommand(all, commands, out, err);
    }

    TempDir dir;
    LocalFileStore files;
    test::FixedClock clock;  // 5 March 2026
    StepScript script;
    std::ostringstream out, err;
};

TEST_F(ExportCommandTest, RunsTheExportAndPrintsEveryAppend) {
    EXPECT_EQ(runCommand({"--from", "050326", "--to", "06032026", "--close-days"}), kExitCompleted);
    EXPECT_EQ(script.calls,
              (V{"DoLogin", "ExportStays 05/03/2026 05/03/2026 A", "SendMovements A <05/03/2026 A>",
                 "ExportStays 05/03/2026 05/03/2026 P", "SendMovements P <05/03/2026 P>",
                 "CloseDay 05/03/2026", "ExportStays 06/03/2026 06/03/2026 A",
                 "SendMovements A <06/03/2026 A>", "ExportStays 06/03/2026 06/03/2026 P",
                 "SendMovements P <06/03/2026 P>", "CloseDay 06/03/2026", "DoLogout"}));
    const std::string head =
        ">>> inviato\n<05/03/2026 A>\n<<< risposta\nOK A\n>>> inviato\n<05/03/2026 P>\n";
    EXPECT_EQ(out.str().substr(0, head.size()), head);
    EXPECT_EQ(err.str(), "Istat Regione Sicilia: Esportazione completata!\n");
    ASSERT_EQ(script.optionsSeen.size(), 1u);
    EXPECT_TRUE(script.optionsSeen[0].tableCache);
}

TEST_F(ExportCommandTest, ExitStatusFollowsTheOutcome) {
    struct Row {
        const char* rule;
        std::function<void(StepScript&, const TempDir&)> setup;
        V args;
        int status;
        int stepsMade;
    } rows[] = {
        {"error mark",
         [](StepScript& s, const TempDir&) { s.marks = {"CloseDay 05/03/2026"}; },
         {"--from", "05/03/2026", "--to", "05/03/2026", "--close-days"},
         kExitWithErrors,
         1},
        {"interrupted",
         [](StepScript& s, const TempDir&) { s.failAt = "DoLogin"; },
         {"--from", "05/03/2026", "--to", "05/03/2026"},
         kExitFailed,
         1},
        {"refused before the login",
         [](StepScript&, const TempDir& d) { std::filesystem::remove(d / "Comuni.mdb"); },
         {"--from", "05/03/2026", "--to", "05/03/2026"},
         kExitFailed,
         0},
        {"settings file short",
         [](StepScript&, const TempDir& d) { d.write("QLBSetup.txt", "U\r\nP\r\n"); },
         {"--from", "05/03/2026", "--to", "05/03/2026"},
         kExitFailed,
         0},
    };
    for (const Row& r : rows) {
        TempDir d;
        test::writeHotelFiles(d);
        StepScript s;
        r.setup(s, d);
        LocalFileStore store(d.path());
        BatchServices services{store, clock, test::recordingFactory(s)};
        std::vector<BatchCommand> commands{MakeExportCommand(services)};
        V all{"export"};
        all.insert(all.end(), r.args.begin(), r.args.end());
        std::ostringstream o, e;
        EXPECT_EQ(DispatchCommand(all, commands, o, e), r.status) << r.rule << "\n" << e.str();
        EXPECT_EQ(s.made, r.stepsMade) << r.rule;
        EXPECT_FALSE(e.str().empty()) << r.rule;
    }
}

TEST_F(ExportCommandTest, TellsWhichDateIsInvalidAndPassesTheCacheSwitch) {
    EXPECT_EQ(runCommand({"--from", "05/03/2026", "--to", "31/04/2026"}), kExitFailed);
    EXPECT_EQ(err.str(), "velmora: data non valida per --to: \"31/04/2026\"\n");
    EXPECT_EQ(script.made, 0);

    err.str("");
    EXPECT_EQ(runCommand({"--from", "05/03/2026", "--to", "05/03/2026", "--no-table-cache"}),
              kExitCompleted);
    ASSERT_EQ(script.optionsSeen.size(), 1u);
    EXPECT_FALSE(script.optionsSeen[0].tableCache);
}

// The built program, run with a scratch working directory.
struct ProgramResult {
    int status = -1;
    std::string out;
    std::string err;
};

ProgramResult runProgram(const std::string& program, const std::string& cwd,
                         const std::string& args) {
    TempDir capture;
    const std::string command = "cd '" + cwd + "' && '" + program + "' " + args + " >'" +
                                (capture / "out") + "' 2>'" + (capture / "err") + "'";
    int raw = std::system(command.c_str());
    ProgramResult r;
#ifdef _WIN32
    r.status = raw;
#else
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
    r.out = capture.read("out");
    r.err = capture.read("err");
    return r;
}

const std::string kProgram = std::string(VELMORA_BUILD_DIR) + "/velmora";

TEST(BatchCommand, AnExceptionEscapingACommandEndsItWithStatus2AndAMessage) {
    struct Args {
        bool help = false;
    };
    BatchCommand c = MakeBatchCommand<Args>(
        "prova", "velmora prova\n", 0,
        [](const std::vector<std::string>&, std::string&) { return std::optional<Args>(Args{}); },
        [](const Args&, std::ostream&, std::ostream&) -> int {
            throw std::runtime_error("disco pieno");
        });
    std::ostringstream out, err;
    EXPECT_EQ(c.run({}, out, err), kExitFailed);
    EXPECT_EQ(err.str(), "velmora: errore imprevisto: disco pieno\n");
    EXPECT_EQ(out.str(), "");
}

TEST(VelmoraProgram, UsageHelpAndMissingSettings) {
    TempDir cwd;
    // A hotel folder below the working directory with only its settings file.
    std::filesystem::create_directory(cwd / "albergo");
    cwd.write("albergo/QLBSetup.txt",
              "u\r\np\r\nhttp://127.0.0.1:9/a\r\nhttp://127.0.0.1:9/b\r\nhttp://127.0.0.1:9/c\r\n"
              "http://127.0.0.1:9/d\r\nhttp://127.0.0.1:9/e\r\n");
    struct Row {
        const char* rule;
        const char* args;
        int status;
        const char* outStart;
        const char* errContains;
    } rows[] = {
        {"help", "--help", 0, "Uso:\nvelmora\n", ""},
        {"export help", "export --help", 0, "Uso:\nvelmora export --from", ""},
        {"unknown command", "esporta", 64, "", "comando sconosciuto \"esporta\""},
        {"export without dates", "export", 64, "", "velmora export: manca --from"},
        {"missing settings", "export --from 05/03/2026 --to 05/03/2026", 2, "",
         "Parametri insufficienti: Nome utente e password non impostati! (QLBSetup.txt)"},
        {"version", "--version", 0, "velmora " VELMORA_VERSION "\n", ""},
        {"the command runs in the folder given",
         "--cartella albergo export --from 050326 --to 050326", 2, "",
         "Il file QLBDataI.txt con la data iniziale dei soggiorni non esiste"},
        {"folder given inline", "--cartella=albergo check --from 050326 --to 050326", 2, "",
         "QLBDataI.txt con la data iniziale"},
        {"folder that does not exist", "--cartella assente export --from 050326 --to 050326", 2, "",
         "velmora: la cartella non esiste: \"assente\""},
        {"folder missing", "--cartella", 64, "", "manca la cartella dopo --cartella"},
        {"last folder takes no command", "--ultima-cartella export", 64, "", "non vuole altri"},
    };
    for (const Row& r : rows) {
        ProgramResult res = runProgram(kProgram, cwd.path(), r.args);
        EXPECT_EQ(res.status, r.status) << r.rule << "\n" << res.err;
        EXPECT_EQ(res.out.rfind(r.outStart, 0), 0u) << r.rule << "\n" << res.out;
        EXPECT_NE(res.err.find(r.errContains), std::string::npos) << r.rule << "\n" << res.err;
        if (r.status == 64) {
            EXPECT_NE(res.err.find("Uso:"), std::string::npos) << r.rule;
        }
    }
}

TEST(VelmoraProgram, SettingsBesideTheProgramAreNotRead) {
    TempDir programDir, cwd;
    namespace fs = std::filesystem;
    fs::copy_file(kProgram, programDir / "velmora");
    test::writeHotelFiles(programDir);
    ProgramResult res =
        runProgram(programDir / "velmora", cwd.path(), "export --from 05/03/2026 --to 05/03/2026");
    EXPECT_EQ(res.status, 2);
    EXPECT_NE(res.err.find("(QLBSetup.txt)"), std::string::npos) << res.err;
    EXPECT_TRUE(res.out.empty()) << res.out;
}

}  // namespace
}  // namespace velmora
