// Reading a table: its definition found through the catalog, its rows walked
// and cracked, the columns kept decoded into a Table, and the columns left
// in the file served by a row source over the open file.
#include "jet/MdbReader.h"

#include "jet/Catalog.h"
#include "jet/FieldDecoder.h"
#include "jet/JetFile.h"
#include "jet/RowWalk.h"

namespace velmora::jet {

namespace {

// How one column is decoded, and where its values go: its column in the
// table held in memory and in the row source (kNone where it has none).
constexpr std::size_t kNone = static_cast<std::size_t>(-1);
struct FileColumn {
    Decode decode;
    std::size_t held = kNone;
    std::size_t fetched = kNone;
};

// A row's place in the file, as the table keeps it: page and row in 32 bits.
constexpr unsigned kPlaceRowBits = 11;  // a 4 KB page holds under 2,048 rows
std::uint32_t packPlace(const RowPlace& at) {
    if (at.page >= (1u << (32 - kPlaceRowBits)) || at.row >= (1u << kPlaceRowBits))
        damaged(at.text() + ": posizione oltre i limiti del lettore");
    return (at.page << kPlaceRowBits) | at.row;
}
RowPlace unpackPlace(std::uint32_t place) {
    return {place >> kPlaceRowBits, place & ((1u << kPlaceRowBits) - 1)};
}

// The columns of a table left in its file, read a row at a time through a
// file kept open for the purpose.
class FileRowSource : public RowSource {
public:
    FileRowSource(std::unique_ptr<JetFile> file, TableDef def, std::vector<FileColumn> columns,
                  std::vector<std::string> names, std::vector<ColumnKind> kinds)
        : RowSource(std::move(names), std::move(kinds)),
          m_file(std::move(file)),
          m_def(std::move(def)),
          m_columns(std::move(columns)),
          m_cracker(m_file->format(), m_def),
          m_decoder(*m_file) {}

    const std::vector<Value>& fetch(const Table& held, std::size_t row) override {
        if (row == m_row) return m_values;
        m_row = kNone;
        const RowPlace at = unpackPlace(held.place(row));
        const RowSpan span = locate(at);  // the page as the file holds it now
        const unsigned char* bytes = m_page.data() + span.start;
        if (!m_cracker.crack(bytes, span.size())) changed(at);
        m_values.assign(columnCount(), Value::null());
        m_texts.assign(columnCount(), std::string());
        for (std::size_t i = 0; i < m_columns.size(); ++i) {
            const FileColumn& c = m_columns[i];
            if (c.fetched == kNone) continue;
            const Decoded v = m_decoder.decode(m_def.columns[i], c.decode, bytes,
                                               m_cracker.fields()[i], at);
            if (v.kind == Decoded::Kind::Text) {
                m_texts[c.fetched].assign(v.text);
                m_values[c.fetched] = Value::ofText(m_texts[c.fetched]);
            } else if (v.kind == Decoded::Kind::Number) {
                m_values[c.fetched] = Value::ofNumber(v.number);
            } else if (v.kind == Decoded::Kind::Unreadable) {
                markUnsupported(c.fetched);
            }
            if (c.held != kNone && !sameValue(held.value(row, c.held), m_values[c.fetched]))
                changed(at);
        }
        m_row = row;
        return m_values;
    }

private:
    // The row at `at` as the file holds it now: still a row of this table,
    // not a pointer, not empty; else the file has changed.
    RowSpan locate(const RowPlace& at) {
        const JetFormat& f = m_file->format();
        m_file->read(at.page, m_page);
        unsigned rows = 0;
        RowSpan span;
        if (m_page[0] != kPageData || get32(m_page.data() + 4) != m_def.page ||
            !slotCount(f, m_page, rows) || at.row >= rows || !rowSpan(f, m_page, at.row, span) ||
            (span.flags & kPointerFlag) || span.size() == 0) {
            changed(at);
        }
        return span;
    }

    // The row is no longer the one the table was read with.
    [[noreturn]] void changed(const RowPlace& at) const {
        throw MdbFileError(MdbFileError::Kind::Changed, "tabella " + m_def.name + ", " + at.text());
    }

