// The lock that keeps two exports out of one hotel folder: an exclusive
// advisory lock on a file, held while the object lives and released by the
// system when the process ends, however it ends, so a killed program leaves
// no stale lock behind. posix/ takes it with flock(2); a Windows build takes
// LockFileEx on the same file.
#pragma once

#include <chrono>
#include <memory>
#include <string>

namespace velmora {

class FileLock {
public:
    virtual ~FileLock() = default;
    // What the operator should know about this lock, or "" (for example that
    // the folder's file system takes no locks, so none is held).
    virtual std::string note() const { return {}; }
};

// Takes the lock on the file at path (made when missing, never through a
// symbolic link) and writes owner and the process's number into it, trying
// again for up to wait. When
// another process holds it that whole time, returns nullptr and sets holder
// to the text that process wrote. RunError when the file cannot be opened.
std::unique_ptr<FileLock> LockFile(const std::string& path, const std::string& owner,
                                   std::chrono::milliseconds wait, std::string& holder);

}  // namespace velmora
