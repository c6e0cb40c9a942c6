// The export run behind "E&sporta" and batch mode: the checks before the
// login, then login, for each day of the range the arrivals and departures
// documents with their submission and optionally the day closing, then logout
// and the completion message. A RunError stops the run cleanly.
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/ExportSteps.h"
#include "check/PreRunChecks.h"
#include "journal/ExportJournal.h"
#include "journal/JournalDays.h"
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

// What a run does with the days of its range that the journal holds as sent
// and accepted.
enum class AlreadySent {
    Ask,        // the window: a Yes/No question; Yes sends them again
    Refuse,     // batch mode without --reinvia: the run does not start
    SendAgain,  // --reinvia: every document of every day is sent
};

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

    // The run records itself in the send journal that open gives (called
    // after the checks, before the login; a RunError from it keeps the run
    // from starting). Days the journal holds as sent and accepted are handled
    // as sent says; of the other days, documents the journal holds as
    // accepted are not sent again unless sent is SendAgain.
    void useJournal(std::function<std::unique_ptr<ExportJournal>()> open, AlreadySent sent) {
        m_openJournal = std::move(open);
        m_alreadySent = sent;
    }
    // What to send of each day, instead of what the journal says (the
    // catch-up's plan).
    void planDays(std::function<DayPlan(const std::string& day)> plan) { m_plan = std::move(plan); }
    // The days a run with AlreadySent::Refuse did not start for.
    const std::vector<std::string>& refusedAsSent() const { return m_refusedAsSent; }
    // A stop request the run obeys: no further exchange starts once it is set,
    // the one under way is abandoned, the logout still happens, and the run
    // ends Interrupted saying which exchange was under way. The login is not
    // abandoned: the session it may open is closed with a logout once its
    // answer comes.
    void setStopRequest(StopRequest* stop) { m_stop = stop; }

private:
    // What a run has done so far: the steps, the session, the marks and the
    // reason it stopped.
    struct Progress;

    // The problem that keeps the run from starting, or "" when there is none.
    std::string checkBeforeLogin(const RunRequest& request, RunView& view);
    void refuse(const std::string& problem);
    // The checks before the login, the journal and the days already sent;
    // false when the run does not start (the operator has been told).
    bool mayStart(const RunRequest& request, RunView& view);
    // What to send of day.
    DayPlan planOf(const RunRequest& request, const std::string& day) const;
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
    // journal's end, the monitor and the message. The logout is sent before
    // anything else is written.
    RunOutcome interrupted(Progress& progress, RunView& view);
    // Every day done: the journal's end and the completion message.
    RunOutcome finish(Progress& progress, RunView& view);

    RunState& m_state;
    FileStore& m_files;
    Dialogs& m_dialogs;
    Monitor& m_monitor;
    ExportStepsFactory m_factory;
    StepsOptions m_options;
    std::function<std::unique_ptr<ExportJournal>()> m_openJournal;
    AlreadySent m_alreadySent = AlreadySent::Ask;
    std::function<DayPlan(const std::string&)> m_plan;
    // The journal of the run under way, and the days sent again on purpose.
    std::unique_ptr<ExportJournal> m_journal;
    std::set<std::string> m_sendAgain;
    std::vector<std::string> m_refusedAsSent;
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
