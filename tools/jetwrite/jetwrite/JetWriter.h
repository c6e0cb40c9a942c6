// Writes Jet 4 and Jet 3 (.mdb) database files holding plain tables of text,
// memo and number columns, and reads the small text table format those
// tables are kept in.
// Tests, the demo and the benchmark make every database they need with it;
// no binary database is ever kept in the repository.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::jetwrite {

enum class ColumnType { Text, Long, Integer, Double, Memo };

// Jet 4: Access 2000-2003, 4 KB pages, text in UTF-16 (the default).
// Jet 3: Access 97, 2 KB pages, text in code page 1252.
enum class JetVersion { Jet4, Jet3 };

struct Column {
    std::string name;
    ColumnType type;
    int size = 255;  // Text(n): the most characters a value may hold, 1..255
    // Deleted in design view: the column keeps its place (its number, its
    // bytes in every row, its variable-length slot), but the definition no
    // longer lists it, as in a file not compacted since. A later column may
    // take its name (re-created).
    bool deleted = false;
};

// std::nullopt is Null. Text is UTF-8 as stored; numbers are decimal text
// ("4521", "-3", "0.3", "1e-5"). A row with fewer cells than columns was
// written before the columns after its last cell were added: it holds none
// of them (they read as Null).
//
// A memo value is stored in the row when it takes at most 64 bytes, else in
// a row of its own on a long-value page when it fits one, else in a chain of
// such rows over several pages.
using Cell = std::optional<std::string>;

struct Table {
    std::string name;
    std::vector<Column> columns;
    std::vector<std::vector<Cell>> rows;
};

// The text table format, one table per UTF-8 file:
//   # a comment line; empty lines are skipped too
//   NumeroProgressivo:Long|CapoFamiglia:Text(1)|Tariffa:Double|Camera:Integer
//   4501|S|72.5|101
// Types: Text(n), Memo, Long, Integer, Double; a column written "~Name:Type"
// is a deleted one (see Column::deleted).
// Fields are separated by '|' and never trimmed. A field of its own "\N" is
// Null; an empty field is empty text, or Null in a number column; trailing
// fields of their own "\A" are absent (the row predates them). Escapes
// inside a field: \| \\ \t \r \n, and \# for a field starting with '#'.
// Lines end at LF (a CR before it is dropped); a UTF-8 byte order mark at the
// start of the file is dropped. As empty lines are skipped, a one-column table
// cannot hold a row with empty text: write \N or a blank there.
//
// Parses a text table; errors throw std::runtime_error "source:line: what",
// where source is sourceName, or the table name when sourceName is empty.
Table parseTextTable(std::string_view text, const std::string& tableName,
                     const std::string& sourceName = "");

// Reads and parses a text table file; errors name the file and the line.
Table readTextTable(const std::string& path, const std::string& tableName);

// Writes a new database at path holding the tables in the order given, rows in
// the order given, replacing any file there. The file appears only when
// complete. Throws std::runtime_error naming the table, row and column of a
// value that cannot be stored (bad number, text too long or not in code page
// 1252 for Jet 3, a row larger than a page) or the file that cannot be
// written. A databaseKey other than 0 writes an encoded database (Access's
// "encrypt database"): every page but the first masked with RC4 under the
// key XOR the page's number.
void writeDatabase(const std::string& path, const std::vector<Table>& tables,
                   JetVersion version = JetVersion::Jet4, std::uint32_t databaseKey = 0);

// A table handed to the writer one row at a time, so that a large text table
// is never held in memory whole.
class RowSource {
public:
    virtual ~RowSource() = default;
    virtual const std::string& tableName() const = 0;
    virtual const std::vector<Column>& columns() const = 0;
    // The next row, one cell per column, valid until the next call; nullptr
    // at the end.
    virtual const std::vector<Cell>* next() = 0;
    // Where the row last returned comes from, for messages: "file:12".
    virtual std::string where() const = 0;
};

// A source over a text table file: the header is read and checked at once,
// rows as they are asked for (a bad row throws "file:line: what" then).
std::unique_ptr<RowSource> openTextTable(const std::string& path, const std::string& tableName);

// writeDatabase over row sources, each read once from start to end.
void writeDatabaseFromSources(const std::string& path, const std::vector<RowSource*>& sources,
                              JetVersion version = JetVersion::Jet4,
                              std::uint32_t databaseKey = 0);

}  // namespace velmora::jetwrite
