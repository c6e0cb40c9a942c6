// Small text helpers shared by every area: the numeric value of a piece of
// text, blank trimming, line splitting with CR LF handling, and UTF-8 upper
// casing for the Latin letters an operator can type.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velmora {

inline constexpr std::string_view kCrLf = "\r\n";

// The decimal number (optional sign, digits, optional point and fraction) at
// the start of a piece of text; blanks are skipped, reading stops at the first
// character that cannot continue the number, and no number reads 0.
//   numericValue("5/") == 5, numericValue("/5") == 0,
//   numericValue(".5") == 0.5, numericValue("-1") == -1, numericValue(" 1 2") == 12
double numericValue(std::string_view piece);

// The text without its leading and trailing blanks (character 32 only).
std::string trimBlanks(std::string_view text);

// Bytes [start, start + count) counted from 1, clipped to the text; empty
// when start is past the end. For positions counted in bytes (the place
// splitter's blanks); a stored value cut by character position takes
// midCharacters (core/Utf8.h).
std::string mid(std::string_view text, int start, int count);

// The lines of a text file: a line ends at LF and a CR before it is dropped;
// a UTF-8 byte order mark before the first line is dropped. A last line
// without LF counts; an empty text has no lines.
std::vector<std::string> splitLines(std::string_view text);

// Upper case of UTF-8 text for ASCII and the Latin-1 letters (à → À, ÿ stays).
std::string upperCaseUtf8(std::string_view text);

// Items as an Italian list: "a", "a e b", "a, b e c".
std::string joinAnd(const std::vector<std::string>& items);

// Whether the text contains the exact characters of needle.
inline bool contains(std::string_view text, std::string_view needle) {
    return text.find(needle) != std::string_view::npos;
}

}  // namespace velmora
