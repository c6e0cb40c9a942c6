// Case folding over UTF-8 for the criteria engine: letters of every script
// fold by a table generated at build time from the Unicode data files
// (tools/unicode/make-case-fold), ASCII on its own fast path; accents stay,
// and every byte that is not valid UTF-8 stands for itself.
#include "jet/TextFold.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <iterator>

#include "core/Utf8.h"

namespace velmora::jet {

namespace {

#include "CaseFoldTable.inc"

}  // namespace

char32_t foldCase(char32_t c) {
    if (c < 0x100) return kFoldLatin1[c];
    const auto* end = std::end(kFoldPairs);
    const auto* at = std::lower_bound(std::begin(kFoldPairs), end, c,
                                      [](const char32_t(&pair)[2], char32_t key) { return pair[0] < key; });
    return at != end && (*at)[0] == c ? (*at)[1] : c;
}

namespace {

// Decodes one character at text[i] and advances i. A byte that does not
// start a valid sequence yields a code point above the Unicode range, so it
// compares by its byte value and never equals a real character.
char32_t nextCodePoint(std::string_view text, std::size_t& i) {
    const Utf8Char c = decodeUtf8(text, i);
    i += c.length;
    return c.valid ? c.codePoint : 0x110000 + c.codePoint;
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
                char32_t fa = foldCase(ca), fb = foldCase(cb);
                if (fa != fb) return fa < fb ? -1 : 1;
            }
            ++i;
            ++j;
            continue;
        }
        char32_t fa = foldCase(nextCodePoint(a, i));
        char32_t fb = foldCase(nextCodePoint(b, j));
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
