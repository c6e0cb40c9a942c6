// How single values become Jet bytes: names and text as UCS-2 (Jet 4 text in
// the "compressed" form where it is shorter) or code page 1252 (Jet 3), Long,
// Integer and Double from their decimal text. Every function throws std::runtime_error with a message that
// the caller prefixes with where the value comes from.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "jetwrite/JetWriter.h"

namespace velmora::jetwrite::detail {

// UTF-8 to UCS-2 code units. Throws on malformed UTF-8, on U+0000 and on
// characters outside the Basic Multilingual Plane (Jet 4 text is UCS-2).
void decodeUtf8(std::string_view text, std::u16string& out);

// Throws when text (units, decoded from utf8) has more than maxChars
// characters.
void checkTextLength(std::u16string_view units, int maxChars, std::string_view utf8);

// Appends the stored form of a text value: "compressed" (FF FE, one byte a
// character) when every character is U+0001..U+00FF and there are more than
// two, UCS-2LE otherwise.
void appendJetText(std::vector<std::uint8_t>& out, std::u16string_view text);

// Appends UCS-2LE without any marker, as names are stored.
void appendUcs2(std::vector<std::uint8_t>& out, std::u16string_view text);

// Appends text as code page 1252 bytes (Jet 3); throws on a character the
// code page does not have.
void appendCp1252(std::vector<std::uint8_t>& out, std::u16string_view text);

// Appends a text value as the version stores it: appendJetText for Jet 4,
// appendCp1252 for Jet 3.
void appendText(std::vector<std::uint8_t>& out, std::u16string_view text, JetVersion version);

// Decimal text to a number of the column's range. Accepted: an optional '-'
// and digits (Long, Integer); for Double also a fraction and an exponent
// ("-0.25", "1e-5"). No blanks, no '+', no infinities or NaN.
std::int32_t parseLong(std::string_view text);
std::int16_t parseInteger(std::string_view text);
double parseDouble(std::string_view text);

// Checks a table or column name: 1..64 characters, no control characters, no
// leading blank, none of . ! ` [ ] (what Jet refuses in a name).
void checkName(std::string_view name, std::string_view what);

// Checks a column: its name, and a Text size of 1..255.
void checkColumn(const Column& column);

// Checks that a value can be stored in the column (the same rules as the
// writer applies); throws "column NAME: what".
void checkCell(const Column& column, const Cell& cell);

}  // namespace velmora::jetwrite::detail
