// Column places and table definitions of the writer, Jet 3 and Jet 4.
//
// A definition is a fixed header (row count, column counts, the usage map
// rows), one entry per live column, then the names. Of the counts, the one
// of the columns a row may hold (at 41 / 21) keeps the deleted columns, and
// so does the count of variable-length slots in Jet 4 (at 43); in Jet 3 that
// count (at 23) is of the live columns.
#include "TableLayout.h"

#include "CellEncoding.h"

namespace velmora::jetwrite::detail {

namespace {

void addColumn(TableLayout& table, const Format& format, std::string name, JetType type,
               int maxChars = 0, bool deleted = false) {
    ColumnLayout column;
    column.name = std::move(name);
    column.jetType = type;
    column.deleted = deleted;
    switch (type) {
        case kJetInteger:
            column.fixedSize = 2;
            break;
        case kJetLong:
            column.fixedSize = 4;
            break;
        case kJetDouble:
            column.fixedSize = 8;
            break;
        case kJetText:
            column.maxChars = maxChars;
            column.length = static_cast<std::uint16_t>(format.jet3() ? maxChars : maxChars * 2);
            break;
        case kJetLongBinary:
        case kJetMemo:
            break;
    }
    if (column.fixedSize > 0) {
        column.fixed = true;
        column.length = column.fixedSize;
        column.fixedOffset = table.fixedBytes;
        table.fixedBytes = static_cast<std::uint16_t>(table.fixedBytes + column.fixedSize);
    } else {
        column.varIndex = table.varCount++;
    }
    table.columns.push_back(std::move(column));
}

JetType jetTypeOf(ColumnType type) {
    switch (type) {
        case ColumnType::Long:
            return kJetLong;
        case ColumnType::Integer:
            return kJetInteger;
        case ColumnType::Double:
            return kJetDouble;
        case ColumnType::Memo:
            return kJetMemo;
        case ColumnType::Text:
            break;
    }
    return kJetText;
}

// One column entry: Jet 4 (25 bytes) or Jet 3 (18 bytes).
void appendEntry(std::vector<std::uint8_t>& d, const ColumnLayout& column, std::uint32_t number,
                 std::uint32_t live, const Format& format) {
    std::vector<std::uint8_t> entry(format.columnEntry, 0);
    const bool text = column.jetType == kJetText || column.jetType == kJetMemo;
    const std::uint8_t flags = column.fixed ? 0x03 : 0x02;  // fixed length; may be Null
    entry[0] = column.jetType;
    if (format.jet3()) {
        put16(&entry[1], number);  // also the column's bit in the null mask
        put16(&entry[3], column.fixed ? 0 : column.varIndex);
        put16(&entry[5], live);
        if (text) {
            put16(&entry[7], 0x0409);  // general sort order
            put16(&entry[9], 1252);    // code page
        }
        entry[13] = flags;
        put16(&entry[14], column.fixed ? column.fixedOffset : 0);
        put16(&entry[16], column.length);
    } else {
        put16(&entry[5], number);
        put16(&entry[7], column.fixed ? 0 : column.varIndex);
        put16(&entry[9], live);
        if (text) {
            put16(&entry[11], 0x0409);
            entry[16] = 0x01;  // may be stored compressed
        }
        entry[15] = flags;
        put16(&entry[21], column.fixed ? column.fixedOffset : 0);
        put16(&entry[23], column.length);
    }
    d.insert(d.end(), entry.begin(), entry.end());
}

void appendName(std::vector<std::uint8_t>& d, const std::string& name, const Format& format) {
    std::u16string units;
    decodeUtf8(name, units);
    std::vector<std::uint8_t> bytes;
    if (format.jet3()) {
        appendCp1252(bytes, units);
        d.push_back(static_cast<std::uint8_t>(bytes.size()));
    } else {
        appendUcs2(bytes, units);
        append16(d, static_cast<std::uint32_t>(bytes.size()));
    }
    d.insert(d.end(), bytes.begin(), bytes.end());
}

}  // namespace

TableLayout userLayout(const std::vector<Column>& columns, const std::string& name,
                       const Format& format) {
    TableLayout table;
    table.name = name;
    bool liveVar = false;
    for (const Column& column : columns) {
        addColumn(table, format, column.name, jetTypeOf(column.type), column.size, column.deleted);
        liveVar = liveVar || (!column.deleted && !table.columns.back().fixed);
    }
    // Jet 3 counts only live variable-length columns, and readers take a
    // count of 0 for rows without variable-length data at all.
    if (format.jet3() && table.varCount > 0 && !liveVar)
        fail("table " + name + ": a Jet 3 table keeps deleted text only beside live text");
    return table;
}

TableLayout catalogLayout(const Format& format) {
    TableLayout table;
    table.name = "MSysObjects";
    table.system = true;
    addColumn(table, format, "Id", kJetLong);
    addColumn(table, format, "Name", kJetText, 255);
    addColumn(table, format, "Type", kJetInteger);
    addColumn(table, format, "Flags", kJetLong);
    addColumn(table, format, "LvProp", kJetLongBinary);
    return table;
}

std::vector<std::uint8_t> definitionBytes(const TableLayout& table, const Format& format) {
    std::vector<std::uint8_t> d(format.definitionHeader, 0);
    d[0] = 0x02;
    d[1] = 0x01;
    std::uint32_t live = 0, liveVar = 0;
    for (const ColumnLayout& column : table.columns) {
        if (column.deleted) continue;
        ++live;
        if (!column.fixed) ++liveVar;
    }
    const auto every = static_cast<std::uint32_t>(table.columns.size());
    // Row count, table kind, the three column counts, the usage map rows.
    const std::size_t rows = format.jet3() ? 12 : 16, kind = format.jet3() ? 20 : 40;
    put32(&d[rows], table.rowCount);
    d[kind] = table.system ? 0x53 : 0x4E;
    put16(&d[kind + 1], every);
    put16(&d[kind + 3], format.jet3() ? liveVar : table.varCount);
    put16(&d[kind + 5], live);
    put32(&d[kind + 15], table.usedMapRow);
    put32(&d[kind + 19], table.freeMapRow);
    if (format.jet3()) {
        d[2] = 'V';
        d[3] = 'C';
    }
    std::uint32_t liveIndex = 0;
    for (std::uint32_t i = 0; i < every; ++i) {
        if (!table.columns[i].deleted) appendEntry(d, table.columns[i], i, liveIndex++, format);
    }
    for (const ColumnLayout& column : table.columns)
        if (!column.deleted) appendName(d, column.name, format);
    append16(d, 0xFFFF);  // no per-column usage maps follow
    put32(&d[8], static_cast<std::uint32_t>(d.size() - 8));
    return d;
}

std::uint32_t definitionPagesFor(std::size_t bytes, const Format& format) {
    if (bytes <= format.pageSize) return 1;
    const std::size_t rest = bytes - format.pageSize;
    const std::size_t perPage = format.pageSize - 8;
    return static_cast<std::uint32_t>(1 + (rest + perPage - 1) / perPage);
}

}  // namespace velmora::jetwrite::detail
