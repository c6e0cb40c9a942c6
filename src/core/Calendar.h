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
long long DaySerial(std::string_view dayText);

// "DD/MM/YYYY" of a day number.
std::string DayTextOf(long long serial);

// The calendar day after the given one, as "DD/MM/YYYY".
std::string NextDay(std::string_view dayText);

// Calendar days from the first day to the second (negative when the second is
// earlier); both are read as day/month/year by position.
long long DaysBetween(std::string_view from, std::string_view to);

// Whether the text has ASCII digits at the positions every routine reads a
// day text by (day 1-2, month 4-5, year 7-10); separators are not looked at.
// IsValidDate accepts texts such as "1//1//1925" or ones with a two-byte
// separator, which the stays and day-closing texts would misread.
bool HasDatePositions(std::string_view text);

}  // namespace velmora
