// Date entry routines: tidying, expansion and checking of typed dates, and the
// day arithmetic of the export run. Pieces of a date are read with
// numericValue, so "5/" reads 5 and "/5" reads 0.
#include "DateEntry.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "core/Text.h"

namespace velmora {

namespace {

// The characters of a UTF-8 text, each as its bytes. A byte that does not
// start a well-formed sequence counts as one character.
std::vector<std::string_view> characters(std::string_view text) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        std::size_t len = 1;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
        }
        if (i + len > text.size()) len = 1;
        for (std::size_t k = 1; k < len; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                len = 1;
                break;
            }
        }
        out.push_back(text.substr(i, len));
        i += len;
    }
    return out;
}

// Characters [first, first + count) counted from 1, joined.
std::string piece(const std::vector<std::string_view>& chars, std::size_t first,
                  std::size_t count) {
    std::string out;
    for (std::size_t k = first - 1; k < first - 1 + count && k < chars.size(); ++k) out += chars[k];
    return out;
}

struct DateParts {
    double day = 0;
    double month = 0;
    double year = 0;
};

DateParts readParts(const std::vector<std::string_view>& chars) {
    return {numericValue(piece(chars, 1, 2)), numericValue(piece(chars, 4, 2)),
            numericValue(piece(chars, 7, 4))};
}

// Days since 1970-01-01 of a proleptic Gregorian date (month 1-12).
long long daysFromCivil(long long y, long long m, long long d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(long long z, long long& y, long long& m, long long& d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = yoe + era * 400 + (m <= 2);
}

}  // namespace

void FillDaysInMonth(RunState& state) {
    static constexpr std::int16_t kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    state.DaysInMonth[0] = 0;
    for (int m = 1; m <= 12; ++m) state.DaysInMonth[m] = kDays[m - 1];
}

std::string NormalizeText(std::string_view text) {
    const std::string trimmed = trimBlanks(text);
    std::string out;
    out.reserve(trimmed.size() + 4);
    for (std::string_view ch : characters(trimmed)) {
        if (ch == "'") {
            out += "\xC2\xB4";  // ´, U+00B4
        } else {
            out += upperCaseUtf8(ch);
        }
    }
    return out.empty() ? std::string(" ") : out;
}

std::string ExpandYear(std::string& text, int currentYear) {
    const auto chars = characters(text);
    std::string result;
    if (chars.size() == 6) {
        const double yy = numericValue(piece(chars, 5, 2));
        const char* century = 2000.0 + yy <= currentYear + 20.0 ? "/20" : "/19";
        result = piece(chars, 1, 2) + "/" + piece(chars, 3, 2) + century + piece(chars, 5, 2);
    } else if (chars.size() == 8) {
        result = piece(chars, 1, 2) + "/" + piece(chars, 3, 2) + "/" + piece(chars, 5, 4);
    } else {
        result = text;
    }
    text = result;
    return result;
}

std::int16_t IsLeapYear(std::int16_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0 ? 1 : 0;
}

std::int16_t IsValidDate(std::string_view text, RunState& state) {
    // The views point into the trimmed text, which must outlive them.
    const std::string trimmed = trimBlanks(text);
    const auto chars = characters(trimmed);
    if (chars.size() != 10) return 0;
    const DateParts p = readParts(chars);
    // The year is rounded to an integer (half to even); one that does not fit
    // 16 bits is no date.
    const double year = std::nearbyint(p.year);
    if (!(year >= -32768.0 && year <= 32767.0)) return 0;
    if (year < 1900 || p.month < 1 || p.month > 12) return 0;
    if (p.month != std::floor(p.month)) return 0;
    const int month = static_cast<int>(p.month);
    state.DaysInMonth[2] = IsLeapYear(static_cast<std::int16_t>(year)) == 1 ? 29 : 28;
    return p.day >= 1 && p.day <= state.DaysInMonth[month] ? 1 : 0;
}

std::int16_t CompareDates(std::string_view first, std::string_view second) {
    auto a = characters(first);
    auto b = characters(second);
    if (a.size() > 10) a.resize(10);
    if (b.size() > 10) b.resize(10);
    const DateParts x = readParts(a);
    DateParts y = readParts(b);
    y.year = std::nearbyint(y.year);
    bool after = x.year > y.year || (x.year == y.year && x.month > y.month) ||
                 (x.year == y.year && x.month == y.month && x.day > y.day);
    return after ? 0 : 1;
}

long long DaySerial(std::string_view dayText) {
    const std::string trimmed = trimBlanks(dayText);
    const DateParts p = readParts(characters(trimmed));
    auto whole = [](double v) { return static_cast<long long>(std::floor(v)); };
    return daysFromCivil(static_cast<long long>(std::nearbyint(p.year)), whole(p.month),
                         whole(p.day));
}

std::string DayTextOf(long long serial) {
    long long y = 0, m = 0, d = 0;
    civilFromDays(serial, y, m, d);
    char buf[80];
    std::snprintf(buf, sizeof buf, "%02lld/%02lld/%04lld", d, m, y);
    return buf;
}

std::string NextDay(std::string_view dayText) { return DayTextOf(DaySerial(dayText) + 1); }

long long DaysBetween(std::string_view from, std::string_view to) {
    return DaySerial(to) - DaySerial(from);
}

bool HasDatePositions(std::string_view text) {
    if (text.size() < 10) return false;
    for (std::size_t i : {0u, 1u, 3u, 4u, 6u, 7u, 8u, 9u})
        if (text[i] < '0' || text[i] > '9') return false;
    return true;
}

}  // namespace velmora
