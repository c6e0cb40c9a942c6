// Parser and evaluator of criteria texts.
//
// Grammar (keywords and function names in any letter case):
//   condition := condition "or" condition | condition "and" condition
//              | "not" condition | value compare value | "(" condition ")"
//   value     := column | 'text' | number | "-" number | "Trim" "(" value ")"
//              | "(" value ")"
//   compare   := "=" | "<>" | "<" | "<=" | ">" | ">="
// Comparisons do not chain ("a = b = c" is refused); a value alone is not a
// condition ("Partito" is refused), nor is a condition a value.
#include "jet/Criteria.h"

#include <cmath>

#include "jet/CriteriaError.h"
#include "jet/TextFold.h"

namespace velmora::jet {

namespace {

// Operator precedence, declared here and nowhere else. A higher number binds
// tighter: or < and < not < comparison.
enum Precedence : int { precNone = 0, precOr = 1, precAnd = 2, precNot = 3, precCompare = 4 };

// Deepest nesting of parentheses, not and Trim accepted.
constexpr int kMaxDepth = 64;

int infixPrecedence(const Token& t) {
    if (t.isKeyword("or")) return precOr;
    if (t.isKeyword("and")) return precAnd;
    switch (t.kind) {
        case TokenKind::Eq:
        case TokenKind::Ne:
        case TokenKind::Lt:
        case TokenKind::Le:
        case TokenKind::Gt:
        case TokenKind::Ge:
            return precCompare;
        default:
            return precNone;
    }
}

CompareOp compareOpOf(TokenKind k) {
    switch (k) {
        case TokenKind::Ne:
            return CompareOp::Ne;
        case TokenKind::Lt:
            return CompareOp::Lt;
        case TokenKind::Le:
            return CompareOp::Le;
        case TokenKind::Gt:
            return CompareOp::Gt;
        case TokenKind::Ge:
            return CompareOp::Ge;
        default:
            return CompareOp::Eq;
    }
}

bool isCondition(Criteria::NodeKind k) {
    return k == Criteria::NodeKind::Or || k == Criteria::NodeKind::And ||
           k == Criteria::NodeKind::Not || k == Criteria::NodeKind::Compare;
}

bool isReserved(const Token& t) {
    return t.isKeyword("and") || t.isKeyword("or") || t.isKeyword("not");
}

std::string describeToken(const Token& t) {
    switch (t.kind) {
        case TokenKind::End:
            return "fine del testo";
        case TokenKind::Text:
            return "testo '" + t.value + "'";
        case TokenKind::Name:
            return "'" + t.value + "'";
        case TokenKind::Number:
            return "numero " + formatNumber(t.number);
        case TokenKind::LParen:
            return "'('";
        case TokenKind::RParen:
            return "')'";
        case TokenKind::Eq:
            return "'='";
        case TokenKind::Ne:
            return "'<>'";
        case TokenKind::Lt:
            return "'<'";
        case TokenKind::Le:
            return "'<='";
        case TokenKind::Gt:
            return "'>'";
        case TokenKind::Ge:
            return "'>='";
        case TokenKind::Minus:
            return "'-'";
        case TokenKind::Comma:
            return "','";
        case TokenKind::Semicolon:
            return "';'";
        case TokenKind::Star:
            return "'*'";
    }
    return "simbolo";
}

}  // namespace

// Precedence-climbing parser over the token list.
class CriteriaParser {
public:
    CriteriaParser(const std::vector<Token>& tokens, std::size_t index, Criteria& out)
        : m_tokens(tokens), m_index(index), m_out(out) {}

    int parseCondition() {
        int node = parse(precNone, 0);
        requireCondition(node);
        return node;
    }
    std::size_t index() const { return m_index; }

private:
    const Token& peek() const { return m_tokens[m_index]; }
    const Token& take() {
        const Token& t = m_tokens[m_index];
        if (t.kind != TokenKind::End) ++m_index;
        return t;
    }

    int add(Criteria::Node node) {
        m_out.m_nodes.push_back(std::move(node));
        return static_cast<int>(m_out.m_nodes.size() - 1);
    }
    const Criteria::Node& node(int i) const { return m_out.m_nodes[static_cast<std::size_t>(i)]; }

