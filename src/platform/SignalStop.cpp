// SIGINT and SIGTERM in batch mode: the first one asks the run to stop (it
// logs out and keeps every log file owed), the second ends the program at
// once. The handler only stores atomics, writes to stderr and re-raises.
#include <signal.h>
#include <unistd.h>

#include <atomic>

#include "platform/StopRequest.h"

namespace velmora {

namespace {

// A signal handler reaches the run only through process-wide state.
std::atomic<StopRequest*> g_stop{nullptr};
std::atomic<int> g_signals{0};

extern "C" void velmoraStopHandler(int sig) {
    if (g_signals.fetch_add(1) > 0) {
        // The second signal: the default action, now.
        struct sigaction fallback {};
        fallback.sa_handler = SIG_DFL;
        sigemptyset(&fallback.sa_mask);
        sigaction(sig, &fallback, nullptr);
        raise(sig);
        return;
    }
    if (StopRequest* stop = g_stop.load()) stop->request();
    static const char note[] =
        "velmora: interruzione richiesta; chiusura della sessione in corso (un secondo "
        "segnale termina subito)\n";
    ssize_t ignored = write(STDERR_FILENO, note, sizeof note - 1);
    (void)ignored;
}

}  // namespace

void stopOnSignals(StopRequest& stop) {
    g_stop.store(&stop);
    struct sigaction action {};
    action.sa_handler = velmoraStopHandler;
    sigemptyset(&action.sa_mask);
    // Interrupted reads and writes resume instead of failing with EINTR.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

}  // namespace velmora
