// The check before sending: for every day of a range, arrivals then
// departures, it builds the very documents the export would post (same
// writers, same engine, same InitialDate refresh) into memory, and lists per
// guest what would stop the export, what the service will refuse, what would
// never be sent and what the rules leave out. It logs in nowhere, posts
// nothing and writes no file.
#pragma once

#include <memory>
#include <string>

#include "check/CheckFinding.h"
#include "platform/RunView.h"
#include "platform/StopRequest.h"
#include "core/RunState.h"
#include "platform/Clock.h"
#include "jet/DBEngine.h"
#include "platform/FileStore.h"

namespace velmora {

// How a check stopped by the operator begins its interruption.
inline constexpr const char* kCheckStoppedLine = "Verifica interrotta dall'operatore";

class CheckRun {
public:
    // settings: the loaded settings (UserId is the documents' hotel code);
    // the check works on its own copy of the run-wide state.
    CheckRun(const RunState& settings, DBEngine& engine, FileStore& files, Clock& clock);
    ~CheckRun();
    CheckRun(const CheckRun&) = delete;
    CheckRun& operator=(const CheckRun&) = delete;

    // Checks the days firstDay..lastDay, texts that passed CheckBeforeRun; the
    // first day is used as given, the next ones as "DD/MM/YYYY". A record the
    // export would stop on becomes a blocking finding and the check goes on
    // with the next document; any other failure (an unreadable database, ...)
    // ends the check with report.interruption set, and so does a stop asked
    // through stop (seen before each day). Never throws.
    CheckReport run(const std::string& firstDay, const std::string& lastDay, RunView& view,
                    const StopRequest* stop = nullptr);

private:
    class ReadOnlyFiles;
    void checkDocument(const std::string& day, const std::string& kind, CheckReport& report);

    RunState m_state;
    DBEngine& m_engine;
    std::unique_ptr<FileStore> m_files;
    Clock& m_clock;
};

}  // namespace velmora
