// The calendar: which texts are dates, their order, the next day, the days
// between two, and the three forms of a day.
#include <gtest/gtest.h>

#include <string>

#include "core/Calendar.h"
#include "support/Support.h"

namespace velmora::test {
namespace {

// One row per rule of a calendar routine: Valid (a: "1"/"0"), Stored (a:
// "1"/"0"), Compare (a, b: "1"/"0"), Next (a), Between (a, b), and the forms
// of a day: ToStored, ToIso, FromIso, StoredToIso, StoredToDay (a), Time (a,
// with " alle ").
struct CalendarRow {
    const char* rule;
    const char* routine;
    std::string a;
    std::string b;
    std::string expected;
};

// clang-format off
const CalendarRow kCalendarRows[] = {
    {"ordinary date", "Valid", "05/03/2026", "", "1"},
    {"31 April does not exist", "Valid", "31/04/2026", "", "0"},
    {"29 Feb in a leap year", "Valid", "29/02/2024", "", "1"},
    {"29 Feb in a common year", "Valid", "29/02/2023", "", "0"},
    {"1900 is not a leap year", "Valid", "29/02/1900", "", "0"},
    {"2000 is a leap year", "Valid", "29/02/2000", "", "1"},
    {"year below 1900", "Valid", "01/01/1899", "", "0"},
    {"day 0", "Valid", "00/01/2026", "", "0"},
    {"separators not examined", "Valid", "05-03-2026", "", "1"},
    {"blanks at the ends ignored", "Valid", "  05/03/2026 ", "", "1"},
    {"fractional day below 1", "Valid", ".5/03/2026", "", "0"},
    {"multi byte separators count as one character", "Valid", "05´03´2026", "", "1"},
    {"a stored date", "Stored", "20240229", "", "1"},
    {"no 29 February in 2100", "Stored", "21000229", "", "0"},
    {"a stored date has eight digits", "Stored", "2024031", "", "0"},
    {"same day is not after", "Compare", "05/03/2026", "05/03/2026", "1"},
    {"later day of the month is after", "Compare", "10/03/2026", "05/03/2026", "0"},
    {"earlier day of the month is not after", "Compare", "05/03/2026", "10/03/2026", "1"},
    {"year end before new year", "Compare", "31/12/2025", "01/01/2026", "1"},
    {"first of a month after the last of the one before", "Compare", "01/02/2026", "31/01/2026", "0"},
    {"end of January", "Next", "31/01/2026", "", "01/02/2026"},
    {"2100 February", "Next", "28/02/2100", "", "01/03/2100"},
    {"next day read by position", "Next", "1//1//2025", "", "02/01/2025"},
    {"days across a month", "Between", "30/01/2026", "02/02/2026", "3"},
    {"a century of days", "Between", "01/01/1900", "01/01/2000", "36524"},
    {"day text to stored by position", "ToStored", "05/03/2026", "", "20260305"},
    {"day text to stored whatever it holds", "ToStored", "2025-01-01", "", "1-015-20"},
    {"day text to ISO", "ToIso", "05/03/2026", "", "2026-03-05"},
    {"a short text is no day", "ToIso", "5/3/26", "", "5/3/26"},
    {"ISO to day text", "FromIso", "2026-03-05", "", "05/03/2026"},
    {"stored to ISO by characters", "StoredToIso", "2024031\xC3\xA9", "", "2024-03-1\xC3\xA9"},
    {"stored to day text", "StoredToDay", "20260305", "", "05/03/2026"},
    {"a journal time as the operator reads it", "Time", "2026-03-05 14:07:09", "", "05/03/2026 alle 14:07"},
    {"a time cut short stays as it is", "Time", "2026-03-05 14", "", "2026-03-05 14"},
};
// clang-format on

class CalendarRoutine : public ::testing::TestWithParam<CalendarRow> {};

TEST_P(CalendarRoutine, FollowsItsRule) {
    const CalendarRow& r = GetParam();
    const std::string routine = r.routine;
    std::string got;
    if (routine == "Valid") {
        got = std::to_string(IsValidDate(r.a));
    } else if (routine == "Stored") {
        got = formsStoredDate(r.a) ? "1" : "0";
    } else if (routine == "ToStored") {
        got = storedDateOf(r.a);
    } else if (routine == "ToIso") {
        got = isoDayOf(r.a);
    } else if (routine == "FromIso") {
        got = dayTextOfIso(r.a);
    } else if (routine == "StoredToIso") {
        got = isoDayOfStored(r.a);
    } else if (routine == "StoredToDay") {
        got = dayTextOfStored(r.a);
    } else if (routine == "Time") {
        got = shownIsoTime(r.a, " alle ");
    } else if (routine == "Compare") {
        got = std::to_string(CompareDates(r.a, r.b));
    } else if (routine == "Next") {
        got = NextDay(r.a);
    } else {
        got = std::to_string(DaysBetween(r.a, r.b));
    }
    EXPECT_EQ(got, r.expected);
}

INSTANTIATE_TEST_SUITE_P(Core, CalendarRoutine, ::testing::ValuesIn(kCalendarRows), RuleName());

}  // namespace
}  // namespace velmora::test
