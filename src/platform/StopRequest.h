// The operator's request to stop an export run (Ctrl-C, a service manager's
// SIGTERM or Windows' console events in batch mode, "Interrompi" in the
// window). Set from a signal handler or another thread; read by the run
// between its steps and by the HTTP transport while an exchange waits.
#pragma once

#include <atomic>

namespace velmora {

class StopRequest {
public:
    // Async-signal-safe: only lock-free atomic stores.
    void request() noexcept { m_requested.store(true); }
    bool requested() const noexcept { return m_requested.load(); }
    // A new run starts with no request (the window runs one after another);
    // only while no exchange is under way.
    void reset() noexcept {
        m_requested.store(false);
        m_exchangesFinish.store(false);
    }

    // From now on exchanges run to their end even after a request (the run
    // is logging in or out, which a stop must not cut short), or, with false,
    // are abandoned again.
    void letExchangesFinish(bool finish = true) noexcept { m_exchangesFinish.store(finish); }
    // Whether an exchange in progress is to be abandoned now.
    bool abandonsExchange() const noexcept {
        return m_requested.load() && !m_exchangesFinish.load();
    }

private:
    std::atomic<bool> m_requested{false};
    std::atomic<bool> m_exchangesFinish{false};
    static_assert(std::atomic<bool>::is_always_lock_free);
};

// Makes SIGINT and SIGTERM request stop (on Windows: Ctrl+C, Ctrl+Break and
// closing the console window); a second one ends the program at once with the
// default action. stop must live until the program ends.
void stopOnSignals(StopRequest& stop);

}  // namespace velmora
