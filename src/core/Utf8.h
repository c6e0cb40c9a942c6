// The one UTF-8 decoder and encoder of the program. Decoding is strict: an
// overlong form, a value beyond U+10FFFF or a cut sequence is not a
// character, and its first byte stands alone; an encoded surrogate is not a
// character either, but its three bytes stay together.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velmora {

// One character of a UTF-8 text: its code point and how many bytes it takes.
// A byte that does not start a well-formed sequence is `valid == false`,
// length 1, with the byte's value as code point; an encoded surrogate is
// `valid == false`, length 3, with the surrogate as code point.
struct Utf8Char {
    char32_t codePoint = 0;
    std::size_t length = 1;
    bool valid = true;
};

// The character that starts at text[pos]; pos must be inside the text.
//   decodeUtf8("\xC3\xA0", 0) == {U+00E0, 2, true}
//   decodeUtf8("\xE0\x80\x80", 0) == {0xE0, 1, false}   (overlong)
//   decodeUtf8("\xED\xA0\x80", 0) == {0xD800, 3, false} (a surrogate)
Utf8Char decodeUtf8(std::string_view text, std::size_t pos);

// The character that ends just before text[end] (0 < end <= size): the
// sequence of up to four bytes that ends there, or else the last byte alone.
//   decodeUtf8Before("a\xC3\xA0", 3) == {U+00E0, 2, true}
Utf8Char decodeUtf8Before(std::string_view text, std::size_t end);

// Appends the UTF-8 form of a code point; a surrogate or a value beyond
// U+10FFFF is appended as U+FFFD.
void appendUtf8(std::string& out, char32_t codePoint);

// The bytes of characters [start, start + count) counted from 1, clipped to
// the text; each byte that is not part of a character counts as one.
//   midCharacters("2024031é", 7, 2) == "1é"
std::string midCharacters(std::string_view text, int start, int count);

}  // namespace velmora
