// Date entry routines: tidying, expansion with the moving century pivot, the
// date check with the calendar's leap rule, comparison and day stepping.
#include <gtest/gtest.h>

#include "app/DateEntry.h"

namespace velmora {
namespace {

TEST(NormalizeText, TrimsUpperCasesAndTurnsApostrophes) {
    struct Row {
        const char* rule;
        const char* in;
        const char* out;
    } rows[] = {
        {"leading blank removed", " 050324", "050324"},
        {"trailing blanks removed", "05/03/2026  ", "05/03/2026"},
        {"letters become capitals", "abc", "ABC"},
        {"accented letters become capitals",
         "\xC3\xA0"
         "b",
         "\xC3\x80"
         "B"},
        {"apostrophe becomes acute accent", "l'a",
         "L\xC2\xB4"
         "A"},
        {"blank input becomes one blank", "   ", " "},
        {"empty input becomes one blank", "", " "},
        {"inner blanks kept", "05 03", "05 03"},
    };
    for (const Row& r : rows) EXPECT_EQ(NormalizeText(r.in), r.out) << r.rule;
}

TEST(ExpandYear, ExpandsSixAndEightCharacterDates) {
    struct Row {
        const char* rule;
        int currentYear;
        const char* in;
        const char* out;
    } rows[] = {
        {"this century, past", 2026, "050324", "05/03/2024"},
        {"this century, this year", 2026, "050326", "05/03/2026"},
        {"year 00", 2026, "050300", "05/03/2000"},
        {"pivot: current year + 20 is still 20yy", 2026, "050346", "05/03/2046"},
        {"pivot: beyond current year + 20 is 19yy", 2026, "050347", "05/03/1947"},
        {"99 is last century", 2026, "050399", "05/03/1999"},
        {"pivot moves with the clock", 2030, "050350", "05/03/2050"},
        {"pivot moves with the clock, beyond", 2030, "050351", "05/03/1951"},
        {"eight digits", 2026, "05032026", "05/03/2026"},
        {"positions only: 1/1/25", 2026, "1/1/25", "1//1//2025"},
        {"positions only: letters", 2026, "ABCDEF", "AB/CD/20EF"},
        {"full date unchanged", 2026, "05/03/2026", "05/03/2026"},
        {"seven characters unchanged", 2026, "0503202", "0503202"},
        {"blank unchanged", 2026, " ", " "},
        {"characters, not bytes", 2026,
         "05\xC2\xB4"
         "326",
         "05/\xC2\xB4"
         "3/2026"},
    };
    for (const Row& r : rows) {
        std::string text = r.in;
        EXPECT_EQ(ExpandYear(text, r.currentYear), r.out) << r.rule;
        EXPECT_EQ(text, r.out) << r.rule << " (argument replaced)";
    }
}

TEST(IsValidDate, AcceptsCalendarDatesFrom1900) {
    struct Row {
        const char* rule;
        const char* text;
        int valid;
    } rows[] = {
        {"ordinary date", "05/03/2026", 1},
        {"31 April does not exist", "31/04/2026", 0},
        {"30 April", "30/04/2026", 1},
        {"29 Feb in a leap year", "29/02/2024", 1},
        {"29 Feb in a common year", "29/02/2023", 0},
        {"1900 is not a leap year", "29/02/1900", 0},
        {"2100 is not a leap year", "29/02/2100", 0},
        {"2000 is a leap year", "29/02/2000", 1},
        {"year below 1900", "01/01/1899", 0},
        {"first day of 1900", "01/01/1900", 1},
        {"month 13", "01/13/2026", 0},
        {"month 0", "01/00/2026", 0},
        {"day 0", "00/01/2026", 0},
        {"separators not examined", "05-03-2026", 1},
        {"expanded 1/1/25", "1//1//2025", 1},
        {"blanks at the ends ignored", "  05/03/2026 ", 1},
        {"single blank", " ", 0},
        {"empty", "", 0},
        {"eleven characters", "05/03/20266", 0},
        {"letters", "AB/CD/EFGH", 0},
        {"negative day", "-1/03/2026", 0},
        {"fractional day below 1", ".5/03/2026", 0},
        {"inner blank in a piece", "05/ 3/2026", 1},
        {"a piece starting with a non digit reads 0",
         "\xC2\xB4"
         "5/03/2026",
         0},
        {"multi-byte separators count as one character",
         "05\xC2\xB4"
         "03\xC2\xB4"
         "2026",
         1},
        {"last day of 9999", "31/12/9999", 1},
    };
    for (const Row& r : rows) {
        RunState state;
        FillDaysInMonth(state);
        EXPECT_EQ(IsValidDate(r.text, state), r.valid) << r.rule << ": " << r.text;
    }
}

TEST(IsValidDate, RewritesFebruaryForTheYearExamined) {
    RunState state;
    FillDaysInMonth(state);
    IsValidDate("01/01/2024", state);
    EXPECT_EQ(state.DaysInMonth[2], 29);
    IsValidDate("01/01/2100", state);
    EXPECT_EQ(state.DaysInMonth[2], 28);
    // A text rejected before the year is read leaves the table alone.
    IsValidDate("01/01/2024", state);
    IsValidDate("short", state);
    EXPECT_EQ(state.DaysInMonth[2], 29);
}

TEST(IsLeapYear, FollowsTheCalendar) {
    struct Row {
        int year;
        int leap;
    } rows[] = {{2024, 1}, {2023, 0}, {2000, 1}, {1900, 0}, {2100, 0}, {2400, 1}, {1996, 1}};
    for (const Row& r : rows)
        EXPECT_EQ(IsLeapYear(static_cast<std::int16_t>(r.year)), r.leap) << r.year;
}

TEST(CompareDates, IsOneWhenTheFirstIsNotAfterTheSecond) {
    struct Row {
        const char* first;
        const char* second;
        int result;
    } rows[] = {
        {"05/03/2026", "05/03/2026", 1},   {"10/03/2026", "05/03/2026", 0},
        {"05/03/2026", "10/03/2026", 1},   {"31/12/2025", "01/01/2026", 1},
        {"01/02/2026", "31/01/2026", 0},   {"01/01/2027", "31/12/2026", 0},
        {"05-03-2026", "05/03/2026", 1},   {"05/03/2026 trailing", "05/03/2026", 1},
        {"06/03/2026", "05/03/2026xx", 0},
    };
    for (const Row& r : rows)
        EXPECT_EQ(CompareDates(r.first, r.second), r.result) << r.first << " vs " << r.second;
}

TEST(DayStepping, CountsAndStepsCalendarDays) {
    struct Row {
        const char* day;
        const char* next;
    } rows[] = {
        {"31/01/2026", "01/02/2026"}, {"28/02/2024", "29/02/2024"}, {"28/02/2100", "01/03/2100"},
        {"28/02/2000", "29/02/2000"}, {"31/12/2025", "01/01/2026"}, {"05-03-2026", "06/03/2026"},
        {"1//1//2025", "02/01/2025"}, {"01/01/1900", "02/01/1900"},
    };
    for (const Row& r : rows) EXPECT_EQ(NextDay(r.day), r.next) << r.day;

    EXPECT_EQ(DaysBetween("30/01/2026", "02/02/2026"), 3);
    EXPECT_EQ(DaysBetween("05/03/2026", "03/03/2026"), -2);
    EXPECT_EQ(DaysBetween("05/03/2026", "05-03-2026"), 0);
    EXPECT_EQ(DaysBetween("01/01/2024", "01/01/2025"), 366);
    EXPECT_EQ(DaysBetween("01/01/1900", "01/01/2000"), 36524);
    EXPECT_EQ(DayTextOf(DaySerial("29/02/2024")), "29/02/2024");
    EXPECT_EQ(DaySerial("01/01/1970"), 0);
}

}  // namespace
}  // namespace velmora
