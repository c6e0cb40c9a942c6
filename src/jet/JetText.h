// Stored Jet text to UTF-8. Jet 4 keeps text as UTF-16LE, optionally in its
// "compressed" form (FF FE, then runs of one-byte characters and of UTF-16
// units, each 00 byte switching between them); Jet 3 keeps the bytes of the
// Windows code page 1252.
#pragma once

#include <string>
#include <string_view>

namespace velmora::jet {

enum class JetTextForm { Jet3Cp1252, Jet4 };

// The UTF-8 text of stored bytes. A surrogate pair is one character; an
// unpaired surrogate keeps the three bytes of its UTF-8 form (not a valid
// character, see core/Utf8.h); an odd last byte of UTF-16 becomes U+FFFD.
// A 1252 byte with no character of its own (81, 8D, 8F, 90, 9D) becomes
// the control character of that number, as Windows reads it.
//   jetTextToUtf8("\x80\x93", Jet3Cp1252) == "€“"
//   jetTextToUtf8("R\0=\xD8\0\xDE", Jet4) == "R😀"
std::string jetTextToUtf8(std::string_view bytes, JetTextForm form);

}  // namespace velmora::jet
