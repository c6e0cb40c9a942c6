// The program's start on Windows: arguments from GetCommandLineW split by
// CommandLineToArgvW (the same rules as the C runtime's argv), standard
// output and error in binary mode with the console's output code page set to
// UTF-8 while the program runs, and the console that Windows opened for the
// window alone closed with FreeConsole.
#include <windows.h>
// (after windows.h, which it needs)
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "platform/ProgramStart.h"
#include "platform/windows/WindowsConsole.h"
#include "platform/windows/WindowsText.h"

namespace velmora {

namespace {

std::atomic<UINT> g_previousOutputCodePage{0};

void restoreAtExit() { restoreConsoleOutput(); }

}  // namespace

void restoreConsoleOutput() {
    if (const UINT previous = g_previousOutputCodePage.exchange(0)) SetConsoleOutputCP(previous);
}

std::vector<std::string> programArguments(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) return std::vector<std::string>(argv + 1, argv + argc);
    std::vector<std::string> args;
    for (int i = 1; i < count; ++i) args.push_back(utf8Of(wide[i]));
    LocalFree(wide);
    return args;
}

void prepareOutput() {
    std::fflush(stdout);
    std::fflush(stderr);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    const UINT previous = GetConsoleOutputCP();
    if (previous == 0 || previous == CP_UTF8) return;  // no console, or UTF-8 already
    if (!SetConsoleOutputCP(CP_UTF8)) return;
    g_previousOutputCodePage = previous;
    std::atexit(restoreAtExit);
}

void leaveOwnConsole() {
    DWORD processes[2];
    // Only this process on the console: Windows made it for the program.
    if (GetConsoleProcessList(processes, 2) == 1) FreeConsole();
}

}  // namespace velmora
