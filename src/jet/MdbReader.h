// Reading one table of a Jet (.mdb) database file into memory with libmdb.
// The file is checked before libmdb sees it and every page is checked before
// a row is taken from it, so a truncated or damaged file gives MdbFileError,
// never a crash, a hang or silently missing rows.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "jet/Table.h"

namespace velmora::jet {

class MdbFileError : public std::runtime_error {
public:
    // Inconsistent: the table's pages disagree with what it declares (row
    // count, page owners, row places); the detail names the table.
    // Changed: a row read from the file on demand is no longer the one the
    // table was read with (the file was written in between).
    enum class Kind { Missing, Damaged, NoSuchTable, Inconsistent, Changed };
    MdbFileError(Kind kind, std::string detail)
        : std::runtime_error(detail), m_kind(kind), m_detail(std::move(detail)) {}
    Kind kind() const { return m_kind; }
    const std::string& detail() const { return m_detail; }

private:
    Kind m_kind;
    std::string m_detail;
};

// What identifies one version of a file: its size and modification time.
struct FileStamp {
    std::uintmax_t size = 0;
    std::int64_t modified = 0;  // file clock ticks
    std::uint64_t device = 0;
    std::uint64_t inode = 0;  // a file replaced by another of the same size and time
    bool operator==(const FileStamp&) const = default;
};

// The stamp of a file; no value when it does not exist or is not a file.
std::optional<FileStamp> stampOf(const std::string& path);

// Checks the first page of a database file: the Jet signature, a known
// version, and a size that is a whole number of pages, at least three.
// Throws MdbFileError (Missing or Damaged). Returns the page size.
std::size_t checkDatabaseFile(const std::string& path);

// Reads the named table (name compared without regard to letter case) in
// the file's row order. Throws MdbFileError.
// keep, when given, says which columns to read (by name); the others are
// passed over unread, so a wide table costs only the columns asked for.
// hold, when given, says which of those to hold in memory; the rest stay in
// the file, which the table's row source keeps open, and are read a row at a
// time when asked (a large table then costs memory only for the columns it
// is searched by).
std::shared_ptr<const Table> readMdbTable(
    const std::string& path, std::string_view tableName,
    const std::function<bool(std::string_view column)>& keep = {},
    const std::function<bool(std::string_view column)>& hold = {});

}  // namespace velmora::jet
