// Reads a database back through libmdb for the writer's tests: table names
// from the catalog, column definitions, and every row with Null told apart
// from empty text and numbers decoded from their stored bytes.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace velmora::test {

struct MdbColumnInfo {
    std::string name;
    int type = 0;  // libmdb's code: MDB_TEXT, MDB_LONGINT, MDB_INT, MDB_DOUBLE
    int size = 0;  // bytes as stored in the definition (Text: 2 a character)
};

struct MdbTableContent {
    std::vector<MdbColumnInfo> columns;
    // Text as libmdb converts it (UTF-8); Long and Integer in decimal; Double
    // as the shortest text that reads back to the same value ("0.3", "1e+10").
    std::vector<std::vector<std::optional<std::string>>> rows;
    int usageMapType = -1;  // first byte of the table's used-pages map
    unsigned declaredRows = 0;
};

// Names of the user tables, in catalog order. Throws std::runtime_error when
// libmdb cannot open the file or its catalog.
std::vector<std::string> mdbUserTables(const std::string& path);

// Whole content of one table; throws when the table's usage map lists a page
// that is not one of its data pages. With boundColumns >= 0 only the first that many
// text columns are converted by libmdb (the rest come back as std::nullopt
// unless Null), which keeps very large tables quick to read.
MdbTableContent readMdbTable(const std::string& path, const std::string& table,
                             int boundColumns = -1);

// The shortest text that reads back as the same double.
std::string canonicalDouble(double value);

}  // namespace velmora::test