    void requireCondition(int i) const {
        if (!isCondition(node(i).kind)) throw CriteriaError("manca un confronto", node(i).position);
    }
    void requireValue(int i) const {
        if (isCondition(node(i).kind))
            throw CriteriaError("atteso un valore, non una condizione", node(i).position);
    }

    // Parses an expression whose operators all bind tighter than minPrec.
    int parse(int minPrec, int depth) {
        if (depth > kMaxDepth) throw CriteriaError("annidamento troppo profondo", peek().position);
        int left = parsePrefix(depth);
        for (;;) {
            const Token& op = peek();
            int prec = infixPrecedence(op);
            if (prec <= minPrec) return left;
            take();
            Criteria::Node n;
            n.position = op.position;
            n.left = left;
            if (prec == precCompare) {
                requireValue(left);
                n.kind = Criteria::NodeKind::Compare;
                n.op = compareOpOf(op.kind);
                n.right = parse(precCompare, depth + 1);
                requireValue(n.right);
                n.position = node(left).position;
                left = add(std::move(n));
                if (infixPrecedence(peek()) == precCompare) {
                    throw CriteriaError("confronti consecutivi senza and/or", peek().position);
                }
            } else {
                requireCondition(left);
                n.kind = prec == precOr ? Criteria::NodeKind::Or : Criteria::NodeKind::And;
                n.right = parse(prec, depth + 1);
                requireCondition(n.right);
                left = add(std::move(n));
            }
        }
    }

    int parsePrefix(int depth) {
        const Token& t = take();
        Criteria::Node n;
        n.position = t.position;
        switch (t.kind) {
            case TokenKind::Name:
                if (t.isKeyword("not")) {
                    n.kind = Criteria::NodeKind::Not;
                    n.left = parse(precNot, depth + 1);
                    requireCondition(n.left);
                    return add(std::move(n));
                }
                if (isReserved(t))
                    throw CriteriaError("manca un operando prima di " + describeToken(t),
                                        t.position);
                if (peek().kind == TokenKind::LParen && !t.bracketed) {
                    if (!t.isKeyword("trim")) {
                        throw CriteriaError("funzione sconosciuta '" + t.value + "'", t.position);
                    }
                    take();
                    n.kind = Criteria::NodeKind::Trim;
                    n.left = parse(precNone, depth + 1);
                    requireValue(n.left);
                    expectClose(t.position);
                    return add(std::move(n));
                }
                n.kind = Criteria::NodeKind::Column;
                n.text = t.value;
                return add(std::move(n));
            case TokenKind::Text:
                n.kind = Criteria::NodeKind::TextConst;
                n.text = t.value;
                return add(std::move(n));
            case TokenKind::Number:
                n.kind = Criteria::NodeKind::NumberConst;
                n.number = t.number;
                return add(std::move(n));
            case TokenKind::Minus: {
                const Token& num = take();
                if (num.kind != TokenKind::Number) {
                    throw CriteriaError("dopo '-' serve un numero", num.position);
                }
                n.kind = Criteria::NodeKind::NumberConst;
                n.number = -num.number;
                return add(std::move(n));
            }
            case TokenKind::LParen: {
                int inner = parse(precNone, depth + 1);
                expectClose(t.position);
                return inner;
            }
            case TokenKind::End:
                throw CriteriaError("manca un operando alla fine", t.position);
            default:
                throw CriteriaError("manca un operando prima di " + describeToken(t), t.position);
        }
    }

    void expectClose(std::size_t openPosition) {
        const Token& t = peek();
        if (t.kind == TokenKind::RParen) {
            take();
            return;
        }
        if (t.kind == TokenKind::End) throw CriteriaError("parentesi non chiusa", openPosition);
        throw CriteriaError("atteso ')' invece di " + describeToken(t), t.position);
    }

