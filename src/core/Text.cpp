// Text helpers: numeric value, trimming, lines and upper case.
#include "Text.h"

#include <cstdint>

namespace velmora {

double numericValue(std::string_view piece) {
    std::size_t i = 0;
    auto skipBlanks = [&] {
        while (i < piece.size() && (piece[i] == ' ' || piece[i] == '\t')) ++i;
    };
    skipBlanks();
    bool negative = false;
    if (i < piece.size() && (piece[i] == '+' || piece[i] == '-')) {
        negative = piece[i] == '-';
        ++i;
    }
    double value = 0;
    bool seenPoint = false;
    double scale = 1;
    for (;;) {
        skipBlanks();
        if (i >= piece.size()) break;
        char c = piece[i];
        if (c >= '0' && c <= '9') {
            if (seenPoint) {
                scale /= 10;
                value += (c - '0') * scale;
            } else {
                value = value * 10 + (c - '0');
            }
            ++i;
        } else if (c == '.' && !seenPoint) {
            seenPoint = true;
            ++i;
        } else {
            break;
        }
    }
    return negative ? -value : value;
}

std::string trimBlanks(std::string_view text) {
    std::size_t b = 0, e = text.size();
    while (b < e && text[b] == ' ') ++b;
    while (e > b && text[e - 1] == ' ') --e;
    return std::string(text.substr(b, e - b));
}

std::string mid(std::string_view text, int start, int count) {
    if (start < 1 || count <= 0) return {};
    std::size_t s = static_cast<std::size_t>(start - 1);
    if (s >= text.size()) return {};
    return std::string(text.substr(s, static_cast<std::size_t>(count)));
}

std::vector<std::string> splitLines(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t lf = text.find('\n', start);
        std::size_t end = lf == std::string_view::npos ? text.size() : lf;
        std::size_t stop = end;
        if (lf != std::string_view::npos && stop > start && text[stop - 1] == '\r') --stop;
        lines.emplace_back(text.substr(start, stop - start));
        if (lf == std::string_view::npos) break;
        start = lf + 1;
    }
    return lines;
}

std::string upperCaseUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 'a' && c <= 'z') {
            out += static_cast<char>(c - 32);
        } else if (c == 0xC3 && i + 1 < text.size()) {
            // U+00E0..U+00FE (except U+00F7 ÷) map to U+00C0..U+00DE.
            unsigned char d = static_cast<unsigned char>(text[i + 1]);
            out += static_cast<char>(c);
            if (d >= 0xA0 && d <= 0xBE && d != 0xB7) d = static_cast<unsigned char>(d - 0x20);
            out += static_cast<char>(d);
            ++i;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string joinAnd(const std::vector<std::string>& items) {
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) out += i + 1 == items.size() ? " e " : ", ";
        out += items[i];
    }
    return out;
}

}  // namespace velmora
