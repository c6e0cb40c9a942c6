// Lays out and writes a Jet 4 or Jet 3 database: the header page, the
// catalog table MSysObjects (its definition always on page 2), one
// definition page (or a chain) per table, data pages allocated upwards so
// that reading in page order gives the rows in the order written, long-value
// pages beside them, and the page usage maps.
//
// File layout:
//   0            header (version, RC4-masked fields)
//   1            usage map rows of every table (more map pages later if needed)
//   2            MSysObjects definition
//   3 ...        user table definitions, MSysObjects data, extra map pages
//   then         each table's data and long-value pages, followed by its
//                bitmap pages when its usage map is the indirect kind (type 1)
// Data pages stream to the file as they fill; definitions, maps and the
// header are written last, when row counts and page lists are known. A
// usage map lists a table's data pages only, never its long-value pages.
#include "jetwrite/JetWriter.h"

#include <algorithm>
#include <set>
#include <stdexcept>

#include "CellEncoding.h"
#include "Pages.h"
#include "RowEncoder.h"
#include "TableLayout.h"

namespace velmora::jetwrite {

namespace {

namespace fs = std::filesystem;
using namespace detail;

constexpr std::uint32_t kCatalogPage = 2;
constexpr std::uint32_t kFirstMapPage = 1;

std::string foldCase(std::string_view name) {
    std::string folded(name);
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return folded;
}

void checkTables(const std::vector<RowSource*>& sources) {
    std::set<std::string> names{"msysobjects"};
    for (const RowSource* source : sources) {
        const std::string& name = source->tableName();
        checkName(name, "table");
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
                checkColumn(column);
            } catch (const std::runtime_error& e) {
                fail("table " + name + ": " + e.what());
            }
            if (!column.deleted && !columnNames.insert(foldCase(column.name)).second) {
                fail("table " + name + ": column " + column.name + " appears twice");
            }
        }
        if (columnNames.empty()) fail("table " + name + ": every column is deleted");
    }
}

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

// Usage maps and their rows: the map row of a table is inline (type 0: first
// page, then one bit a page) when its pages span few enough pages, else a
// list of bitmap pages (type 1), allocated as the map is built.
class MapBuilder {
public:
    MapBuilder(const Format& format, PageFile& file) : m_format(format), m_file(file) {}

    template <class Allocate>
    void build(TableLayout& table, Allocate&& allocate) {
        const std::vector<std::uint32_t>& pages = table.dataPages;
        const std::uint32_t first = pages.empty() ? table.definitionPage : pages.front();
        const std::uint32_t inlinePages = static_cast<std::uint32_t>(m_format.inlineMap - 5) * 8;
        table.freeMap.assign(m_format.inlineMap, 0);
        put32(&table.freeMap[1], first);
        if (pages.empty() || pages.back() - first < inlinePages) {
            table.usedMap.assign(m_format.inlineMap, 0);
            put32(&table.usedMap[1], first);
            for (std::uint32_t number : pages) {
                std::uint32_t bit = number - first;
                table.usedMap[5 + bit / 8] |= static_cast<std::uint8_t>(1u << (bit % 8));
            }
            return;
        }
        const std::uint32_t perBitmap = bitmapPages();
        const std::uint32_t entries = pages.back() / perBitmap + 1;
        table.usedMap.assign(1 + 4 * entries, 0);
        table.usedMap[0] = 0x01;
        std::size_t i = 0;
        while (i < pages.size()) {
            const std::uint32_t index = pages[i] / perBitmap;
            std::vector<std::uint8_t> bitmap(m_format.pageSize, 0);
            bitmap[0] = 0x05;
            bitmap[1] = 0x01;
            for (; i < pages.size() && pages[i] / perBitmap == index; ++i) {
                std::uint32_t bit = pages[i] % perBitmap;
                bitmap[4 + bit / 8] |= static_cast<std::uint8_t>(1u << (bit % 8));
            }
            std::uint32_t number = allocate(1);
            m_file.write(number, bitmap.data());
            put32(&table.usedMap[1 + 4 * index], number);
        }
    }

