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
#include "service/SendJournal.h"
#include "platform/StopRequest.h"
#include "platform/curl/CurlUrl.h"

namespace velmora {

namespace {

constexpr const char* kDataFile = "QLBDataI.txt";
constexpr const char* kLogDirectory = "Velmora";
constexpr const char* kDatabases[] = {"Scheda_Cliente.mdb", "SchedaStoricoClienti.mdb",
                                      "Comuni.mdb"};
constexpr const char* kFieldNames[] = {"Dalla data", "Alla data"};

std::string joinNames(const std::vector<std::string>& names) {
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) out += i + 1 == names.size() ? " e " : ", ";
        out += names[i];
    }
    return out;
}

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

std::string SettingsAddressProblem(const RunState& state) {
    const struct {
        int line;
        const char* what;
        const std::string& url;
    } addresses[] = {
        {3, "indirizzo di accesso", state.LoginUrl},
        {4, "indirizzo di disconnessione", state.LogoutUrl},
        {5, "indirizzo degli arrivi", state.ArrivalsUrl},
        {6, "indirizzo delle partenze", state.DeparturesUrl},
        {7, "indirizzo di chiusura della giornata", state.CloseDayUrl},
    };
    for (const auto& a : addresses) {
        const std::string problem = AddressProblem(a.url);
        if (!problem.empty())
            return std::string(kSettingsFile) + ", riga " + std::to_string(a.line) + " (" + a.what +
                   "): l'indirizzo " + problem + ". Correggerlo prima di esportare.";
    }
    return {};
}

std::string CheckBeforeRun(const RunRequest& request, RunState& state, FileStore& files,
                           RunView& view, bool makeLogDirectory) {
    const std::string* fields[] = {&request.firstDay, &request.lastDay};
    for (int i = 0; i < 2; ++i) {
        if (IsValidDate(*fields[i], state) != 1) {
            view.invalidDateField(i);
            return std::string("La data \"") + kFieldNames[i] + "\" non è valida (" +
                   "scriverla come GG/MM/AAAA).";
        }
        // The days travel on as typed and are read by position.
        if (!HasDatePositions(*fields[i])) {
            view.invalidDateField(i);
            return std::string("La data \"") + kFieldNames[i] + "\" va scritta in cifre come " +
                   "GG/MM/AAAA: \"" + *fields[i] + "\".";
        }
    }

    if (std::string problem = SettingsAddressProblem(state); !problem.empty()) return problem;

    if (!files.exists(kDataFile)) {
        return std::string("Il file ") + kDataFile +
               " con la data iniziale dei soggiorni non esiste nella cartella di lavoro.";
    }
    std::optional<std::string> data = files.readText(kDataFile);
    if (!data) return std::string("Impossibile leggere il file ") + kDataFile + ".";
    std::vector<std::string> lines = splitLines(*data);
    if (lines.empty()) {
        return std::string("Il file ") + kDataFile +
               " è vuoto: la prima riga deve contenere la data iniziale (GG/MM/AAAA).";
    }
    // Read by position for the stays selections: no blank or short piece before.
    if (IsValidDate(lines[0], state) != 1 || !HasDatePositions(lines[0])) {
        return std::string("La prima riga del file ") + kDataFile +
               " non è una data valida (GG/MM/AAAA): \"" + lines[0] + "\".";
    }

    std::vector<std::string> missing;
    for (const char* db : kDatabases) {
        if (!files.exists(db)) missing.emplace_back(db);
    }
    if (missing.size() == 1) {
        return "Archivio mancante nella cartella di lavoro: " + missing[0] + ".";
    }
    if (!missing.empty()) {
        return "Archivi mancanti nella cartella di lavoro: " + joinNames(missing) + ".";
    }

    if (makeLogDirectory && !files.isDirectory(kLogDirectory)) {
        try {
            files.createDirectory(kLogDirectory);
        } catch (const RunError& e) {
            return e.fullText();
        }
    }
    return {};
}

