// The place splitter: two backward scans for the last two blanks, positions
// counted from 1 as the stored texts were always cut.
#include "stays/SplitPlace.h"

#include <array>

#include "core/Text.h"

namespace velmora {

std::string SplitPlace(const std::string& text, int part) {
    const std::string s = trimBlanks(text);
    if (s == "***" || s.empty()) return {};

    // Character at position p (1-based); s has no blank at position 1.
    auto at = [&s](int p) { return s[static_cast<std::size_t>(p - 1)]; };
    const int length = static_cast<int>(s.size());

    // b1: the last blank, or 1 when there is none.
    int i = length;
    while (at(i) != ' ' && i > 1) --i;
    const int b1 = i;

    // b2: the last blank before b1, 1 when there is none, 0 when s has no blank.
    const int k = b1 - 1;
    i = b1 - 1;
    while (i >= 1 && at(i) != ' ' && i > 1) --i;
    const int b2 = i;

    std::array<std::string, 4> parts;
    parts[0] = mid(s, b1 + 1, length - b1);
    parts[1] = mid(s, 1, b1);
    parts[2] = mid(s, b2 + 1, k - b2 + 1);
    if (b2 - 1 > 0) parts[3] = mid(s, 1, b2 - 1);

    if (part < 0 || part > 3) return {};
    return trimBlanks(parts[static_cast<std::size_t>(part)]);
}

}  // namespace velmora
