// The steps of an export run, as the run sees them: login, the stays document
// of one kind for a day, its submission, the day closing and the logout. The
// real steps call the service and stays areas; tests record the calls.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "core/RunState.h"
#include "platform/Monitor.h"

namespace velmora {

class RunRecorder;

class ExportSteps {
public:
    virtual ~ExportSteps() = default;
    // Logs in; throws RunError when the login fails.
    virtual void DoLogin() = 0;
    // The stays document of kind "A" or "P" for the days firstDay..lastDay
    // ("DD/MM/YYYY"), or "" when it holds no stay.
    virtual std::string ExportStays(const std::string& firstDay, const std::string& lastDay,
                                    const std::string& kind) = 0;
    // Posts the document of day ("DD/MM/YYYY"); true when the answer was
    // marked "Sono presenti errori!".
    virtual bool SendMovements(const std::string& document, const std::string& kind,
                               const std::string& day) = 0;
    // Closes the day at the service; true when the answer was marked an error.
    virtual bool CloseDay(const std::string& day) = 0;
    // Logs out; true when the answer was marked an error.
    virtual bool DoLogout() = 0;
};

// Options handed to the factory of the steps.
struct StepsOptions {
    // Keep the tables of the databases in memory between reads.
    bool tableCache = true;
    // Where the steps record each document's guests and each exchange; none:
    // nothing is recorded.
    RunRecorder* recorder = nullptr;
};

// Makes the steps of one run; called once per run, after the checks that
// precede the login. May throw RunError.
using ExportStepsFactory =
    std::function<std::unique_ptr<ExportSteps>(RunState&, Monitor&, const StepsOptions&)>;

}  // namespace velmora
