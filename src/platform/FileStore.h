// The file seam: every file Velmora reads or writes, named relative to the
// working directory ("QLBSetup.txt", "Velmora/Login-202603051407.xml").
// Failures to write raise RunError naming the file; reads of a missing file
// return nothing.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// A text file open for writing; lines are written as given (the caller adds
// CR LF). close() flushes and reports a failed write as RunError.
class TextWriter {
public:
    virtual ~TextWriter() = default;
    virtual void write(std::string_view text) = 0;
    virtual void close() = 0;
};

class FileStore {
public:
    virtual ~FileStore() = default;

    virtual bool exists(const std::string& name) const = 0;
    virtual bool isDirectory(const std::string& name) const = 0;
    // Creates the directory when it is missing; RunError when it cannot.
    virtual void createDirectory(const std::string& name) = 0;

    // The whole content of a file, or nothing when it cannot be read.
    virtual std::optional<std::string> readText(const std::string& name) const = 0;

    // Creates a new empty file dir/stem + ext, never replacing an existing one:
    // when the name is taken, dir/stem-2 + ext, dir/stem-3 + ext, ... Returns
    // the name of the file created (joined with the platform's separator).
    virtual std::string createUnique(const std::string& dir, const std::string& stem,
                                     const std::string& ext) = 0;

    // Opens a file for writing, emptying it.
    virtual std::unique_ptr<TextWriter> openForWriting(const std::string& name) = 0;

    // Empties the file and writes text into it.
    void writeText(const std::string& name, std::string_view text) {
        auto w = openForWriting(name);
        w->write(text);
        w->close();
    }
};

// Files below a root directory (the working directory by default).
class LocalFileStore : public FileStore {
public:
    explicit LocalFileStore(std::string root = ".");

    bool exists(const std::string& name) const override;
    bool isDirectory(const std::string& name) const override;
    void createDirectory(const std::string& name) override;
    std::optional<std::string> readText(const std::string& name) const override;
    std::string createUnique(const std::string& dir, const std::string& stem,
                             const std::string& ext) override;
    std::unique_ptr<TextWriter> openForWriting(const std::string& name) override;

    // The path of a name below the root.
    std::string pathOf(const std::string& name) const;

private:
    std::string m_root;
};

}  // namespace velmora
