// Login, logout, movements and end of day: monitor lines, exchange log files,
// the token rule and the error marks. Log files are stamped when written: a
// request's before it is sent, an answer's after it came.
#include "service/ServiceClient.h"

#include "core/RunError.h"
#include "core/Text.h"
#include "service/ExchangeLog.h"
#include "service/SendJournal.h"
#include "service/ServiceMessages.h"

namespace velmora {

namespace {

std::string writeLog(ServiceContext& ctx, std::string_view prefix, std::string_view text) {
    return WriteExchangeLog(ctx.files, ctx.clock, prefix, text);
}

// The journal's side of an exchange: the request recorded before it is sent,
// the answer (or its absence) when it came. No journal: nothing. A failure
// to record is a RunError, as for a log file.
class JournalEntry {
public:
    JournalEntry(ServiceContext& ctx, const char* kind, std::optional<std::string> day,
                 const std::string& requestFile, std::string_view body)
        : m_ctx(ctx) {
        if (ctx.journal)
            m_id = ctx.journal->beginExchange(kind, day, requestFile, body, ctx.clock.now());
    }
    void answered(const std::string& answerFile, const HttpAnswer& answer, bool reportsErrors) {
        if (!m_id) return;
        const std::optional<long long> status =
            answer.failure ? std::nullopt : std::optional<long long>(answer.status);
        m_ctx.journal->completeExchange(*m_id, answerFile, status,
                                        answer.failure ? answer.failure.message : std::string(),
                                        VerdictOf(status, reportsErrors), m_ctx.clock.now());
    }

private:
    ServiceContext& m_ctx;
    std::optional<long long> m_id;
};

[[noreturn]] void loginFailed(ServiceContext& ctx, std::string message) {
    ctx.state.LoginToken.clear();
    throw RunError("Accesso al servizio non riuscito: " + message);
}

// Shows the answer and marks it when it reports errors; returns the mark.
bool showAnswer(ServiceContext& ctx, const std::string& text, bool reportsErrors) {
    ctx.monitor.append(kAnswersBox, text);
    if (reportsErrors) ctx.monitor.append(kAnswersBox, std::string(kErrorsMark));
    return reportsErrors;
}

}  // namespace

void DoLogin(ServiceContext& ctx) {
    const std::string url = ctx.state.LoginUrl;
    ctx.monitor.append(kSentBox, url);
    JournalEntry entry(ctx, kJournalLogin, std::nullopt, {}, {});
    HttpAnswer answer;
    const std::string text = HttpGetRequest(ctx, url, &answer);
    if (answer.failure) {
        ctx.state.LoginToken.clear();
        entry.answered({}, answer, false);
        throw RunError(TransportFailureMessage(url, answer.failure, kLoginLine));
    }
    if (!isSuccessStatus(answer.status)) entry.answered({}, answer, false);
    ctx.monitor.append(kAnswersBox, text);
    const std::string status = std::to_string(answer.status);
    if (answer.status == 401 || answer.status == 403) {
        ctx.state.LoginToken.clear();
        throw RunError(kCredentialsRefused,
                       "Accesso al servizio non riuscito: " + url + " ha risposto " + status + ".");
    }
    if (!isSuccessStatus(answer.status)) loginFailed(ctx, url + " ha risposto " + status);
    std::optional<std::string> token = TokenFromAnswer(text);
    if (!token) loginFailed(ctx, url + " ha risposto " + status + " senza un token");
    // The token goes out as a header line of every POST: a line break in it
    // would break those requests apart.
    if (token->find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
        loginFailed(ctx, "il token ricevuto da " + url + " contiene un a capo");
    // A header that long makes every later request fail, the logout included.
    if (token->size() > kMaxTokenBytes)
        loginFailed(ctx, "il token ricevuto da " + url + " è lungo " +
                             std::to_string(token->size()) + " byte, oltre il massimo di " +
                             std::to_string(kMaxTokenBytes));
    ctx.state.LoginToken = *token;
    try {
        entry.answered(writeLog(ctx, kLoginPrefix, ctx.state.LoginToken), answer, false);
    } catch (const RunError&) {
        // The service has opened a session the run will not use, since a
        // failed login is never followed by a logout: close it here. Its own
        // log file may fail the same way; the login's failure is what counts.
        try {
            DoLogout(ctx);
        } catch (const RunError&) {
        }
        ctx.state.LoginToken.clear();
        throw;
    }
}

bool DoLogout(ServiceContext& ctx) {
    const std::string url = ctx.state.LogoutUrl;
    ctx.monitor.append(kSentBox, url);
    JournalEntry entry(ctx, kJournalLogout, std::nullopt, {}, {});
    HttpAnswer answer;
    const std::string text = HttpPostRequest(ctx, url, {}, &answer);
    if (answer.failure) {
        ctx.monitor.append(kAnswersBox, TransportFailureMessage(url, answer.failure, kLogoutLine));
        entry.answered({}, answer, false);
        return true;
    }
    const bool marked = showAnswer(ctx, text, !isSuccessStatus(answer.status));
    entry.answered(writeLog(ctx, kLogoutPrefix, text), answer, false);
    return marked;
}

bool SendMovements(ServiceContext& ctx, const std::string& document, const std::string& kind,
                   const std::string& day) {
    const bool arrivals = kind == "A";
    const std::string url = arrivals ? ctx.state.ArrivalsUrl : ctx.state.DeparturesUrl;
    const std::string body = XmlDeclaration() + document;
    const std::string request =
        writeLog(ctx, arrivals ? kArrivalsRequestPrefix : kDeparturesRequestPrefix, body);
    JournalEntry entry(ctx, arrivals ? kJournalArrivals : kJournalDepartures, std::nullopt, request,
                       body);
    ctx.monitor.append(kSentBox, url + std::string(kCrLf) + body);
    HttpAnswer answer;
    const std::string text = HttpPostRequest(ctx, url, body, &answer);
    if (answer.failure) {
        entry.answered({}, answer, false);
        throw RunError(
            TransportFailureMessage(url, answer.failure, arrivals ? kArrivalsLine : kDeparturesLine));
    }
    const std::string what = DocumentName(kind, day, request);
    const std::string_view answerPrefix = arrivals ? kArrivalsAnswerPrefix : kDeparturesAnswerPrefix;
    if (!isSuccessStatus(answer.status)) {
        // The service did not take the movements: closing the day now would
        // close it without them.
        ctx.monitor.append(kAnswersBox, text);
        std::string logProblem;
        std::string answerFile;
        try {
            answerFile = writeLog(ctx, answerPrefix, text);
        } catch (const RunError& e) {
            logProblem = "Anche la risposta non è stata salvata: " + e.fullText();
        }
        entry.answered(answerFile, answer, false);
        throw RunError("Il servizio non ha accettato " + what + ": " + url + " ha risposto " +
                           std::to_string(answer.status) + ".",
                       logProblem);
    }
    const bool erro = contains(text, "Erro");
    const bool marked = showAnswer(ctx, text, erro);
    std::string answerFile;
    try {
        answerFile = writeLog(ctx, answerPrefix, text);
    } catch (const RunError& e) {
        entry.answered({}, answer, erro);
        throw RunError("Il servizio ha ricevuto " + what +
                           ", ma non è stato possibile salvarne la risposta (è nel monitor).",
                       e.fullText());
    }
    entry.answered(answerFile, answer, erro);
    return marked;
}

bool CloseDay(ServiceContext& ctx, const std::string& day) {
    const std::string url = ctx.state.CloseDayUrl;
    const std::string message = EndDayMessage(ctx.state.UserId, day);
    JournalEntry entry(ctx, kJournalClosing, day, writeLog(ctx, kEndDayRequestPrefix, message),
                       message);
    ctx.monitor.append(kSentBox, message);
    HttpAnswer answer;
    const std::string text = HttpPostRequest(ctx, url, message, &answer);
    if (answer.failure) {
        entry.answered({}, answer, false);
        throw RunError(TransportFailureMessage(url, answer.failure, kCloseDayLine));
    }
    const bool marked = showAnswer(ctx, text, !isSuccessStatus(answer.status));
    entry.answered(writeLog(ctx, kEndDayAnswerPrefix, text), answer, false);
    return marked;
}

}  // namespace velmora
