// How a date field reacts to typing: tidying and expanding what the operator
// typed. Checking and comparing dates, and the day steps of a range, are the
// calendar's (core/Calendar.h). Texts are UTF-8 and positions count
// characters, not bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/Calendar.h"
#include "core/RunState.h"

namespace velmora {

// Trims the blanks at both ends, upper-cases every letter and turns each
// apostrophe into "´"; an empty result becomes a single blank.
//   NormalizeText(" 05'03 ") == "05´03", NormalizeText("") == " "
std::string NormalizeText(std::string_view text);

// Expands a short date and also stores the result in text. A date written
// with separators ("/", "-" or ".", the same twice) whose day and month have
// one or two digits and whose year two or four becomes "DD/MM/YYYY", unless
// it already has ten characters. Otherwise six digits DDMMYY become
// "DD/MM/" + century + "YY" and eight digits DDMMYYYY "DD/MM/YYYY"; any
// other text is left alone. A two-digit year YY is 20YY
// when that is at most currentYear + 20, else 19YY. In 2026:
//   "050346" -> "05/03/2046", "050347" -> "05/03/1947",
//   "02/03/26" -> "02/03/2026", "2/3/2026" -> "02/03/2026", "1/1/25" -> "01/01/2025",
//   "05-03-2026" stays as it is, "5/3/202" stays as it is (no such form).
std::string ExpandYear(std::string& text, int currentYear);

}  // namespace velmora
