// The folder Velmora works in and the options that choose it: "--cartella DIR"
// (any command, or the window, runs in DIR), "--ultima-cartella" (the menu
// entry: the window opens in the folder remembered from the last time, or asks
// for one), and "--version".
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/BatchMode.h"
#include "platform/Dialogs.h"

namespace velmora {

// How the window is to find its folder, once the leading options are taken.
struct FolderStart {
    // Set when the program must end at once with this status.
    std::optional<int> exitStatus;
    // "--ultima-cartella": the remembered folder, or the operator is asked.
    bool askForFolder = false;
};

// Takes a leading "--cartella DIR" (or "--cartella=DIR") or a lone
// "--ultima-cartella" out of args and makes DIR the working directory. Wrong
// usage is told on err with status kExitUsage; a folder that cannot be entered
// with kExitFailed.
FolderStart TakeFolderOptions(std::vector<std::string>& args, std::ostream& err);

// Makes dir the working directory; on failure tells why on err (in Italian).
bool EnterFolder(const std::string& dir, std::ostream& err);

// "velmora --version": prints "velmora <version>".
BatchCommand MakeVersionCommand(std::string version);

// Needs a QApplication. Enters the folder remembered from the last time when it
// still holds the settings file, else asks the operator for one, again after
// telling through dialogs that a chosen folder lacks the settings file; false
// when the operator gives none.
bool EnterRememberedFolder(Dialogs& dialogs);

// Needs a QApplication. Makes Qt's own texts (the standard buttons, the
// folder chooser) Italian with Qt's translation "qtbase_it" (Debian:
// qt6-translations-l10n); false when it is not installed.
bool InstallQtItalian();

// Remembers the working directory for the next "--ultima-cartella" when it
// holds the settings file.
void RememberWorkFolder();

}  // namespace velmora
