// Text at the Windows API: UTF-8 inside the program, UTF-16 for the *W
// functions, converted by MultiByteToWideChar and WideCharToMultiByte (the
// MinGW C runtime has no UTF-8 locale). Windows only.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// UTF-16 of a UTF-8 text; bytes that are not UTF-8 become U+FFFD.
std::wstring wideOf(std::string_view utf8);

// UTF-8 of a UTF-16 text; a lone surrogate becomes U+FFFD.
std::string utf8Of(std::wstring_view wide);

// The system's own description of an error code (GetLastError()), in the
// language of the user's Windows, without its final period and line end.
std::string systemErrorText(unsigned long code);

}  // namespace velmora
