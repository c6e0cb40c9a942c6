// A fresh working directory for one test, removed at the end.
#pragma once

#include <string>

namespace velmora::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    // Path of a name inside the directory, joined with the system's separator.
    std::string operator/(const std::string& name) const;
    // Writes a file (bytes as given) inside the directory.
    void write(const std::string& name, const std::string& bytes) const;
    // Reads a file inside the directory; empty when missing.
    std::string read(const std::string& name) const;

private:
    std::string m_path;
};

}  // namespace velmora::test
