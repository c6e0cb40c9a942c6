// A table held in memory, as read once from a database file: named columns of
// text or numbers, rows in the file's order, Null kept apart from empty text.
// Cells are stored column by column as ids into a per-column dictionary of
// values, interned, so repeated values (dates, flags, places) cost one or two
// bytes (ids are as wide as the dictionary needs); a dictionary may hold a
// value more than once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::jet {

// Text columns hold text (Text, Memo, GUID); number columns hold every
// numeric kind, Yes/No and dates. An unsupported column (OLE objects, binary
// data) has no readable value: touching it is an error for the caller.
enum class ColumnKind : std::uint8_t { Text, Number, Unsupported };

// One cell: Null, a text (a view into the table, valid while the table lives)
// or a number.
struct Value {
    enum class Kind : std::uint8_t { Null, Text, Number };
    Kind kind = Kind::Null;
    std::string_view text;
    double number = 0;

    static Value null() { return {}; }
    static Value ofText(std::string_view t) { return {Kind::Text, t, 0}; }
    static Value ofNumber(double n) { return {Kind::Number, {}, n}; }
    bool isNull() const { return kind == Kind::Null; }
};

// Whether two cells hold the very same value: same kind, same text bytes,
// same number bits (unlike the criteria's comparison, which folds case).
bool sameValue(const Value& a, const Value& b);

// Ids of one column, row by row, each as wide as the largest id so far needs
// (1, 2 or 4 bytes): a column of flags or dates costs a byte or two a row.
class CellIds {
public:
    std::uint32_t operator[](std::size_t row) const {
        switch (m_width) {
            case 1:
                return m_bytes[row];
            case 2: {
                std::uint16_t v;
                std::memcpy(&v, m_bytes.data() + 2 * row, 2);
                return v;
            }
            default: {
                std::uint32_t v;
                std::memcpy(&v, m_bytes.data() + 4 * row, 4);
                return v;
            }
        }
    }
    std::size_t size() const { return m_bytes.size() / m_width; }
    bool empty() const { return m_bytes.empty(); }
    void push_back(std::uint32_t id);
    void setLast(std::uint32_t id);
    void shrink_to_fit() { m_bytes.shrink_to_fit(); }
    void reserve(std::size_t rows) { m_bytes.reserve(rows * m_width); }
    std::size_t capacityBytes() const { return m_bytes.capacity(); }

private:
    void widenFor(std::uint32_t id);
    void store(std::size_t row, std::uint32_t id) {
        if (m_width == 1) m_bytes[row] = static_cast<std::uint8_t>(id);
        else if (m_width == 2) {
            const auto v = static_cast<std::uint16_t>(id);
            std::memcpy(m_bytes.data() + 2 * row, &v, 2);
        } else {
            std::memcpy(m_bytes.data() + 4 * row, &id, 4);
        }
    }
    std::vector<std::uint8_t> m_bytes;
    unsigned m_width = 1;
};

class Table;

// The columns of a table that stay in its file. A row of them is read when
// asked, from the row's place in the file; the columns the table also holds
// are read with it and must be as held, or the file was written since the
// table was read (MdbFileError, Changed).
class RowSource {
public:
    RowSource(std::vector<std::string> names, std::vector<ColumnKind> kinds)
        : m_names(std::move(names)), m_kinds(std::move(kinds)) {}
    virtual ~RowSource() = default;

    std::size_t columnCount() const { return m_names.size(); }
    ColumnKind columnKind(std::size_t col) const { return m_kinds[col]; }
    // The column named so, letters compared without regard to case.
    std::optional<std::size_t> findColumn(std::string_view name) const;

    // The values of every column of row `row` of held (texts valid until the
    // next fetch). Throws MdbFileError.
    virtual const std::vector<Value>& fetch(const Table& held, std::size_t row) = 0;

