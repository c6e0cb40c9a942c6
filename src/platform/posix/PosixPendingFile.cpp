// PendingFile through POSIX calls. The complete file is hard-linked to its
// final name: link() never replaces an existing name (a symbolic link
// included). Where the file system has no hard links, renameat2 with
// RENAME_NOREPLACE gives the same guarantee.
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "core/RunError.h"
#include "platform/PendingFile.h"

namespace velmora {

namespace fs = std::filesystem;

namespace {

std::string describeErrno(int err) { return std::strerror(err); }

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
// has it: 0, EEXIST when taken, or another error. renamed tells whether temp
// itself took the name (the rename), so that it is no longer there to remove.
int linkNoReplace(const std::string& temp, const std::string& path,
                  LocalFileStore::Publication publication, bool& renamed) {
    renamed = false;
    if (publication == LocalFileStore::Publication::LinkFirst) {
        if (::link(temp.c_str(), path.c_str()) == 0) return 0;
        const int err = errno;
        if (err != EPERM && err != ENOTSUP && err != EOPNOTSUPP && err != ENOSYS) return err;
    }
    if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) != 0)
        return errno;
    renamed = true;
    return 0;
}

}  // namespace

PendingFile::PendingFile(const std::string& finalPath, const std::string& name) : m_name(name) {
    const fs::path p(finalPath);
    const fs::path dir = p.has_parent_path() ? p.parent_path() : fs::path(".");
    for (int n = 0; n < 1000; ++n) {
        const std::string file = "." + p.filename().string() + "." + std::to_string(::getpid()) +
                                 "-" + std::to_string(n) + ".tmp";
        m_path = (dir / file).string();
        m_file = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (m_file >= 0) return;
        if (errno != EEXIST) break;
    }
    const int err = errno;
    m_path.clear();
    throw RunError("Impossibile creare il file " + name, describeErrno(err));
}

PendingFile::~PendingFile() {
    if (m_file >= 0) ::close(m_file);
    if (!m_path.empty()) ::unlink(m_path.c_str());
}

void PendingFile::fill(std::string_view text) {
    const int fd = m_file;
    m_file = -1;
    int err = writeAll(fd, text);
    const int closed = ::close(fd) == 0 ? 0 : errno;
    if (err == 0) err = closed;
    if (err != 0) throw RunError("Impossibile scrivere il file " + m_name, describeErrno(err));
}

bool PendingFile::publishAs(const std::string& path, const std::string& name,
                            LocalFileStore::Publication publication) {
    bool renamed = false;
    const int err = linkNoReplace(m_path, path, publication, renamed);
    if (renamed) m_path.clear();
    if (err == 0) return true;
    if (err == EEXIST) return false;
    throw RunError("Impossibile creare il file " + name, describeErrno(err));
}

}  // namespace velmora
