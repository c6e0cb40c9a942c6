// "velmora prova": settings, addresses, then the login and the logout.
#include "app/ProvaCommand.h"

#include "app/Settings.h"
#include "check/PreRunChecks.h"
#include "core/RunState.h"
#include "service/ConnectionTest.h"

namespace velmora {

namespace {

constexpr const char* kProvaUsage =
    "velmora prova\n"
    "    Prova il collegamento con il servizio: legge QLBSetup.txt nella cartella di\n"
    "    lavoro, accede con utente e password e si disconnette, senza inviare nulla e\n"
    "    senza scrivere file; dice se gli indirizzi e le credenziali funzionano.\n"
    "    Stato di uscita: 0 collegamento riuscito, 2 non riuscito.\n";

struct ProvaArguments {
    bool help = false;
};

int runProva(const FileStore& files, HttpTransport& http, std::ostream& out, std::ostream& err) {
    RunState state;
    const SettingsOutcome settings = LoadSettings(files, state);
    if (!settings.loaded()) {
        StreamDialogs(err).MsgBox(settings.prompt, kStyleExclamation, kSettingsTitle);
        return kExitFailed;
    }
    out << "Prova del collegamento con il servizio (nessun dato viene inviato).\n";
    if (const std::string problem = SettingsAddressProblem(state); !problem.empty()) {
        out << problem << "\nCollegamento non provato.\n";
        out.flush();
        return kExitFailed;
    }
    out << "Indirizzi di QLBSetup.txt (righe 3-7): scritti correttamente.\n";
    out.flush();
    const ConnectionOutcome outcome = TestConnection(state, http);
    for (const std::string& line : outcome.lines) out << line << '\n';
    if (outcome.works) {
        out << "Gli indirizzi degli arrivi, delle partenze e della chiusura (righe 5, 6 e 7) "
               "non vengono provati: la prova non invia nulla.\n"
               "Collegamento riuscito.\n";
    } else {
        out << "Collegamento non riuscito.\n";
    }
    out.flush();
    return outcome.works ? kExitCompleted : kExitFailed;
}

}  // namespace

BatchCommand MakeProvaCommand(const FileStore& files, HttpTransport& http) {
    return MakeBatchCommand<ProvaArguments>(
        "prova", kProvaUsage, kExitCompleted,
        [](const std::vector<std::string>& args, std::string& error) -> std::optional<ProvaArguments> {
            ProvaArguments a;
            if (!ParseOptions(args, {}, a.help, error)) return std::nullopt;
            return a;
        },
        [&files, &http](const ProvaArguments&, std::ostream& out, std::ostream& err) {
            return runProva(files, http, out, err);
        });
}

}  // namespace velmora
