// Settings loading: the seven lines of "QLBSetup.txt" into the run-wide state.
#include "Settings.h"

#include <vector>

#include "core/Text.h"

namespace velmora {

namespace {

std::string shortFilePrompt(std::size_t found) {
    const std::string file = std::string("Il file ") + kSettingsFile;
    const std::string needed =
        "ne servono 7 (nome utente, password e i cinque indirizzi del servizio).";
    if (found == 0) return file + " è vuoto (0 righe): " + needed;
    if (found == 1) return file + " contiene una sola riga: " + needed;
    return file + " contiene solo " + std::to_string(found) + " righe: " + needed;
}

}  // namespace

SettingsOutcome LoadSettings(const FileStore& files, RunState& state) {
    SettingsOutcome out;
    if (!files.exists(kSettingsFile)) {
        out.status = SettingsStatus::Missing;
        out.prompt = kSettingsMissingPrompt;
        const std::string folder = files.folder();
        if (!folder.empty())
            out.prompt += std::string(kCrLf) + "Il file " + kSettingsFile +
                          " non è nella cartella " + folder + ".";
        return out;
    }
    std::optional<std::string> content = files.readText(kSettingsFile);
    if (!content) {
        out.status = SettingsStatus::Unreadable;
        out.prompt = std::string("Impossibile leggere il file ") + kSettingsFile + ".";
        return out;
    }
    std::vector<std::string> lines = splitLines(*content);
    out.linesFound = lines.size();
    if (lines.size() < kSettingsLines) {
        out.status = SettingsStatus::Short;
        out.prompt = shortFilePrompt(lines.size());
        return out;
    }
    state.UserId = lines[0];
    state.Password = lines[1];
    state.LoginUrl = lines[2];
    state.LogoutUrl = lines[3];
    state.ArrivalsUrl = lines[4];
    state.DeparturesUrl = lines[5];
    state.CloseDayUrl = lines[6];
    out.status = SettingsStatus::Loaded;
    return out;
}

}  // namespace velmora
