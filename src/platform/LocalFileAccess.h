// The system's way for the Jet engine to read database files: one positioned
// read (pread, or ReadFile at an offset on Windows) a page, and a file's
// identity on its device (device and i-node, or volume and file index, with
// size and time), which tells a file replaced by a copy of the same size and
// time.
#pragma once

#include "core/FileAccess.h"

namespace velmora {

class LocalFileAccess : public FileAccess {
public:
    std::optional<FileStamp> stamp(const std::string& path) const override;
    std::unique_ptr<RandomAccessFile> open(const std::string& path) const override;
};

}  // namespace velmora
