// Reading one table of a Jet (.mdb) database file into memory. The file's
// pages, its catalog, the table's definition and usage map, its rows and
// their fields are all read by the engine's own code (JetFile, Catalog,
// TableDefinition, UsageMap, RowWalk, FieldDecoder, LongValue), every page
// checked before a row is taken from it, so a truncated or damaged file
// gives MdbFileError, never a crash, a hang or silently missing rows.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "core/FileAccess.h"
#include "jet/MdbFileError.h"
#include "jet/PortableFiles.h"
#include "jet/Table.h"

namespace velmora::jet {

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
    const std::function<bool(std::string_view column)>& hold = {},
    const FileAccess& files = portableFiles());

}  // namespace velmora::jet
