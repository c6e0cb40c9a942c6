// The calendar of the program: day texts "DD/MM/YYYY" taken apart by
// position (day 1-2, month 4-5, year 7-10, counted in characters of the UTF-8
// text), the validity and leap rules, and day serials. The date fields, the
// export run, the check and the send journal all use these.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velmora {

// 1 when the text, without its end blanks, has ten characters whose day (1-2),
// month (4-5) and year (7-10) pieces read as a calendar date from 1900 on,
// else 0. Separators are not examined.
std::int16_t IsValidDate(std::string_view text);

// Whether the text is 8 digits YYYYMMDD, a stored date, naming a real
// calendar day (year 0000 is no year).
bool formsStoredDate(std::string_view text);

// 1 for a leap year of the calendar (divisible by 4 and not by 100, or by 400).
std::int16_t IsLeapYear(std::int16_t year);

// 1 when the first date is not after the second, 0 when it is after. Both are
// cut to ten characters and read by position.
std::int16_t CompareDates(std::string_view first, std::string_view second);

// Day number (days since 1 January 1970) of a text that IsValidDate accepts,
// read by the same positions.
long long daySerial(std::string_view dayText);

// "DD/MM/YYYY" of a day number.
std::string dayTextOf(long long serial);

// The calendar day after the given one, as "DD/MM/YYYY".
std::string nextDay(std::string_view dayText);

// Calendar days from the first day to the second (negative when the second is
// earlier); both are read as day/month/year by position.
long long daysBetween(std::string_view from, std::string_view to);

// The three forms of a day: the day text "DD/MM/YYYY" (the date fields, the
// routines, the messages), the stored date YYYYMMDD (the databases) and the
// ISO day "YYYY-MM-DD" (the stays documents, the send journal). Each
// conversion takes its text apart by character position, whatever it holds.

// "DD/MM/YYYY" as YYYYMMDD (characters 7-10, 4-5, 1-2): "2025-01-01" gives
// "1-015-20".
std::string storedDateOf(std::string_view dayText);

// "DD/MM/YYYY" as "YYYY-MM-DD"; a text of fewer than ten characters as it is.
std::string isoDayOf(std::string_view dayText);

// "YYYY-MM-DD" as "DD/MM/YYYY"; a text of fewer than ten characters as it is.
std::string dayTextOfIso(std::string_view isoDay);

// YYYYMMDD as "YYYY-MM-DD" (characters 1-4, 5-6, 7-8): "2024031é" gives
// "2024-03-1é".
std::string isoDayOfStored(std::string_view stored);

// YYYYMMDD as "DD/MM/YYYY" (characters 7-8, 5-6, 1-4).
std::string dayTextOfStored(std::string_view stored);

// A time "YYYY-MM-DD hh:mm..." as "DD/MM/YYYY", between, "hh:mm":
// shownIsoTime("2026-03-05 14:07:09", " alle ") == "05/03/2026 alle 14:07".
// A text of fewer than sixteen characters as it is.
std::string shownIsoTime(std::string_view isoTime, std::string_view between);

// Whether the text has ASCII digits at the positions every routine reads a
// day text by (day 1-2, month 4-5, year 7-10); separators are not looked at.
// IsValidDate accepts texts such as "1//1//1925" or ones with a two-byte
// separator, which the stays and day-closing texts would misread.
bool hasDatePositions(std::string_view text);

}  // namespace velmora
