// Row cracking and field decoding.
#include "jet/FieldDecoder.h"

#include <cstring>

#include "jet/LongValue.h"

namespace velmora::jet {

// The offsets of a row's variable-length data, from first to the end of the
// data, and where the table of them starts; false when they do not fit.
bool RowCracker::varOffsets(const unsigned char* row, std::size_t size, std::size_t trailer) {
    if (!m_f.jet3) {
        if (trailer < m_f.countSize + 2) return false;
        const unsigned count = get16(row + trailer - 2);
        if (trailer < m_f.countSize + 2 + 2 * (count + 1)) return false;
        m_offsets.resize(count + 1);
        for (unsigned i = 0; i <= count; ++i) m_offsets[i] = get16(row + trailer - 4 - 2 * i);
        m_tableStart = trailer - 2 - 2 * (count + 1);
        return true;
    }
    // Jet 3: the count byte, the boundary table (an entry for each 256-byte
    // boundary the row crosses, the last a filler when only the tables cross
    // it), the offsets last to first, the end of data first.
    if (trailer < m_f.countSize + 1) return false;
    const unsigned count = row[trailer - 1];
    std::size_t jumps = (size - 1) / 256;
    if (trailer < m_f.countSize + 1 + jumps + count + 1) return false;
    const std::size_t first = trailer - 2 - jumps;  // column 0's offset
    m_tableStart = first - count;
    if (m_tableStart / 256 < jumps) --jumps;
    m_offsets.resize(count + 1);
    std::size_t used = 0;
    for (unsigned i = 0; i <= count; ++i) {
        while (used < jumps && i == row[trailer - 2 - used]) ++used;
        m_offsets[i] = row[first - i] + 256 * used;
    }
    return true;
}

bool RowCracker::crack(const unsigned char* row, std::size_t size) {
    if (size < m_f.countSize) return false;
    const unsigned count = m_f.jet3 ? row[0] : get16(row);
    const std::size_t maskSize = (count + 7) / 8;
    if (m_f.countSize + maskSize > size) return false;
    const unsigned char* mask = row + size - maskSize;
    const std::size_t trailer = size - maskSize;
    m_offsets.assign(1, trailer);
    m_tableStart = trailer;
    if (m_table.varColumns > 0 && !varOffsets(row, size, trailer)) return false;
    for (std::size_t i = 0; i < m_offsets.size(); ++i) {
        if (m_offsets[i] < m_f.countSize || m_offsets[i] > m_tableStart ||
            (i > 0 && m_offsets[i] < m_offsets[i - 1])) {
            return false;
        }
    }
    const std::size_t fixedEnd = m_offsets.front();
    const std::size_t rowVar = m_offsets.size() - 1;
    m_fields.assign(m_table.columns.size(), Field{});
    for (std::size_t i = 0; i < m_table.columns.size(); ++i) {
        const ColumnDef& c = m_table.columns[i];
        if (c.number >= count) continue;  // added after the row was written
        Field& field = m_fields[i];
        field.null = !(mask[c.number / 8] & (1u << (c.number % 8)));
        if (c.type == kTypeBool || field.null) continue;
        if (c.fixed) {
            field.start = m_f.countSize + c.fixedOffset;
            field.size = c.length;
            if (field.start + field.size > fixedEnd) return false;
        } else if (c.varIndex < rowVar) {
            field.start = m_offsets[c.varIndex];
            field.size = m_offsets[c.varIndex + 1] - field.start;
        } else {
            field.null = true;  // its slot came after the row was written
        }
    }
    return true;
}

Decode decodeOf(const ColumnDef& column) {
    if (column.calculated) return column.type == kTypeText ? Decode::Text : Decode::Unsupported;
    switch (column.type) {
        case kTypeText:
            return Decode::Text;
        case kTypeMemo:
            return Decode::Memo;
        case kTypeGuid:
            return Decode::Guid;
        case kTypeBool:
            return Decode::Bool;
        case kTypeByte:
            return Decode::Byte;
        case kTypeInt:
            return Decode::Int16;
        case kTypeLong:
        case kTypeComplex:
            return Decode::Int32;
        case kTypeFloat:
            return Decode::Single;
        case kTypeDouble:
        case kTypeDateTime:
            return Decode::Double;
        case kTypeMoney:
            return Decode::Money;
        default:
            return Decode::Unsupported;
    }
}

ColumnKind kindOf(Decode d) {
    switch (d) {
        case Decode::Text:
        case Decode::Memo:
        case Decode::Guid:
            return ColumnKind::Text;
        case Decode::Unsupported:
            return ColumnKind::Unsupported;
        default:
            return ColumnKind::Number;
    }
}

namespace {

std::size_t fixedSize(Decode d) {
    switch (d) {
        case Decode::Byte:
            return 1;
        case Decode::Int16:
            return 2;
        case Decode::Int32:
        case Decode::Single:
            return 4;
        case Decode::Double:
        case Decode::Money:
            return 8;
        case Decode::Guid:
            return 16;
        default:
            return 0;
    }
}

double number(Decode d, const unsigned char* v) {
    switch (d) {
        case Decode::Byte:
            return v[0];
        case Decode::Int16:
            return static_cast<std::int16_t>(get16(v));
        case Decode::Int32:
            return static_cast<std::int32_t>(get32(v));
        case Decode::Single: {
            float single;
            std::memcpy(&single, v, 4);
            return single;
        }
        case Decode::Double: {
            double value;
            std::memcpy(&value, v, 8);
            return value;
        }
        default: {  // Money: units of 1/10,000
            const std::uint64_t bits = get32(v) | (static_cast<std::uint64_t>(get32(v + 4)) << 32);
            return static_cast<double>(static_cast<std::int64_t>(bits)) / 10000.0;
        }
    }
}

// A Replication ID as Access shows it: {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX},
// the first three groups stored little-endian, the last two as they lie.
std::string guidText(const unsigned char* v) {
    static const char kHex[] = "0123456789ABCDEF";
    static const int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    std::string out = "{";
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
        out += kHex[v[kOrder[i]] >> 4];
        out += kHex[v[kOrder[i]] & 0xF];
    }
    return out + "}";
}

}  // namespace