RunOutcome ExportRun::run(const RunRequest& request, RunView& view) {
    try {
        std::string problem = checkBeforeLogin(request, view);
        if (!problem.empty()) {
            refuse(problem);
            return RunOutcome::Refused;
        }
    } catch (const std::exception& e) {
        refuse(std::string("Errore imprevisto durante i controlli: ") + e.what());
        return RunOutcome::Refused;
    }
    if (m_sentDays) {
        std::vector<std::string> sent;
        try {
            sent = m_sentDays(request);
        } catch (const RunError& e) {
            refuse(e.fullText());
            return RunOutcome::Refused;
        }
        if (!sent.empty() &&
            !m_dialogs.Question(AlreadySentText(sent) + " Inviarli di nuovo?", kRunTitle))
            return RunOutcome::Refused;
    }

    view.runStarted();
    std::unique_ptr<ExportSteps> steps;
    bool loggedIn = false;
    bool errorMarks = false;
    bool stopped = false;
    std::string reason;
    std::string logoutLogProblem;
    // For the message of a stop: the exchange under way, and the last one
    // whose answer came.
    std::string inFlight;
    std::string lastAnswered;
    auto exchange = [&](std::string what, const auto& step) {
        if (m_stop && m_stop->requested()) throw OperatorStop{};
        inFlight = std::move(what);
        const bool marked = step();
        lastAnswered = std::move(inFlight);
        inFlight.clear();
        return marked;
    };
    SendJournal* journal = nullptr;
    try {
        steps = m_factory(m_state, m_monitor, m_options);
        if (!steps) throw RunError("Esportazione non disponibile");
        journal = steps->journal();
        if (journal)
            journal->beginRun(journal->now(), m_state.UserId, request.firstDay, request.lastDay,
                              request.closeDays);
        exchange("l'accesso al servizio", [&] {
            steps->DoLogin();
            return false;
        });
        loggedIn = true;

        // Days are counted by number, so the loop ends whatever the text of
        // the day after the last one looks like.
        const long long last = DaySerial(request.lastDay);
        long long serial = DaySerial(request.firstDay);
        std::string day = request.firstDay;
        while (serial <= last) {
            if (m_stop && m_stop->requested()) throw OperatorStop{};
            view.dayStarted(day);
            for (const char* kind : {"A", "P"}) {
                std::string document = steps->ExportStays(day, day, kind);
                if (document.empty()) {
                    if (journal) journal->recordEmpty(kind, day, journal->now());
                    continue;
                }
                const std::string what = kind == std::string("A")
                                             ? "il documento degli arrivi del " + day
                                             : "il documento delle partenze del " + day;
                errorMarks |= exchange(what, [&] { return steps->SendMovements(document, kind); });
            }
            if (request.closeDays)
                errorMarks |= exchange("la chiusura della giornata " + day,
                                       [&] { return steps->CloseDay(day); });
            ++serial;
            day = DayTextOf(serial);
        }

        loggedIn = false;
        if (m_stop) m_stop->letExchangesFinish();
        try {
            errorMarks |= steps->DoLogout();
        } catch (const RunError& e) {
            // Everything was sent and the session is closed: only the log
            // file of the logout is missing.
            logoutLogProblem = e.fullText();
        }
    } catch (const OperatorStop&) {
        stopped = true;
    } catch (const RunError& e) {
        reason = e.fullText();
    } catch (const std::exception& e) {
        reason =
            RunError("Errore imprevisto: l'esportazione non può continuare.", e.what()).fullText();
    } catch (...) {
        reason = "Errore imprevisto: l'esportazione non può continuare.";
    }
    if (m_stop && m_stop->requested() && (stopped || !reason.empty())) {
        stopped = true;
        reason = stopReport(inFlight, lastAnswered, reason);
    }

    if (!reason.empty()) {
        if (loggedIn) {
            if (m_stop) m_stop->letExchangesFinish();
            try {
                steps->DoLogout();
            } catch (const RunError& e) {
                reason +=
                    std::string(kCrLf) + "Errore anche durante la disconnessione: " + e.fullText();
            } catch (const std::exception& e) {
                reason +=
                    std::string(kCrLf) + "Errore anche durante la disconnessione: " + e.what();
            } catch (...) {
                reason += std::string(kCrLf) + "Errore anche durante la disconnessione.";
            }
        }
        if (journal) {
            try {
                journal->endRun(journal->now(), kOutcomeInterrupted, reason);
            } catch (const RunError& e) {
                reason += std::string(kCrLf) + e.fullText();
            }
        }
        steps.reset();
        try {
            m_monitor.append(kAnswersBox, reason);
        } catch (...) {
            // The message box below still tells the operator.
        }
        view.runEnded();
        m_dialogs.MsgBox(
            stopped ? reason : std::string(kInterruptedLine) + std::string(kCrLf) + reason,
            kStyleExclamation, kRunTitle);
        return RunOutcome::Interrupted;
    }

    if (journal) {
        try {
            journal->endRun(journal->now(),
                            errorMarks || !logoutLogProblem.empty() ? kOutcomeWithErrors
                                                                    : kOutcomeCompleted,
                            {});
        } catch (const RunError& e) {
            // Everything was sent and its files kept; only the journal's
            // last line is missing, and the operator is told.
            try {
                m_monitor.append(kAnswersBox, e.fullText());
            } catch (...) {
            }
            errorMarks = true;
        }
    }
    if (!logoutLogProblem.empty()) {
        const std::string text =
            std::string(kEverythingSentLine) + std::string(kCrLf) + logoutLogProblem;
        try {
            m_monitor.append(kAnswersBox, text);
        } catch (...) {
        }
        steps.reset();
        view.runEnded();
        std::string prompt = std::string(kCompletedPrompt) + std::string(kCrLf) + text;
        if (errorMarks) prompt += std::string(kCrLf) + kErrorsLine;
        m_dialogs.MsgBox(prompt, kStyleExclamation, kRunTitle);
        return RunOutcome::CompletedWithErrors;
    }

    steps.reset();
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
    return "I giorni " + joinAnd(days) + " risultano già inviati e accettati.";
}

}  // namespace velmora
