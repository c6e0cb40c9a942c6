// What a table looks like in the file: its columns' places in a row (deleted
// columns keep theirs), and its definition bytes, as Jet 3 and Jet 4 write
// them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Pages.h"
#include "jetwrite/JetWriter.h"

namespace velmora::jetwrite::detail {

// Column type codes of the Jet formats.
enum JetType : std::uint8_t {
    kJetInteger = 0x03,
    kJetLong = 0x04,
    kJetDouble = 0x07,
    kJetText = 0x0A,
    kJetLongBinary = 0x0B,
    kJetMemo = 0x0C,
};

struct ColumnLayout {
    std::string name;
    JetType jetType;
    int maxChars = 0;  // Text only
    bool fixed = false;
    bool deleted = false;
    std::uint16_t fixedOffset = 0;  // from the end of the row's column count
    std::uint16_t fixedSize = 0;
    std::uint16_t varIndex = 0;
    std::uint16_t length = 0;  // the definition's column length in bytes
};

struct TableLayout {
    std::string name;
    bool system = false;
    std::vector<ColumnLayout> columns;  // every column ever, deleted ones too
    std::uint16_t fixedBytes = 0;
    std::uint16_t varCount = 0;  // variable-length slots, deleted ones too

    std::uint32_t definitionPage = 0;
    std::uint32_t definitionPageCount = 0;
    std::uint32_t usedMapRow = 0;  // page << 8 | row, as the definition points to it
    std::uint32_t freeMapRow = 0;
    std::uint32_t rowCount = 0;
    std::vector<std::uint32_t> dataPages;
    std::vector<std::uint8_t> usedMap;
    std::vector<std::uint8_t> freeMap;
};

// The layout of a user table's columns, and of the catalog MSysObjects with
// the columns readers bind by name.
TableLayout userLayout(const std::vector<Column>& columns, const std::string& name,
                       const Format& format);
TableLayout catalogLayout(const Format& format);

// The definition as one byte stream, as if its pages were contiguous.
std::vector<std::uint8_t> definitionBytes(const TableLayout& table, const Format& format);

// The pages a definition of that many bytes takes: the first page whole,
// each further one after its own 8-byte header.
std::uint32_t definitionPagesFor(std::size_t bytes, const Format& format);

}  // namespace velmora::jetwrite::detail
