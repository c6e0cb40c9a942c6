// The folder lock with LockFileEx: the lock belongs to the open handle, so it
// ends when the handle is closed, at the latest when the process ends. The
// range locked lies far beyond the file's text, because Windows refuses to
// read a locked range and whoever waits reads who holds the lock.
#include <windows.h>

#include <memory>
#include <string>
#include <thread>

#include "core/RunError.h"
#include "platform/FileLock.h"
#include "platform/windows/WindowsText.h"

namespace velmora {

namespace {

// One byte at 2^40: beyond anything written into the file.
constexpr DWORD kLockOffsetHigh = 1u << 8;

class WindowsFileLock : public FileLock {
public:
    WindowsFileLock(HANDLE file, std::string note) : m_file(file), m_note(std::move(note)) {}
    ~WindowsFileLock() override { CloseHandle(m_file); }
    std::string note() const override { return m_note; }

private:
    HANDLE m_file;
    std::string m_note;
};

OVERLAPPED lockRange() {
    OVERLAPPED at{};
    at.OffsetHigh = kLockOffsetHigh;
    return at;
}

std::string readAll(HANDLE file) {
    std::string text(4096, '\0');
    OVERLAPPED at{};
    DWORD read = 0;
    if (!ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &read, &at)) read = 0;
    text.resize(read);
    return text;
}

}  // namespace

std::unique_ptr<FileLock> lockFile(const std::string& path, const std::string& owner,
                                   std::chrono::milliseconds wait, std::string& holder) {
    // FILE_FLAG_OPEN_REPARSE_POINT: a symbolic link at the name is opened
    // itself, never followed, and refused.
    HANDLE file =
        CreateFileW(wideOf(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw RunError("Impossibile aprire il file di blocco " + path,
                       systemErrorText(GetLastError()));
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileInformationByHandle(file, &info) &&
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        CloseHandle(file);
        throw RunError("Impossibile aprire il file di blocco " + path,
                       "è un collegamento simbolico");
    }
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        OVERLAPPED at = lockRange();
        if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at))
            break;
        const DWORD err = GetLastError();
        if (err == ERROR_NOT_SUPPORTED || err == ERROR_INVALID_FUNCTION)
            // A file system without locks: the export goes on, and says so.
            return std::make_unique<WindowsFileLock>(
                file, "La cartella non permette di bloccare " + path + " (" + systemErrorText(err) +
                          "): un'altra esportazione nella stessa cartella non verrebbe fermata.");
        if (err != ERROR_LOCK_VIOLATION && err != ERROR_IO_PENDING) {
            CloseHandle(file);
            throw RunError("Impossibile bloccare il file " + path, systemErrorText(err));
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            holder = readAll(file);
            CloseHandle(file);
            return nullptr;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    // What the file says is only a description: a failure to write it
    // leaves the lock held all the same.
    const std::string text = owner + " (processo " + std::to_string(GetCurrentProcessId()) + ")";
    OVERLAPPED start{};
    DWORD written = 0;
    if (WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, &start)) {
        LARGE_INTEGER end;
        end.QuadPart = static_cast<LONGLONG>(written);
        if (SetFilePointerEx(file, end, nullptr, FILE_BEGIN)) SetEndOfFile(file);
    }
    return std::make_unique<WindowsFileLock>(file, std::string());
}

}  // namespace velmora