    const std::vector<Token>& m_tokens;
    std::size_t m_index;
    Criteria& m_out;
};

std::shared_ptr<const Criteria> Criteria::parseTokens(const std::vector<Token>& tokens,
                                                      std::size_t& index) {
    auto criteria = std::make_shared<Criteria>();
    CriteriaParser parser(tokens, index, *criteria);
    criteria->m_root = parser.parseCondition();
    index = parser.index();
    return criteria;
}

std::shared_ptr<const Criteria> Criteria::parse(std::string_view text) {
    std::vector<Token> tokens = tokenize(text);
    if (tokens.size() == 1) throw CriteriaError("criterio vuoto", 0);
    std::size_t index = 0;
    auto criteria = parseTokens(tokens, index);
    const Token& rest = tokens[index];
    if (rest.kind != TokenKind::End) {
        throw CriteriaError("simbolo inatteso " + describeToken(rest), rest.position);
    }
    return criteria;
}

// ---------------------------------------------------------------------------
// Evaluation.
//
// Null, as the hotel's own engine treats it (three-valued logic):
//   comparison   any side Null                → Null
//   Trim(Null)                                → Null
//   not Null                                  → Null
//   x and y      false if either is false; else Null if either is Null; else true
//   x or y       true if either is true; else Null if either is Null; else false
// A row matches only when the whole criteria comes out true, so a Null outcome
// rejects it just as false does: "Sigla = 'X'" never matches a Null Sigla, and
// neither does "not (Sigla = 'X')".
//
// Comparisons of two non-Null values:
//   text with text      letters without regard to case (à = À), every other
//                       character exactly, blanks included ('S' <> 'S ');
//                       order by folded code point ('10' < '9', as texts)
//   number with number  numerically; a NaN read from a file makes every
//                       comparison false
//   text with number    numerically when the whole text reads as a number
//                       (" 12 " = 12); otherwise the comparison is false
//                       (not Null): 'ABC' = 1 and 'ABC' <> 1 are both false
// Trim of a number gives its decimal text (Trim(4521) = '4521').
// ---------------------------------------------------------------------------

namespace {

enum Tri : int { triFalse = 0, triTrue = 1, triNull = -1 };

bool applyOrder(int c, CompareOp op) {
    switch (op) {
        case CompareOp::Eq:
            return c == 0;
        case CompareOp::Ne:
            return c != 0;
        case CompareOp::Lt:
            return c < 0;
        case CompareOp::Le:
            return c <= 0;
        case CompareOp::Gt:
            return c > 0;
        case CompareOp::Ge:
            return c >= 0;
    }
    return false;
}

int compareNumbers(double a, CompareOp op, double b) {
    if (std::isnan(a) || std::isnan(b)) return triFalse;
    int c = a < b ? -1 : (a > b ? 1 : 0);
    return applyOrder(c, op) ? triTrue : triFalse;
}

}  // namespace

int compareForCriteria(const Value& a, CompareOp op, const Value& b) {
    if (a.isNull() || b.isNull()) return triNull;
    if (a.kind == Value::Kind::Text && b.kind == Value::Kind::Text) {
        return applyOrder(compareFolded(a.text, b.text), op) ? triTrue : triFalse;
    }
    if (a.kind == Value::Kind::Number && b.kind == Value::Kind::Number) {
        return compareNumbers(a.number, op, b.number);
    }
    if (a.kind == Value::Kind::Text) {
        auto n = readWholeNumber(a.text);
        return n ? compareNumbers(*n, op, b.number) : triFalse;
    }
    auto n = readWholeNumber(b.text);
    return n ? compareNumbers(a.number, op, *n) : triFalse;
}

namespace {

CompareOp mirrored(CompareOp op) {
    switch (op) {
        case CompareOp::Lt:
            return CompareOp::Gt;
        case CompareOp::Le:
            return CompareOp::Ge;
        case CompareOp::Gt:
            return CompareOp::Lt;
        case CompareOp::Ge:
            return CompareOp::Le;
        default:
            return op;
    }
}

struct Evaluator {
    const std::vector<Criteria::Node>& nodes;
    const Table& table;
    std::size_t row;

