// A table's definition as its definition pages hold it: the row count, the
// column counts, where the usage maps are, and each live column's type,
// number and place in a row. Bounded by what Jet allows, so that a damaged
// definition is refused here and never drives the row walk astray.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "jet/JetFile.h"

namespace velmora::jet {

// Column types of the format.
enum ColumnType : unsigned char {
    kTypeBool = 0x01,
    kTypeByte = 0x02,
    kTypeInt = 0x03,
    kTypeLong = 0x04,
    kTypeMoney = 0x05,
    kTypeFloat = 0x06,
    kTypeDouble = 0x07,
    kTypeDateTime = 0x08,
    kTypeBinary = 0x09,
    kTypeText = 0x0A,
    kTypeOle = 0x0B,
    kTypeMemo = 0x0C,
    kTypeGuid = 0x0F,
    kTypeNumeric = 0x10,
    kTypeComplex = 0x12,
};

struct ColumnDef {
    std::string name;
    unsigned type = 0;
    unsigned number = 0;    // in the row's column count and null mask, deleted columns included
    unsigned varIndex = 0;  // variable-length columns: slot in the row's offset table
    bool fixed = false;
    bool calculated = false;  // Access 2010 and later: a value behind a header of its own
    std::uint16_t fixedOffset = 0;  // fixed columns: after the row's column count
    std::uint16_t length = 0;
};

struct TableDef {
    std::string name;
    std::uint32_t page = 0;      // first definition page
    std::uint32_t rowCount = 0;  // as declared
    unsigned varColumns = 0;     // 0: rows hold no table of variable-length offsets
    std::uint32_t usedMap = 0;   // page << 8 | row of the usage map rows
    std::uint32_t freeMap = 0;
    std::vector<ColumnDef> columns;  // live columns, by number
};

// Reads the definition that starts on `page`. Throws MdbFileError (Damaged)
// naming the table.
TableDef readTableDef(const JetFile& file, std::uint32_t page, std::string_view name);

}  // namespace velmora::jet
