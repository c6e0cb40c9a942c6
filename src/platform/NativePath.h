// File names are UTF-8 inside Velmora; the operating system's own names are
// std::filesystem paths (UTF-16 on Windows, bytes elsewhere). A name crosses
// between the two here, never through the C library's locale, which on
// Windows is not UTF-8 and would lose every accented letter.
#pragma once

#include <filesystem>
#include <string>

namespace velmora {

// The path named by a UTF-8 text. Bytes that are not UTF-8 become U+FFFD on
// Windows; elsewhere the bytes are the name.
std::filesystem::path NativePath(const std::string& utf8);

// The UTF-8 text of a path.
std::string utf8Name(const std::filesystem::path& path);

}  // namespace velmora
