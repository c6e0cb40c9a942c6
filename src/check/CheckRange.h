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
#include "platform/StopRequest.h"

namespace velmora {

struct CheckRange {
    CheckReport report;
    // The problem that kept the check from starting, for the operator; "" when it ran.
    std::string notStarted;
    // What went wrong comparing with the send journal (the report is complete
    // without those findings); null when nothing did.
    std::exception_ptr journalProblem;
};

struct CheckRangeOptions {
    // The window's Verifica: "Velmora" is made when missing (its report goes
    // there) and the advice speaks of the window's controls.
    bool forWindow = false;
    // The send journal whose findings are added, when there is one.
    std::optional<JournalLocation> journal;
    // Called when the checks before the run found nothing.
    std::function<void()> started;
    // Asks the check to stop before the next day.
    const StopRequest* stop = nullptr;
};

// Runs CheckBeforeRun, and when it finds nothing and there is an engine,
// calls started, checks the request's days and adds the findings of the send
// journal, when there is one. Failures of the checks and of the days' check
// propagate; which ones were before started tells them apart.
CheckRange RunCheckRange(const RunRequest& request, RunState& state, FileStore& files, Clock& clock,
                         RunView& view, const std::function<DBEngine&()>& engine,
                         const CheckRangeOptions& options = {});

}  // namespace velmora
