// Splits a criteria or SELECT text into tokens. One table classifies every
// byte and one switch on that class reads each token, so any byte sequence
// yields tokens or a CriteriaError naming the position; nothing is skipped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::jet {

enum class TokenKind : std::uint8_t {
    Name,    // column, table, keyword or function name; [bracketed] too
    Text,    // 'single quoted', with '' for a quote
    Number,  // 12, 0.5, .5 (a minus sign is its own token)
    LParen,
    RParen,
    Eq,
    Ne,
    Lt,
    Le,
    Gt,
    Ge,
    Minus,
    Comma,
    Semicolon,
    Star,
    End,
};

struct Token {
    TokenKind kind = TokenKind::End;
    std::size_t position = 0;  // byte offset of the token in the text
    std::size_t length = 0;    // bytes of the token in the text
    std::string value;         // the name, or the text with '' made one quote
    double number = 0;
    bool bracketed = false;  // a [name]: never a keyword

    // Whether this is the bare name word, in any letter case.
    bool isKeyword(std::string_view word) const;
};

// Longest text accepted; anything longer is refused before tokenizing.
inline constexpr std::size_t kMaxCriteriaLength = 16 * 1024;

// The tokens of text, always ending with one End token. Throws CriteriaError
// for an unterminated text or name, a malformed number or a byte that starts
// no token.
std::vector<Token> tokenize(std::string_view text);

}  // namespace velmora::jet
