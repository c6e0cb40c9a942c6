// Decoding of Jet 3 (code page 1252) and Jet 4 (UTF-16LE, compressed or not)
// text to UTF-8, with the program's one UTF-8 encoder.
#include "jet/JetText.h"

#include <vector>

#include "core/Utf8.h"

namespace velmora::jet {

namespace {

// Code page 1252 bytes 80..9F; 0 where the code page has no character.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::string fromCp1252(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        char32_t c = b;
        if (b >= 0x80 && b <= 0x9F && kCp1252High[b - 0x80] != 0) c = kCp1252High[b - 0x80];
        appendUtf8(out, c);
    }
    return out;
}

// The UTF-16 units of Jet 4 text, expanded from the compressed form.
std::vector<char16_t> utf16Units(std::string_view bytes) {
    std::vector<char16_t> units;
    units.reserve(bytes.size());
    auto byteAt = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const bool compressed = bytes.size() >= 2 && byteAt(0) == 0xFF && byteAt(1) == 0xFE;
    if (!compressed) {
        for (std::size_t i = 0; i < bytes.size(); i += 2) {
            units.push_back(i + 1 < bytes.size()
                                ? static_cast<char16_t>(byteAt(i) | (byteAt(i + 1) << 8))
                                : char16_t{0xFFFD});
        }
        return units;
    }
    bool oneByte = true;
    for (std::size_t i = 2; i < bytes.size();) {
        if (byteAt(i) == 0) {
            oneByte = !oneByte;
            ++i;
        } else if (oneByte) {
            units.push_back(byteAt(i++));
        } else if (i + 1 < bytes.size()) {
            units.push_back(static_cast<char16_t>(byteAt(i) | (byteAt(i + 1) << 8)));
            i += 2;
        } else {
            units.push_back(0xFFFD);
            ++i;
        }
    }
    return units;
}

std::string fromUtf16(const std::vector<char16_t>& units) {
    std::string out;
    out.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        char32_t c = units[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        }
        if (c >= 0xD800 && c <= 0xDFFF) {
            // Kept as stored, in the three bytes UTF-8 would give it; no
            // character, so the documents turn it into a blank.
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
            continue;
        }
        appendUtf8(out, c);
    }
    return out;
}

}  // namespace

std::string jetTextToUtf8(std::string_view bytes, JetTextForm form) {
    if (form == JetTextForm::Jet3Cp1252) return fromCp1252(bytes);
    return fromUtf16(utf16Units(bytes));
}

}  // namespace velmora::jet
