// Loading "QLBSetup.txt": line ends, byte order mark, extra and missing lines,
// and the working directory as the place it is looked for.
#include <gtest/gtest.h>

#include "app/Settings.h"
#include "platform/FileStore.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

using test::TempDir;
using test::WorkingDirectory;

TEST(LoadSettings, ReadsTheFirstSevenLinesExactly) {
    struct Row {
        const char* rule;
        std::string content;
        std::string userId;
        std::string password;
        std::string closeDayUrl;
        std::size_t linesFound;
    } rows[] = {
        {"seven lines, CR LF", "U1\r\nP1\r\nL\r\nO\r\nA\r\nD\r\nC\r\n", "U1", "P1", "C", 7},
        {"seven lines, LF", "U1\nP1\nL\nO\nA\nD\nC\n", "U1", "P1", "C", 7},
        {"last line without line end", "U1\r\nP1\r\nL\r\nO\r\nA\r\nD\r\nC", "U1", "P1", "C", 7},
        {"byte order mark dropped", "\xEF\xBB\xBFU1\r\nP1\r\nL\r\nO\r\nA\r\nD\r\nC\r\n", "U1", "P1",
         "C", 7},
        {"ten lines: only the first seven used", "U1\nP1\nL\nO\nA\nD\nC\nX\nY\nZ\n", "U1", "P1",
         "C", 10},
        {"empty second line gives an empty password", "U1\r\n\r\nL\r\nO\r\nA\r\nD\r\nC\r\n", "U1",
         "", "C", 7},
        {"blanks and a lone CR are kept", " U1 \r\nP\r1\r\nL\r\nO\r\nA\r\nD\r\nC \r\n", " U1 ",
         "P\r1", "C ", 7},
    };
    for (const Row& r : rows) {
        TempDir dir;
        dir.write("QLBSetup.txt", r.content);
        LocalFileStore files(dir.path());
        RunState state;
        SettingsOutcome outcome = LoadSettings(files, state);
        ASSERT_TRUE(outcome.loaded()) << r.rule;
        EXPECT_EQ(outcome.linesFound, r.linesFound) << r.rule;
        EXPECT_EQ(state.UserId, r.userId) << r.rule;
        EXPECT_EQ(state.Password, r.password) << r.rule;
        EXPECT_EQ(state.LoginUrl, "L") << r.rule;
        EXPECT_EQ(state.LogoutUrl, "O") << r.rule;
        EXPECT_EQ(state.ArrivalsUrl, "A") << r.rule;
        EXPECT_EQ(state.DeparturesUrl, "D") << r.rule;
        EXPECT_EQ(state.CloseDayUrl, r.closeDayUrl) << r.rule;
    }
}

TEST(LoadSettings, RefusesMissingAndShortFilesWithoutTouchingTheState) {
    struct Row {
        const char* rule;
        bool present;
        std::string content;
        SettingsStatus status;
        std::size_t linesFound;
        std::string prompt;
    } rows[] = {
        {"missing file", false, "", SettingsStatus::Missing, 0,
         "Nome utente e password non impostati! (QLBSetup.txt)"},
        {"six lines", true, "U\r\nP\r\nL\r\nO\r\nA\r\nD\r\n", SettingsStatus::Short, 6,
         "Il file QLBSetup.txt contiene solo 6 righe: ne servono 7 (nome utente, password e i "
         "cinque indirizzi del servizio)."},
        {"one line", true, "U", SettingsStatus::Short, 1,
         "Il file QLBSetup.txt contiene una sola riga: ne servono 7 (nome utente, password e i "
         "cinque indirizzi del servizio)."},
        {"empty file", true, "", SettingsStatus::Short, 0,
         "Il file QLBSetup.txt è vuoto (0 righe): ne servono 7 (nome utente, password e i "
         "cinque indirizzi del servizio)."},
    };
    for (const Row& r : rows) {
        TempDir dir;
        if (r.present) dir.write("QLBSetup.txt", r.content);
        LocalFileStore files(dir.path());
        RunState state;
        state.UserId = "before";
        SettingsOutcome outcome = LoadSettings(files, state);
        EXPECT_FALSE(outcome.loaded()) << r.rule;
        EXPECT_EQ(outcome.status, r.status) << r.rule;
        EXPECT_EQ(outcome.linesFound, r.linesFound) << r.rule;
        EXPECT_EQ(outcome.prompt, r.prompt) << r.rule;
        EXPECT_EQ(state.UserId, "before") << r.rule;
    }
}

TEST(LoadSettings, LooksInTheWorkingDirectory) {
    TempDir withFile, without;
    withFile.write("QLBSetup.txt", "U\nP\nL\nO\nA\nD\nC\n");
    LocalFileStore files;  // relative to the working directory
    {
        WorkingDirectory cwd(withFile.path());
        RunState state;
        EXPECT_TRUE(LoadSettings(files, state).loaded());
        EXPECT_EQ(state.UserId, "U");
    }
    {
        WorkingDirectory cwd(without.path());
        RunState state;
        EXPECT_EQ(LoadSettings(files, state).status, SettingsStatus::Missing);
    }
}

}  // namespace
}  // namespace velmora
