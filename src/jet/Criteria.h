// Criteria texts ("(Tipo = 0 or Tipo = 3) and Trim(Descrizione) = 'CATANIA'")
// parsed once into a tree, then bound to one table's columns and evaluated per
// row. The grammar and the operator precedence live in Criteria.cpp; what Null
// does in every operator is written down beside the evaluator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "jet/CriteriaTokenizer.h"
#include "jet/Table.h"

namespace velmora::jet {

enum class CompareOp : std::uint8_t { Eq, Ne, Lt, Le, Gt, Ge };

// A parsed criteria tree; column names are not yet resolved.
class Criteria {
public:
    enum class NodeKind : std::uint8_t {
        Or,
        And,
        Not,
        Compare,
        Column,
        Trim,
        TextConst,
        NumberConst
    };
    struct Node {
        NodeKind kind = NodeKind::TextConst;
        CompareOp op = CompareOp::Eq;  // Compare
        int left = -1;                 // operand of Not and Trim; left side of binary nodes
        int right = -1;
        std::string text;          // column name or text constant
        double number = 0;         // number constant
        std::size_t position = 0;  // byte offset in the source text
        std::size_t column = 0;    // Column, once bound to a table
    };

    // Parses a whole criteria text. Throws CriteriaError.
    static std::shared_ptr<const Criteria> parse(std::string_view text);
    // Parses one condition from tokens[index]; stops at the first token that
    // cannot continue it and leaves index there. Throws CriteriaError.
    static std::shared_ptr<const Criteria> parseTokens(const std::vector<Token>& tokens,
                                                       std::size_t& index);

    const std::vector<Node>& nodes() const { return m_nodes; }
    int root() const { return m_root; }

private:
    friend class CriteriaParser;
    std::vector<Node> m_nodes;
    int m_root = -1;
};

// A comparison between a column (or Trim of a text column) and a constant of
// the column's own kind, standing as one of the top-level "and" terms of a
// criteria: every row the criteria accepts satisfies it, so an index on the
// column may supply the candidate rows.
struct IndexTerm {
    std::size_t column = 0;
    bool trimmed = false;          // Trim(column)
    CompareOp op = CompareOp::Eq;  // column op constant
    Value constant;                // text views into the bound criteria
};

// A criteria bound to the columns of one table.
class BoundCriteria {
public:
    // Throws CriteriaError for a column the table lacks or cannot read.
    BoundCriteria(std::shared_ptr<const Criteria> criteria, const Table& table);
    // The index terms point into the nodes: no copies.
    BoundCriteria(const BoundCriteria&) = delete;
    BoundCriteria& operator=(const BoundCriteria&) = delete;

    // Whether the row satisfies the criteria (a Null outcome does not).
    bool matches(const Table& table, std::size_t row) const;
    const std::vector<IndexTerm>& indexTerms() const { return m_terms; }

private:
    std::shared_ptr<const Criteria> m_source;
    std::vector<Criteria::Node> m_nodes;
    int m_root;
    std::vector<IndexTerm> m_terms;
};

// The outcome of a comparison of two values as the evaluator makes it: 1 true,
// 0 false, -1 Null. Exposed for the indexes, which must agree with it.
int compareForCriteria(const Value& a, CompareOp op, const Value& b);

}  // namespace velmora::jet
