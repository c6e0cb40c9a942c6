// The checks that come before any run over the databases, shared by the
// export, the check before sending and the window: the two days, the five
// service addresses, "QLBDataI.txt" and the three databases. Nothing is sent
// or written while they run (but the directory "Velmora", when asked).
#pragma once

#include <string>

#include "core/RunState.h"
#include "platform/FileStore.h"
#include "platform/RunView.h"

namespace velmora {

// Why a range whose last day comes before its first is refused before any run.
inline constexpr const char* kReversedRange = "La data finale precede la data iniziale.";

struct RunRequest {
    std::string firstDay;  // as the first date field shows it
    std::string lastDay;   // as the second date field shows it
    bool closeDays = false;
};

// The first of the five service addresses of the settings that libcurl would
// not take, named by its line of the settings file, or "" when all are usable.
std::string SettingsAddressProblem(const RunState& state);

// The checks that come before any run over the databases (the export and the
// check before sending): both date fields and their order, the five service addresses, "QLBDataI.txt" with a valid
// first line, the three databases, and with makeLogDirectory the directory "Velmora", made when
// missing. Returns the problem for the operator, or "" when there is none; an invalid date field is
// told to the view first.
std::string CheckBeforeRun(const RunRequest& request, RunState& state, FileStore& files,
                           RunView& view, bool makeLogDirectory = true);

}  // namespace velmora
