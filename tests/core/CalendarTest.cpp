// The calendar: which texts are dates, their order, the next day, the days
// between two, and the three forms of a day.
#include <gtest/gtest.h>

#include <string>

#include "core/Calendar.h"
#include "support/Support.h"

namespace velmora::test {
namespace {

// Each routine as a row calls it, on a and, where it takes two, b.
std::string valid(const std::string& a, const std::string&) {
    return std::to_string(IsValidDate(a));
}
std::string stored(const std::string& a, const std::string&) {
    return formsStoredDate(a) ? "1" : "0";
}
std::string compare(const std::string& a, const std::string& b) {
    return std::to_string(CompareDates(a, b));
}
std::string next(const std::string& a, const std::string&) { return nextDay(a); }
std::string between(const std::string& a, const std::string& b) {
    return std::to_string(daysBetween(a, b));
}
std::string toStored(const std::string& a, const std::string&) { return storedDateOf(a); }
std::string toIso(const std::string& a, const std::string&) { return isoDayOf(a); }
std::string fromIso(const std::string& a, const std::string&) { return dayTextOfIso(a); }
std::string storedToIso(const std::string& a, const std::string&) { return isoDayOfStored(a); }
std::string storedToDay(const std::string& a, const std::string&) { return dayTextOfStored(a); }
std::string shownTime(const std::string& a, const std::string&) {
    return shownIsoTime(a, " alle ");
}

struct CalendarRow {
    const char* rule;
    std::string (*routine)(const std::string& a, const std::string& b);
    std::string a;
    std::string b;
    std::string expected;
};

// clang-format off
const CalendarRow kCalendarRows[] = {
    {"ordinary date", valid, "05/03/2026", "", "1"},
    {"31 April does not exist", valid, "31/04/2026", "", "0"},
    {"29 Feb in a leap year", valid, "29/02/2024", "", "1"},
    {"29 Feb in a common year", valid, "29/02/2023", "", "0"},
    {"1900 is not a leap year", valid, "29/02/1900", "", "0"},
    {"2000 is a leap year", valid, "29/02/2000", "", "1"},
    {"year below 1900", valid, "01/01/1899", "", "0"},
    {"day 0", valid, "00/01/2026", "", "0"},
    {"separators not examined", valid, "05-03-2026", "", "1"},
    {"blanks at the ends ignored", valid, "  05/03/2026 ", "", "1"},
    {"fractional day below 1", valid, ".5/03/2026", "", "0"},
    {"multi byte separators count as one character", valid, "05´03´2026", "", "1"},
    {"a stored date", stored, "20240229", "", "1"},
    {"no 29 February in 2100", stored, "21000229", "", "0"},
    {"a stored date has eight digits", stored, "2024031", "", "0"},
    {"same day is not after", compare, "05/03/2026", "05/03/2026", "1"},
    {"later day of the month is after", compare, "10/03/2026", "05/03/2026", "0"},
    {"earlier day of the month is not after", compare, "05/03/2026", "10/03/2026", "1"},
    {"year end before new year", compare, "31/12/2025", "01/01/2026", "1"},
    {"first of a month after the last of the one before", compare, "01/02/2026", "31/01/2026", "0"},
    {"end of January", next, "31/01/2026", "", "01/02/2026"},
    {"2100 February", next, "28/02/2100", "", "01/03/2100"},
    {"next day read by position", next, "1//1//2025", "", "02/01/2025"},
    {"days across a month", between, "30/01/2026", "02/02/2026", "3"},
    {"a century of days", between, "01/01/1900", "01/01/2000", "36524"},
    {"day text to stored by position", toStored, "05/03/2026", "", "20260305"},
    {"day text to stored whatever it holds", toStored, "2025-01-01", "", "1-015-20"},
    {"day text to ISO", toIso, "05/03/2026", "", "2026-03-05"},
    {"a short text is no day", toIso, "5/3/26", "", "5/3/26"},
    {"ISO to day text", fromIso, "2026-03-05", "", "05/03/2026"},
    {"stored to ISO by characters", storedToIso, "2024031\xC3\xA9", "", "2024-03-1\xC3\xA9"},
    {"stored to day text", storedToDay, "20260305", "", "05/03/2026"},
    {"a journal time as the operator reads it", shownTime, "2026-03-05 14:07:09", "", "05/03/2026 alle 14:07"},
    {"a time cut short stays as it is", shownTime, "2026-03-05 14", "", "2026-03-05 14"},
};
// clang-format on

class CalendarRoutine : public ::testing::TestWithParam<CalendarRow> {};

TEST_P(CalendarRoutine, FollowsItsRule) {
    const CalendarRow& r = GetParam();
    EXPECT_EQ(r.routine(r.a, r.b), r.expected);
}

INSTANTIATE_TEST_SUITE_P(Core, CalendarRoutine, ::testing::ValuesIn(kCalendarRows), RuleName());

}  // namespace
}  // namespace velmora::test
