// Loading the settings file "QLBSetup.txt" from the working directory into the
// run-wide state: seven lines, user id, password and the five service
// addresses, each used exactly as written. A missing, unreadable or short file
// is refused with a prompt for the operator.
#pragma once

#include <cstddef>
#include <string>

#include "core/FileNames.h"
#include "core/RunState.h"
#include "platform/FileStore.h"

namespace velmora {

inline constexpr const char* kSettingsTitle = "Parametri insufficienti";
inline constexpr const char* kSettingsMissingPrompt =
    "Nome utente e password non impostati! (QLBSetup.txt)";
inline constexpr std::size_t kSettingsLines = 7;

enum class SettingsStatus { Loaded, Missing, Unreadable, Short };

struct SettingsOutcome {
    SettingsStatus status = SettingsStatus::Missing;
    // Lines found in the file (also when it has too few).
    std::size_t linesFound = 0;
    // What the operator is told when the file is refused; empty when loaded.
    std::string prompt;

    bool loaded() const { return status == SettingsStatus::Loaded; }
};

// Reads the first seven lines of "QLBSetup.txt" into UserId ... CloseDayUrl;
// a missing file is refused naming the folder it was looked for in.
// A line ends at LF, a CR before it is dropped, a UTF-8 byte order mark before
// the first line is dropped, nothing else is trimmed; lines after the seventh
// are ignored. When the file is refused the state is left as it was.
SettingsOutcome LoadSettings(const FileStore& files, RunState& state);

}  // namespace velmora
