// Ctrl+C, Ctrl+Break and closing the console window in batch mode, through
// SetConsoleCtrlHandler: the first one asks the run to stop (it logs out and
// keeps every log file owed), the second ends the program at once. The
// handler runs on a thread of its own that Windows starts for each event.
#include <windows.h>

#include <atomic>

#include "platform/StopRequest.h"
#include "platform/windows/WindowsConsole.h"

namespace velmora {

namespace {

std::atomic<StopRequest*> g_stop{nullptr};
std::atomic<int> g_events{0};

BOOL WINAPI velmoraConsoleHandler(DWORD event) {
    // The second event ends the process at once, with the status Windows
    // gives a program ended by Ctrl+C (under Wine the default handler would
    // end it with 0, which reads as a completed export).
    if (g_events.fetch_add(1) > 0) {
        restoreConsoleOutput();
        TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
    }
    if (StopRequest* stop = g_stop.load()) stop->request();
    static const char note[] =
        "velmora: interruzione richiesta; chiusura della sessione in corso (una seconda "
        "interruzione termina subito)\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), note, sizeof note - 1, &written, nullptr);
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // Windows ends the process as soon as this returns, and at the latest
        // after about five seconds: wait here while the run logs out; the
        // program's own exit ends this thread.
        Sleep(INFINITE);
    }
    return TRUE;
}

}  // namespace

void stopOnSignals(StopRequest& stop) {
    g_stop.store(&stop);
    // Ctrl+C reaches a program started in a process group of its own only
    // once it is enabled again
    // (https://learn.microsoft.com/windows/console/setconsolectrlhandler).
    SetConsoleCtrlHandler(nullptr, FALSE);
    SetConsoleCtrlHandler(velmoraConsoleHandler, TRUE);
}

}  // namespace velmora
