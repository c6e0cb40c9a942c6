// The export run behind "E&sporta" and batch mode: the checks before the
// login, then login, for each day of the range the arrivals and departures
// documents with their submission and optionally the day closing, then logout
// and the completion message. A RunError stops the run cleanly.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/ExportSteps.h"
#include "core/RunState.h"
#include "platform/Dialogs.h"
#include "platform/FileStore.h"
#include "platform/Monitor.h"
#include "platform/StopRequest.h"

namespace velmora {

inline constexpr const char* kRunTitle = "Istat Regione Sicilia";
inline constexpr const char* kCompletedPrompt = "Esportazione completata!";
inline constexpr const char* kErrorsLine = "Sono presenti errori: controllare il monitor.";
inline constexpr const char* kInterruptedLine = "Esportazione interrotta!";
inline constexpr const char* kNotStartedLine = "Esportazione non avviata!";
inline constexpr const char* kOperatorStopLine = "Esportazione interrotta dall'operatore.";
inline constexpr const char* kEverythingSentLine =
    "Tutto è stato inviato e la sessione è chiusa; non è stato possibile scrivere solo il "
    "file di registro della disconnessione (Logout-).";

enum class RunOutcome {
    Completed,            // every day done, no answer marked an error
    CompletedWithErrors,  // every day done, some answer marked an error
    Refused,              // a check before the login failed; nothing sent or written
    Interrupted,          // a failure stopped the run
};

// What the run tells the window (or batch mode) while it goes; no-ops by default.
class RunView {
public:
    virtual ~RunView() = default;
    // A date field (0 first day, 1 last day) holds no valid date; called before
    // the refusal message.
    virtual void invalidDateField(int /*index*/) {}
    // The checks passed and the login is about to start.
    virtual void runStarted() {}
    // A day is about to be processed.
    virtual void dayStarted(const std::string& /*day*/) {}
    // The run is over; called before its final message box.
    virtual void runEnded() {}
};

struct RunRequest {
    std::string firstDay;  // as the first date field shows it
    std::string lastDay;   // as the second date field shows it
    bool closeDays = false;
};

// The first of the five service addresses of the settings that libcurl would
// not take, named by its line of the settings file, or "" when all are usable.
std::string SettingsAddressProblem(const RunState& state);

// The checks that come before any run over the databases (the export and the
// check before sending): both date fields, the five service addresses, "QLBDataI.txt" with a valid
// first line, the three databases, and with makeLogDirectory the directory "Velmora", made when
// missing. Returns the problem for the operator, or "" when there is none; an invalid date field is
// told to the view first.
std::string CheckBeforeRun(const RunRequest& request, RunState& state, FileStore& files,
                           RunView& view, bool makeLogDirectory = true);

class ExportRun {
public:
    ExportRun(RunState& state, FileStore& files, Dialogs& dialogs, Monitor& monitor,
              ExportStepsFactory factory, StepsOptions options = {});

    // Runs the export over the range; never throws.
    RunOutcome run(const RunRequest& request, RunView& view);

    // Before the login, the days of the range that sentDays names (already
    // sent and accepted) are put to the operator as a Yes/No question; No
    // ends the run without a login (RunOutcome::Refused).
    void askBeforeResending(
        std::function<std::vector<std::string>(const RunRequest&)> sentDays) {
        m_sentDays = std::move(sentDays);
    }
    // A stop request the run obeys: no further exchange starts once it is set,
    // the one under way is abandoned, the logout still happens, and the run
    // ends Interrupted saying which exchange was under way.
    void setStopRequest(StopRequest* stop) { m_stop = stop; }

private:
    // The problem that keeps the run from starting, or "" when there is none.
    std::string checkBeforeLogin(const RunRequest& request, RunView& view);
    void refuse(const std::string& problem);

    RunState& m_state;
    FileStore& m_files;
    Dialogs& m_dialogs;
    Monitor& m_monitor;
    ExportStepsFactory m_factory;
    StepsOptions m_options;
    std::function<std::vector<std::string>(const RunRequest&)> m_sentDays;
    StopRequest* m_stop = nullptr;
};

// "I giorni 02/03/2026 e 03/03/2026 risultano già inviati e accettati."
std::string AlreadySentText(const std::vector<std::string>& days);

}  // namespace velmora
