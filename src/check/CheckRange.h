// The check before sending over a range of days, as the window and the
// "check" command run it: the checks before any run, the check of the days,
// then what changed since they were sent, from the send journal. Its result
// is a value both only show.
#pragma once

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
    // The days of the request, checked as far as the interruption says.
    CheckReport report;
    // The problem that kept the check from starting, for the operator; "" when it ran.
    std::string notStarted;
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

// Runs checkBeforeRun, and when it finds nothing and there is an engine,
// calls started, checks the request's days and adds the findings of the send
// journal, when there is one. Never throws: a failure before started is
// notStarted (a RunError with its message and detail); one after it, a send
// journal that cannot be read included, ends the report with an interruption
// "Verifica interrotta: ...", since the check did not do all it says.
CheckRange runCheckRange(const RunRequest& request, const RunState& state, FileStore& files,
                         Clock& clock, RunView& view, const std::function<DBEngine&()>& engine,
                         const CheckRangeOptions& options = {});

}  // namespace velmora
