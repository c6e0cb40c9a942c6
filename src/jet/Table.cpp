// In-memory tables: column lookup, cell access and the row-by-row builder
// that interns each column's values.
#include "jet/Table.h"

#include <cstring>
#include <stdexcept>

#include "jet/TextFold.h"

namespace velmora::jet {

void CellIds::widenFor(std::uint32_t id) {
    const unsigned width = id <= 0xFF ? 1 : id <= 0xFFFF ? 2 : 4;
    if (width <= m_width) return;
    const std::size_t rows = size();
    std::vector<std::uint8_t> wider(rows * width);
    CellIds out;
    out.m_width = width;
    out.m_bytes = std::move(wider);
    for (std::size_t r = 0; r < rows; ++r) out.store(r, (*this)[r]);
    *this = std::move(out);
}

void CellIds::push_back(std::uint32_t id) {
    widenFor(id);
    m_bytes.resize(m_bytes.size() + m_width);
    store(size() - 1, id);
}

void CellIds::setLast(std::uint32_t id) {
    widenFor(id);
    store(size() - 1, id);
}

bool sameValue(const Value& a, const Value& b) {
    if (a.kind != b.kind) return false;
    if (a.kind == Value::Kind::Text) return a.text == b.text;
    return a.kind == Value::Kind::Null || std::memcmp(&a.number, &b.number, sizeof a.number) == 0;
}

std::optional<std::size_t> RowSource::findColumn(std::string_view name) const {
    for (std::size_t c = 0; c < m_names.size(); ++c) {
        if (equalFolded(m_names[c], name)) return c;
    }
    return std::nullopt;
}

std::optional<std::size_t> Table::findColumn(std::string_view name) const {
    for (std::size_t c = 0; c < m_columns.size(); ++c) {
        if (equalFolded(m_columns[c].name, name)) return c;
    }
    return std::nullopt;
}

std::size_t Table::dictionarySize(std::size_t col) const {
    const Column& c = m_columns[col];
    return c.kind == ColumnKind::Number ? c.numbers.size() : c.offsets.size() - 1;
}

Value Table::dictionaryValue(std::size_t col, ValueId id) const {
    if (id == 0) return Value::null();
    const Column& c = m_columns[col];
    if (c.kind == ColumnKind::Number) return Value::ofNumber(c.numbers[id - 1]);
    if (c.kind == ColumnKind::Unsupported) return Value::null();
    std::uint32_t begin = c.offsets[id - 1], end = c.offsets[id];
    return Value::ofText(std::string_view(c.arena).substr(begin, end - begin));
}

std::size_t Table::memoryBytes() const {
    std::size_t bytes = sizeof(Table) + m_name.capacity();
    for (const Column& c : m_columns) {
        bytes += sizeof(Column) + c.name.capacity() + c.cells.capacityBytes() +
                 c.arena.capacity() + c.offsets.capacity() * sizeof(std::uint32_t) +
                 c.numbers.capacity() * sizeof(double);
    }
    return bytes + m_places.capacity() * sizeof(std::uint32_t);
}

namespace {

// Cells a column is interned for before its share of distinct values decides
// whether interning goes on: enough for a column of birth dates (tens of
// thousands of values, each met many times in a large table) to stay interned.
constexpr std::size_t kInternSample = 65536;

std::uint64_t hashBytes(std::string_view text) {
    std::uint64_t h = 1469598103934665603ull;  // FNV-1a
    for (unsigned char c : text) h = (h ^ c) * 1099511628211ull;
    return h ^ (h >> 29);
}

std::uint64_t hashNumber(std::uint64_t bits) {
    bits ^= bits >> 33;
    bits *= 0xff51afd7ed558ccdull;
    bits ^= bits >> 33;
    return bits;
}

}  // namespace

TableBuilder::TableBuilder(std::string tableName) : m_table(new Table) {
    m_table->m_name = std::move(tableName);
}

std::size_t TableBuilder::addColumn(std::string name, ColumnKind kind) {
    Table::Column c;
    c.name = std::move(name);
    c.kind = kind;
    c.offsets.push_back(0);
    for (std::size_t r = 0; r < m_table->m_rowCount; ++r) c.cells.push_back(0);
    m_table->m_columns.push_back(std::move(c));
    m_interners.emplace_back();
    return m_table->m_columns.size() - 1;
}

void TableBuilder::reserveRows(std::size_t rows) {
    for (Table::Column& c : m_table->m_columns) c.cells.reserve(rows);
}

void TableBuilder::addRow() {
    if (m_table->m_rowCount >= 0xFFFFFFF0u) throw std::length_error("too many rows");
    for (Table::Column& c : m_table->m_columns) c.cells.push_back(0);
    ++m_table->m_rowCount;
}

// The id of the value with this hash for which equal(id) holds, or `next`
// after recording it as a new entry (the caller then appends the value).
template <class Equal>
Table::ValueId TableBuilder::intern(Interner& in, std::uint64_t hash, Equal&& equal,
                                    Table::ValueId next) {
    if (in.off) return next;
    if (++in.lookups == kInternSample && in.hashes.size() * 2 > in.lookups) {
        in = Interner{};
        in.off = true;
        return next;
    }
    if ((in.hashes.size() + 1) * 2 > in.slots.size()) {
        std::size_t capacity = in.slots.empty() ? 64 : in.slots.size() * 2;
        in.slots.assign(capacity, 0);
        for (std::size_t k = 0; k < in.hashes.size(); ++k) {
            std::size_t i = in.hashes[k] & (capacity - 1);
            while (in.slots[i] != 0) i = (i + 1) & (capacity - 1);
            in.slots[i] = static_cast<Table::ValueId>(k + 1);
        }
    }
    const std::size_t mask = in.slots.size() - 1;
    std::size_t i = hash & mask;
    while (Table::ValueId id = in.slots[i]) {
        if (in.hashes[id - 1] == hash && equal(id)) return id;
        i = (i + 1) & mask;
    }
    in.slots[i] = next;
    in.hashes.push_back(hash);
    return next;
}

void TableBuilder::setText(std::size_t col, std::string_view text) {
    Table::Column& c = m_table->m_columns.at(col);
    if (c.kind != ColumnKind::Text) throw std::logic_error("text into a column that is not text");
    if (c.cells.empty()) throw std::logic_error("no row to fill");
    const auto next = static_cast<Table::ValueId>(c.offsets.size());
    auto equal = [&](Table::ValueId id) {
        return std::string_view(c.arena).substr(c.offsets[id - 1],
                                                c.offsets[id] - c.offsets[id - 1]) == text;
    };
    Table::ValueId id = intern(m_interners[col], hashBytes(text), equal, next);
    if (id == next) {
        if (c.arena.size() + text.size() > 0xFFFFFFF0u)
            throw std::length_error("table text too large");
        c.arena.append(text);
        c.offsets.push_back(static_cast<std::uint32_t>(c.arena.size()));
    }
    c.cells.setLast(id);
}

void TableBuilder::setNumber(std::size_t col, double number) {
    Table::Column& c = m_table->m_columns.at(col);
    if (c.kind != ColumnKind::Number)
        throw std::logic_error("number into a column that is not numeric");
    if (c.cells.empty()) throw std::logic_error("no row to fill");
    std::uint64_t bits;
    std::memcpy(&bits, &number, sizeof bits);
    const auto next = static_cast<Table::ValueId>(c.numbers.size() + 1);
    auto equal = [&](Table::ValueId id) {
        std::uint64_t other;
        std::memcpy(&other, &c.numbers[id - 1], sizeof other);
        return other == bits;
    };
    Table::ValueId id = intern(m_interners[col], hashNumber(bits), equal, next);
    if (id == next) c.numbers.push_back(number);
    c.cells.setLast(id);
}

void TableBuilder::markUnsupported(std::size_t col) {
    Table::Column& c = m_table->m_columns.at(col);
    c.kind = ColumnKind::Unsupported;
    c.arena.clear();
    c.offsets.assign(1, 0);
    c.numbers.clear();
    CellIds nulls;
    for (std::size_t r = 0; r < m_table->m_rowCount; ++r) nulls.push_back(0);
    c.cells = std::move(nulls);
    m_interners[col] = Interner{};
}

std::shared_ptr<const Table> TableBuilder::finish() {
    m_interners.clear();
    for (Table::Column& c : m_table->m_columns) {
        c.cells.shrink_to_fit();
        c.arena.shrink_to_fit();
        c.offsets.shrink_to_fit();
        c.numbers.shrink_to_fit();
    }
    m_table->m_places.shrink_to_fit();
    return std::shared_ptr<const Table>(m_table.release());
}

}  // namespace velmora::jet
