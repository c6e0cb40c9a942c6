// Names between UTF-8 and the operating system: on Windows through
// MultiByteToWideChar (windows/WindowsText.h), elsewhere unchanged bytes.
#include "platform/NativePath.h"

#ifdef _WIN32
#include "platform/windows/WindowsText.h"
#endif

namespace velmora {

std::filesystem::path NativePath(const std::string& utf8) {
#ifdef _WIN32
    return std::filesystem::path(wideOf(utf8));
#else
    return std::filesystem::path(utf8);
#endif
}

std::string utf8Name(const std::filesystem::path& path) {
#ifdef _WIN32
    return utf8Of(path.native());
#else
    return path.native();
#endif
}

}  // namespace velmora
