// Text printed to a terminal by the batch commands carries guest data (names,
// rooms, whole documents). A control character in it (an ESC sequence in a
// name) could move the cursor, retitle the window or hide lines, so it is
// shown escaped instead of being sent raw.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// The text with every control character written as an escape: C0 controls
// other than TAB, LF and the CR of a CR LF as "\x1B", DEL as "\x7F", C1
// controls (U+0080-U+009F) as "\u0085". Everything else is kept byte for byte.
//   terminalSafe("A\x1b[2JB") == "A\\x1B[2JB", terminalSafe("a\r\nb") == "a\r\nb"
std::string terminalSafe(std::string_view text);

}  // namespace velmora
