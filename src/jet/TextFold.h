// Letter-case folding and comparison of UTF-8 text as the criteria engine
// compares it: case-insensitive for the letters of every script (à = À,
// α = Α), accents significant (a <> à), blanks significant ('S' <> 'S '),
// order by folded code point.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velmora::jet {

// The code point c compares as: ASCII letters as capitals, any other letter
// as the upper case of its case folding (so ς, σ and Σ meet, and ß and ẞ);
// a letter whose partner would be ASCII (İ, ı, ſ, the Kelvin sign) keeps
// itself, so no letter outside ASCII equals one in it; everything else
// keeps itself.
char32_t foldCase(char32_t c);

// <0, 0 or >0 as a sorts before, with or after b once both are folded.
// Invalid UTF-8 bytes compare as themselves, so the order stays total.
//   compareFolded("catania", "CATANIA") == 0
//   compareFolded("Città", "CITTÀ") == 0
//   compareFolded("S", "S ") < 0
int compareFolded(std::string_view a, std::string_view b);

// Whether the texts are equal once folded; a letter and its partner may
// differ in UTF-8 length (ⱥ and Ⱥ).
inline bool equalFolded(std::string_view a, std::string_view b) { return compareFolded(a, b) == 0; }

// The text without its leading and trailing blanks (character 32 only), as
// a view into the same characters.
std::string_view trimView(std::string_view text);

// The number a whole text reads as: optional blanks, optional sign, digits
// with an optional decimal point ("12", " -3.5 ", ".5"); nothing else may
// follow. No value for "", "12a", "1e3", "1,5".
std::optional<double> readWholeNumber(std::string_view text);

// Number in the shortest decimal form that reads back exactly: 4521, -3, 0.3.
std::string formatNumber(double value);

}  // namespace velmora::jet
