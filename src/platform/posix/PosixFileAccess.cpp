// POSIX stat and pread behind the engine's file seam.
#include "platform/LocalFileAccess.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace velmora {

namespace {

class PositionedFile : public RandomAccessFile {
public:
    explicit PositionedFile(int fd) : m_fd(fd) {}
    ~PositionedFile() override { ::close(m_fd); }
    PositionedFile(const PositionedFile&) = delete;
    PositionedFile& operator=(const PositionedFile&) = delete;

    std::size_t readAt(std::uint64_t offset, void* into, std::size_t size) override {
        std::size_t done = 0;
        while (done < size) {
            const ssize_t got = ::pread(m_fd, static_cast<char*>(into) + done, size - done,
                                        static_cast<off_t>(offset + done));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            done += static_cast<std::size_t>(got);
        }
        return done;
    }

private:
    int m_fd;
};

}  // namespace

std::optional<FileStamp> LocalFileAccess::stamp(const std::string& path) const {
    // One stat: size, time and identity together (checked once per document).
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    FileStamp stamp;
    stamp.size = static_cast<std::uintmax_t>(st.st_size);
    stamp.modified = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stamp.device = static_cast<std::uint64_t>(st.st_dev);
    stamp.inode = static_cast<std::uint64_t>(st.st_ino);
    return stamp;
}

std::unique_ptr<RandomAccessFile> LocalFileAccess::open(const std::string& path) const {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    return std::make_unique<PositionedFile>(fd);
}

}  // namespace velmora
