// The file seam: every file Velmora reads or writes, named relative to the
// working directory ("QLBSetup.txt", "Velmora/Login-202603051407.xml").
// Failures to write raise RunError naming the file; reads of a missing file
// return nothing.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velmora {

class FileStore {
public:
    virtual ~FileStore() = default;

    virtual bool exists(const std::string& name) const = 0;
    virtual bool isDirectory(const std::string& name) const = 0;
    // Creates the directory when it is missing; RunError when it cannot.
    virtual void createDirectory(const std::string& name) = 0;

    // The whole content of a file, or nothing when it cannot be read.
    virtual std::optional<std::string> readText(const std::string& name) const = 0;

    // Writes text to a new file dir/stem + ext, or, when that name is taken,
    // dir/stem-2 + ext, dir/stem-3 + ext, ... Returns the name of the file
    // written (joined with the platform's separator). No file is replaced,
    // and none is ever seen half written; RunError when it cannot be written.
    virtual std::string writeUnique(const std::string& dir, const std::string& stem,
                                    const std::string& ext, std::string_view text) = 0;

    // Writes text to the new file name in the same way. Returns false, writing
    // nothing, when the name is taken by anything (a file, a directory, a
    // symbolic link, even a dangling one); RunError when it cannot be written.
    virtual bool writeNew(const std::string& name, std::string_view text) = 0;

    // The folder the names are relative to, as a full path for messages and
    // the window's title; "" when there is none.
    virtual std::string folder() const { return {}; }
};

// Files below a root directory (the working directory by default).
class LocalFileStore : public FileStore {
public:
    explicit LocalFileStore(std::string root = ".");

    bool exists(const std::string& name) const override;
    bool isDirectory(const std::string& name) const override;
    void createDirectory(const std::string& name) override;
    std::optional<std::string> readText(const std::string& name) const override;
    std::string writeUnique(const std::string& dir, const std::string& stem,
                            const std::string& ext, std::string_view text) override;
    bool writeNew(const std::string& name, std::string_view text) override;
    std::string folder() const override;

    // The path of a name below the root.
    std::string pathOf(const std::string& name) const;

private:
    std::string m_root;
};

}  // namespace velmora
