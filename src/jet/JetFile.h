// A Jet database file and its pages: the first page checked (signature,
// version, a size of whole pages) and decoded (its masked block gives the
// code page and the key of an encoded database), then any page read whole,
// decoded when the database is encoded.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/FileAccess.h"
#include "jet/JetFormat.h"
#include "jet/MdbFileError.h"

namespace velmora::jet {

class JetFile {
public:
    // Opens path through files and checks its first page. Throws
    // MdbFileError (Missing, Damaged).
    JetFile(const FileAccess& files, const std::string& path);

    const JetFormat& format() const { return *m_format; }
    std::size_t pageSize() const { return m_format->pageSize; }
    std::uint32_t pageCount() const { return m_pageCount; }

    // Page n, whole, into `into`. Throws MdbFileError (Damaged) for a page
    // beyond the file or one that cannot be read.
    void read(std::uint32_t page, PageBuffer& into) const;

private:
    std::unique_ptr<RandomAccessFile> m_file;
    const JetFormat* m_format = nullptr;
    std::uint32_t m_pageCount = 0;
    std::uint32_t m_key = 0;  // database key: pages are encoded when not 0
};

// Checks the first page of a database file as JetFile does; returns the
// page size. Throws MdbFileError (Missing, Damaged).
std::size_t checkDatabaseFile(const FileAccess& files, const std::string& path);

}  // namespace velmora::jet
