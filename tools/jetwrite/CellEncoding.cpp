// Value encoding for the writer: UTF-8 to UCS-2, the "compressed" text form
// of Jet 4, code page 1252 for Jet 3, and strict decimal parsing of Long,
// Integer and Double values.
#include "CellEncoding.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace velmora::jetwrite::detail {

namespace {

constexpr char16_t kByteOrderMark = 0xFEFF;

[[noreturn]] void fail(const std::string& what) { throw std::runtime_error(what); }

std::string quoted(std::string_view text) {
    constexpr std::size_t kShown = 40;
    if (text.size() <= kShown) return "\"" + std::string(text) + "\"";
    std::size_t cut = kShown;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return "\"" + std::string(text.substr(0, cut)) + "...\"";
}

// Parses an integer of [min, max]: optional '-' and at least one digit.
long long parseWhole(std::string_view text, long long min, long long max,
                     std::string_view typeLabel) {
    long long value = 0;
    const char* first = text.data();
    const char* last = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(first, last, value);
    if (text.empty() || ec == std::errc::invalid_argument || ptr != last) {
        fail("not a whole number: " + quoted(text));
    }
    if (ec == std::errc::result_out_of_range || value < min || value > max) {
        fail(std::string(typeLabel) + " out of range " + std::to_string(min) + ".." +
             std::to_string(max) + ": " + quoted(text));
    }
    return value;
}

std::string codePoint(char16_t c) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out = "U+";
    for (int shift = 12; shift >= 0; shift -= 4) out += kDigits[(c >> shift) & 0xF];
    return out;
}

}  // namespace

void decodeUtf8(std::string_view text, std::u16string& out) {
    out.clear();
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        unsigned char lead = *p;
        if (lead < 0x80) {
            if (lead == 0) fail("text holds the character U+0000");
            out.push_back(lead);
            ++p;
            continue;
        }
        int extra = 0;
        char32_t code = 0;
        char32_t minimum = 0;
        if ((lead & 0xE0) == 0xC0) {
            extra = 1, code = lead & 0x1F, minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2, code = lead & 0x0F, minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3, code = lead & 0x07, minimum = 0x10000;
        } else {
            fail("text is not valid UTF-8");
        }
        if (end - p <= extra) fail("text is not valid UTF-8");
        for (int i = 1; i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80) fail("text is not valid UTF-8");
            code = (code << 6) | (p[i] & 0x3F);
        }
        if (code < minimum || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) {
            fail("text is not valid UTF-8");
        }
        if (code > 0xFFFF) {
            fail("text holds a character beyond U+FFFF, which Jet 4 text cannot store");
        }
        out.push_back(static_cast<char16_t>(code));
        p += extra + 1;
    }
}

void checkTextLength(std::u16string_view units, int maxChars, std::string_view utf8) {
    if (units.size() > static_cast<std::size_t>(maxChars)) {
        fail("text of " + std::to_string(units.size()) + " characters, longer than Text(" +
             std::to_string(maxChars) + "): " + quoted(utf8));
    }
}

