// Files below a root directory through std::filesystem, names in UTF-8
// (NativePath). A new file is written under a hidden temporary name in its
// own directory and then given its final name by PendingFile, which never
// replaces an existing name (a symbolic link included): the final name only
// ever shows a complete file, so a run ended at any point leaves at most a
// ".*.tmp" file behind.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "FileStore.h"
#include "core/RunError.h"
#include "platform/NativePath.h"
#include "platform/PendingFile.h"

namespace velmora {

namespace fs = std::filesystem;

LocalFileStore::LocalFileStore(std::string root, Publication publication)
    : m_root(std::move(root)), m_publication(publication) {}

std::string LocalFileStore::pathOf(const std::string& name) const {
    if (m_root.empty() || m_root == ".") return utf8Name(NativePath(name).make_preferred());
    return utf8Name((NativePath(m_root) / NativePath(name)).make_preferred());
}

std::string LocalFileStore::folder() const {
    std::error_code ec;
    fs::path path = fs::absolute(NativePath(m_root.empty() ? "." : m_root), ec);
    if (ec) return m_root;
    path = path.lexically_normal();
    // "/hotel/." normalizes to "/hotel/": the name of a folder has no separator after it.
    if (!path.has_filename() && path.has_parent_path() && path != path.root_path())
        path = path.parent_path();
    return utf8Name(path.make_preferred());
}

bool LocalFileStore::exists(const std::string& name) const {
    std::error_code ec;
    return fs::is_regular_file(NativePath(pathOf(name)), ec);
}

bool LocalFileStore::isDirectory(const std::string& name) const {
    std::error_code ec;
    return fs::is_directory(NativePath(pathOf(name)), ec);
}

void LocalFileStore::createDirectory(const std::string& name) {
    std::error_code ec;
    const fs::path path = NativePath(pathOf(name));
    if (fs::is_directory(path, ec)) return;
    fs::create_directories(path, ec);
    if (ec || !fs::is_directory(path, ec))
        throw RunError("Impossibile creare la cartella " + name,
                       ec ? ec.message() : "esiste un file con questo nome");
}

std::optional<std::string> LocalFileStore::readText(const std::string& name) const {
    std::ifstream in(NativePath(pathOf(name)), std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream ss;
    ss << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return ss.str();
}

std::string LocalFileStore::writeUnique(const std::string& dir, const std::string& stem,
                                        const std::string& ext, std::string_view text) {
    const std::string first = utf8Name((NativePath(dir) / NativePath(stem + ext)).make_preferred());
    PendingFile pending(pathOf(first), first);
    pending.fill(text);
    for (int n = 1; n < 100000; ++n) {
        const std::string file = n == 1 ? stem + ext : stem + "-" + std::to_string(n) + ext;
        const std::string name = utf8Name((NativePath(dir) / NativePath(file)).make_preferred());
        if (pending.publishAs(pathOf(name), name, m_publication)) return name;
    }
    throw RunError("Impossibile creare il file " + stem + ext + " in " + dir,
                   "troppi file con lo stesso nome");
}

bool LocalFileStore::writeNew(const std::string& name, std::string_view text) {
    const std::string path = pathOf(name);
    std::error_code ec;
    if (fs::exists(fs::symlink_status(NativePath(path), ec))) return false;
    PendingFile pending(path, name);
    pending.fill(text);
    return pending.publishAs(path, name, m_publication);
}

}  // namespace velmora
