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

// Expands a short date and also stores the result in text. Six characters
// DDMMYY become "DD/MM/" + century + "YY", where the century is 20 when
// 2000 + YY is at most currentYear + 20 and 19 otherwise; eight characters
// DDMMYYYY become "DD/MM/YYYY"; any other length is left alone. Works on
// positions only. In 2026: "050346" -> "05/03/2046", "050347" -> "05/03/1947".
std::string ExpandYear(std::string& text, int currentYear);

}  // namespace velmora