void appendUcs2(std::vector<std::uint8_t>& out, std::u16string_view text) {
    for (char16_t c : text) {
        out.push_back(static_cast<std::uint8_t>(c & 0xFF));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
}

void appendJetText(std::vector<std::uint8_t>& out, std::u16string_view text) {
    bool compressible = text.size() > 2;
    for (char16_t c : text) {
        if (c == 0 || c > 0xFF) {
            compressible = false;
            break;
        }
    }
    if (compressible) {
        out.push_back(0xFF);
        out.push_back(0xFE);
        for (char16_t c : text) out.push_back(static_cast<std::uint8_t>(c));
        return;
    }
    if (!text.empty() && text.front() == kByteOrderMark) {
        // Plain UCS-2 starting with U+FEFF begins FF FE and would be read as
        // the compressed form. Store it compressed, switched at once to
        // two-byte characters by a 00; in that mode a character whose low byte
        // is 00 would read as a switch, so such text cannot be stored at all.
        for (char16_t c : text) {
            if ((c & 0xFF) == 0) {
                fail("text starting with U+FEFF cannot also hold the character " + codePoint(c));
            }
        }
        out.push_back(0xFF);
        out.push_back(0xFE);
        out.push_back(0x00);
    }
    appendUcs2(out, text);
}

void appendCp1252(std::vector<std::uint8_t>& out, std::u16string_view text) {
    // Code page 1252 bytes 80..9F; 0 where the code page has no character.
    static constexpr char16_t kHigh[32] = {
        0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    for (char16_t c : text) {
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out.push_back(static_cast<std::uint8_t>(c));
            continue;
        }
        const char16_t* hit = std::find(std::begin(kHigh), std::end(kHigh), c);
        if (c == 0 || hit == std::end(kHigh))
            fail("text holds " + codePoint(c) + ", which Jet 3 text (code page 1252) cannot store");
        out.push_back(static_cast<std::uint8_t>(0x80 + (hit - std::begin(kHigh))));
    }
}

void appendText(std::vector<std::uint8_t>& out, std::u16string_view text, JetVersion version) {
    if (version == JetVersion::Jet3)
        appendCp1252(out, text);
    else
        appendJetText(out, text);
}

std::int32_t parseLong(std::string_view text) {
    return static_cast<std::int32_t>(parseWhole(text, std::numeric_limits<std::int32_t>::min(),
                                                std::numeric_limits<std::int32_t>::max(), "Long"));
}

std::int16_t parseInteger(std::string_view text) {
    return static_cast<std::int16_t>(parseWhole(text, std::numeric_limits<std::int16_t>::min(),
                                                std::numeric_limits<std::int16_t>::max(),
                                                "Integer"));
}

double parseDouble(std::string_view text) {
    double value = 0;
    const char* first = text.data();
    const char* last = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (text.empty() || ec == std::errc::invalid_argument || ptr != last || !std::isfinite(value)) {
        fail("not a number: " + quoted(text));
    }
    if (ec == std::errc::result_out_of_range) {
        fail("Double out of range: " + quoted(text));
    }
    return value;
}

void checkName(std::string_view name, std::string_view what) {
    std::u16string units;
    try {
        decodeUtf8(name, units);
    } catch (const std::runtime_error& e) {
        fail(std::string(what) + " name " + quoted(name) + ": " + e.what());
    }
    if (units.empty()) fail("empty " + std::string(what) + " name");
    if (units.size() > 64) {
        fail(std::string(what) + " name longer than 64 characters: " + quoted(name));
    }
    if (units.front() == u' ') {
        fail(std::string(what) + " name starts with a blank: " + quoted(name));
    }
    for (char16_t c : units) {
        if (c < 0x20 || c == 0x7F || c == kByteOrderMark || c == u'.' || c == u'!' || c == u'`' ||
            c == u'[' || c == u']') {
            fail(std::string(what) + " name holds a character Jet does not allow: " + quoted(name));
        }
    }
}

void checkColumn(const Column& column) {
    checkName(column.name, "column");
    if (column.type == ColumnType::Text && (column.size < 1 || column.size > 255)) {
        fail("column " + column.name + ": Text size " + std::to_string(column.size) +
             " is not in 1..255");
    }
}

void checkCell(const Column& column, const Cell& cell) {
    if (!cell) return;
    try {
        switch (column.type) {
            case ColumnType::Text:
            case ColumnType::Memo: {
                std::u16string units;
                decodeUtf8(*cell, units);
                if (column.type == ColumnType::Text) checkTextLength(units, column.size, *cell);
                std::vector<std::uint8_t> scratch;
                appendJetText(scratch, units);
                break;
            }
            case ColumnType::Long:
                parseLong(*cell);
                break;
            case ColumnType::Integer:
                parseInteger(*cell);
                break;
            case ColumnType::Double:
                parseDouble(*cell);
                break;
        }
    } catch (const std::runtime_error& e) {
        fail("column " + column.name + ": " + e.what());
    }
}

}  // namespace velmora::jetwrite::detail
