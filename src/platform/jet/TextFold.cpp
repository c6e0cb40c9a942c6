// Case folding over UTF-8 for the criteria engine: ASCII and the Latin-1 and
// Latin Extended-A letters fold to upper case; every other character, and
// every byte that is not valid UTF-8, stands for itself.
#include "platform/jet/TextFold.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace velmora::jet {

namespace {

// Upper-case partner of a code point, or the code point itself.
char32_t foldCodePoint(char32_t c) {
    if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 32 : c;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
    if (c == 0xFF) return 0x178;
    if (c >= 0x100 && c <= 0x17E) {
        // Latin Extended-A pairs: upper case first. The pairs start on an even
        // code point except in U+0139..U+0148 and U+0179..U+017E.
        bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149) return c;
        if (oddUpper) return (c % 2 == 0) ? c - 1 : c;
        return (c % 2 == 1) ? c - 1 : c;
    }
    return c;
}

// Decodes one character at text[i] and advances i. An invalid or truncated
// sequence yields its first byte as a code point above the Unicode range, so
// it compares by its byte value and never equals a real character.
char32_t nextCodePoint(std::string_view text, std::size_t& i) {
    unsigned char b0 = static_cast<unsigned char>(text[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int length = (b0 >= 0xF0 && b0 <= 0xF4)   ? 4
                 : (b0 >= 0xE0)               ? 3
                 : (b0 >= 0xC2 && b0 <= 0xDF) ? 2
                                              : 0;
    if (length != 0 && b0 < 0xF5 && i + length <= text.size()) {
        char32_t c = length == 2 ? (b0 & 0x1F) : length == 3 ? (b0 & 0x0F) : (b0 & 0x07);
        bool valid = true;
        for (int k = 1; k < length; ++k) {
            unsigned char b = static_cast<unsigned char>(text[i + k]);
            if ((b & 0xC0) != 0x80) {
                valid = false;
                break;
            }
            c = (c << 6) | (b & 0x3F);
        }
        if (valid) {
            i += length;
            return c;
        }
    }
    ++i;
    return 0x110000 + b0;
}

}  // namespace

int compareFolded(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        unsigned char ca = static_cast<unsigned char>(a[i]);
        unsigned char cb = static_cast<unsigned char>(b[j]);
        if (ca < 0x80 && cb < 0x80) {
            // Fast path: both ASCII.
            if (ca != cb) {
                char32_t fa = foldCodePoint(ca), fb = foldCodePoint(cb);
                if (fa != fb) return fa < fb ? -1 : 1;
            }
            ++i;
            ++j;
            continue;
        }
        char32_t fa = foldCodePoint(nextCodePoint(a, i));
        char32_t fb = foldCodePoint(nextCodePoint(b, j));
        if (fa != fb) return fa < fb ? -1 : 1;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

std::string_view trimView(std::string_view text) {
    std::size_t b = 0, e = text.size();
    while (b < e && text[b] == ' ') ++b;
    while (e > b && text[e - 1] == ' ') --e;
    return text.substr(b, e - b);
}

std::optional<double> readWholeNumber(std::string_view text) {
    text = trimView(text);
    if (text.empty()) return std::nullopt;
    std::size_t i = 0;
    bool negative = false;
    if (text[0] == '+' || text[0] == '-') {
        negative = text[0] == '-';
        ++i;
    }
    std::string_view body = text.substr(i);
    std::size_t digits = 0, point = 0;
    for (char c : body) {
        if (c >= '0' && c <= '9') {
            ++digits;
        } else if (c == '.' && point == 0) {
            ++point;
        } else {
            return std::nullopt;
        }
    }
    if (digits == 0) return std::nullopt;
    // from_chars rejects a leading '.', so give it a zero to lean on.
    std::string normal = body.front() == '.' ? "0" + std::string(body) : std::string(body);
    double value = 0;
    auto res = std::from_chars(normal.data(), normal.data() + normal.size(), value);
    if (res.ec != std::errc() || res.ptr != normal.data() + normal.size()) return std::nullopt;
    return negative ? -value : value;
}

std::string formatNumber(double value) {
    if (std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 1e15) {
        return std::to_string(static_cast<long long>(value));
    }
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, res.ptr);
}

}  // namespace velmora::jet
