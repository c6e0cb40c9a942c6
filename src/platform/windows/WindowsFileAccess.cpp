// LocalFileAccess on Windows: ReadFile at an offset (OVERLAPPED) a page, and
// a file's identity from GetFileInformationByHandle (volume serial number
// and file index, with size and last write time). The databases are opened
// sharing reading, writing and deleting with everyone, so the front-desk
// program keeps saving guests while Velmora reads. Windows, unlike POSIX,
// refuses an exclusive opening (Access compacting a database, a front-desk
// program that wants the file to itself) while any handle is open: a file
// left unread for two seconds has its handle closed by a background thread,
// and opened again, as the same file or not at all, at the next read.
#include <windows.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/LocalFileAccess.h"
#include "platform/windows/WindowsText.h"

namespace velmora {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kIdle = std::chrono::seconds(2);

HANDLE openShared(const std::wstring& path, DWORD access) {
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::optional<FileStamp> stampOf(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::nullopt;
    FileStamp stamp;
    stamp.size = (static_cast<std::uintmax_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    // 100-nanosecond intervals since 1601, made nanoseconds since 1970 (as
    // nanoseconds since 1601 they would not fit).
    const auto ticks = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
        info.ftLastWriteTime.dwLowDateTime);
    stamp.modified = (ticks - 116444736000000000) * 100;
    stamp.device = info.dwVolumeSerialNumber;
    stamp.inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return stamp;
}

// One database file: its handle, open while it is read, and the file it is.
struct OpenFile {
    std::mutex mutex;
    std::wstring path;
    FileStamp identity;
    HANDLE handle = INVALID_HANDLE_VALUE;
    Clock::time_point lastRead;

    ~OpenFile() { close(); }
    void close() {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
    }
    // The handle, opened again when closed; nothing when the name no longer
    // holds the same file (size and time may have changed: the reader sees
    // that in the rows).
    bool reopen() {
        if (handle != INVALID_HANDLE_VALUE) return true;
        handle = openShared(path, GENERIC_READ);
        const auto now = handle == INVALID_HANDLE_VALUE ? std::nullopt : stampOf(handle);
        if (now && now->device == identity.device && now->inode == identity.inode) return true;
        close();
        return false;
    }
};

// Closes the handles left idle. Its thread runs as long as the program and
// its list is never destroyed, so that no static destruction races it.
class IdleCloser {
public:
    static IdleCloser& instance() {
        static IdleCloser* closer = new IdleCloser;
        return *closer;
    }
    void watch(const std::shared_ptr<OpenFile>& file) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_files.push_back(file);
        if (!m_started) {
            m_started = true;
            std::thread([this] { run(); }).detach();
        }
    }

private:
    void run() {
        for (;;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            std::lock_guard<std::mutex> lock(m_mutex);
            const auto now = Clock::now();
            std::erase_if(m_files, [now](const std::weak_ptr<OpenFile>& weak) {
                const std::shared_ptr<OpenFile> file = weak.lock();
                if (!file) return true;
                std::unique_lock<std::mutex> busy(file->mutex, std::try_to_lock);
                if (busy && now - file->lastRead >= kIdle) file->close();
                return false;
            });
        }
    }
    std::mutex m_mutex;
    std::vector<std::weak_ptr<OpenFile>> m_files;
    bool m_started = false;
};

class PositionedFile : public RandomAccessFile {
public:
    explicit PositionedFile(std::shared_ptr<OpenFile> file) : m_file(std::move(file)) {}

    std::size_t readAt(std::uint64_t offset, void* into, std::size_t size) override {
        std::lock_guard<std::mutex> lock(m_file->mutex);
        m_file->lastRead = Clock::now();
        if (!m_file->reopen()) return 0;
        std::size_t done = 0;
        while (done < size) {
            const std::uint64_t at = offset + done;
            OVERLAPPED position{};
            position.Offset = static_cast<DWORD>(at);
            position.OffsetHigh = static_cast<DWORD>(at >> 32);
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
            DWORD got = 0;
            if (!ReadFile(m_file->handle, static_cast<char*>(into) + done, chunk, &got,
                          &position) ||
                got == 0)
                break;
            done += got;
        }
        return done;
    }

private:
    std::shared_ptr<OpenFile> m_file;
};

}  // namespace

std::optional<FileStamp> LocalFileAccess::stamp(const std::string& path) const {
    // One handle, one query: size, time and identity together (checked once
    // per document).
    HANDLE file = openShared(wideOf(path), FILE_READ_ATTRIBUTES);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    const std::optional<FileStamp> stamp = stampOf(file);
    CloseHandle(file);
    return stamp;
}

std::unique_ptr<RandomAccessFile> LocalFileAccess::open(const std::string& path) const {
    auto file = std::make_shared<OpenFile>();
    file->path = wideOf(path);
    file->handle = openShared(file->path, GENERIC_READ);
    const std::optional<FileStamp> identity =
        file->handle == INVALID_HANDLE_VALUE ? std::nullopt : stampOf(file->handle);
    if (!identity) return nullptr;
    file->identity = *identity;
    file->lastRead = Clock::now();
    IdleCloser::instance().watch(file);
    return std::make_unique<PositionedFile>(std::move(file));
}

}  // namespace velmora
