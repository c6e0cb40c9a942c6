// Stamps and positioned reads with the standard library alone.
#include "jet/PortableFiles.h"

#include <chrono>
#include <filesystem>
#include <fstream>

namespace velmora::jet {

namespace {

namespace fs = std::filesystem;

class StreamFile : public RandomAccessFile {
public:
    explicit StreamFile(const std::string& path) {
        // No buffer: every read goes to the file as asked, and a read after
        // the file changed sees the change.
        m_in.rdbuf()->pubsetbuf(nullptr, 0);
        m_in.open(fs::path(path), std::ios::binary);
    }
    bool isOpen() const { return m_in.is_open(); }

    std::size_t readAt(std::uint64_t offset, void* into, std::size_t size) override {
        m_in.clear();
        if (offset != m_position) {
            m_in.seekg(static_cast<std::streamoff>(offset));
            if (!m_in) return 0;
            m_position = offset;
        }
        m_in.read(static_cast<char*>(into), static_cast<std::streamsize>(size));
        const auto got = static_cast<std::size_t>(m_in.gcount());
        m_position = m_in ? offset + got : ~std::uint64_t{0};
        return got;
    }

private:
    std::ifstream m_in;
    std::uint64_t m_position = 0;
};

class PortableFiles : public FileAccess {
public:
    std::optional<FileStamp> stamp(const std::string& path) const override {
        std::error_code ec;
        const fs::path p(path);
        if (!fs::is_regular_file(fs::status(p, ec)) || ec) return std::nullopt;
        FileStamp stamp;
        stamp.size = fs::file_size(p, ec);
        const auto written = fs::last_write_time(p, ec);
        if (ec) return std::nullopt;
        stamp.modified =
            std::chrono::duration_cast<std::chrono::nanoseconds>(written.time_since_epoch()).count();
        return stamp;
    }

    std::unique_ptr<RandomAccessFile> open(const std::string& path) const override {
        auto file = std::make_unique<StreamFile>(path);
        if (!file->isOpen()) return nullptr;
        return file;
    }
};

}  // namespace

const FileAccess& portableFiles() {
    static const PortableFiles files;
    return files;
}

}  // namespace velmora::jet
