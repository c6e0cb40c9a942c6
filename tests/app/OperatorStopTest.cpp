// A stop requested by the operator during an export (SIGINT or SIGTERM in
// batch mode): nothing more is sent, the logout still happens, and the message
// says which exchange was under way. Also the escaping of control characters
// in what batch mode prints to the terminal.
#include <gtest/gtest.h>

#include <sstream>

#include "RecordingSteps.h"
#include "app/BatchMode.h"
#include "app/DateEntry.h"
#include "app/ExportRun.h"
#include "app/Settings.h"
#include "core/TerminalText.h"
#include "support/Fakes.h"

namespace velmora {
namespace {

using V = std::vector<std::string>;

struct StopRow {
    const char* rule;
    std::string stopAt;  // the recorded call during which the stop comes
    V calls;
    std::string said;  // the line after "Esportazione interrotta dall'operatore."
};

class OperatorStop : public ::testing::TestWithParam<StopRow> {};

TEST_P(OperatorStop, SendsNothingMoreLogsOutAndSaysWhatWasUnderWay) {
    const StopRow& r = GetParam();
    test::TempDir dir;
    test::writeHotelFiles(dir);
    LocalFileStore files(dir.path());
    RunState state;
    FillDaysInMonth(state);
    ASSERT_TRUE(LoadSettings(files, state).loaded());
    test::RecordingDialogs dialogs;
    test::RecordingMonitor monitor;
    test::StepScript script;
    StopRequest stop;
    script.onCall = [&](const std::string& call) {
        if (call == r.stopAt) stop.request();
    };
    ExportRun run(state, files, dialogs, monitor, test::recordingFactory(script));
    run.setStopRequest(&stop);
    RunView view;
    EXPECT_EQ(run.run({"02/03/2026", "03/03/2026", true}, view), RunOutcome::Interrupted);
    EXPECT_EQ(script.calls, r.calls);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].prompt,
              std::string("Esportazione interrotta dall'operatore.\r\n") + r.said);
    EXPECT_NE(monitor.boxes[kAnswersBox].find(r.said), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, OperatorStop,
    ::testing::Values(
        StopRow{"while_the_departures_document_is_built",
                "ExportStays 02/03/2026 02/03/2026 P",
                {"DoLogin", "ExportStays 02/03/2026 02/03/2026 A", "SendMovements A <02/03/2026 A>",
                 "ExportStays 02/03/2026 02/03/2026 P", "DoLogout"},
                "Nessuno scambio in corso; l'ultimo, il documento degli arrivi del 02/03/2026, "
                "ha avuto risposta. Nient'altro è stato inviato."},
        StopRow{"during_a_day_closing_whose_answer_came",
                "CloseDay 02/03/2026",
                {"DoLogin", "ExportStays 02/03/2026 02/03/2026 A", "SendMovements A <02/03/2026 A>",
                 "ExportStays 02/03/2026 02/03/2026 P", "SendMovements P <02/03/2026 P>",
                 "CloseDay 02/03/2026", "DoLogout"},
                "Nessuno scambio in corso; l'ultimo, la chiusura della giornata 02/03/2026, ha "
                "avuto risposta. Nient'altro è stato inviato."}),
    [](const auto& info) { return std::string(info.param.rule); });

TEST(OperatorStopInFlight, AnAbandonedPostIsNamedAsUnanswered) {
    test::TempDir dir;
    test::writeHotelFiles(dir);
    LocalFileStore files(dir.path());
    RunState state;
    FillDaysInMonth(state);
    ASSERT_TRUE(LoadSettings(files, state).loaded());
    test::RecordingDialogs dialogs;
    test::RecordingMonitor monitor;
    test::StepScript script;
    StopRequest stop;
    // The transport gives up the post under way once the stop comes.
    script.failAt = "SendMovements P <02/03/2026 P>";
    script.onCall = [&](const std::string& call) {
        if (call == script.failAt) stop.request();
    };
    ExportRun run(state, files, dialogs, monitor, test::recordingFactory(script));
    run.setStopRequest(&stop);
    RunView view;
    EXPECT_EQ(run.run({"02/03/2026", "02/03/2026", true}, view), RunOutcome::Interrupted);
    EXPECT_EQ(script.calls.back(), "DoLogout");
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].prompt.rfind(
                  "Esportazione interrotta dall'operatore.\r\nIn corso: il documento delle "
                  "partenze del 02/03/2026, risposta NON ricevuta",
                  0),
              0u)
        << dialogs.boxes[0].prompt;
}

struct EscapeRow {
    const char* rule;
    std::string text;
    std::string shown;
};

class TerminalText : public ::testing::TestWithParam<EscapeRow> {};

TEST_P(TerminalText, ControlCharactersAreShownEscaped) {
    EXPECT_EQ(terminalSafe(GetParam().text), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(Rows, TerminalText,
                         ::testing::Values(EscapeRow{"esc_sequence_in_a_name",
                                                     "ROSSI\x1b]0;x\x07"
                                                     "A",
                                                     "ROSSI\\x1B]0;x\\x07A"},
                                           EscapeRow{"cr_lf_tab_and_text_kept", "a\r\n\tè€😀",
                                                     "a\r\n\tè€😀"},
                                           EscapeRow{"lone_cr_del_and_nul",
                                                     std::string("a\rb\x7f"
                                                                 "c\0d",
                                                                 7),
                                                     "a\\x0Db\\x7Fc\\x00d"},
                                           EscapeRow{"c1_control",
                                                     "12\xc2\x85"
                                                     "A\xc2\xa0",
                                                     "12\\u0085A\xc2\xa0"}),
                         [](const auto& info) { return std::string(info.param.rule); });

TEST(TerminalText, BatchModePrintsMonitorAndMessagesEscaped) {
    std::ostringstream out, err;
    StreamMonitor monitor(out);
    StreamDialogs dialogs(err);
    monitor.append(kSentBox, "<Nome>\x1b[2J</Nome>");
    dialogs.MsgBox("scheda \x1b[31mROSSI\r\nfine", kStyleExclamation, "Titolo");
    EXPECT_EQ(out.str(), std::string(kSentMarker) + "\n<Nome>\\x1B[2J</Nome>\n");
    EXPECT_EQ(err.str(), "Titolo: scheda \\x1B[31mROSSI\nfine\n");
}

}  // namespace
}  // namespace velmora
