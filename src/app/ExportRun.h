// The export run behind "E&sporta" and batch mode: the checks before the
// login, then login, for each day of the range the arrivals and departures
// documents with their submission and optionally the day closing, then logout
// and the completion message. A RunError stops the run cleanly.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/ExportSteps.h"
#include "check/PreRunChecks.h"
#include "platform/RunView.h"
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
    // What a run has done so far: the steps, the session, the marks and the
    // reason it stopped.
    struct Progress;

    // The problem that keeps the run from starting, or "" when there is none.
    std::string checkBeforeLogin(const RunRequest& request, RunView& view);
    void refuse(const std::string& problem);
    // The checks before the login and the question on days already sent; false
    // when the run does not start (the operator has been told).
    bool mayStart(const RunRequest& request, RunView& view);
    // One exchange with the service, named by what for a stop and by day and
    // step for the view; throws OperatorStop first when a stop was asked.
    // Returns the step's error mark.
    bool exchange(Progress& progress, std::string what, const std::string& day, const char* step,
                  const std::function<bool()>& send);
    // Makes the steps, opens the run in the journal and logs in.
    void logIn(Progress& progress, const RunRequest& request);
    // The arrivals and departures of one day, and its closing when asked.
    void exportDay(Progress& progress, const RunRequest& request, const std::string& day,
                   RunView& view);
    // The logout at the end of the days; its log file not written is kept
    // apart, since everything was sent.
    void logOut(Progress& progress);
    // The run stopped for progress.reason: logout when still logged in, the
    // journal's end, the monitor and the message.
    RunOutcome interrupted(Progress& progress, RunView& view);
    // Every day done: the journal's end and the completion message.
    RunOutcome finish(Progress& progress, RunView& view);

    RunState& m_state;
    FileStore& m_files;
    Dialogs& m_dialogs;
    Monitor& m_monitor;
    ExportStepsFactory m_factory;
    StepsOptions m_options;
    std::function<std::vector<std::string>(const RunRequest&)> m_sentDays;
    StopRequest* m_stop = nullptr;
};

// "I giorni 02/03/2026 e 03/03/2026 risultano già inviati e accettati.", or
// for one day "Il giorno 02/03/2026 risulta già inviato e accettato.".
std::string AlreadySentText(const std::vector<std::string>& days);
// The text and "Inviarli di nuovo?" (the window's question), or "Per
// inviarli di nuovo aggiungere --reinvia." (batch mode's refusal), in the
// singular for one day.
std::string AlreadySentQuestion(const std::vector<std::string>& days);
std::string AlreadySentRefusal(const std::vector<std::string>& days);

}  // namespace velmora
