// Builds in-memory tables for the engine's tests: columns with their kind,
// rows of cells where std::nullopt is Null and numbers are written as text.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "jet/Table.h"

namespace velmora::test {

using Cell = std::optional<std::string>;

inline std::shared_ptr<const jet::Table> memoryTable(
    const std::string& name, const std::vector<std::pair<std::string, jet::ColumnKind>>& columns,
    const std::vector<std::vector<Cell>>& rows) {
    jet::TableBuilder builder(name);
    for (const auto& [column, kind] : columns) builder.addColumn(column, kind);
    for (const auto& row : rows) {
        builder.addRow();
        for (std::size_t c = 0; c < row.size(); ++c) {
            if (!row[c]) continue;
            if (columns[c].second == jet::ColumnKind::Number) {
                builder.setNumber(c, std::stod(*row[c]));
            } else {
                builder.setText(c, *row[c]);
            }
        }
    }
    return builder.finish();
}

}  // namespace velmora::test
