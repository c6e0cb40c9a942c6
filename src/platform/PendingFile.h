// The part of LocalFileStore that each operating system does its own way: a
// new file is written under a temporary name beside its final name, made
// durable, and only then takes a final name, never replacing anything that
// has it, so no name ever shows a half-written file.
#pragma once

#include <string>
#include <string_view>

#include "platform/FileStore.h"

namespace velmora {

class PendingFile {
public:
    // Creates ".<file name>.<process id>-<n>.tmp" beside finalPath, never
    // through a symbolic link; RunError naming name when it cannot.
    PendingFile(const std::string& finalPath, const std::string& name);
    // Removes the temporary name, whether or not the file took a final one.
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // Writes text, makes it durable and closes the file; RunError when it fails.
    void fill(std::string_view text);

    // Gives the complete file the name path: true, or false when anything
    // (a file, a directory, a symbolic link) has that name; RunError naming
    // name on any other failure. RenameOnly skips the hard link and goes
    // straight to the rename used where links are refused.
    bool publishAs(const std::string& path, const std::string& name,
                   LocalFileStore::Publication publication);

private:
    std::string m_name;
    std::string m_path;  // the temporary name; empty once it is gone
#ifdef _WIN32
    void* m_file = nullptr;  // HANDLE
#else
    int m_file = -1;
#endif
};

}  // namespace velmora
