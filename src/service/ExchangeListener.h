// What the service client tells about each exchange as it goes, to whoever
// keeps an index of them (the send journal): the request about to go out and
// how its exchange ended. The client knows nothing of who listens.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velmora {

enum class ExchangeKind { Login, Arrivals, Departures, Closing, Logout };

// How an exchange ended, for the movements and the closing.
enum class Verdict {
    Accepted,  // 2xx
    Errors,    // movements: 2xx with "Erro", some guests refused and the rest taken
    Refused,   // a status that is not 2xx; a closing answered with "Erro"
    // No answer, and the request never reached the service (connection
    // refused, unknown address, failed TLS handshake).
    NotDelivered,
    // No answer, and the service may hold the request (time-out, connection
    // dropped, exchange abandoned at the operator's request).
    Unknown,
};

struct ExchangeNote {
    ExchangeKind kind = ExchangeKind::Login;
    std::string day;          // "DD/MM/YYYY" of a document or a closing; "" otherwise
    std::string requestFile;  // the request's log file; "" when it has none
    std::string_view body;    // what is posted; empty for login and logout
};

class ExchangeListener {
public:
    virtual ~ExchangeListener() = default;
    // The request's log file is written and nothing is sent yet. A RunError
    // stops the exchange there. Never called for the logout, which is sent
    // before anything about it is written.
    virtual void requestWritten(const ExchangeNote& note) = 0;
    // How the exchange of note ended: the answer's log file ("" when none was
    // written), the HTTP status (none when no answer came), the transport's
    // words when it failed, and the verdict. For the logout the only call.
    virtual void answerReceived(const ExchangeNote& note, const std::string& answerFile,
                                std::optional<long> status, const std::string& failure,
                                Verdict verdict) = 0;
};

}  // namespace velmora