    // scratch holds the text of a Trim of a number while it is compared.
    Value value(int i, std::string& scratch) const {
        const Criteria::Node& n = nodes[static_cast<std::size_t>(i)];
        switch (n.kind) {
            case Criteria::NodeKind::Column:
                return table.value(row, n.column);
            case Criteria::NodeKind::TextConst:
                return Value::ofText(n.text);
            case Criteria::NodeKind::NumberConst:
                return Value::ofNumber(n.number);
            case Criteria::NodeKind::Trim: {
                Value v = value(n.left, scratch);
                if (v.kind == Value::Kind::Number) {
                    scratch = formatNumber(v.number);
                    return Value::ofText(scratch);
                }
                if (v.kind == Value::Kind::Text) v.text = trimView(v.text);
                return v;
            }
            default:
                return Value::null();
        }
    }

    int condition(int i) const {
        const Criteria::Node& n = nodes[static_cast<std::size_t>(i)];
        switch (n.kind) {
            case Criteria::NodeKind::Compare: {
                std::string leftScratch, rightScratch;
                Value a = value(n.left, leftScratch);
                Value b = value(n.right, rightScratch);
                return compareForCriteria(a, n.op, b);
            }
            case Criteria::NodeKind::Not: {
                int v = condition(n.left);
                return v == triNull ? triNull : (v == triTrue ? triFalse : triTrue);
            }
            case Criteria::NodeKind::And: {
                int a = condition(n.left);
                if (a == triFalse) return triFalse;
                int b = condition(n.right);
                if (b == triFalse) return triFalse;
                return (a == triNull || b == triNull) ? triNull : triTrue;
            }
            case Criteria::NodeKind::Or: {
                int a = condition(n.left);
                if (a == triTrue) return triTrue;
                int b = condition(n.right);
                if (b == triTrue) return triTrue;
                return (a == triNull || b == triNull) ? triNull : triFalse;
            }
            default:
                return triNull;
        }
    }
};

}  // namespace

BoundCriteria::BoundCriteria(std::shared_ptr<const Criteria> criteria, const Table& table)
    : m_source(std::move(criteria)), m_nodes(m_source->nodes()), m_root(m_source->root()) {
    for (Criteria::Node& n : m_nodes) {
        if (n.kind != Criteria::NodeKind::Column) continue;
        auto col = table.findColumn(n.text);
        if (!col) throw CriteriaError::unknownColumn(n.text, n.position);
        if (table.columnKind(*col) == ColumnKind::Unsupported) {
            throw CriteriaError("colonna '" + n.text + "' di tipo non gestito", n.position);
        }
        n.column = *col;
    }
    // Top-level "and" terms of the form  column op constant  (either side).
    std::vector<int> pending{m_root};
    while (!pending.empty()) {
        const Criteria::Node& n = m_nodes[static_cast<std::size_t>(pending.back())];
        pending.pop_back();
        if (n.kind == Criteria::NodeKind::And) {
            pending.push_back(n.right);
            pending.push_back(n.left);
            continue;
        }
        if (n.kind != Criteria::NodeKind::Compare) continue;
        for (int side = 0; side < 2; ++side) {
            const Criteria::Node& colSide =
                m_nodes[static_cast<std::size_t>(side == 0 ? n.left : n.right)];
            const Criteria::Node& constSide =
                m_nodes[static_cast<std::size_t>(side == 0 ? n.right : n.left)];
            IndexTerm term;
            term.op = side == 0 ? n.op : mirrored(n.op);
            const Criteria::Node* col = &colSide;
            if (col->kind == Criteria::NodeKind::Trim) {
                term.trimmed = true;
                col = &m_nodes[static_cast<std::size_t>(col->left)];
            }
            if (col->kind != Criteria::NodeKind::Column) continue;
            term.column = col->column;
            ColumnKind kind = table.columnKind(term.column);
            if (constSide.kind == Criteria::NodeKind::TextConst && kind == ColumnKind::Text) {
                term.constant = Value::ofText(constSide.text);
            } else if (constSide.kind == Criteria::NodeKind::NumberConst &&
                       kind == ColumnKind::Number && !term.trimmed) {
                term.constant = Value::ofNumber(constSide.number);
            } else {
                continue;
            }
            if (term.op == CompareOp::Ne) continue;
            m_terms.push_back(term);
            break;
        }
    }
}

bool BoundCriteria::matches(const Table& table, std::size_t row) const {
    return Evaluator{m_nodes, table, row}.condition(m_root) == triTrue;
}

}  // namespace velmora::jet
