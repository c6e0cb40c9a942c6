// The check before sending over a range of days, as the window and the
// "check" command run it: the checks before any run, the check of the days,
// then what changed since they were sent, from the send journal.
#pragma once

#include <exception>
#include <functional>
#include <optional>
#include <string>

#include "check/CheckFinding.h"
#include "check/PreRunChecks.h"
#include "core/RunState.h"
#include "jet/DBEngine.h"
#include "journal/JournalLocation.h"
#include "platform/Clock.h"
#include "platform/FileStore.h"
#include "platform/RunView.h"

namespace velmora {

struct CheckRange {
    CheckReport report;
    // The problem that kept the check from starting, for the operator; "" when it ran.
    std::string notStarted;
    // What went wrong comparing with the send journal (the report is complete
    // without those findings); null when nothing did.
    std::exception_ptr journalProblem;
};

// Runs CheckBeforeRun (making "Velmora" with makeLogDirectory), and when it
// finds nothing and there is an engine, calls started, checks the request's
// days and adds the findings of the send journal, when there is one. Failures of the
// checks and of the days' check propagate; which ones were before started
// tells them apart.
CheckRange RunCheckRange(const RunRequest& request, RunState& state, FileStore& files, Clock& clock,
                         RunView& view, const std::function<DBEngine&()>& engine,
                         const std::optional<JournalLocation>& journal, bool makeLogDirectory,
                         const std::function<void()>& started = {});

}  // namespace velmora
