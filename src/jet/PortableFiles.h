// The engine's own way to read files: std::filesystem for a file's stamp
// (size and time; no device or file number) and std::ifstream, unbuffered,
// for reads at an offset. Portable; the program passes the system's
// implementation (src/platform) instead.
#pragma once

#include "core/FileAccess.h"

namespace velmora::jet {

const FileAccess& portableFiles();

}  // namespace velmora::jet
