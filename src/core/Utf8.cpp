// Strict UTF-8 decoding and encoding, and cutting text by characters.
#include "core/Utf8.h"

namespace velmora {

Utf8Char decodeUtf8(std::string_view text, std::size_t pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (lead < 0x80) return {lead, 1, true};
    const Utf8Char bad{lead, 1, false};
    std::size_t length = 0;
    char32_t c = 0, minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, c = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, c = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, c = lead & 0x07, minimum = 0x10000;
    } else {
        return bad;
    }
    if (text.size() - pos < length) return bad;
    for (std::size_t k = 1; k < length; ++k) {
        const auto b = static_cast<unsigned char>(text[pos + k]);
        if ((b & 0xC0) != 0x80) return bad;
        c = (c << 6) | (b & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF) return bad;
    // An encoded surrogate is one unit, but not a character.
    if (c >= 0xD800 && c <= 0xDFFF) return {c, length, false};
    return {c, length, true};
}

Utf8Char decodeUtf8Before(std::string_view text, std::size_t end) {
    std::size_t start = end - 1;
    while (start > 0 && end - start < 4 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80)
        --start;
    const Utf8Char c = decodeUtf8(text, start);
    return start + c.length == end ? c : decodeUtf8(text, end - 1);
}

void appendUtf8(std::string& out, char32_t c) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string midCharacters(std::string_view text, int start, int count) {
    if (start < 1 || count <= 0) return {};
    std::size_t pos = 0;
    for (int skip = start - 1; skip > 0 && pos < text.size(); --skip)
        pos += decodeUtf8(text, pos).length;
    std::size_t end = pos;
    for (int take = count; take > 0 && end < text.size(); --take)
        end += decodeUtf8(text, end).length;
    return std::string(text.substr(pos, end - pos));
}

}  // namespace velmora
