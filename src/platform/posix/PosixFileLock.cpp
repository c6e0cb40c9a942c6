// The folder lock with flock(2): the lock belongs to the open file, so it
// ends with the descriptor, at the latest when the process ends. The holder
// writes a line about itself into the file for whoever waits.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <thread>

#include "core/RunError.h"
#include "platform/FileLock.h"

namespace velmora {

namespace {

class PosixFileLock : public FileLock {
public:
    PosixFileLock(int fd, std::string note) : m_fd(fd), m_note(std::move(note)) {}
    ~PosixFileLock() override { ::close(m_fd); }
    std::string note() const override { return m_note; }

private:
    int m_fd;
    std::string m_note;
};

std::string readAll(int fd) {
    std::string text;
    char buffer[512];
    off_t at = 0;
    for (ssize_t n; (n = ::pread(fd, buffer, sizeof buffer, at)) > 0 && text.size() < 4096; at += n)
        text.append(buffer, static_cast<std::size_t>(n));
    return text;
}

}  // namespace

std::unique_ptr<FileLock> LockFile(const std::string& path, const std::string& owner,
                                   std::chrono::milliseconds wait, std::string& holder) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0)
        throw RunError("Impossibile aprire il file di blocco " + path, std::strerror(errno));
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        if (err == EINTR) continue;
        if (err == ENOLCK || err == EOPNOTSUPP || err == ENOTSUP)
            // A file system without locks: the export goes on, and says so.
            return std::make_unique<PosixFileLock>(
                fd, "La cartella non permette di bloccare " + path + " (" + std::strerror(err) +
                        "): un'altra esportazione nella stessa cartella non verrebbe fermata.");
        if (err != EWOULDBLOCK) {
            ::close(fd);
            throw RunError("Impossibile bloccare il file " + path, std::strerror(err));
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            holder = readAll(fd);
            ::close(fd);
            return nullptr;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    // What the file says is only a description: a failure to write it
    // leaves the lock held all the same.
    const std::string text = owner + " (processo " + std::to_string(::getpid()) + ")";
    if (::ftruncate(fd, 0) == 0) {
        const ssize_t written = ::pwrite(fd, text.data(), text.size(), 0);
        (void)written;
    }
    return std::make_unique<PosixFileLock>(fd, std::string());
}

}  // namespace velmora
