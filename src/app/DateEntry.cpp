// Date entry routines: tidying and expansion of typed dates.
#include "DateEntry.h"

#include "core/Text.h"
#include "core/Utf8.h"

namespace velmora {

std::string NormalizeText(std::string_view text) {
    const std::string trimmed = trimBlanks(text);
    std::string out;
    out.reserve(trimmed.size() + 4);
    for (std::size_t i = 0; i < trimmed.size();) {
        const std::string_view ch(trimmed.data() + i, decodeUtf8(trimmed, i).length);
        i += ch.size();
        if (ch == "'") {
            out += "\xC2\xB4";  // ´, U+00B4
        } else {
            out += upperCaseUtf8(ch);
        }
    }
    return out.empty() ? std::string(" ") : out;
}

std::string ExpandYear(std::string& text, int currentYear) {
    const std::size_t length = characterCount(text);
    auto piece = [&text](int start, int count) { return midCharacters(text, start, count); };
    std::string result;
    if (length == 6) {
        const double yy = numericValue(piece(5, 2));
        const char* century = 2000.0 + yy <= currentYear + 20.0 ? "/20" : "/19";
        result = piece(1, 2) + "/" + piece(3, 2) + century + piece(5, 2);
    } else if (length == 8) {
        result = piece(1, 2) + "/" + piece(3, 2) + "/" + piece(5, 4);
    } else {
        result = text;
    }
    text = result;
    return result;
}

}  // namespace velmora
