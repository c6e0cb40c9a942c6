// Tokenizer of the criteria language: a class per byte, then one switch.
#include "jet/CriteriaTokenizer.h"

#include <array>
#include <charconv>

#include "jet/CriteriaError.h"
#include "jet/TextFold.h"

namespace velmora::jet {

namespace {

enum CharClass : std::uint8_t {
    ccIllegal,
    ccBlank,   // space, tab, CR, LF
    ccLetter,  // A-Z a-z _ and every byte of a multi-byte UTF-8 character
    ccDigit,
    ccDot,
    ccQuote,     // '
    ccLBracket,  // [
    ccLParen,
    ccRParen,
    ccLt,
    ccGt,
    ccEq,
    ccMinus,
    ccComma,
    ccSemicolon,
    ccStar,
};

constexpr std::array<std::uint8_t, 256> makeClasses() {
    std::array<std::uint8_t, 256> t{};
    for (auto& c : t) c = ccIllegal;
    t[' '] = t['\t'] = t['\r'] = t['\n'] = ccBlank;
    for (int c = 'A'; c <= 'Z'; ++c) t[c] = ccLetter;
    for (int c = 'a'; c <= 'z'; ++c) t[c] = ccLetter;
    t['_'] = ccLetter;
    for (int c = 0x80; c <= 0xFF; ++c) t[c] = ccLetter;
    for (int c = '0'; c <= '9'; ++c) t[c] = ccDigit;
    t['.'] = ccDot;
    t['\''] = ccQuote;
    t['['] = ccLBracket;
    t['('] = ccLParen;
    t[')'] = ccRParen;
    t['<'] = ccLt;
    t['>'] = ccGt;
    t['='] = ccEq;
    t['-'] = ccMinus;
    t[','] = ccComma;
    t[';'] = ccSemicolon;
    t['*'] = ccStar;
    return t;
}

constexpr std::array<std::uint8_t, 256> kClass = makeClasses();

CharClass classOf(char c) { return static_cast<CharClass>(kClass[static_cast<unsigned char>(c)]); }

bool isNameChar(char c) {
    CharClass k = classOf(c);
    return k == ccLetter || k == ccDigit;
}

// Longest number token: more digits than any double can use.
constexpr std::size_t kMaxNumberLength = 64;

}  // namespace

bool Token::isKeyword(std::string_view word) const {
    return kind == TokenKind::Name && !bracketed && equalFolded(value, word);
}

std::string CriteriaError::describe(std::string_view text) const {
    std::size_t characters = 1;
    for (std::size_t i = 0; i < m_position && i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) ++characters;
    }
    return m_reason + " alla posizione " + std::to_string(characters);
}

std::vector<Token> tokenize(std::string_view text) {
    if (text.size() > kMaxCriteriaLength) {
        throw CriteriaError("testo troppo lungo (" + std::to_string(text.size()) + " caratteri)",
                            0);
    }
    std::vector<Token> tokens;
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        Token t;
        t.position = i;
        switch (classOf(text[i])) {
            case ccBlank:
                ++i;
                continue;
            case ccLetter: {
                std::size_t start = i;
                while (i < n && isNameChar(text[i])) ++i;
                t.kind = TokenKind::Name;
                t.value = std::string(text.substr(start, i - start));
                break;
            }
            case ccLBracket: {
                std::size_t close = text.find(']', i + 1);
                if (close == std::string_view::npos)
                    throw CriteriaError("nome tra [ ] non chiuso", i);
                if (close == i + 1) throw CriteriaError("nome vuoto tra [ ]", i);
                t.kind = TokenKind::Name;
                t.bracketed = true;
                t.value = std::string(text.substr(i + 1, close - i - 1));
                i = close + 1;
                break;
            }
            case ccDigit:
            case ccDot: {
                std::size_t start = i;
                while (i < n && classOf(text[i]) == ccDigit) ++i;
                if (i < n && text[i] == '.') {
                    ++i;
                    std::size_t fraction = i;
                    while (i < n && classOf(text[i]) == ccDigit) ++i;
                    if (i == fraction) throw CriteriaError("numero non valido", start);
                }
                if (i < n && classOf(text[i]) == ccLetter)
                    throw CriteriaError("numero non valido", start);
                if (i - start > kMaxNumberLength) throw CriteriaError("numero troppo lungo", start);
                std::string digits(text.substr(start, i - start));
                if (digits.front() == '.') digits.insert(digits.begin(), '0');
                auto res = std::from_chars(digits.data(), digits.data() + digits.size(), t.number);
                if (res.ec != std::errc() || res.ptr != digits.data() + digits.size()) {
                    throw CriteriaError("numero non valido", start);
                }
                t.kind = TokenKind::Number;
                break;
            }
            case ccQuote: {
                std::size_t start = i++;
                for (;;) {
                    if (i >= n) throw CriteriaError("testo non chiuso", start);
                    if (text[i] == '\'') {
                        if (i + 1 < n && text[i + 1] == '\'') {
                            t.value += '\'';
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    t.value += text[i++];
                }
                t.kind = TokenKind::Text;
                break;
            }
            case ccLParen:
                t.kind = TokenKind::LParen;
                ++i;
                break;
            case ccRParen:
                t.kind = TokenKind::RParen;
                ++i;
                break;
            case ccEq:
                t.kind = TokenKind::Eq;
                ++i;
                break;
            case ccLt:
                ++i;
                if (i < n && text[i] == '=') {
                    t.kind = TokenKind::Le;
                    ++i;
                } else if (i < n && text[i] == '>') {
                    t.kind = TokenKind::Ne;
                    ++i;
                } else {
                    t.kind = TokenKind::Lt;
                }
                break;
            case ccGt:
                ++i;
                if (i < n && text[i] == '=') {
                    t.kind = TokenKind::Ge;
                    ++i;
                } else {
                    t.kind = TokenKind::Gt;
                }
                break;
            case ccMinus:
                t.kind = TokenKind::Minus;
                ++i;
                break;
            case ccComma:
                t.kind = TokenKind::Comma;
                ++i;
                break;
            case ccSemicolon:
                t.kind = TokenKind::Semicolon;
                ++i;
                break;
            case ccStar:
                t.kind = TokenKind::Star;
                ++i;
                break;
            case ccIllegal:
            default: {
                unsigned char c = static_cast<unsigned char>(text[i]);
                std::string shown = (c >= 0x20 && c < 0x7F) ? std::string("'") + text[i] + "'"
                                                            : "di codice " + std::to_string(c);
                throw CriteriaError("carattere non ammesso " + shown, i);
            }
        }
        t.length = i - t.position;
        tokens.push_back(std::move(t));
    }
    Token end;
    end.kind = TokenKind::End;
    end.position = n;
    tokens.push_back(end);
    return tokens;
}

}  // namespace velmora::jet
