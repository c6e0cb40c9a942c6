// A sorted index of one column of a cached table: the column's distinct values
// grouped into classes the criteria evaluator cannot tell apart (texts that
// differ only in letter case, or in outer blanks for a Trim index), the
// classes in the evaluator's order, each with its rows in table order. It
// answers "rows where column op constant" exactly as a scan would.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "jet/Criteria.h"
#include "jet/Table.h"

namespace velmora::jet {

class ColumnIndex {
public:
    // Builds the index of a text or number column; trimmed indexes the
    // column's Trim (text columns only). O(rows + distinct · log distinct).
    ColumnIndex(const Table& table, std::size_t column, bool trimmed);

    // A run of classes [first, last).
    struct Range {
        std::uint32_t first = 0;
        std::uint32_t last = 0;
        bool empty() const { return first >= last; }
    };

    // The classes whose values satisfy  value op constant. The constant has
    // the column's kind (text for a text column, number for a number column).
    Range range(CompareOp op, const Value& constant) const;
    // Number of rows in a range.
    std::size_t rowCount(Range r) const {
        return r.empty() ? 0 : m_groupStart[r.last] - m_groupStart[r.first];
    }
    // The rows of a range, ascending. A single class is served without a copy.
    std::span<const std::uint32_t> rows(Range r, std::vector<std::uint32_t>& storage) const;

    static Range intersect(Range a, Range b) {
        Range r{a.first > b.first ? a.first : b.first, a.last < b.last ? a.last : b.last};
        return r.empty() ? Range{0, 0} : r;
    }
    // Bytes held by the index.
    std::size_t memoryBytes() const {
        return sizeof(*this) + m_groupRep.capacity() * sizeof(Table::ValueId) +
               (m_groupStart.capacity() + m_rows.capacity()) * sizeof(std::uint32_t);
    }
    Range all() const { return {0, static_cast<std::uint32_t>(m_groupRep.size())}; }

private:
    // <0, 0, >0: the value with dictionary id `id` against a constant.
    int compareWith(Table::ValueId id, const Value& constant) const;

    const Table& m_table;
    std::size_t m_column;
    bool m_trimmed;
    std::vector<Table::ValueId> m_groupRep;  // one dictionary id per class, classes ascending
    std::vector<std::uint32_t>
        m_groupStart;  // class k's rows: m_rows[m_groupStart[k] .. m_groupStart[k+1])
    std::vector<std::uint32_t> m_rows;
};

}  // namespace velmora::jet
