// The five service addresses of the settings are checked with libcurl's URL
// API before the login: each row spoils one line and names what the operator
// is told; a usable address passes exactly as written.
#include <gtest/gtest.h>

#include "RecordingSteps.h"
#include "app/DateEntry.h"
#include "app/ExportRun.h"
#include "app/Settings.h"
#include "support/Fakes.h"

namespace velmora {
namespace {

struct AddressRow {
    const char* rule;
    int line;  // 3..7 of QLBSetup.txt
    const char* address;
    const char* problem;  // "" when usable
};

class SettingsAddress : public ::testing::TestWithParam<AddressRow> {};

TEST_P(SettingsAddress, NamesTheLineAndWhatIsWrong) {
    const AddressRow& r = GetParam();
    RunState state;
    std::string* lines[] = {&state.LoginUrl, &state.LogoutUrl, &state.ArrivalsUrl,
                            &state.DeparturesUrl, &state.CloseDayUrl};
    for (std::string* l : lines) *l = "https://servizio.example.it:8443/istat/x";
    *lines[r.line - 3] = r.address;
    const std::string problem = SettingsAddressProblem(state);
    if (*r.problem == '\0') {
        EXPECT_EQ(problem, "");
    } else {
        const char* names[] = {"accesso", "disconnessione", "degli arrivi", "delle partenze",
                               "chiusura della giornata"};
        EXPECT_EQ(problem.rfind("QLBSetup.txt, riga " + std::to_string(r.line) + " (indirizzo ", 0),
                  0u);
        EXPECT_NE(problem.find(names[r.line - 3]), std::string::npos) << problem;
        EXPECT_NE(problem.find(std::string("): l'indirizzo ") + r.problem), std::string::npos)
            << problem;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SettingsAddress,
    ::testing::Values(
        AddressRow{"blank_after_the_departures", 6, "http://h/istat/partenze ",
                   "finisce con uno spazio"},
        AddressRow{"blank_before_the_login", 3, " http://h/istat/login", "comincia con uno spazio"},
        AddressRow{"empty_logout", 4, "", "è vuoto"},
        AddressRow{"no_scheme", 5, "h/istat/arrivi", "non comincia con http:// o https://"},
        AddressRow{"other_scheme", 7, "ftp://h/istat", "non comincia con http:// o https://"},
        AddressRow{"no_host", 5, "http:///istat/arrivi", "non indica il server"},
        AddressRow{"control_character", 7,
                   "http://h/ist\x01"
                   "at",
                   "contiene un carattere di "
                   "controllo"},
        AddressRow{"blank_inside", 3, "http://h/is tat", "contiene uno spazio"},
        AddressRow{"bad_port", 4, "http://h:99999/istat", "non è un indirizzo valido"},
        AddressRow{"capital_scheme_and_port_are_fine", 3, "HTTP://127.0.0.1:9/istat/login", ""},
        AddressRow{"query_is_fine", 6, "https://h/istat/partenze?x=1", ""}),
    [](const auto& info) { return std::string(info.param.rule); });

TEST(SettingsAddressRun, ABadAddressRefusesTheExportBeforeTheLogin) {
    test::TempDir dir;
    test::writeHotelFiles(dir);
    dir.write("QLBSetup.txt",
              "HOTEL01\r\nsegreta\r\nhttp://127.0.0.1:9/istat/login\r\n"
              "\r\nhttp://127.0.0.1:9/istat/arrivi\r\n"
              "http://127.0.0.1:9/istat/partenze\r\nhttp://127.0.0.1:9/istat/chiusura\r\n");
    LocalFileStore files(dir.path());
    RunState state;
    FillDaysInMonth(state);
    ASSERT_TRUE(LoadSettings(files, state).loaded());
    test::RecordingDialogs dialogs;
    test::RecordingMonitor monitor;
    test::StepScript script;
    ExportRun run(state, files, dialogs, monitor, test::recordingFactory(script));
    RunView view;
    EXPECT_EQ(run.run({"02/03/2026", "03/03/2026", true}, view), RunOutcome::Refused);
    EXPECT_TRUE(script.calls.empty());
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].prompt,
              "Esportazione non avviata!\r\nQLBSetup.txt, riga 4 (indirizzo di disconnessione): "
              "l'indirizzo è vuoto. Correggerlo prima di esportare.");
}

}  // namespace
}  // namespace velmora
