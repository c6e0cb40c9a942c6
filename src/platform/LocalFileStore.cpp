// Files below a root directory through std::filesystem and POSIX calls. A new
// file is written under a hidden temporary name in its own directory and
// then hard-linked to its final name: link() never replaces an existing name
// (a symbolic link included) and the final name only ever shows a complete
// file, so a run ended at any point leaves at most a ".*.tmp" file behind.
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
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

std::string describeErrno(int err) { return std::strerror(err); }

// Owns a file descriptor.
class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0) ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    // Closes now; the error of close(), or 0.
    int close() {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0 ? 0 : errno;
    }

private:
    int m_fd;
};

// Writes all of text to fd, made durable; 0 or the error.
int writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return ::fdatasync(fd) == 0 ? 0 : errno;
}

// Gives the complete file temp the name path, never replacing anything that
// has it: 0, EEXIST when taken, or another error. Where the file system has no
// hard links, renameat2 with RENAME_NOREPLACE gives the same guarantee.
int linkNoReplace(const std::string& temp, const std::string& path,
                  LocalFileStore::Publication publication) {
    if (publication == LocalFileStore::Publication::LinkFirst) {
        if (::link(temp.c_str(), path.c_str()) == 0) return 0;
        const int err = errno;
        if (err != EPERM && err != ENOTSUP && err != EOPNOTSUPP && err != ENOSYS) return err;
    }
    if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    return errno;
}

// A temporary file beside a final name, removed when it goes out of scope.
class TempFile {
public:
    // Creates ".<file name>.<pid>-<n>.tmp" in the final name's directory.
    TempFile(const std::string& finalPath, const std::string& name) : m_name(name) {
        const fs::path p(finalPath);
        const fs::path dir = p.has_parent_path() ? p.parent_path() : fs::path(".");
        for (int n = 0; n < 1000; ++n) {
            const std::string file = "." + p.filename().string() + "." +
                                     std::to_string(::getpid()) + "-" + std::to_string(n) + ".tmp";
            m_path = (dir / file).string();
            m_fd =
                ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
            if (m_fd >= 0) return;
            if (errno != EEXIST) break;
        }
        const int err = errno;
        m_path.clear();
        throw RunError("Impossibile creare il file " + name, describeErrno(err));
    }
    ~TempFile() {
        if (m_fd >= 0) ::close(m_fd);
        if (!m_path.empty()) ::unlink(m_path.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    // Writes text, made durable, and closes the file; RunError when it fails.
    void fill(std::string_view text) {
        Fd fd(m_fd);
        m_fd = -1;
        int err = writeAll(fd.get(), text);
        const int closed = fd.close();
        if (err == 0) err = closed;
        if (err != 0) throw RunError("Impossibile scrivere il file " + m_name, describeErrno(err));
    }
    const std::string& path() const { return m_path; }

private:
    std::string m_name;
    std::string m_path;
    int m_fd = -1;
};

}  // namespace

LocalFileStore::LocalFileStore(std::string root, Publication publication)
    : m_root(std::move(root)), m_publication(publication) {}

std::string LocalFileStore::pathOf(const std::string& name) const {
    if (m_root.empty() || m_root == ".") return fs::path(name).make_preferred().string();
    return (fs::path(m_root) / fs::path(name)).make_preferred().string();
}

std::string LocalFileStore::folder() const {
    std::error_code ec;
    fs::path path = fs::absolute(m_root.empty() ? fs::path(".") : fs::path(m_root), ec);
    if (ec) return m_root;
    path = path.lexically_normal();
    // "/hotel/." normalizes to "/hotel/": the name of a folder has no separator after it.
    if (!path.has_filename() && path.has_parent_path() && path != path.root_path())
        path = path.parent_path();
    return path.make_preferred().string();
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

std::string LocalFileStore::writeUnique(const std::string& dir, const std::string& stem,
                                        const std::string& ext, std::string_view text) {
    const std::string first = (fs::path(dir) / (stem + ext)).make_preferred().string();
    TempFile temp(pathOf(first), first);
    temp.fill(text);
    for (int n = 1; n < 100000; ++n) {
        const std::string file = n == 1 ? stem + ext : stem + "-" + std::to_string(n) + ext;
        const std::string name = (fs::path(dir) / file).make_preferred().string();
        const int err = linkNoReplace(temp.path(), pathOf(name), m_publication);
        if (err == 0) return name;
        if (err != EEXIST) throw RunError("Impossibile creare il file " + name, describeErrno(err));
    }
    throw RunError("Impossibile creare il file " + stem + ext + " in " + dir,
                   "troppi file con lo stesso nome");
}

bool LocalFileStore::writeNew(const std::string& name, std::string_view text) {
    const std::string path = pathOf(name);
    std::error_code ec;
    if (fs::exists(fs::symlink_status(path, ec))) return false;
    TempFile temp(path, name);
    temp.fill(text);
    const int err = linkNoReplace(temp.path(), path, m_publication);
    if (err == EEXIST) return false;
    if (err != 0) throw RunError("Impossibile creare il file " + name, describeErrno(err));
    return true;
}

}  // namespace velmora
