// Date entry routines: tidying and expansion of typed dates.
#include "DateEntry.h"

#include <optional>
#include <vector>

#include "core/Text.h"
#include "core/Utf8.h"

namespace velmora {

namespace {

const char* centuryOf(double yy, int currentYear) {
    return 2000.0 + yy <= currentYear + 20.0 ? "20" : "19";
}

// "D/M/YY", "DD.MM.YYYY", ...: the pieces of a date written with one
// separator, or nothing when the text is not such a date.
std::optional<std::vector<std::string>> separatedPieces(const std::string& text) {
    const std::size_t first = text.find_first_of("/-.");
    if (first == std::string::npos) return std::nullopt;
    const char separator = text[first];
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != separator) {
            if (text[i] < '0' || text[i] > '9') return std::nullopt;
            continue;
        }
        pieces.push_back(text.substr(start, i - start));
        start = i + 1;
    }
    if (pieces.size() != 3) return std::nullopt;
    const std::size_t d = pieces[0].size(), m = pieces[1].size(), y = pieces[2].size();
    if (d < 1 || d > 2 || m < 1 || m > 2 || (y != 2 && y != 4)) return std::nullopt;
    return pieces;
}

bool allDigits(const std::string& text) {
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

}  // namespace

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
    const auto pieces = length == 10 ? std::nullopt : separatedPieces(text);
    if (pieces) {
        auto twoDigits = [](const std::string& p) { return p.size() == 1 ? "0" + p : p; };
        const std::string& year = (*pieces)[2];
        result = twoDigits((*pieces)[0]) + "/" + twoDigits((*pieces)[1]) + "/" +
                 (year.size() == 2 ? centuryOf(numericValue(year), currentYear) + year : year);
    } else if (!allDigits(text)) {
        // Cut by position, any other text would come back garbled.
        result = text;
    } else if (length == 6) {
        const double yy = numericValue(piece(5, 2));
        result = piece(1, 2) + "/" + piece(3, 2) + "/" + centuryOf(yy, currentYear) + piece(5, 2);
    } else if (length == 8) {
        result = piece(1, 2) + "/" + piece(3, 2) + "/" + piece(5, 4);
    } else {
        result = text;
    }
    text = result;
    return result;
}

}  // namespace velmora
