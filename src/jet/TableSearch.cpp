// Selections, sorting and finds over one table, using column indexes when the
// criteria has "and" terms comparing a column with a constant.
#include "jet/TableSearch.h"

#include <algorithm>
#include <cmath>

#include "jet/CriteriaError.h"
#include "jet/TextFold.h"

namespace velmora::jet {

namespace {
// Distinct criteria texts kept bound per table before the store starts afresh
// (code lookups make one text per place name).
constexpr std::size_t kMaxBoundCriteria = 1024;
}  // namespace

TableSearch::TableSearch(std::shared_ptr<const Table> table, bool useIndexes)
    : m_table(std::move(table)), m_useIndexes(useIndexes) {}

std::shared_ptr<const BoundCriteria> TableSearch::bind(
    const std::string& text, const std::shared_ptr<const Criteria>& parsed) {
    auto it = m_bound.find(text);
    if (it != m_bound.end()) return it->second;
    auto bound = std::make_shared<const BoundCriteria>(parsed, *m_table);
    if (m_bound.size() >= kMaxBoundCriteria) m_bound.clear();
    m_bound.emplace(text, bound);
    return bound;
}

const ColumnIndex& TableSearch::index(std::size_t column, bool trimmed) {
    auto& slot = m_indexes[{column, trimmed}];
    if (!slot) slot = std::make_unique<ColumnIndex>(*m_table, column, trimmed);
    return *slot;
}

std::optional<std::span<const std::uint32_t>> TableSearch::candidates(
    const BoundCriteria& criteria, std::vector<std::uint32_t>& storage) {
    if (!m_useIndexes || criteria.indexTerms().empty()) return std::nullopt;
    // Terms on the same column narrow one range; the column whose range holds
    // the fewest rows supplies the candidates.
    std::map<std::pair<std::size_t, bool>, ColumnIndex::Range> ranges;
    for (const IndexTerm& term : criteria.indexTerms()) {
        // A column of one value (every record of hotel 1) cannot narrow a
        // search; its index would cost four bytes a row for nothing.
        if (m_table->dictionarySize(term.column) <= 1) continue;
        const ColumnIndex& ix = index(term.column, term.trimmed);
        ColumnIndex::Range r = ix.range(term.op, term.constant);
        auto [it, added] = ranges.try_emplace({term.column, term.trimmed}, r);
        if (!added) it->second = ColumnIndex::intersect(it->second, r);
    }
    if (ranges.empty()) return std::nullopt;
    const ColumnIndex* best = nullptr;
    ColumnIndex::Range bestRange;
    std::size_t bestCount = 0;
    for (const auto& [key, r] : ranges) {
        const ColumnIndex& ix = index(key.first, key.second);
        std::size_t count = ix.rowCount(r);
        if (!best || count < bestCount) {
            best = &ix;
            bestRange = r;
            bestCount = count;
        }
    }
    return best->rows(bestRange, storage);
}

std::vector<std::uint32_t> TableSearch::select(const BoundCriteria* where) {
    std::vector<std::uint32_t> result;
    const std::size_t rowCount = m_table->rowCount();
    if (!where) {
        result.resize(rowCount);
        for (std::size_t r = 0; r < rowCount; ++r) result[r] = static_cast<std::uint32_t>(r);
        return result;
    }
    std::vector<std::uint32_t> storage;
    if (auto rows = candidates(*where, storage)) {
        for (std::uint32_t r : *rows) {
            if (where->matches(*m_table, r)) result.push_back(r);
        }
        return result;
    }
    for (std::size_t r = 0; r < rowCount; ++r) {
        if (where->matches(*m_table, r)) result.push_back(static_cast<std::uint32_t>(r));
    }
    return result;
}

std::optional<std::size_t> TableSearch::findFrom(const BoundCriteria& criteria,
                                                 std::size_t fromRow) {
    std::vector<std::uint32_t> storage;
    if (auto rows = candidates(criteria, storage)) {
        auto it = std::lower_bound(rows->begin(), rows->end(), fromRow);
        for (; it != rows->end(); ++it) {
            if (criteria.matches(*m_table, *it)) return *it;
        }
        return std::nullopt;
    }
    for (std::size_t r = fromRow; r < m_table->rowCount(); ++r) {
        if (criteria.matches(*m_table, r)) return r;
    }
    return std::nullopt;
}

void TableSearch::sort(std::vector<std::uint32_t>& rows, const std::vector<OrderKey>& keys) const {
    struct Key {
        std::size_t column;
        bool descending;
    };
    std::vector<Key> resolved;
    for (const OrderKey& k : keys) {
        auto col = m_table->findColumn(k.column);
        if (!col) throw CriteriaError::unknownColumn(k.column, k.position);
        if (m_table->columnKind(*col) == ColumnKind::Unsupported) {
            throw CriteriaError("colonna '" + k.column + "' di tipo non gestito", k.position);
        }
        resolved.push_back({*col, k.descending});
    }
    if (resolved.empty()) return;
    // Ascending order of one key: Null, then the values (a NaN after every number).
    auto compare = [&](const Value& a, const Value& b) {
        if (a.isNull() || b.isNull()) return a.isNull() == b.isNull() ? 0 : (a.isNull() ? -1 : 1);
        if (a.kind == Value::Kind::Text) return compareFolded(a.text, b.text);
        bool nanA = std::isnan(a.number), nanB = std::isnan(b.number);
        if (nanA || nanB) return nanA == nanB ? 0 : (nanA ? 1 : -1);
        return a.number < b.number ? -1 : (a.number > b.number ? 1 : 0);
    };
    std::stable_sort(rows.begin(), rows.end(), [&](std::uint32_t x, std::uint32_t y) {
        for (const Key& k : resolved) {
            Table::ValueId ix = m_table->valueId(x, k.column), iy = m_table->valueId(y, k.column);
            if (ix == iy) continue;
            int c = compare(m_table->dictionaryValue(k.column, ix),
                            m_table->dictionaryValue(k.column, iy));
            if (c != 0) return k.descending ? c > 0 : c < 0;
        }
        return false;
    });
}

std::size_t TableSearch::memoryBytes() const {
    std::size_t bytes = m_table->memoryBytes();
    for (const auto& [key, index] : m_indexes) bytes += index->memoryBytes();
    return bytes;
}

}  // namespace velmora::jet
