// The program's start on POSIX systems: the arguments are UTF-8 already and
// the terminal is the user's.
#include "platform/ProgramStart.h"

namespace velmora {

std::vector<std::string> programArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

void prepareOutput() {}

void leaveOwnConsole() {}

}  // namespace velmora
