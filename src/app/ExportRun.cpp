// The export run: checks before the login, the loop over the days of the
// range, and the error policy. A failure is caught here once: the run stops,
// the logout still follows a successful login, the reason goes to the answers
// monitor and into a message box, and the program goes on.
#include "ExportRun.h"

#include <exception>
#include <memory>
#include <vector>

#include "app/DateEntry.h"
#include "app/Settings.h"
#include "core/RunError.h"
#include "core/Text.h"
#include "platform/StopRequest.h"

namespace velmora {

namespace {

// Thrown inside the run when the operator asked it to stop.
struct OperatorStop {};

// The reason of a run stopped by the operator: which exchange was under way
// and whether its answer came; cause is the failure the stop produced, if any.
std::string stopReport(const std::string& inFlight, const std::string& lastAnswered,
                       const std::string& cause) {
    std::string text = kOperatorStopLine;
    if (!inFlight.empty()) {
        text += std::string(kCrLf) + "In corso: " + inFlight +
                ", risposta NON ricevuta: il servizio potrebbe aver ricevuto la richiesta; "
                "controllare al servizio prima di ripeterla.";
    } else if (!lastAnswered.empty()) {
        text += std::string(kCrLf) + "Nessuno scambio in corso; l'ultimo, " + lastAnswered +
                ", ha avuto risposta. Nient'altro è stato inviato.";
    } else {
        text += std::string(kCrLf) + "Nessuno scambio con il servizio era iniziato.";
    }
    if (!cause.empty()) text += std::string(kCrLf) + cause;
    return text;
}

// Tells the view an exchange waits for the service, and when it is over.
class Waiting {
public:
    Waiting(RunView& view, const std::string& day, const std::string& what) : m_view(view) {
        m_view.exchangeStarted(day, what);
    }
    ~Waiting() { m_view.exchangeEnded(); }
    Waiting(const Waiting&) = delete;
    Waiting& operator=(const Waiting&) = delete;

private:
    RunView& m_view;
};

}  // namespace

ExportRun::ExportRun(RunState& state, FileStore& files, Dialogs& dialogs, Monitor& monitor,
                     ExportStepsFactory factory, StepsOptions options)
    : m_state(state),
      m_files(files),
      m_dialogs(dialogs),
      m_monitor(monitor),
      m_factory(std::move(factory)),
      m_options(options) {}

void ExportRun::refuse(const std::string& problem) {
    m_dialogs.MsgBox(std::string(kNotStartedLine) + std::string(kCrLf) + problem, kStyleExclamation,
                     kRunTitle);
}

std::string ExportRun::checkBeforeLogin(const RunRequest& request, RunView& view) {
    return CheckBeforeRun(request, m_state, m_files, view);
}

struct ExportRun::Progress {
    explicit Progress(RunView& runView) : view(runView) {}
    RunView& view;
    std::unique_ptr<ExportSteps> steps;
    RunRecorder* recorder = nullptr;
    // A logout is owed when the run stops.
    bool loggedIn = false;
    bool errorMarks = false;
    bool stopped = false;
    std::string reason;
    std::string logoutLogProblem;
    // For the message of a stop: the exchange under way, and the last one
    // whose answer came.
    std::string inFlight;
    std::string lastAnswered;
};

bool ExportRun::mayStart(const RunRequest& request, RunView& view) {
    m_journal.reset();
    m_sendAgain.clear();
    m_refusedAsSent.clear();
    try {
        std::string problem = checkBeforeLogin(request, view);
        if (!problem.empty()) {
            refuse(problem);
            return false;
        }
    } catch (const std::exception& e) {
        refuse(std::string("Errore imprevisto durante i controlli: ") + e.what());
        return false;
    }
    if (!m_openJournal) return true;
    std::vector<std::string> sent;
    try {
        m_journal = m_openJournal();
        if (!m_journal) return true;
        if (!m_journal->notice().empty()) m_monitor.append(kAnswersBox, m_journal->notice());
        if (m_alreadySent != AlreadySent::SendAgain && !m_plan)
            sent = AcceptedDays(m_journal->journal(), request.firstDay, request.lastDay);
    } catch (const RunError& e) {
        m_journal.reset();
        refuse(e.fullText());
        return false;
    }
    if (sent.empty()) return true;
    if (m_alreadySent == AlreadySent::Refuse ||
        !m_dialogs.Question(AlreadySentQuestion(sent), kRunTitle)) {
        m_refusedAsSent = sent;
        m_journal.reset();
        return false;
    }
    m_sendAgain.insert(sent.begin(), sent.end());
    return true;
}

DayPlan ExportRun::planOf(const RunRequest& request, const std::string& day) const {
    if (m_plan) return m_plan(day);
    DayPlan plan;
    plan.closing = request.closeDays;
    if (!m_journal || m_alreadySent == AlreadySent::SendAgain || m_sendAgain.count(day))
        return plan;
    return PlanOmittingAccepted(JournalDayOf(m_journal->journal(), day), request.closeDays);
}

bool ExportRun::exchange(Progress& progress, std::string what, const std::string& day,
                         const char* step, const std::function<bool()>& send) {
    if (m_stop && m_stop->requested()) throw OperatorStop{};
    progress.inFlight = std::move(what);
    const Waiting waiting(progress.view, day, step);
    const bool marked = send();
    progress.lastAnswered = std::move(progress.inFlight);
    progress.inFlight.clear();
    return marked;
}

void ExportRun::logIn(Progress& progress, const RunRequest& request) {
    StepsOptions options = m_options;
    if (m_journal) {
        progress.recorder = &m_journal->recorder();
        options.recorder = progress.recorder;
        progress.recorder->runStarted(m_state.UserId, request.firstDay, request.lastDay,
                                      request.closeDays);
    }
    progress.steps = m_factory(m_state, m_monitor, options);
    if (!progress.steps) throw RunError("Esportazione non disponibile");
    // A login once sent is waited for, so that a session it opens can be
    // closed: after a stop the logout follows at once.
    if (m_stop && m_stop->requested()) throw OperatorStop{};
    if (m_stop) m_stop->letExchangesFinish(true);
    progress.inFlight = "l'accesso al servizio";
    try {
        const Waiting waiting(progress.view, {}, "accesso");
        progress.steps->DoLogin();
    } catch (...) {
        if (m_stop) m_stop->letExchangesFinish(false);
        throw;
    }
    if (m_stop) m_stop->letExchangesFinish(false);
    progress.lastAnswered = std::move(progress.inFlight);
    progress.inFlight.clear();
    progress.loggedIn = true;
    if (m_stop && m_stop->requested()) throw OperatorStop{};
}

void ExportRun::exportDay(Progress& progress, const RunRequest& request, const std::string& day,
                          RunView& view) {
    if (m_stop && m_stop->requested()) throw OperatorStop{};
    view.dayStarted(day);
    const DayPlan plan = planOf(request, day);
    if (!plan.note.empty()) m_monitor.append(kAnswersBox, plan.note);
    for (const char* kind : {"A", "P"}) {
        if (!(kind == std::string("A") ? plan.arrivals : plan.departures)) continue;
        std::string document = progress.steps->ExportStays(day, day, kind);
        if (document.empty()) continue;
        const bool arrivals = kind == std::string("A");
        const std::string what = arrivals ? "il documento degli arrivi del " + day
                                          : "il documento delle partenze del " + day;
        progress.errorMarks |=
            exchange(progress, what, day, arrivals ? "arrivi" : "partenze",
                     [&] { return progress.steps->SendMovements(document, kind, day); });
    }
    if (plan.closing)
        progress.errorMarks |= exchange(progress, "la chiusura della giornata " + day, day,
                                        "chiusura", [&] { return progress.steps->CloseDay(day); });
}

void ExportRun::logOut(Progress& progress) {
    // From here on a failure never asks for a second logout.
    progress.loggedIn = false;
    if (m_stop) m_stop->letExchangesFinish();
    try {
        const Waiting waiting(progress.view, {}, "disconnessione");
        progress.errorMarks |= progress.steps->DoLogout();
    } catch (const RunError& e) {
        // Everything was sent and the session is closed: only the log file
        // of the logout is missing.
        progress.logoutLogProblem = e.fullText();
    }
}

RunOutcome ExportRun::run(const RunRequest& request, RunView& view) {
    if (!mayStart(request, view)) return RunOutcome::Refused;

    view.runStarted();
    Progress progress{view};
    try {
        logIn(progress, request);
        // Days are counted by number, so the loop ends whatever the text of
        // the day after the last one looks like.
        const long long last = DaySerial(request.lastDay);
        long long serial = DaySerial(request.firstDay);
        std::string day = request.firstDay;
        while (serial <= last) {
            exportDay(progress, request, day, view);
            ++serial;
            day = DayTextOf(serial);
        }
        logOut(progress);
    } catch (const OperatorStop&) {
        progress.stopped = true;
    } catch (const RunError& e) {
        progress.reason = e.fullText();
    } catch (const std::exception& e) {
        progress.reason =
            RunError("Errore imprevisto: l'esportazione non può continuare.", e.what()).fullText();
    } catch (...) {
        progress.reason = "Errore imprevisto: l'esportazione non può continuare.";
    }
    if (m_stop && m_stop->requested() && (progress.stopped || !progress.reason.empty())) {
        progress.stopped = true;
        progress.reason = stopReport(progress.inFlight, progress.lastAnswered, progress.reason);
    }
    return progress.reason.empty() ? finish(progress, view) : interrupted(progress, view);
}

RunOutcome ExportRun::interrupted(Progress& progress, RunView& view) {
    std::string& reason = progress.reason;
    if (progress.loggedIn) {
        if (m_stop) m_stop->letExchangesFinish();
        try {
            const Waiting waiting(view, {}, "disconnessione");
            progress.steps->DoLogout();
        } catch (const RunError& e) {
            reason +=
                std::string(kCrLf) + "Errore anche durante la disconnessione: " + e.fullText();
        } catch (const std::exception& e) {
            reason += std::string(kCrLf) + "Errore anche durante la disconnessione: " + e.what();
        } catch (...) {
            reason += std::string(kCrLf) + "Errore anche durante la disconnessione.";
        }
    }
    if (progress.recorder) {
        const std::string unrecorded = progress.recorder->runEnded(kOutcomeInterrupted, reason);
        if (!unrecorded.empty()) reason += std::string(kCrLf) + unrecorded;
    }
    progress.steps.reset();
    m_journal.reset();
    try {
        m_monitor.append(kAnswersBox, reason);
    } catch (...) {
        // The message box below still tells the operator.
    }
    view.runEnded();
    m_dialogs.MsgBox(
        progress.stopped ? reason : std::string(kInterruptedLine) + std::string(kCrLf) + reason,
        kStyleExclamation, kRunTitle);
    return RunOutcome::Interrupted;
}

RunOutcome ExportRun::finish(Progress& progress, RunView& view) {
    bool errorMarks = progress.errorMarks;
    const std::string& logoutLogProblem = progress.logoutLogProblem;
    if (progress.recorder) {
        const std::string unrecorded = progress.recorder->runEnded(
            errorMarks || !logoutLogProblem.empty() ? kOutcomeWithErrors : kOutcomeCompleted, {});
        if (!unrecorded.empty()) {
            // Everything was sent and its files kept; what the journal lacks
            // is told to the operator.
            try {
                m_monitor.append(kAnswersBox, unrecorded);
            } catch (...) {
            }
            errorMarks = true;
        }
    }
    m_journal.reset();
    if (!logoutLogProblem.empty()) {
        const std::string text =
            std::string(kEverythingSentLine) + std::string(kCrLf) + logoutLogProblem;
        try {
            m_monitor.append(kAnswersBox, text);
        } catch (...) {
        }
        progress.steps.reset();
        view.runEnded();
        std::string prompt = std::string(kCompletedPrompt) + std::string(kCrLf) + text;
        if (errorMarks) prompt += std::string(kCrLf) + kErrorsLine;
        m_dialogs.MsgBox(prompt, kStyleExclamation, kRunTitle);
        return RunOutcome::CompletedWithErrors;
    }
    progress.steps.reset();
    view.runEnded();
    if (errorMarks) {
        m_dialogs.MsgBox(std::string(kCompletedPrompt) + std::string(kCrLf) + kErrorsLine,
                         kStyleExclamation, kRunTitle);
        return RunOutcome::CompletedWithErrors;
    }
    m_dialogs.MsgBox(kCompletedPrompt, kStyleOk, kRunTitle);
    return RunOutcome::Completed;
}

std::string AlreadySentText(const std::vector<std::string>& days) {
    if (days.size() == 1) return "Il giorno " + days[0] + " risulta già inviato e accettato.";
    return "I giorni " + joinAnd(days) + " risultano già inviati e accettati.";
}

std::string AlreadySentQuestion(const std::vector<std::string>& days) {
    return AlreadySentText(days) + (days.size() == 1 ? " Inviarlo" : " Inviarli") + " di nuovo?";
}

std::string AlreadySentRefusal(const std::vector<std::string>& days) {
    return AlreadySentText(days) + (days.size() == 1 ? " Per inviarlo" : " Per inviarli") +
           " di nuovo aggiungere --reinvia.";
}

}  // namespace velmora
