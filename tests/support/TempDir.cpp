// Temporary working directories for tests.
#include "TempDir.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "platform/NativePath.h"

namespace velmora::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path p = fs::temp_directory_path() / ("velmora-test-" + std::to_string(rd()));
        if (fs::create_directory(p)) {
            m_path = utf8Name(p);
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::permissions(NativePath(m_path), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(NativePath(m_path), ec);
}

std::string TempDir::operator/(const std::string& name) const {
    return m_path + static_cast<char>(fs::path::preferred_separator) + name;
}

void TempDir::write(const std::string& name, const std::string& bytes) const {
    fs::path p = NativePath(m_path) / NativePath(name);
    if (p.has_parent_path()) fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary);
    out << bytes;
}

std::string TempDir::read(const std::string& name) const {
    std::ifstream in(NativePath(m_path) / NativePath(name), std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

}  // namespace velmora::test
