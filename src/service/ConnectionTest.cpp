// The connection test: the login's and the logout's requests as an export
// sends them, their answers read with the login's rules, told in Italian.
#include "service/ConnectionTest.h"

#include "service/HttpExchange.h"
#include "service/ServiceMessages.h"
#include "platform/Clock.h"
#include "platform/FileStore.h"
#include "platform/Monitor.h"

namespace velmora {

namespace {

// The test shows nothing while it goes and writes nothing.
class Silent : public Monitor, public FileStore, public Clock {
public:
    void append(int, const std::string&) override {}
    bool exists(const std::string&) const override { return false; }
    bool isDirectory(const std::string&) const override { return false; }
    void createDirectory(const std::string&) override {}
    std::optional<std::string> readText(const std::string&) const override { return {}; }
    std::string writeUnique(const std::string&, const std::string&, const std::string&,
                            std::string_view) override {
        return {};
    }
    bool writeNew(const std::string&, std::string_view) override { return false; }
    LocalTime now() const override { return {}; }
};

std::string statusProblem(const char* what, long status, int line) {
    return std::string(what) + ": il servizio ha risposto " + std::to_string(status) +
           ": controllare l'indirizzo alla riga " + std::to_string(line) + " di QLBSetup.txt.";
}

}  // namespace

ConnectionOutcome TestConnection(const RunState& settings, HttpTransport& http) {
    ConnectionOutcome out;
    RunState state = settings;
    Silent silent;
    ServiceContext ctx{state, http, silent, silent, silent};

    HttpAnswer login;
    const std::string text = HttpGetRequest(ctx, state.LoginUrl, &login);
    if (login.failure) {
        out.lines.push_back("Accesso: " +
                            TransportFailureMessage(state.LoginUrl, login.failure, kLoginLine));
        return out;
    }
    if (login.status == 401 || login.status == 403) {
        out.lines.push_back("Accesso: il servizio risponde all'indirizzo della riga 3, ma: " +
                            std::string(kCredentialsRefused));
        return out;
    }
    if (!isSuccessStatus(login.status)) {
        out.lines.push_back(statusProblem("Accesso", login.status, kLoginLine));
        return out;
    }
    const std::optional<std::string> token = TokenFromAnswer(text);
    if (!token || token->find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
        out.lines.push_back(
            "Accesso: il servizio ha risposto senza un token valido: controllare l'indirizzo alla "
            "riga 3 di QLBSetup.txt.");
        return out;
    }
    out.lines.push_back("Accesso (riga 3): riuscito, utente e password accettati (righe 1 e 2).");

    state.LoginToken = *token;
    HttpAnswer logout;
    HttpPostRequest(ctx, state.LogoutUrl, {}, &logout);
    if (logout.failure) {
        out.lines.push_back("Disconnessione: " + TransportFailureMessage(state.LogoutUrl,
                                                                         logout.failure, kLogoutLine));
        return out;
    }
    if (!isSuccessStatus(logout.status)) {
        out.lines.push_back(statusProblem("Disconnessione", logout.status, kLogoutLine));
        return out;
    }
    out.lines.push_back("Disconnessione (riga 4): riuscita.");
    out.works = true;
    return out;
}

}  // namespace velmora
