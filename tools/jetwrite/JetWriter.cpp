// Lays out and writes a Jet 4 database: the header page, the catalog table
// MSysObjects (its definition always on page 2), one definition page (or a
// chain) per table, data pages allocated upwards so that reading in page order
// gives the rows in the order written, and the page usage maps.
//
// File layout:
//   0            header (version, RC4-masked fields)
//   1            usage map rows of every table (more map pages later if needed)
//   2            MSysObjects definition
//   3 ...        user table definitions, MSysObjects data, extra map pages
//   then         each table's data pages, followed by its bitmap pages when
//                its usage map is the indirect kind (type 1)
// Data pages stream to the file as they fill; definitions, maps and the
// header are written last, when row counts and page lists are known.
#include "jetwrite/JetWriter.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <stdexcept>

#include "CellEncoding.h"

namespace velmora::jetwrite {

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kPageSize = 4096;
constexpr std::size_t kDataHeaderSize = 14;   // type, free space, owner, unused, row count
constexpr std::size_t kMaxRowsPerPage = 255;  // row numbers in page pointers are one byte
constexpr std::size_t kMaxRowSize = kPageSize - kDataHeaderSize - 2;
constexpr std::uint32_t kMaxPages = 1u << 19;  // 2 GiB, the Jet 4 file size limit
constexpr std::size_t kDefinitionHeaderSize = 63;
constexpr std::size_t kColumnEntrySize = 25;
constexpr std::size_t kInlineMapSize = 64;  // type 0 map: type, first page, bitmap
constexpr std::uint32_t kInlineMapPages = (kInlineMapSize - 5) * 8;
constexpr std::uint32_t kBitmapPagePages = (kPageSize - 4) * 8;  // pages one type 0x05 page maps
constexpr std::size_t kMaxMapRowSize = 1 + 4 * ((kMaxPages - 1) / kBitmapPagePages + 1);
constexpr std::size_t kMapRowsPerPage =
    std::min(kMaxRowsPerPage, (kPageSize - kDataHeaderSize) / (kMaxMapRowSize + 2));
constexpr std::uint32_t kCatalogPage = 2;
constexpr std::uint32_t kFirstMapPage = 1;

using Page = std::array<std::uint8_t, kPageSize>;

// Column type codes of the Jet 4 format.
enum JetType : std::uint8_t {
    kJetInteger = 0x03,
    kJetLong = 0x04,
    kJetDouble = 0x07,
    kJetText = 0x0A,
    kJetLongBinary = 0x0B,
};

[[noreturn]] void fail(const std::string& what) { throw std::runtime_error(what); }

void put16(std::uint8_t* at, std::uint32_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

void put32(std::uint8_t* at, std::uint32_t value) {
    put16(at, value & 0xFFFF);
    put16(at + 2, value >> 16);
}

void append16(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

std::string foldCase(std::string_view name) {
    std::string folded(name);
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return folded;
}

struct ColumnLayout {
    std::string name;
    JetType jetType;
    int maxChars = 0;  // Text only
    bool fixed = false;
    std::uint16_t fixedOffset = 0;  // from the end of the row's column count
    std::uint16_t fixedSize = 0;
    std::uint16_t varIndex = 0;
    std::uint16_t length = 0;  // the definition's column length in bytes
};

struct TableLayout {
    std::string name;
    bool system = false;
    std::vector<ColumnLayout> columns;
    std::uint16_t fixedBytes = 0;
    std::uint16_t varCount = 0;

    std::uint32_t definitionPage = 0;
    std::uint32_t definitionPageCount = 0;
    std::uint32_t usedMapRow = 0;  // page << 8 | row, as the definition points to it
    std::uint32_t freeMapRow = 0;
    std::uint32_t rowCount = 0;
    std::vector<std::uint32_t> dataPages;
    std::vector<std::uint8_t> usedMap;
    std::vector<std::uint8_t> freeMap;
};

void addColumn(TableLayout& table, std::string name, JetType type, int maxChars = 0) {
    ColumnLayout column;
    column.name = std::move(name);
    column.jetType = type;
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
            column.length = static_cast<std::uint16_t>(maxChars * 2);
            break;
        case kJetLongBinary:
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

TableLayout userLayout(const RowSource& source) {
    TableLayout table;
    table.name = source.tableName();
    for (const Column& column : source.columns()) {
        switch (column.type) {
            case ColumnType::Text:
                addColumn(table, column.name, kJetText, column.size);
                break;
            case ColumnType::Long:
                addColumn(table, column.name, kJetLong);
                break;
            case ColumnType::Integer:
                addColumn(table, column.name, kJetInteger);
                break;
            case ColumnType::Double:
                addColumn(table, column.name, kJetDouble);
                break;
        }
    }
    return table;
}

// MSysObjects with the columns readers bind by name.
TableLayout catalogLayout() {
    TableLayout table;
    table.name = "MSysObjects";
    table.system = true;
    addColumn(table, "Id", kJetLong);
    addColumn(table, "Name", kJetText, 255);
    addColumn(table, "Type", kJetInteger);
    addColumn(table, "Flags", kJetLong);
    addColumn(table, "LvProp", kJetLongBinary);
    return table;
}

void checkTables(const std::vector<RowSource*>& sources) {
    std::set<std::string> names{"msysobjects"};
    for (const RowSource* source : sources) {
        const std::string& name = source->tableName();
        detail::checkName(name, "table");
        if (foldCase(name).rfind("msys", 0) == 0) {
            fail("table " + name + ": names starting with MSys are kept for system tables");
        }
        if (!names.insert(foldCase(name)).second) fail("table " + name + " appears twice");
        if (source->columns().empty() || source->columns().size() > 255) {
            fail("table " + name + ": a table has 1 to 255 columns");
        }
        std::set<std::string> columnNames;
        for (const Column& column : source->columns()) {
            try {
                detail::checkColumn(column);
            } catch (const std::runtime_error& e) {
                fail("table " + name + ": " + e.what());
            }
            if (!columnNames.insert(foldCase(column.name)).second) {
                fail("table " + name + ": column " + column.name + " appears twice");
            }
        }
    }
}

// Encodes one row: column count, fixed columns, variable data, then the end
// of the data, the variable offsets last to first, their count, and the null
// mask (bit set = not Null). Throws "column NAME: what" for a bad value.
class RowEncoder {
public:
    void encode(const TableLayout& table, const std::vector<Cell>& cells,
                std::vector<std::uint8_t>& out) {
        const std::size_t columnCount = table.columns.size();
        if (cells.size() != columnCount) {
            fail(std::to_string(cells.size()) + " cells where the table has " +
                 std::to_string(columnCount) + " columns");
        }
        out.assign(2 + table.fixedBytes, 0);
        put16(out.data(), static_cast<std::uint32_t>(columnCount));
        m_nullMask.assign((columnCount + 7) / 8, 0);
        m_varOffsets.assign(table.varCount, 0);
        for (std::size_t i = 0; i < columnCount; ++i) {
            const ColumnLayout& column = table.columns[i];
            const Cell& cell = cells[i];
            if (!column.fixed)
                m_varOffsets[column.varIndex] = static_cast<std::uint16_t>(out.size());
            if (!cell) continue;
            m_nullMask[i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
            try {
                storeValue(column, *cell, out);
            } catch (const std::runtime_error& e) {
                fail("column " + column.name + ": " + e.what());
            }
        }
        if (table.varCount > 0) {
            const std::size_t end = out.size();
            if (end + 2 * (table.varCount + 2) + m_nullMask.size() > kMaxRowSize) {
                fail(rowTooLarge(end + 2 * (table.varCount + 2) + m_nullMask.size()));
            }
            append16(out, static_cast<std::uint32_t>(end));
            for (std::size_t k = table.varCount; k-- > 0;) append16(out, m_varOffsets[k]);
            append16(out, table.varCount);
        }
        out.insert(out.end(), m_nullMask.begin(), m_nullMask.end());
        if (out.size() > kMaxRowSize) fail(rowTooLarge(out.size()));
    }

private:
    static std::string rowTooLarge(std::size_t size) {
        return "the row needs " + std::to_string(size) + " bytes, more than the " +
               std::to_string(kMaxRowSize) + " a page holds";
    }

    void storeValue(const ColumnLayout& column, const std::string& value,
                    std::vector<std::uint8_t>& out) {
        std::uint8_t* fixed = out.data() + 2 + column.fixedOffset;
        switch (column.jetType) {
            case kJetInteger:
                put16(fixed, static_cast<std::uint16_t>(detail::parseInteger(value)));
                break;
            case kJetLong:
                put32(fixed, static_cast<std::uint32_t>(detail::parseLong(value)));
                break;
            case kJetDouble: {
                const double number = detail::parseDouble(value);
                std::uint64_t bits = 0;
                std::memcpy(&bits, &number, sizeof bits);
                put32(fixed, static_cast<std::uint32_t>(bits));
                put32(fixed + 4, static_cast<std::uint32_t>(bits >> 32));
                break;
            }
            case kJetText:
                detail::decodeUtf8(value, m_units);
                detail::checkTextLength(m_units, column.maxChars, value);
                detail::appendJetText(out, m_units);
                if (out.size() > kMaxRowSize) fail(rowTooLarge(out.size()));
                break;
            case kJetLongBinary:
                fail("long binary values are not written");
        }
    }

    std::vector<std::uint8_t> m_nullMask;
    std::vector<std::uint16_t> m_varOffsets;
    std::u16string m_units;
};

// The output file, written page by page in any order.
class PageFile {
public:
    explicit PageFile(const fs::path& path) : m_path(path) {
        m_out.open(path, std::ios::binary | std::ios::trunc);
        if (!m_out) fail(path.string() + ": cannot create the file");
    }

    void write(std::uint32_t page, const std::uint8_t* bytes) {
        m_out.seekp(static_cast<std::streamoff>(page) * static_cast<std::streamoff>(kPageSize));
        m_out.write(reinterpret_cast<const char*>(bytes), kPageSize);
        if (!m_out) fail(m_path.string() + ": cannot write the file");
    }

    void close() {
        m_out.close();
        if (!m_out) fail(m_path.string() + ": cannot write the file");
    }

private:
    fs::path m_path;
    std::ofstream m_out;
};

// Fills data pages: slot offsets grow from the header, rows from the end.
class DataPage {
public:
    explicit DataPage(std::uint32_t owner) : m_owner(owner) { clear(); }

    bool empty() const { return m_rows == 0; }
    bool fits(std::size_t rowSize) const {
        return m_rows < kMaxRowsPerPage && m_top - (kDataHeaderSize + 2 * m_rows) >= rowSize + 2;
    }

    // Adds a row; returns its row number on the page.
    std::uint32_t add(const std::vector<std::uint8_t>& row) {
        if (!fits(row.size())) fail("a row does not fit on its page");
        m_top -= row.size();
        std::memcpy(m_page.data() + m_top, row.data(), row.size());
        put16(m_page.data() + kDataHeaderSize + 2 * m_rows, static_cast<std::uint32_t>(m_top));
        return static_cast<std::uint32_t>(m_rows++);
    }

    const Page& finish() {
        put16(m_page.data() + 2,
              static_cast<std::uint32_t>(m_top - (kDataHeaderSize + 2 * m_rows)));
        put32(m_page.data() + 4, m_owner);
        put16(m_page.data() + 12, static_cast<std::uint32_t>(m_rows));
        return m_page;
    }

    void clear() {
        m_page.fill(0);
        m_page[0] = 0x01;
        m_page[1] = 0x01;
        m_rows = 0;
        m_top = kPageSize;
    }

private:
    Page m_page;
    std::uint32_t m_owner;
    std::size_t m_rows = 0;
    std::size_t m_top = kPageSize;
};

// A Table handed out row by row.
class TableRows final : public RowSource {
public:
    explicit TableRows(const Table& table) : m_table(table) {}
    const std::string& tableName() const override { return m_table.name; }
    const std::vector<Column>& columns() const override { return m_table.columns; }
    const std::vector<Cell>* next() override {
        if (m_next >= m_table.rows.size()) return nullptr;
        return &m_table.rows[m_next++];
    }
    std::string where() const override {
        return "table " + m_table.name + ", row " + std::to_string(m_next);
    }

private:
    const Table& m_table;
    std::size_t m_next = 0;
};

class DatabaseWriter {
public:
    DatabaseWriter(const fs::path& path, const std::vector<RowSource*>& sources)
        : m_file(path), m_sources(sources) {}

    void write() {
        m_tables.push_back(catalogLayout());
        for (const RowSource* source : m_sources) m_tables.push_back(userLayout(*source));

        // Definitions first: their sizes do not depend on the data.
        m_nextPage = kCatalogPage + 1;
        for (TableLayout& table : m_tables) {
            table.definitionPageCount = pagesFor(definition(table).size());
            if (table.system) {
                if (table.definitionPageCount != 1) fail("catalog definition too large");
                table.definitionPage = kCatalogPage;
            } else {
                table.definitionPage = allocate(table.definitionPageCount);
            }
        }
        writeCatalogData();
        placeMapRows();
        for (std::size_t i = 0; i < m_sources.size(); ++i)
            writeTableData(*m_sources[i], m_tables[i + 1]);
        for (const TableLayout& table : m_tables) writeDefinition(table);
        writeMapPages();
        writeHeader();
        m_file.close();
    }

private:
    // A definition continues on pages that hold kPageSize - 8 bytes after
    // their own 8-byte header.
    static std::uint32_t pagesFor(std::size_t definitionSize) {
        if (definitionSize <= kPageSize) return 1;
        const std::size_t rest = definitionSize - kPageSize;
        const std::size_t perPage = kPageSize - 8;
        return static_cast<std::uint32_t>(1 + (rest + perPage - 1) / perPage);
    }

    std::uint32_t allocate(std::uint32_t count = 1) {
        if (m_nextPage + count > kMaxPages) fail("the database would exceed the 2 GB Jet 4 limit");
        std::uint32_t first = m_nextPage;
        m_nextPage += count;
        return first;
    }

    // The definition as one byte stream, as if its pages were contiguous.
    static std::vector<std::uint8_t> definition(const TableLayout& table) {
        std::vector<std::uint8_t> d(kDefinitionHeaderSize, 0);
        d[0] = 0x02;
        d[1] = 0x01;
        const auto columnCount = static_cast<std::uint32_t>(table.columns.size());
        put32(&d[16], table.rowCount);
        d[40] = table.system ? 0x53 : 0x4E;
        put16(&d[41], columnCount);
        put16(&d[43], table.varCount);
        put16(&d[45], columnCount);
        put32(&d[55], table.usedMapRow);
        put32(&d[59], table.freeMapRow);
        for (std::uint32_t i = 0; i < columnCount; ++i) {
            const ColumnLayout& column = table.columns[i];
            std::uint8_t entry[kColumnEntrySize] = {};
            entry[0] = column.jetType;
            put16(entry + 5, i);  // also the column's bit in the null mask
            put16(entry + 7, column.fixed ? 0 : column.varIndex);
            put16(entry + 9, i);
            if (column.jetType == kJetText) {
                put16(entry + 11, 0x0409);  // general sort order
                entry[16] = 0x01;           // may be stored compressed
            }
            entry[15] = column.fixed ? 0x03 : 0x02;  // fixed length; may be Null
            put16(entry + 21, column.fixed ? column.fixedOffset : 0);
            put16(entry + 23, column.length);
            d.insert(d.end(), entry, entry + kColumnEntrySize);
        }
        std::u16string units;
        for (const ColumnLayout& column : table.columns) {
            detail::decodeUtf8(column.name, units);
            append16(d, static_cast<std::uint32_t>(units.size() * 2));
            detail::appendUcs2(d, units);
        }
        append16(d, 0xFFFF);  // no per-column usage maps follow
        put32(&d[8], static_cast<std::uint32_t>(d.size() - 8));
        return d;
    }

    void writeDefinition(const TableLayout& table) {
        const std::vector<std::uint8_t> d = definition(table);
        std::size_t offset = 0;
        for (std::uint32_t k = 0; k < table.definitionPageCount; ++k) {
            Page page{};
            std::size_t start = k == 0 ? 0 : 8;
            std::size_t take = std::min(d.size() - offset, kPageSize - start);
            std::memcpy(page.data() + start, d.data() + offset, take);
            offset += take;
            page[0] = 0x02;
            page[1] = 0x01;
            std::size_t freeSpace = kPageSize - start - take;
            put16(page.data() + 2, static_cast<std::uint32_t>(freeSpace >= 8 ? freeSpace - 8 : 0));
            put32(page.data() + 4,
                  k + 1 < table.definitionPageCount ? table.definitionPage + k + 1 : 0);
            m_file.write(table.definitionPage + k, page.data());
        }
    }

    // Streams rows into data pages, allocated upwards.
    void writeRows(RowSource& source, TableLayout& table) {
        DataPage page(table.definitionPage);
        std::vector<std::uint8_t> row;
        auto flush = [&] {
            std::uint32_t number = allocate();
            m_file.write(number, page.finish().data());
            table.dataPages.push_back(number);
            page.clear();
        };
        while (const std::vector<Cell>* cells = source.next()) {
            try {
                m_encoder.encode(table, *cells, row);
            } catch (const std::runtime_error& e) {
                fail(source.where() + ": " + e.what());
            }
            if (!page.fits(row.size())) flush();
            page.add(row);
            if (++table.rowCount == 0) fail("table " + table.name + " has too many rows");
        }
        if (!page.empty()) flush();
    }

    // Usage map of a table's data pages: inline (type 0) when they span few
    // pages, else a list of bitmap pages (type 1), allocated here.
    void buildMaps(TableLayout& table) {
        const std::vector<std::uint32_t>& pages = table.dataPages;
        const std::uint32_t first = pages.empty() ? table.definitionPage : pages.front();
        table.freeMap.assign(kInlineMapSize, 0);
        put32(&table.freeMap[1], first);
        if (pages.empty() || pages.back() - first < kInlineMapPages) {
            table.usedMap.assign(kInlineMapSize, 0);
            put32(&table.usedMap[1], first);
            for (std::uint32_t number : pages) {
                std::uint32_t bit = number - first;
                table.usedMap[5 + bit / 8] |= static_cast<std::uint8_t>(1u << (bit % 8));
            }
            return;
        }
        const std::uint32_t entries = pages.back() / kBitmapPagePages + 1;
        table.usedMap.assign(1 + 4 * entries, 0);
        table.usedMap[0] = 0x01;
        std::size_t i = 0;
        while (i < pages.size()) {
            const std::uint32_t index = pages[i] / kBitmapPagePages;
            Page bitmap{};
            bitmap[0] = 0x05;
            bitmap[1] = 0x01;
            for (; i < pages.size() && pages[i] / kBitmapPagePages == index; ++i) {
                std::uint32_t bit = pages[i] % kBitmapPagePages;
                bitmap[4 + bit / 8] |= static_cast<std::uint8_t>(1u << (bit % 8));
            }
            std::uint32_t number = allocate();
            m_file.write(number, bitmap.data());
            put32(&table.usedMap[1 + 4 * index], number);
        }
    }

    void writeTableData(RowSource& source, TableLayout& table) {
        writeRows(source, table);
        buildMaps(table);
    }

    // One catalog row for MSysObjects itself and one for each user table.
    void writeCatalogData() {
        TableLayout& catalog = m_tables.front();
        std::vector<std::vector<Cell>> rows;
        for (const TableLayout& table : m_tables) {
            const std::uint32_t flags = table.system ? 0x80000002u : 0;
            rows.push_back({std::to_string(table.definitionPage), table.name, "1",
                            std::to_string(static_cast<std::int32_t>(flags)), std::nullopt});
        }
        Table table{catalog.name, {}, std::move(rows)};
        TableRows source(table);
        writeTableData(source, catalog);
    }

    // Gives every table two rows on the map pages: used pages, free pages.
    void placeMapRows() {
        const std::size_t mapRows = 2 * m_tables.size();
        const std::size_t mapPageCount = (mapRows + kMapRowsPerPage - 1) / kMapRowsPerPage;
        m_mapPages = {kFirstMapPage};
        for (std::size_t k = 1; k < mapPageCount; ++k) m_mapPages.push_back(allocate());
        std::size_t row = 0;
        for (TableLayout& table : m_tables) {
            table.usedMapRow = m_mapPages[row / kMapRowsPerPage] << 8 | (row % kMapRowsPerPage);
            ++row;
            table.freeMapRow = m_mapPages[row / kMapRowsPerPage] << 8 | (row % kMapRowsPerPage);
            ++row;
        }
    }

    void writeMapPages() {
        std::vector<DataPage> pages(m_mapPages.size(), DataPage(0));
        for (const TableLayout& table : m_tables) {
            pages[mapPageIndex(table.usedMapRow)].add(table.usedMap);
            pages[mapPageIndex(table.freeMapRow)].add(table.freeMap);
        }
        for (std::size_t k = 0; k < pages.size(); ++k)
            m_file.write(m_mapPages[k], pages[k].finish().data());
    }

    std::size_t mapPageIndex(std::uint32_t pointer) const {
        return static_cast<std::size_t>(
            std::find(m_mapPages.begin(), m_mapPages.end(), pointer >> 8) - m_mapPages.begin());
    }

    void writeHeader() {
        Page page{};
        page[1] = 0x01;
        std::memcpy(page.data() + 4, "Standard Jet DB", 15);
        page[0x14] = 0x01;  // Jet 4
        // Plain values of the masked block 0x18..0x97; the password (0x42, 40
        // bytes) and the creation date (0x72) stay zero.
        constexpr std::size_t kMasked = 0x18;
        put16(page.data() + 0x3C, 1252);    // code page
        put32(page.data() + 0x3E, 0);       // database key 0: pages are not encrypted
        put32(page.data() + 0x6E, 0x0409);  // general sort order
        const std::array<std::uint8_t, 4> key = {0xC7, 0xDA, 0x39, 0x6B};
        rc4Mask(key, page.data() + kMasked, 128);
        m_file.write(0, page.data());
    }

    // XORs the RC4 key stream of key over bytes.
    static void rc4Mask(const std::array<std::uint8_t, 4>& key, std::uint8_t* bytes,
                        std::size_t count) {
        std::array<std::uint8_t, 256> s;
        for (std::size_t i = 0; i < 256; ++i) s[i] = static_cast<std::uint8_t>(i);
        std::uint8_t j = 0;
        for (std::size_t i = 0; i < 256; ++i) {
            j = static_cast<std::uint8_t>(j + s[i] + key[i % key.size()]);
            std::swap(s[i], s[j]);
        }
        std::uint8_t a = 0;
        std::uint8_t b = 0;
        for (std::size_t n = 0; n < count; ++n) {
            a = static_cast<std::uint8_t>(a + 1);
            b = static_cast<std::uint8_t>(b + s[a]);
            std::swap(s[a], s[b]);
            bytes[n] ^= s[static_cast<std::uint8_t>(s[a] + s[b])];
        }
    }

    PageFile m_file;
    const std::vector<RowSource*>& m_sources;
    std::vector<TableLayout> m_tables;  // MSysObjects first, then the user tables
    std::vector<std::uint32_t> m_mapPages;
    std::uint32_t m_nextPage = 0;
    RowEncoder m_encoder;
};

}  // namespace

void writeDatabaseFromSources(const std::string& path, const std::vector<RowSource*>& sources) {
    checkTables(sources);
    const fs::path target(path);
    fs::path partial = target;
    partial += ".partial";
    try {
        DatabaseWriter(partial, sources).write();
        fs::rename(partial, target);
    } catch (const fs::filesystem_error& e) {
        std::error_code ignored;
        fs::remove(partial, ignored);
        fail(path + ": cannot replace the file: " + e.code().message());
    } catch (...) {
        std::error_code ignored;
        fs::remove(partial, ignored);
        throw;
    }
}

void writeDatabase(const std::string& path, const std::vector<Table>& tables) {
    std::vector<TableRows> rows;
    rows.reserve(tables.size());
    for (const Table& table : tables) rows.emplace_back(table);
    std::vector<RowSource*> sources;
    for (TableRows& r : rows) sources.push_back(&r);
    writeDatabaseFromSources(path, sources);
}

}  // namespace velmora::jetwrite
