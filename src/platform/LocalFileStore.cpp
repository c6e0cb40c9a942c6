// Files below a root directory through std::filesystem and C stdio.
// createUnique relies on fopen's "x" mode (C11, glibc and MSVC) so that two
// files made in the same second never replace each other.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "FileStore.h"
#include "core/RunError.h"

namespace velmora {

namespace fs = std::filesystem;

namespace {

std::string describeErrno(int err) {
    return std::strerror(err);
}

class StdioWriter : public TextWriter {
public:
    StdioWriter(std::FILE* f, std::string name) : m_file(f), m_name(std::move(name)) {}
    ~StdioWriter() override {
        if (m_file) std::fclose(m_file);
    }
    StdioWriter(const StdioWriter&) = delete;
    StdioWriter& operator=(const StdioWriter&) = delete;

    void write(std::string_view text) override {
        if (!m_file) throw RunError("Impossibile scrivere il file " + m_name, "file già chiuso");
        if (!text.empty() && std::fwrite(text.data(), 1, text.size(), m_file) != text.size()) {
            int err = errno;
            throw RunError("Impossibile scrivere il file " + m_name, describeErrno(err));
        }
    }
    void close() override {
        if (!m_file) return;
        std::FILE* f = m_file;
        m_file = nullptr;
        bool bad = std::ferror(f) != 0;
        if (std::fclose(f) != 0 || bad) {
            int err = errno;
            throw RunError("Impossibile scrivere il file " + m_name, describeErrno(err));
        }
    }

private:
    std::FILE* m_file;
    std::string m_name;
};

}  // namespace

LocalFileStore::LocalFileStore(std::string root) : m_root(std::move(root)) {}

std::string LocalFileStore::pathOf(const std::string& name) const {
    if (m_root.empty() || m_root == ".") return fs::path(name).make_preferred().string();
    return (fs::path(m_root) / fs::path(name)).make_preferred().string();
}

bool LocalFileStore::exists(const std::string& name) const {
    std::error_code ec;
    return fs::is_regular_file(pathOf(name), ec);
}

bool LocalFileStore::isDirectory(const std::string& name) const {
    std::error_code ec;
    return fs::is_directory(pathOf(name), ec);
}

void LocalFileStore::createDirectory(const std::string& name) {
    std::error_code ec;
    if (fs::is_directory(pathOf(name), ec)) return;
    fs::create_directories(pathOf(name), ec);
    if (ec || !fs::is_directory(pathOf(name)))
        throw RunError("Impossibile creare la cartella " + name,
                       ec ? ec.message() : "esiste un file con questo nome");
}

std::optional<std::string> LocalFileStore::readText(const std::string& name) const {
    std::ifstream in(pathOf(name), std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream ss;
    ss << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return ss.str();
}

std::string LocalFileStore::createUnique(const std::string& dir, const std::string& stem,
                                         const std::string& ext) {
    for (int n = 1; n < 100000; ++n) {
        std::string file = n == 1 ? stem + ext : stem + "-" + std::to_string(n) + ext;
        std::string name = (fs::path(dir) / file).make_preferred().string();
        std::FILE* f = std::fopen(pathOf(name).c_str(), "wbx");
        if (f) {
            std::fclose(f);
            return name;
        }
        int err = errno;
        if (err != EEXIST)
            throw RunError("Impossibile creare il file " + name, describeErrno(err));
    }
    throw RunError("Impossibile creare il file " + stem + ext + " in " + dir,
                   "troppi file con lo stesso nome");
}

std::unique_ptr<TextWriter> LocalFileStore::openForWriting(const std::string& name) {
    std::FILE* f = std::fopen(pathOf(name).c_str(), "wb");
    if (!f) {
        int err = errno;
        throw RunError("Impossibile scrivere il file " + name, describeErrno(err));
    }
    return std::make_unique<StdioWriter>(f, name);
}

}  // namespace velmora
