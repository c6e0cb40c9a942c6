// The calendar of the program: day texts "DD/MM/YYYY" read by position, the
// validity and leap rules, and day serials for walking a range. The export,
// the check and the journal all count days here. Pieces of a date are read
// with numericValue, so "5/" reads 5 and "/5" reads 0.
#include "core/Calendar.h"

#include <cmath>
#include <cstdio>

#include "core/Text.h"
#include "core/Utf8.h"

namespace velmora {

namespace {

struct DateParts {
    double day = 0;
    double month = 0;
    double year = 0;
};

DateParts readParts(std::string_view text) {
    return {numericValue(midCharacters(text, 1, 2)), numericValue(midCharacters(text, 4, 2)),
            numericValue(midCharacters(text, 7, 4))};
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

// Days of a month (1-12) of a year that fits IsLeapYear.
int daysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && IsLeapYear(static_cast<std::int16_t>(year)) == 1) return 29;
    return kDays[month - 1];
}

}  // namespace

bool formsStoredDate(std::string_view text) {
    if (text.size() != 8) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    const auto digits = [text](std::size_t pos, std::size_t count) {
        int v = 0;
        for (std::size_t i = pos; i < pos + count; ++i) v = v * 10 + (text[i] - '0');
        return v;
    };
    const int year = digits(0, 4);
    const int month = digits(4, 2);
    const int day = digits(6, 2);
    if (year < 1 || month < 1 || month > 12 || day < 1) return false;
    return day <= daysInMonth(year, month);
}

std::int16_t IsLeapYear(std::int16_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0 ? 1 : 0;
}

std::int16_t IsValidDate(std::string_view text) {
    const std::string trimmed = trimBlanks(text);
    if (characterCount(trimmed) != 10) return 0;
    const DateParts p = readParts(trimmed);
    // The year is rounded to an integer (half to even); one that does not fit
    // 16 bits is no date.
    const double year = std::nearbyint(p.year);
    if (!(year >= -32768.0 && year <= 32767.0)) return 0;
    if (year < 1900 || p.month < 1 || p.month > 12) return 0;
    if (p.month != std::floor(p.month)) return 0;
    const int month = static_cast<int>(p.month);
    return p.day >= 1 && p.day <= daysInMonth(static_cast<int>(year), month) ? 1 : 0;
}

std::int16_t CompareDates(std::string_view first, std::string_view second) {
    const DateParts x = readParts(midCharacters(first, 1, 10));
    DateParts y = readParts(midCharacters(second, 1, 10));
    y.year = std::nearbyint(y.year);
    bool after = x.year > y.year || (x.year == y.year && x.month > y.month) ||
                 (x.year == y.year && x.month == y.month && x.day > y.day);
    return after ? 0 : 1;
}

long long daySerial(std::string_view dayText) {
    const DateParts p = readParts(trimBlanks(dayText));
    auto whole = [](double v) { return static_cast<long long>(std::floor(v)); };
    return daysFromCivil(static_cast<long long>(std::nearbyint(p.year)), whole(p.month),
                         whole(p.day));
}

std::string dayTextOf(long long serial) {
    long long y = 0, m = 0, d = 0;
    civilFromDays(serial, y, m, d);
    char buf[80];
    std::snprintf(buf, sizeof buf, "%02lld/%02lld/%04lld", d, m, y);
    return buf;
}

std::string nextDay(std::string_view dayText) { return dayTextOf(daySerial(dayText) + 1); }

long long daysBetween(std::string_view from, std::string_view to) {
    return daySerial(to) - daySerial(from);
}

std::string storedDateOf(std::string_view dayText) {
    return midCharacters(dayText, 7, 4) + midCharacters(dayText, 4, 2) +
           midCharacters(dayText, 1, 2);
}

std::string isoDayOf(std::string_view dayText) {
    if (characterCount(dayText) < 10) return std::string(dayText);
    return midCharacters(dayText, 7, 4) + "-" + midCharacters(dayText, 4, 2) + "-" +
           midCharacters(dayText, 1, 2);
}

std::string dayTextOfIso(std::string_view isoDay) {
    if (characterCount(isoDay) < 10) return std::string(isoDay);
    return midCharacters(isoDay, 9, 2) + "/" + midCharacters(isoDay, 6, 2) + "/" +
           midCharacters(isoDay, 1, 4);
}

std::string isoDayOfStored(std::string_view stored) {
    return midCharacters(stored, 1, 4) + "-" + midCharacters(stored, 5, 2) + "-" +
           midCharacters(stored, 7, 2);
}

std::string dayTextOfStored(std::string_view stored) {
    return midCharacters(stored, 7, 2) + "/" + midCharacters(stored, 5, 2) + "/" +
           midCharacters(stored, 1, 4);
}

std::string shownIsoTime(std::string_view isoTime, std::string_view between) {
    if (characterCount(isoTime) < 16) return std::string(isoTime);
    return dayTextOfIso(midCharacters(isoTime, 1, 10)) + std::string(between) +
           midCharacters(isoTime, 12, 5);
}

bool hasDatePositions(std::string_view text) {
    if (text.size() < 10) return false;
    for (std::size_t i : {0u, 1u, 3u, 4u, 6u, 7u, 8u, 9u})
        if (text[i] < '0' || text[i] > '9') return false;
    return true;
}

}  // namespace velmora
