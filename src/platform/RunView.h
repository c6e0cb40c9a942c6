// The run's seam to the window: what an export or a check tells the window
// (or batch mode) while it goes, so that the caption shows the day, the
// status line a long wait for the service, and a bad date field takes the
// focus. The window's run goes on a thread of its own: the window hands
// these calls on to its own thread.
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
    // An exchange with the service starts: the day it belongs to ("" for the
    // login and the logout) and what it is ("accesso", "arrivi", "partenze",
    // "chiusura", "disconnessione"). exchangeEnded follows whatever happens.
    virtual void exchangeStarted(const std::string& /*day*/, const std::string& /*what*/) {}
    virtual void exchangeEnded() {}
    // The run is over; called before its final message box.
    virtual void runEnded() {}
};

}  // namespace velmora
