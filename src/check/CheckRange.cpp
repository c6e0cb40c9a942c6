// The check over a range of days: checks before the run, the days' check and
// the send journal's findings, one after the other, and whatever stops them
// told in the result.
#include "check/CheckRange.h"

#include <exception>

#include "check/CheckJournal.h"
#include "check/CheckRun.h"
#include "core/RunError.h"
#include "journal/ExportJournal.h"

namespace velmora {

CheckRange runCheckRange(const RunRequest& request, const RunState& state, FileStore& files,
                         Clock& clock, RunView& view, const std::function<DBEngine&()>& engine,
                         const CheckRangeOptions& options) {
    CheckRange range;
    range.report.firstDay = request.firstDay;
    range.report.lastDay = request.lastDay;
    bool started = false;
    try {
        range.notStarted = checkBeforeRun(request, state, files, view, options.forWindow);
        if (range.notStarted.empty() && !engine)
            range.notStarted = "La verifica non è disponibile.";
        if (!range.notStarted.empty()) return range;
        started = true;
        if (options.started) options.started();
        CheckRun check(state, engine(), files, clock);
        range.report = check.run(request.firstDay, request.lastDay, view, options.stop);
        if (options.journal)
            addJournalFindings(range.report, *readJournal(*options.journal), files,
                               options.forWindow ? AdviceFor::Window : AdviceFor::Command);
    } catch (const RunError& e) {
        if (started)
            range.report.interruption = "Verifica interrotta: " + e.fullText();
        else
            range.notStarted = e.fullText();
    } catch (const std::exception& e) {
        if (started)
            range.report.interruption =
                std::string("Verifica interrotta: errore imprevisto: ") + e.what();
        else
            range.notStarted = std::string("Errore imprevisto durante i controlli: ") + e.what();
    }
    return range;
}

}  // namespace velmora
