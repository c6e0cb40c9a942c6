// Value rules of the stay document.
#include "stays/StayValues.h"

#include <cmath>
#include <cstdlib>

#include "core/Text.h"
#include "core/Utf8.h"

namespace velmora {

namespace {

int digitsValue(std::string_view text, std::size_t pos, std::size_t count) {
    int v = 0;
    for (std::size_t i = pos; i < pos + count; ++i) v = v * 10 + (text[i] - '0');
    return v;
}

}  // namespace

int completedYears(std::string_view birth, std::string_view arrival) {
    int years = digitsValue(arrival, 0, 4) - digitsValue(birth, 0, 4);
    if (arrival.substr(4, 4) < birth.substr(4, 4)) --years;
    return years;
}

std::string zeroFilled(long long value, int digits) {
    std::string sign;
    unsigned long long magnitude = static_cast<unsigned long long>(value);
    if (value < 0) {
        sign = "-";
        magnitude = 0ULL - magnitude;
    }
    std::string text = std::to_string(magnitude);
    if (static_cast<int>(text.size()) < digits)
        text.insert(0, static_cast<std::size_t>(digits) - text.size(), '0');
    return sign + text;
}

int guestType(std::string_view capoFamiglia, double codiceCapoFamiglia, double codiceCapoGruppo,
              std::string_view capoGruppo) {
    if (capoFamiglia == "S") return 17;
    if (codiceCapoFamiglia > 0) return 19;
    if (codiceCapoGruppo > 0) return 20;
    if (capoGruppo == "S") return 18;
    return 16;
}

const char* genderCode(std::string_view sesso) { return sesso == "M" ? "1" : "2"; }

const char* checkoutText(std::string_view kind) { return kind == "A" ? "false" : "true"; }

long long historyMemberKey(long long numeroProgressivo) {
    const std::string text = std::to_string(numeroProgressivo);
    const std::string last = text.size() > 6 ? text.substr(text.size() - 6) : text;
    return static_cast<long long>(numericValue(last));
}

std::string xmlSafe(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size();) {
        const Utf8Char c = decodeUtf8(value, i);
        // Control characters (C0, DEL, C1) and what XML 1.0 cannot hold at
        // all (U+FFFE, U+FFFF, bytes of a broken or invalid sequence).
        const bool blank = !c.valid || c.codePoint < 0x20 || c.codePoint == '<' ||
                           c.codePoint == '>' || (c.codePoint >= 0x7F && c.codePoint <= 0x9F) ||
                           c.codePoint == 0xFFFE || c.codePoint == 0xFFFF;
        if (blank) {
            out += ' ';
        } else {
            out.append(value.substr(i, c.length));
        }
        i += c.length;
    }
    return out;
}

std::optional<long long> numeroProgressivoOf(const FieldValue& v) {
    if (v.isNumber()) {
        const double d = v.asNumber();
        if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 9e15)
            return static_cast<long long>(d);
        return std::nullopt;
    }
    if (v.isText()) {
        const std::string t = trimBlanks(v.asText());
        const std::size_t start = t.size() > 1 && t[0] == '-' ? 1 : 0;
        if (start == t.size() || t.size() > 16) return std::nullopt;
        for (std::size_t k = start; k < t.size(); ++k)
            if (t[k] < '0' || t[k] > '9') return std::nullopt;
        return std::stoll(t);
    }
    return std::nullopt;
}

}  // namespace velmora
