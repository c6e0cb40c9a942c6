// The console as the program found it, given back: its output code page,
// which prepareOutput sets to UTF-8 for the run. Windows only.
#pragma once

namespace velmora {

// Sets the console's output code page back to what it was; once.
void restoreConsoleOutput();

}  // namespace velmora