    std::unique_ptr<JetFile> m_file;
    TableDef m_def;
    std::vector<FileColumn> m_columns;
    RowCracker m_cracker;
    FieldDecoder m_decoder;
    PageBuffer m_page;
    std::size_t m_row = kNone;
    std::vector<Value> m_values;
    std::vector<std::string> m_texts;
};

// Stores a decoded value in the last row of builder; a calculated column
// with a value the reader cannot decode is not read at all (reading it is
// refused as a column of a type not handled).
void store(TableBuilder& builder, FileColumn& column, const Decoded& v) {
    switch (v.kind) {
        case Decoded::Kind::Text:
            builder.setText(column.held, v.text);
            break;
        case Decoded::Kind::Number:
            builder.setNumber(column.held, v.number);
            break;
        case Decoded::Kind::Unreadable:
            builder.markUnsupported(column.held);
            column.decode = Decode::Unsupported;
            break;
        case Decoded::Kind::Null:
            break;
    }
}

// The columns as the reader takes them, the held ones added to builder.
struct Plan {
    std::vector<FileColumn> columns;
    std::vector<std::string> fetchedNames;
    std::vector<ColumnKind> fetchedKinds;
    bool anyLeft = false;  // some column kept but not held
};

Plan planColumns(const TableDef& def, TableBuilder& builder,
                 const std::function<bool(std::string_view)>& keep,
                 const std::function<bool(std::string_view)>& hold) {
    Plan plan;
    for (const ColumnDef& col : def.columns) {
        FileColumn c{decodeOf(col)};
        const ColumnKind kind = kindOf(c.decode);
        if (!keep || keep(col.name)) {
            if (!hold || hold(col.name))
                c.held = builder.addColumn(col.name, kind);
            else
                plan.anyLeft = true;
            c.fetched = plan.fetchedNames.size();
            plan.fetchedNames.push_back(col.name);
            plan.fetchedKinds.push_back(kind);
        }
        plan.columns.push_back(c);
    }
    return plan;
}

}  // namespace

std::shared_ptr<const Table> readMdbTable(const std::string& path, std::string_view tableName,
                                          const std::function<bool(std::string_view)>& keep,
                                          const std::function<bool(std::string_view)>& hold,
                                          const FileAccess& files) {
    auto file = std::make_unique<JetFile>(files, path);
    const std::vector<std::uint32_t> pages = findTablePages(*file, tableName);
    if (pages.empty()) {
        throw MdbFileError(MdbFileError::Kind::NoSuchTable,
                           "tabella " + std::string(tableName) + " assente");
    }
    TableDef def = readTableDef(*file, pages.front(), tableName);
    TableBuilder builder{std::string(tableName)};
    Plan plan = planColumns(def, builder, keep, hold);

    // Room for the rows the table declares, as far as the file can hold them.
    const std::size_t maxRows = static_cast<std::size_t>(file->pageCount()) * 256;
    builder.reserveRows(std::min<std::size_t>(def.rowCount, maxRows));
    if (plan.anyLeft) builder.reservePlaces(std::min<std::size_t>(def.rowCount, maxRows));

    RowCracker cracker(file->format(), def);
    FieldDecoder decoder(*file);
    RowWalker(*file, def, true).walk([&](const PageBuffer& page, const RowSpan& row,
                                         const RowPlace& at) {
        const unsigned char* bytes = page.data() + row.start;
        if (!cracker.crack(bytes, row.size())) damaged(at.text() + ": riga non decodificabile");
        builder.addRow();
        if (plan.anyLeft) builder.setPlace(packPlace(at));
        for (std::size_t i = 0; i < plan.columns.size(); ++i) {
            FileColumn& c = plan.columns[i];
            if (c.held == kNone) continue;
            store(builder, c, decoder.decode(def.columns[i], c.decode, bytes, cracker.fields()[i], at));
        }
    });
    if (plan.anyLeft) {
        builder.setSource(std::make_shared<FileRowSource>(
            std::move(file), std::move(def), std::move(plan.columns),
            std::move(plan.fetchedNames), std::move(plan.fetchedKinds)));
    }
    return builder.finish();
}

}  // namespace velmora::jet
