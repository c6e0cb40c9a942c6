// The checks before a run: days, addresses (through libcurl's URL parser),
// the data file and the databases.
#include "check/PreRunChecks.h"

#include <optional>
#include <vector>

#include "core/Calendar.h"
#include "core/FileNames.h"
#include "core/RunError.h"
#include "core/Text.h"
#include "platform/curl/CurlUrl.h"

namespace velmora {

namespace {

constexpr const char* kFieldNames[] = {"Dalla data", "Alla data"};

}  // namespace

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
    // A run over no day would log in, send nothing and report completion.
    if (DaySerial(request.lastDay) < DaySerial(request.firstDay)) {
        view.invalidDateField(0);
        return kReversedRange;
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
        return "Archivi mancanti nella cartella di lavoro: " + joinAnd(missing) + ".";
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

}  // namespace velmora
