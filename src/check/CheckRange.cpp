// The check over a range of days: checks before the run, the days' check and
// the send journal's findings, one after the other.
#include "check/CheckRange.h"

#include "check/CheckJournal.h"
#include "check/CheckRun.h"
#include "journal/ExportJournal.h"

namespace velmora {

CheckRange RunCheckRange(const RunRequest& request, RunState& state, FileStore& files, Clock& clock,
                         RunView& view, const std::function<DBEngine&()>& engine,
                         const CheckRangeOptions& options) {
    CheckRange range;
    range.notStarted = CheckBeforeRun(request, state, files, view, options.forWindow);
    if (range.notStarted.empty() && !engine) range.notStarted = "La verifica non è disponibile.";
    if (!range.notStarted.empty()) return range;
    if (options.started) options.started();
    CheckRun check(state, engine(), files, clock);
    range.report = check.run(request.firstDay, request.lastDay, view, options.stop);
    if (!options.journal) return range;
    try {
        AddJournalFindings(range.report, *ReadJournal(*options.journal), files,
                           options.forWindow ? AdviceFor::Window : AdviceFor::Command);
    } catch (...) {
        range.journalProblem = std::current_exception();
    }
    return range;
}

}  // namespace velmora
