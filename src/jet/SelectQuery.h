// The one query form the export runs:
//   Select * From <table> [Where <criteria>] [Order by <column> [Asc|Desc], ...] [;]
// Keywords in any letter case; blanks and line breaks anywhere between words.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "jet/Criteria.h"

namespace velmora::jet {

struct OrderKey {
    std::string column;
    bool descending = false;
    std::size_t position = 0;  // byte offset of the column name in the query
};

struct SelectQuery {
    std::string table;
    std::shared_ptr<const Criteria> where;  // null: every row
    std::vector<OrderKey> orderBy;          // empty: the table's own order

    // Parses a query text. Throws CriteriaError.
    static SelectQuery parse(std::string_view text);
    // Whether a record set source is a query rather than a table name: its
    // first word is "Select".
    static bool isQuery(std::string_view source);
};

}  // namespace velmora::jet