Decoded FieldDecoder::text(std::string value) {
    m_text = std::move(value);
    return {Decoded::Kind::Text, m_text, 0};
}

// A calculated column (Access 2010 and later) keeps each value behind a
// header of its own: 16 bytes, the value's length (4 bytes), the value, and
// padding. Only text results are read: a number is kept in the type the
// expression gives, not the one the column declares (a Double column of
// Access's own test file holds Currency values, others Decimal ones, a Yes/No
// result one byte), so decodeOf makes a calculated number column
// unsupported; a text value that does not fit its header is unreadable.
Decoded FieldDecoder::calculated(const unsigned char* v, std::size_t size) {
    constexpr std::size_t kHead = 20;
    if (size < kHead || get32(v + 16) > size - kHead) return {Decoded::Kind::Unreadable, {}, 0};
    return text(jetTextToUtf8(
        std::string_view(reinterpret_cast<const char*>(v) + kHead, get32(v + 16)), m_form));
}

Decoded FieldDecoder::decode(const ColumnDef& column, Decode d, const unsigned char* row,
                             const Field& f, const RowPlace& at) {
    if (d == Decode::Bool) return {Decoded::Kind::Number, {}, f.null ? 0.0 : -1.0};
    if (f.null || d == Decode::Unsupported) return {};
    const unsigned char* v = row + f.start;
    if (column.calculated) return calculated(v, f.size);
    if (d == Decode::Text || d == Decode::Memo) {
        if (f.size == 0) return text({});
        if (d == Decode::Text)
            return text(jetTextToUtf8(std::string_view(reinterpret_cast<const char*>(v), f.size),
                                      m_form));
        return text(jetTextToUtf8(longValueBytes(m_file, v, f.size, at, m_longValue), m_form));
    }
    if (f.size != fixedSize(d)) {
        damaged(at.text() + (d == Decode::Guid ? ": identificativo di replica di lunghezza errata"
                                               : ": valore numerico di lunghezza errata"));
    }
    if (d == Decode::Guid) return text(guidText(v));
    return {Decoded::Kind::Number, {}, number(d, v)};
}

}  // namespace velmora::jet
