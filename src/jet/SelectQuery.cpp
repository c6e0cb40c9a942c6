// Parser of the SELECT texts: the criteria after Where is read by the
// criteria parser from the same token list, so a quoted 'Order by' inside a
// text constant stays part of the constant.
#include "jet/SelectQuery.h"

#include "jet/CriteriaError.h"
#include "jet/TextFold.h"

namespace velmora::jet {

namespace {

void expectKeyword(const std::vector<Token>& tokens, std::size_t& i, std::string_view word) {
    if (!tokens[i].isKeyword(word)) {
        throw CriteriaError("atteso '" + std::string(word) + "'", tokens[i].position);
    }
    ++i;
}

std::string expectName(const std::vector<Token>& tokens, std::size_t& i, const char* what) {
    const Token& t = tokens[i];
    if (t.kind != TokenKind::Name ||
        (!t.bracketed && (t.isKeyword("where") || t.isKeyword("order")))) {
        throw CriteriaError(std::string("manca ") + what, t.position);
    }
    ++i;
    return t.value;
}

}  // namespace

bool SelectQuery::isQuery(std::string_view source) {
    std::string_view s = source;
    while (!s.empty() &&
           (s.front() == ' ' || s.front() == '\t' || s.front() == '\r' || s.front() == '\n')) {
        s.remove_prefix(1);
    }
    if (s.size() < 6 || !equalFolded(s.substr(0, 6), "select")) return false;
    return s.size() == 6 || s[6] == ' ' || s[6] == '\t' || s[6] == '\r' || s[6] == '\n' ||
           s[6] == '*';
}

SelectQuery SelectQuery::parse(std::string_view text) {
    std::vector<Token> tokens = tokenize(text);
    SelectQuery query;
    std::size_t i = 0;
    expectKeyword(tokens, i, "select");
    if (tokens[i].kind != TokenKind::Star) {
        throw CriteriaError("si legge solo Select *", tokens[i].position);
    }
    ++i;
    expectKeyword(tokens, i, "from");
    query.table = expectName(tokens, i, "il nome della tabella");
    if (tokens[i].isKeyword("where")) {
        ++i;
        query.where = Criteria::parseTokens(tokens, i);
    }
    if (tokens[i].isKeyword("order")) {
        ++i;
        expectKeyword(tokens, i, "by");
        for (;;) {
            OrderKey key;
            key.position = tokens[i].position;
            key.column = expectName(tokens, i, "la colonna di ordinamento");
            if (tokens[i].isKeyword("asc")) {
                ++i;
            } else if (tokens[i].isKeyword("desc")) {
                key.descending = true;
                ++i;
            }
            query.orderBy.push_back(std::move(key));
            if (tokens[i].kind != TokenKind::Comma) break;
            ++i;
        }
    }
    if (tokens[i].kind == TokenKind::Semicolon) ++i;
    if (tokens[i].kind != TokenKind::End) {
        throw CriteriaError("testo inatteso dopo la fine dell'interrogazione", tokens[i].position);
    }
    return query;
}

}  // namespace velmora::jet
