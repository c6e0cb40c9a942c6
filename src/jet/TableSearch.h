// Searching one cached table: the criteria bound to it (kept per text), the
// column indexes built on first use, and the three operations record sets
// need: select the rows of a Where in table order, sort rows by Order by, and
// find the first row at or after a given one that satisfies a criteria.
// Results are always exactly those of a full scan in table order.
// Single-threaded: the indexes and the bound criteria are built lazily.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "jet/ColumnIndex.h"
#include "jet/Criteria.h"
#include "jet/SelectQuery.h"
#include "jet/Table.h"

namespace velmora::jet {

class TableSearch {
public:
    // useIndexes: build column indexes for selections and finds (worth it
    // only for a table that is kept and searched many times).
    TableSearch(std::shared_ptr<const Table> table, bool useIndexes);

    const Table& table() const { return *m_table; }
    const std::shared_ptr<const Table>& tablePtr() const { return m_table; }

    // The criteria bound to this table, kept under its text. Throws
    // CriteriaError for an unknown or unreadable column.
    std::shared_ptr<const BoundCriteria> bind(const std::string& text,
                                              const std::shared_ptr<const Criteria>& parsed);

    // Rows that satisfy where (every row when null), in table order.
    std::vector<std::uint32_t> select(const BoundCriteria* where);
    // Sorts rows stably by the keys: Null first (last when descending), text
    // without regard to letter case, numbers numerically. Throws CriteriaError
    // for an unknown column.
    void sort(std::vector<std::uint32_t>& rows, const std::vector<OrderKey>& keys) const;
    // The first row >= fromRow that satisfies criteria, in table order.
    std::optional<std::size_t> findFrom(const BoundCriteria& criteria, std::size_t fromRow);

    std::size_t memoryBytes() const;

private:
    // Candidate rows (ascending) from the index terms of a criteria: every
    // matching row is among them. No value when no term applies.
    std::optional<std::span<const std::uint32_t>> candidates(const BoundCriteria& criteria,
                                                             std::vector<std::uint32_t>& storage);
    const ColumnIndex& index(std::size_t column, bool trimmed);

    std::shared_ptr<const Table> m_table;
    bool m_useIndexes;
    std::map<std::pair<std::size_t, bool>, std::unique_ptr<ColumnIndex>> m_indexes;
    std::map<std::string, std::shared_ptr<const BoundCriteria>, std::less<>> m_bound;
};

}  // namespace velmora::jet
