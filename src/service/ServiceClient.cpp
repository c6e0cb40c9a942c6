// Login, logout, movements and end of day: monitor lines, exchange log files,
// the token rule and the error marks. Log files are stamped when written: a
// request's before it is sent, an answer's after it came. The listener hears
// of a request after its file is written and before it is sent; a failure to
// write or record an answer never hides that the service received it.
#include "service/ServiceClient.h"

#include <algorithm>
#include <optional>

#include "core/RunError.h"
#include "core/Text.h"
#include "service/ExchangeListener.h"
#include "service/ExchangeLog.h"
#include "service/ServiceMessages.h"

namespace velmora {

namespace {

std::string writeLog(ServiceContext& ctx, std::string_view prefix, std::string_view text) {
    return WriteExchangeLog(ctx.files, ctx.clock, prefix, text);
}

void tellRequest(ServiceContext& ctx, const ExchangeNote& note) {
    if (ctx.listener) ctx.listener->requestWritten(note);
}

// What went wrong after an answer came: the first failure is the message,
// the later ones join its detail.
class Problems {
public:
    void add(const RunError& e) {
        if (!m_first) {
            m_first = e;
        } else {
            m_more += "\r\n" + e.fullText();
        }
    }
    bool any() const { return m_first.has_value(); }
    RunError error() const {
        const std::string& detail = m_first->detail();
        return RunError(m_first->message(),
                        detail.empty() ? m_more.substr(std::min<std::size_t>(2, m_more.size()))
                                       : detail + m_more);
    }
    std::string text() const { return m_first ? m_first->fullText() + m_more : std::string(); }

private:
    std::optional<RunError> m_first;
    std::string m_more;
};

// Tells how the exchange ended; a failure of the listener joins problems,
// since what happened at the service counts first.
void tellAnswer(ServiceContext& ctx, const ExchangeNote& note, const std::string& answerFile,
                const HttpAnswer& answer, Verdict verdict, Problems& problems) {
    if (!ctx.listener) return;
    try {
        ctx.listener->answerReceived(
            note, answerFile, answer.failure ? std::nullopt : std::optional<long>(answer.status),
            answer.failure ? answer.failure.message : std::string(), verdict);
    } catch (const RunError& e) {
        problems.add(e);
    }
}

// A transport failure: whether the request can have reached the service.
Verdict failureVerdict(const HttpFailure& failure) {
    switch (failure.kind) {
        case HttpFailure::Kind::Refused:
        case HttpFailure::Kind::Unresolved:
        case HttpFailure::Kind::Tls:
            return Verdict::NotDelivered;
        default:
            return Verdict::Unknown;
    }
}

// Writes the answer's log file; its name, or "" with the failure in problems.
std::string keepAnswer(ServiceContext& ctx, std::string_view prefix, const std::string& text,
                       Problems& problems) {
    try {
        return writeLog(ctx, prefix, text);
    } catch (const RunError& e) {
        problems.add(e);
        return {};
    }
}

// A transport failure of a request that went out: told, then raised.
[[noreturn]] void noAnswer(ServiceContext& ctx, const ExchangeNote& note, const std::string& url,
                           const HttpAnswer& answer, SettingsLine line) {
    Problems problems;
    tellAnswer(ctx, note, {}, answer, failureVerdict(answer.failure), problems);
    throw RunError(TransportFailureMessage(url, answer.failure, line), problems.text());
}

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
    const ExchangeNote note{ExchangeKind::Login, {}, {}, {}};
    tellRequest(ctx, note);
    HttpAnswer answer;
    const std::string text = HttpGetRequest(ctx, url, &answer);
    if (answer.failure) {
        ctx.state.LoginToken.clear();
        noAnswer(ctx, note, url, answer, kLoginLine);
    }
    ctx.monitor.append(kAnswersBox, text);
    const std::string status = std::to_string(answer.status);
    if (answer.status == 401 || answer.status == 403) {
        Problems ignored;  // the refusal is what counts
        tellAnswer(ctx, note, {}, answer, Verdict::Refused, ignored);
        ctx.state.LoginToken.clear();
        throw RunError(kCredentialsRefused,
                       "Accesso al servizio non riuscito: " + url + " ha risposto " + status + ".");
    }
    std::optional<std::string> token = TokenFromAnswer(text);
    std::string refusal;
    if (!isSuccessStatus(answer.status)) {
        refusal = url + " ha risposto " + status;
    } else if (!token) {
        refusal = url + " ha risposto " + status + " senza un token";
    } else if (token->find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
        // The token goes out as a header line of every POST: a line break in
        // it would break those requests apart.
        refusal = "il token ricevuto da " + url + " contiene un a capo";
    } else if (token->size() > kMaxTokenBytes) {
        // A header that long makes every later request fail, the logout included.
        refusal = "il token ricevuto da " + url + " è lungo " + std::to_string(token->size()) +
                  " byte, oltre il massimo di " + std::to_string(kMaxTokenBytes);
    }
    if (!refusal.empty()) {
        Problems ignored;  // the refusal is what counts
        tellAnswer(ctx, note, {}, answer, Verdict::Refused, ignored);
        loginFailed(ctx, refusal);
    }
    ctx.state.LoginToken = *token;
    Problems problems;
    const std::string file = keepAnswer(ctx, kLoginPrefix, ctx.state.LoginToken, problems);
    tellAnswer(ctx, note, file, answer, Verdict::Accepted, problems);
    if (!problems.any()) return;
    // The service has opened a session the run will not use, since a failed
    // login is never followed by a logout: close it here. The logout is sent
    // whatever its own file or record does; the login's failure is what counts.
    try {
        DoLogout(ctx);
    } catch (const RunError&) {
    }
    ctx.state.LoginToken.clear();
    throw problems.error();
}

bool DoLogout(ServiceContext& ctx) {
    const std::string url = ctx.state.LogoutUrl;
    ctx.monitor.append(kSentBox, url);
    HttpAnswer answer;
    const std::string text = HttpPostRequest(ctx, url, {}, &answer);
    const ExchangeNote note{ExchangeKind::Logout, {}, {}, {}};
    Problems problems;
    bool marked = true;
    std::string file;
    if (answer.failure) {
        ctx.monitor.append(kAnswersBox, TransportFailureMessage(url, answer.failure, kLogoutLine));
    } else {
        marked = showAnswer(ctx, text, !isSuccessStatus(answer.status));
        file = keepAnswer(ctx, kLogoutPrefix, text, problems);
    }
    const Verdict verdict = answer.failure                   ? failureVerdict(answer.failure)
                            : isSuccessStatus(answer.status) ? Verdict::Accepted
                                                             : Verdict::Refused;
    tellAnswer(ctx, note, file, answer, verdict, problems);
    if (problems.any()) throw problems.error();
    return marked;
}

bool SendMovements(ServiceContext& ctx, const std::string& document, const std::string& kind,
                   const std::string& day) {
    const bool arrivals = kind == "A";
    const std::string url = arrivals ? ctx.state.ArrivalsUrl : ctx.state.DeparturesUrl;
    const std::string body = XmlDeclaration() + document;
    const std::string request =
        writeLog(ctx, arrivals ? kArrivalsRequestPrefix : kDeparturesRequestPrefix, body);
    const ExchangeNote note{arrivals ? ExchangeKind::Arrivals : ExchangeKind::Departures, day,
                            request, body};
    tellRequest(ctx, note);
    ctx.monitor.append(kSentBox, url + std::string(kCrLf) + body);
    HttpAnswer answer;
    const std::string text = HttpPostRequest(ctx, url, body, &answer);
    if (answer.failure) noAnswer(ctx, note, url, answer, arrivals ? kArrivalsLine : kDeparturesLine);
    const std::string what = DocumentName(kind, day, request);
    const std::string_view answerPrefix = arrivals ? kArrivalsAnswerPrefix : kDeparturesAnswerPrefix;
    Problems problems;
    if (!isSuccessStatus(answer.status)) {
        // The service did not take the movements: closing the day now would
        // close it without them.
        ctx.monitor.append(kAnswersBox, text);
        const std::string file = keepAnswer(ctx, answerPrefix, text, problems);
        tellAnswer(ctx, note, file, answer, Verdict::Refused, problems);
        throw RunError("Il servizio non ha accettato " + what + ": " + url + " ha risposto " +
                           std::to_string(answer.status) + ".",
                       problems.any() ? "Anche la risposta non è stata salvata: " + problems.text()
                                      : std::string());
    }
    const bool erro = contains(text, "Erro");
    const bool marked = showAnswer(ctx, text, erro);
    const std::string file = keepAnswer(ctx, answerPrefix, text, problems);
    tellAnswer(ctx, note, file, answer, erro ? Verdict::Errors : Verdict::Accepted, problems);
    if (problems.any())
        throw RunError("Il servizio ha ricevuto " + what +
                           ", ma non è stato possibile salvarne la risposta (è nel monitor).",
                       problems.text());
    return marked;
}

bool CloseDay(ServiceContext& ctx, const std::string& day) {
    const std::string url = ctx.state.CloseDayUrl;
    const std::string message = EndDayMessage(ctx.state.UserId, day);
    const ExchangeNote note{ExchangeKind::Closing, day,
                            writeLog(ctx, kEndDayRequestPrefix, message), message};
    tellRequest(ctx, note);
    ctx.monitor.append(kSentBox, message);
    HttpAnswer answer;
    const std::string text = HttpPostRequest(ctx, url, message, &answer);
    if (answer.failure) noAnswer(ctx, note, url, answer, kCloseDayLine);
    // "Erro" in a 2xx answer: the day was not closed, as with a refusal.
    const bool refused = !isSuccessStatus(answer.status) || contains(text, "Erro");
    const bool marked = showAnswer(ctx, text, refused);
    Problems problems;
    const std::string file = keepAnswer(ctx, kEndDayAnswerPrefix, text, problems);
    tellAnswer(ctx, note, file, answer, refused ? Verdict::Refused : Verdict::Accepted, problems);
    if (problems.any())
        throw RunError(std::string(refused ? "Il servizio non ha chiuso la giornata "
                                           : "Il servizio ha chiuso la giornata ") +
                           day + ", ma non è stato possibile salvarne la risposta (è nel monitor).",
                       problems.text());
    return marked;
}

}  // namespace velmora
