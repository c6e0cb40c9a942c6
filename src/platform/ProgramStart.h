// What the program takes from the operating system as it starts: its
// arguments in UTF-8, output that shows UTF-8, and on Windows no console of
// its own behind the window.
#pragma once

#include <string>
#include <vector>

namespace velmora {

// The arguments after the program's name, in UTF-8. On Windows they come
// from the UTF-16 command line: argv holds them in the ANSI code page, which
// loses every character it lacks.
std::vector<std::string> programArguments(int argc, char** argv);

// On Windows, standard output and error carry the program's bytes unchanged
// (binary mode: no LF turned into CR LF, as elsewhere), and a console shows
// them as UTF-8 (its output code page is set for the run and restored at
// exit). Elsewhere nothing to do.
void prepareOutput();

// On Windows, when the window is started from a shortcut, the console Windows
// opened for this program alone closes; a console shared with a command
// prompt stays. Elsewhere nothing to do.
void leaveOwnConsole();

}  // namespace velmora
