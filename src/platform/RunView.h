// The run's seam to the window: what an export or a check tells the window
// (or batch mode) while it goes, so that the caption shows the day and a bad
// date field takes the focus.
#pragma once

#include <string>

namespace velmora {

// What the run tells the window (or batch mode) while it goes; no-ops by default.
class RunView {
public:
    virtual ~RunView() = default;
    // A date field (0 first day, 1 last day) holds no valid date; called before
    // the refusal message.
    virtual void invalidDateField(int /*index*/) {}
    // The checks passed and the login is about to start.
    virtual void runStarted() {}
    // A day is about to be processed.
    virtual void dayStarted(const std::string& /*day*/) {}
    // The run is over; called before its final message box.
    virtual void runEnded() {}
};

}  // namespace velmora
