// PendingFile through the Windows API, names in UTF-16. The temporary file is
// made with CREATE_NEW (which fails on any existing name, a symbolic link
// included, and so never follows one), written, flushed with
// FlushFileBuffers, then hard-linked to its final name with CreateHardLinkW,
// which fails on a name already taken. A file system without hard links (FAT,
// some network shares) gets MoveFileExW without MOVEFILE_REPLACE_EXISTING,
// which fails on a taken name as well.
#include <windows.h>

#include <filesystem>

#include "core/RunError.h"
#include "platform/NativePath.h"
#include "platform/PendingFile.h"
#include "platform/windows/WindowsText.h"

namespace velmora {

namespace fs = std::filesystem;

namespace {

bool isTaken(DWORD err) { return err == ERROR_FILE_EXISTS || err == ERROR_ALREADY_EXISTS; }

// CreateHardLinkW's answers where the volume cannot link
// (https://learn.microsoft.com/windows/win32/api/winbase/nf-winbase-createhardlinkw).
bool noHardLinks(DWORD err) {
    return err == ERROR_INVALID_FUNCTION || err == ERROR_NOT_SUPPORTED ||
           err == ERROR_INVALID_PARAMETER || err == ERROR_NOT_SAME_DEVICE;
}

}  // namespace

PendingFile::PendingFile(const std::string& finalPath, const std::string& name) : m_name(name) {
    const fs::path p = NativePath(finalPath);
    const fs::path dir = p.has_parent_path() ? p.parent_path() : fs::path(L".");
    DWORD err = ERROR_FILE_EXISTS;
    for (int n = 0; n < 1000 && isTaken(err); ++n) {
        const fs::path temp =
            dir / (L"." + p.filename().wstring() + L"." + std::to_wstring(GetCurrentProcessId()) +
                   L"-" + std::to_wstring(n) + L".tmp");
        HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            m_file = h;
            m_path = utf8Name(temp);
            return;
        }
        err = GetLastError();
    }
    throw RunError("Impossibile creare il file " + name, systemErrorText(err));
}

PendingFile::~PendingFile() {
    if (m_file) CloseHandle(m_file);
    if (!m_path.empty()) DeleteFileW(wideOf(m_path).c_str());
}

void PendingFile::fill(std::string_view text) {
    HANDLE h = m_file;
    m_file = nullptr;
    DWORD err = 0;
    while (!text.empty() && err == 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(text.size(), 1u << 30));
        DWORD written = 0;
        if (!WriteFile(h, text.data(), chunk, &written, nullptr))
            err = GetLastError();
        else
            text.remove_prefix(written);
    }
    if (err == 0 && !FlushFileBuffers(h)) err = GetLastError();
    if (!CloseHandle(h) && err == 0) err = GetLastError();
    if (err != 0) throw RunError("Impossibile scrivere il file " + m_name, systemErrorText(err));
}

bool PendingFile::publishAs(const std::string& path, const std::string& name,
                            LocalFileStore::Publication publication) {
    const std::wstring temp = wideOf(m_path);
    const std::wstring target = wideOf(path);
    const bool linkFirst = publication == LocalFileStore::Publication::LinkFirst;
    if (linkFirst && CreateHardLinkW(target.c_str(), temp.c_str(), nullptr)) return true;
    DWORD err = linkFirst ? GetLastError() : ERROR_NOT_SUPPORTED;
    if (noHardLinks(err)) {
        if (MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
            m_path.clear();
            return true;
        }
        err = GetLastError();
    }
    if (isTaken(err)) return false;
    throw RunError("Impossibile creare il file " + name, systemErrorText(err));
}

}  // namespace velmora