    // Map rows a page holds: as many as the largest map row allows.
    std::size_t rowsPerPage() const {
        const std::size_t largest = 1 + 4 * ((m_format.maxPages - 1) / bitmapPages() + 1);
        return std::min(kMaxRowsPerPage,
                        (m_format.pageSize - m_format.dataHeader()) / (largest + 2));
    }

private:
    std::uint32_t bitmapPages() const {
        return static_cast<std::uint32_t>(m_format.pageSize - 4) * 8;
    }

    const Format& m_format;
    PageFile& m_file;
};

class DatabaseWriter final : private LongValueSink {
public:
    DatabaseWriter(const fs::path& path, const std::vector<RowSource*>& sources,
                   const Format& format, std::uint32_t key)
        : m_format(format),
          m_key(key),
          m_file(path, format.pageSize, key),
          m_sources(sources),
          m_encoder(format, *this),
          m_maps(format, m_file),
          m_longValues(format, kLongValueOwner) {}

    void write() {
        m_tables.push_back(catalogLayout(m_format));
        for (const RowSource* source : m_sources)
            m_tables.push_back(userLayout(source->columns(), source->tableName(), m_format));

        // Definitions first: their sizes do not depend on the data.
        m_nextPage = kCatalogPage + 1;
        for (TableLayout& table : m_tables) {
            table.definitionPageCount =
                definitionPagesFor(definitionBytes(table, m_format).size(), m_format);
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
        flushLongValues();
        for (const TableLayout& table : m_tables) writeDefinition(table);
        writeMapPages();
        writeHeader();
        m_file.close();
    }

private:
    std::uint32_t allocate(std::uint32_t count = 1) {
        if (m_nextPage + count > m_format.maxPages)
            fail("the database would exceed the size limit of its Jet version");
        std::uint32_t first = m_nextPage;
        m_nextPage += count;
        return first;
    }

    // A long value in one row of the open long-value page, opened (and its
    // number taken) when its first row comes, written when full.
    std::uint32_t storeSingle(const std::vector<std::uint8_t>& bytes) override {
        if (!m_longValues.empty() && !m_longValues.fits(bytes.size())) flushLongValues();
        if (m_longValues.empty()) m_longValuePage = allocate();
        const std::uint32_t row = m_longValues.add(bytes);
        return m_longValuePage << 8 | row;
    }

    // A long value over pages of its own, each one row: where the next row
    // is (0 after the last), then as much of the value as the page holds.
    std::uint32_t storeChain(const std::vector<std::uint8_t>& bytes) override {
        const std::size_t chunk = m_format.maxRowSize() - 4;
        const auto count = static_cast<std::uint32_t>((bytes.size() + chunk - 1) / chunk);
        const std::uint32_t first = allocate(count);
        DataPage page(m_format, kLongValueOwner);
        std::vector<std::uint8_t> row;
        for (std::uint32_t k = 0; k < count; ++k) {
            row.clear();
            append32(row, k + 1 < count ? (first + k + 1) << 8 : 0);
            const std::size_t from = k * chunk;
            row.insert(row.end(), bytes.begin() + static_cast<std::ptrdiff_t>(from),
                       bytes.begin() + static_cast<std::ptrdiff_t>(std::min(bytes.size(), from + chunk)));
            page.clear();
            page.add(row);
            m_file.write(first + k, page.finish().data());
        }
        return first << 8;
    }

    void flushLongValues() {
        if (m_longValues.empty()) return;
        m_file.write(m_longValuePage, m_longValues.finish().data());
        m_longValues.clear();
    }

    void writeDefinition(const TableLayout& table) {
        const std::vector<std::uint8_t> d = definitionBytes(table, m_format);
        const std::size_t pageSize = m_format.pageSize;
        std::size_t offset = 0;
        for (std::uint32_t k = 0; k < table.definitionPageCount; ++k) {
            std::vector<std::uint8_t> page(pageSize, 0);
            std::size_t start = k == 0 ? 0 : 8;
            std::size_t take = std::min(d.size() - offset, pageSize - start);
            std::copy(d.begin() + static_cast<std::ptrdiff_t>(offset),
                      d.begin() + static_cast<std::ptrdiff_t>(offset + take), page.begin() + start);
            offset += take;
            page[0] = 0x02;
            page[1] = 0x01;
            if (m_format.jet3()) {
                page[2] = 'V';
                page[3] = 'C';
            } else {
                std::size_t freeSpace = pageSize - start - take;
                put16(page.data() + 2,
                      static_cast<std::uint32_t>(freeSpace >= 8 ? freeSpace - 8 : 0));
            }
            put32(page.data() + 4,
                  k + 1 < table.definitionPageCount ? table.definitionPage + k + 1 : 0);
            m_file.write(table.definitionPage + k, page.data());
        }
    }

    // Streams rows into data pages, allocated upwards.
    void writeRows(RowSource& source, TableLayout& table) {
        DataPage page(m_format, table.definitionPage);
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

    void writeTableData(RowSource& source, TableLayout& table) {
        writeRows(source, table);
        m_maps.build(table, [this](std::uint32_t count) { return allocate(count); });
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
        const std::size_t perPage = m_maps.rowsPerPage();
        const std::size_t mapRows = 2 * m_tables.size();
        const std::size_t mapPageCount = (mapRows + perPage - 1) / perPage;
        m_mapPages = {kFirstMapPage};
        for (std::size_t k = 1; k < mapPageCount; ++k) m_mapPages.push_back(allocate());
        std::size_t row = 0;
        for (TableLayout& table : m_tables) {
            table.usedMapRow = m_mapPages[row / perPage] << 8 | (row % perPage);
            ++row;
            table.freeMapRow = m_mapPages[row / perPage] << 8 | (row % perPage);
            ++row;
        }
    }

    void writeMapPages() {
        std::vector<DataPage> pages(m_mapPages.size(), DataPage(m_format, 0));
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

    // The header page: the signature, the version, and a block masked with
    // RC4 (126 bytes from 0x18 in Jet 3, 128 in Jet 4) holding the code page
    // (0x3C), the database key (0x3E, 0: pages not encoded) and the sort
    // order (0x3A in Jet 3, 0x6E in Jet 4); password and creation date stay
    // zero.
    void writeHeader() {
        std::vector<std::uint8_t> page(m_format.pageSize, 0);
        page[1] = 0x01;
        const char* signature = "Standard Jet DB";
        std::copy(signature, signature + 15, page.begin() + 4);
        page[0x14] = m_format.jet3() ? 0x00 : 0x01;
        constexpr std::size_t kMasked = 0x18;
        put16(page.data() + 0x3C, 1252);
        put32(page.data() + 0x3E, m_key);
        if (m_format.jet3())
            put16(page.data() + 0x3A, 0x0409);
        else
            put32(page.data() + 0x6E, 0x0409);
        static const std::uint8_t kKey[4] = {0xC7, 0xDA, 0x39, 0x6B};
        rc4Mask(kKey, sizeof kKey, page.data() + kMasked, m_format.jet3() ? 126 : 128);
        m_file.write(0, page.data());
    }

    const Format& m_format;
    std::uint32_t m_key;
    PageFile m_file;
    const std::vector<RowSource*>& m_sources;
    std::vector<TableLayout> m_tables;  // MSysObjects first, then the user tables
    std::vector<std::uint32_t> m_mapPages;
    std::uint32_t m_nextPage = 0;
    RowEncoder m_encoder;
    MapBuilder m_maps;
    DataPage m_longValues;
    std::uint32_t m_longValuePage = 0;
};

}  // namespace

void writeDatabaseFromSources(const std::string& path, const std::vector<RowSource*>& sources,
                              JetVersion version, std::uint32_t databaseKey) {
    checkTables(sources);
    const fs::path target(path);
    fs::path partial = target;
    partial += ".partial";
    try {
        DatabaseWriter(partial, sources, formatOf(version), databaseKey).write();
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

void writeDatabase(const std::string& path, const std::vector<Table>& tables,
                   JetVersion version, std::uint32_t databaseKey) {
    std::vector<TableRows> rows;
    rows.reserve(tables.size());
    for (const Table& table : tables) rows.emplace_back(table);
    std::vector<RowSource*> sources;
    for (TableRows& r : rows) sources.push_back(&r);
    writeDatabaseFromSources(path, sources, version, databaseKey);
}

}  // namespace velmora::jetwrite
