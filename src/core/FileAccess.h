// The seam through which the Jet engine reads database files: a file read at
// any offset, and what identifies one version of a file. The engine has a
// portable implementation of its own (std::filesystem and std::ifstream);
// src/platform has the system's (one positioned read a page, and the file's
// identity on its device, which tells a file replaced by a copy of the same
// size and time).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace velmora {

// One version of a file: its size and modification time, and, where the
// system says, its device and number there (0 where it does not).
struct FileStamp {
    std::uintmax_t size = 0;
    std::int64_t modified = 0;  // nanoseconds of the file clock
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileStamp&) const = default;
};

class RandomAccessFile {
public:
    virtual ~RandomAccessFile() = default;
    // Reads up to size bytes at offset into `into`; returns how many were
    // read (fewer at the end of the file, 0 on an error).
    virtual std::size_t readAt(std::uint64_t offset, void* into, std::size_t size) = 0;
};

class FileAccess {
public:
    virtual ~FileAccess() = default;
    // The stamp of a regular file; nothing when there is none at path.
    virtual std::optional<FileStamp> stamp(const std::string& path) const = 0;
    // The file opened for reading; nothing when it cannot be opened.
    virtual std::unique_ptr<RandomAccessFile> open(const std::string& path) const = 0;
};

}  // namespace velmora
