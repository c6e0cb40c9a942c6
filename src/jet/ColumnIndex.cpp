// Building and querying a column index. The order of classes is the
// evaluator's own comparison (compareFolded for texts, < for numbers), so a
// binary search over the classes selects exactly the rows a scan would.
#include "jet/ColumnIndex.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "jet/TextFold.h"

namespace velmora::jet {

namespace {
constexpr std::uint32_t kNoGroup = 0xFFFFFFFFu;
}

ColumnIndex::ColumnIndex(const Table& table, std::size_t column, bool trimmed)
    : m_table(table), m_column(column), m_trimmed(trimmed) {
    const bool numeric = table.columnKind(column) == ColumnKind::Number;
    const std::size_t distinct = table.dictionarySize(column);

    // Distinct ids in the evaluator's order; NaN, which equals nothing, is left out.
    std::vector<Table::ValueId> ids;
    ids.reserve(distinct);
    for (std::size_t id = 1; id <= distinct; ++id) {
        Value v = table.dictionaryValue(column, static_cast<Table::ValueId>(id));
        if (numeric && std::isnan(v.number)) continue;
        ids.push_back(static_cast<Table::ValueId>(id));
    }
    auto key = [&](Table::ValueId id) {
        Value v = table.dictionaryValue(column, id);
        if (m_trimmed) v.text = trimView(v.text);
        return v;
    };
    auto compareIds = [&](Table::ValueId a, Table::ValueId b) {
        Value va = key(a), vb = key(b);
        if (numeric) return va.number < vb.number ? -1 : (va.number > vb.number ? 1 : 0);
        return compareFolded(va.text, vb.text);
    };
    std::sort(ids.begin(), ids.end(),
              [&](Table::ValueId a, Table::ValueId b) { return compareIds(a, b) < 0; });

    // Classes of equal keys.
    std::vector<std::uint32_t> groupOfId(distinct + 1, kNoGroup);
    for (std::size_t k = 0; k < ids.size(); ++k) {
        if (k == 0 || compareIds(ids[k - 1], ids[k]) != 0) m_groupRep.push_back(ids[k]);
        groupOfId[ids[k]] = static_cast<std::uint32_t>(m_groupRep.size() - 1);
    }

    // Counting sort of the rows by class keeps table order within a class.
    m_groupStart.assign(m_groupRep.size() + 1, 0);
    const std::size_t rowCount = table.rowCount();
    for (std::size_t row = 0; row < rowCount; ++row) {
        std::uint32_t g = groupOfId[table.valueId(row, column)];
        if (g != kNoGroup) ++m_groupStart[g + 1];
    }
    std::partial_sum(m_groupStart.begin(), m_groupStart.end(), m_groupStart.begin());
    m_rows.resize(m_groupStart.back());
    std::vector<std::uint32_t> next(m_groupStart.begin(), m_groupStart.end() - 1);
    for (std::size_t row = 0; row < rowCount; ++row) {
        std::uint32_t g = groupOfId[table.valueId(row, column)];
        if (g != kNoGroup) m_rows[next[g]++] = static_cast<std::uint32_t>(row);
    }
}

int ColumnIndex::compareWith(Table::ValueId id, const Value& constant) const {
    Value v = m_table.dictionaryValue(m_column, id);
    if (v.kind == Value::Kind::Number) {
        return v.number < constant.number ? -1 : (v.number > constant.number ? 1 : 0);
    }
    return compareFolded(m_trimmed ? trimView(v.text) : v.text, constant.text);
}

ColumnIndex::Range ColumnIndex::range(CompareOp op, const Value& constant) const {
    // lower: first class >= constant; upper: first class > constant.
    auto lowerIt =
        std::partition_point(m_groupRep.begin(), m_groupRep.end(),
                             [&](Table::ValueId id) { return compareWith(id, constant) < 0; });
    auto upperIt = std::partition_point(lowerIt, m_groupRep.end(), [&](Table::ValueId id) {
        return compareWith(id, constant) == 0;
    });
    auto lower = static_cast<std::uint32_t>(lowerIt - m_groupRep.begin());
    auto upper = static_cast<std::uint32_t>(upperIt - m_groupRep.begin());
    auto end = static_cast<std::uint32_t>(m_groupRep.size());
    switch (op) {
        case CompareOp::Eq:
            return {lower, upper};
        case CompareOp::Lt:
            return {0, lower};
        case CompareOp::Le:
            return {0, upper};
        case CompareOp::Gt:
            return {upper, end};
        case CompareOp::Ge:
            return {lower, end};
        case CompareOp::Ne:
            break;
    }
    return all();
}

std::span<const std::uint32_t> ColumnIndex::rows(Range r,
                                                 std::vector<std::uint32_t>& storage) const {
    if (r.empty()) return {};
    std::span<const std::uint32_t> run(m_rows.data() + m_groupStart[r.first],
                                       m_groupStart[r.last] - m_groupStart[r.first]);
    if (r.last - r.first == 1) return run;
    storage.assign(run.begin(), run.end());
    std::sort(storage.begin(), storage.end());
    return storage;
}

}  // namespace velmora::jet
