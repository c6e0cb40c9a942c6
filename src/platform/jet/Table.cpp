// In-memory tables: column lookup, cell access and the row-by-row builder
// that interns each column's values.
#include "platform/jet/Table.h"

#include <cstring>
#include <stdexcept>

#include "platform/jet/TextFold.h"

namespace velmora::jet {

std::optional<std::size_t> Table::findColumn(std::string_view name) const {
    for (std::size_t c = 0; c < m_columns.size(); ++c) {
        if (equalFolded(m_columns[c].name, name)) return c;
    }
    return std::nullopt;
}

std::size_t Table::distinctCount(std::size_t col) const {
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
        bytes += sizeof(Column) + c.name.capacity() + c.cells.capacity() * sizeof(ValueId) +
                 c.arena.capacity() + c.offsets.capacity() * sizeof(std::uint32_t) +
                 c.numbers.capacity() * sizeof(double);
    }
    return bytes;
}

TableBuilder::TableBuilder(std::string tableName) : m_table(new Table) {
    m_table->m_name = std::move(tableName);
}

std::size_t TableBuilder::addColumn(std::string name, ColumnKind kind) {
    Table::Column c;
    c.name = std::move(name);
    c.kind = kind;
    c.offsets.push_back(0);
    c.cells.assign(m_table->m_rowCount, 0);
    m_table->m_columns.push_back(std::move(c));
    m_textIds.emplace_back();
    m_numberIds.emplace_back();
    return m_table->m_columns.size() - 1;
}

void TableBuilder::addRow() {
    if (m_table->m_rowCount >= 0xFFFFFFF0u) throw std::length_error("too many rows");
    for (Table::Column& c : m_table->m_columns) c.cells.push_back(0);
    ++m_table->m_rowCount;
}

void TableBuilder::setText(std::size_t col, std::string_view text) {
    Table::Column& c = m_table->m_columns.at(col);
    if (c.kind != ColumnKind::Text) throw std::logic_error("text into a column that is not text");
    if (c.cells.empty()) throw std::logic_error("no row to fill");
    auto [it, added] = m_textIds[col].try_emplace(std::string(text), 0);
    if (added) {
        if (c.arena.size() + text.size() > 0xFFFFFFF0u) throw std::length_error("table text too large");
        c.arena.append(text);
        c.offsets.push_back(static_cast<std::uint32_t>(c.arena.size()));
        it->second = static_cast<Table::ValueId>(c.offsets.size() - 1);
    }
    c.cells.back() = it->second;
}

void TableBuilder::setNumber(std::size_t col, double number) {
    Table::Column& c = m_table->m_columns.at(col);
    if (c.kind != ColumnKind::Number) throw std::logic_error("number into a column that is not numeric");
    if (c.cells.empty()) throw std::logic_error("no row to fill");
    std::uint64_t bits;
    std::memcpy(&bits, &number, sizeof bits);
    auto [it, added] = m_numberIds[col].try_emplace(bits, 0);
    if (added) {
        c.numbers.push_back(number);
        it->second = static_cast<Table::ValueId>(c.numbers.size());
    }
    c.cells.back() = it->second;
}

std::shared_ptr<const Table> TableBuilder::finish() {
    m_textIds.clear();
    m_numberIds.clear();
    for (Table::Column& c : m_table->m_columns) {
        c.cells.shrink_to_fit();
        c.arena.shrink_to_fit();
        c.offsets.shrink_to_fit();
        c.numbers.shrink_to_fit();
    }
    return std::shared_ptr<const Table>(m_table.release());
}

}  // namespace velmora::jet
