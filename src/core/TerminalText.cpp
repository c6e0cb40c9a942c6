// Escaping of control characters for terminal output.
#include "core/TerminalText.h"

#include <cstdio>

namespace velmora {

std::string terminalSafe(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    char escape[8];
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const bool crOfCrLf = c == '\r' && i + 1 < text.size() && text[i + 1] == '\n';
        if ((c < 0x20 && c != '\t' && c != '\n' && !crOfCrLf) || c == 0x7F) {
            std::snprintf(escape, sizeof escape, "\\x%02X", c);
            out += escape;
        } else if (c == 0xC2 && i + 1 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            std::snprintf(escape, sizeof escape, "\\u%04X",
                          static_cast<unsigned char>(text[i + 1]));
            out += escape;
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace velmora