    // A column a fetch found unreadable is unsupported from then on (its
    // value there is Null).
    void markUnsupported(std::size_t col) { m_kinds[col] = ColumnKind::Unsupported; }

private:
    std::vector<std::string> m_names;
    std::vector<ColumnKind> m_kinds;
};

class Table {
public:
    // Value id 0 is Null; id k > 0 is entry k - 1 of the column's dictionary.
    using ValueId = std::uint32_t;

    const std::string& name() const { return m_name; }
    std::size_t rowCount() const { return m_rowCount; }
    std::size_t columnCount() const { return m_columns.size(); }
    const std::string& columnName(std::size_t col) const { return m_columns[col].name; }
    ColumnKind columnKind(std::size_t col) const { return m_columns[col].kind; }

    // The column named so, letters compared without regard to case.
    std::optional<std::size_t> findColumn(std::string_view name) const;

    Value value(std::size_t row, std::size_t col) const {
        return dictionaryValue(col, valueId(row, col));
    }
    ValueId valueId(std::size_t row, std::size_t col) const { return m_columns[col].cells[row]; }
    // Number of entries in a column's dictionary; ids run 1..count.
    std::size_t dictionarySize(std::size_t col) const;
    Value dictionaryValue(std::size_t col, ValueId id) const;

    // Bytes held by the table's cells and dictionaries.
    std::size_t memoryBytes() const;

    // Columns left in the file, when some are; each row's place there.
    const std::shared_ptr<RowSource>& source() const { return m_source; }
    std::uint32_t place(std::size_t row) const { return m_places[row]; }

private:
    friend class TableBuilder;
    struct Column {
        std::string name;
        ColumnKind kind = ColumnKind::Text;
        CellIds cells;
        std::string arena;                   // text dictionary: the texts one after the other
        std::vector<std::uint32_t> offsets;  // text k spans [offsets[k], offsets[k + 1])
        std::vector<double> numbers;         // number dictionary
    };
    std::string m_name;
    std::size_t m_rowCount = 0;
    std::vector<Column> m_columns;
    std::vector<std::uint32_t> m_places;
    std::shared_ptr<RowSource> m_source;
};

// Fills a Table row by row: addRow() appends a row of Nulls, then setText and
// setNumber fill cells of that last row.
class TableBuilder {
public:
    explicit TableBuilder(std::string tableName);

    std::size_t addColumn(std::string name, ColumnKind kind);
    void addRow();
    // Room for this many rows in every column added so far (a hint).
    void reserveRows(std::size_t rows);
    void setText(std::size_t col, std::string_view text);
    void setNumber(std::size_t col, double number);
    // The column turns out to be unreadable: its values are dropped and
    // reading it is refused as for a column of a type not handled.
    void markUnsupported(std::size_t col);
    std::size_t rowCount() const { return m_table->m_rowCount; }
    // The last row's place in its file, and where the other columns are.
    void setPlace(std::uint32_t place) { m_table->m_places.push_back(place); }
    void reservePlaces(std::size_t rows) { m_table->m_places.reserve(rows); }
    void setSource(std::shared_ptr<RowSource> source) { m_table->m_source = std::move(source); }

    // The finished table; the builder is spent afterwards.
    std::shared_ptr<const Table> finish();

private:
    // Open-addressing sets of a column's dictionary ids, hashed by value; the
    // values themselves stay in the column, so interning allocates nothing
    // per cell.
    // A column whose values are mostly distinct (numbers of records, names)
    // stops interning: lookups there only cost time.
    struct Interner {
        std::vector<Table::ValueId> slots;  // 0 empty; capacity a power of two
        std::vector<std::uint64_t> hashes;  // hash of dictionary entry k at k - 1
        std::size_t lookups = 0;
        bool off = false;
    };
    template <class Equal>
    Table::ValueId intern(Interner& in, std::uint64_t hash, Equal&& equal, Table::ValueId next);

    std::unique_ptr<Table> m_table;
    std::vector<Interner> m_interners;  // one per column, dropped by finish()
};

}  // namespace velmora::jet
