// Row encoding of the writer, Jet 3 and Jet 4.
#include "RowEncoder.h"

#include <cstring>

#include "CellEncoding.h"

namespace velmora::jetwrite::detail {

void RowEncoder::encode(const TableLayout& table, const std::vector<Cell>& cells,
                        std::vector<std::uint8_t>& out) {
    const std::size_t held = cells.size();
    if (held == 0 || held > table.columns.size()) {
        fail(std::to_string(held) + " cells where the table has " +
             std::to_string(table.columns.size()) + " columns");
    }
    // The fixed columns the row holds come first, in column order.
    std::size_t fixedEnd = 0, rowVar = 0;
    for (std::size_t i = 0; i < held; ++i) {
        const ColumnLayout& column = table.columns[i];
        if (column.fixed)
            fixedEnd = std::max<std::size_t>(fixedEnd, column.fixedOffset + column.fixedSize);
        else
            ++rowVar;
    }
    const std::size_t countSize = m_format.jet3() ? 1 : 2;
    out.assign(countSize + fixedEnd, 0);
    out[0] = static_cast<std::uint8_t>(held);
    if (!m_format.jet3()) out[1] = static_cast<std::uint8_t>(held >> 8);
    m_nullMask.assign((held + 7) / 8, 0);
    m_varOffsets.assign(rowVar, 0);
    for (std::size_t i = 0; i < held; ++i) {
        const ColumnLayout& column = table.columns[i];
        if (!column.fixed) m_varOffsets[column.varIndex] = static_cast<std::uint16_t>(out.size());
        if (!cells[i]) continue;
        m_nullMask[i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
        try {
            storeValue(column, *cells[i], out);
        } catch (const std::runtime_error& e) {
            fail("column " + column.name + ": " + e.what());
        }
        if (out.size() > m_format.maxRowSize()) fail(rowTooLarge(out.size()));
    }
    if (table.varCount > 0) appendVarTable(out, rowVar);
    out.insert(out.end(), m_nullMask.begin(), m_nullMask.end());
    if (out.size() > m_format.maxRowSize()) fail(rowTooLarge(out.size()));
}

// The end of the data and the variable offsets, last to first, then their
// count. Jet 4 stores each in two bytes. Jet 3 stores one byte each and,
// between the offsets and the count, one byte for each 256-byte boundary the
// row's length crosses, last first: the number of the first offset at or
// past it (the end of the data counting as the last offset). A boundary
// crossed only by this table itself is written 0xFF, and readers pass over
// it.
void RowEncoder::appendVarTable(std::vector<std::uint8_t>& out, std::size_t rowVar) {
    const std::size_t end = out.size();
    if (!m_format.jet3()) {
        append16(out, static_cast<std::uint32_t>(end));
        for (std::size_t k = rowVar; k-- > 0;) append16(out, m_varOffsets[k]);
        append16(out, static_cast<std::uint32_t>(rowVar));
        return;
    }
    std::vector<std::size_t> offsets(m_varOffsets.begin(), m_varOffsets.end());
    offsets.push_back(end);
    const std::size_t needed = end / 256;
    auto rowLength = [&](std::size_t jumps) {
        return end + offsets.size() + jumps + 1 + m_nullMask.size();
    };
    std::size_t jumps = needed;
    if ((rowLength(jumps) - 1) / 256 != jumps) ++jumps;
    if ((rowLength(jumps) - 1) / 256 != jumps || rowVar > 255)
        fail("the row's variable-length columns cannot be laid out in Jet 3");
    for (std::size_t k = offsets.size(); k-- > 0;)
        out.push_back(static_cast<std::uint8_t>(offsets[k] & 0xFF));
    std::vector<std::uint8_t> jumpTable;
    for (std::size_t boundary = 1; boundary <= needed; ++boundary) {
        std::size_t first = 0;
        while (offsets[first] < 256 * boundary) ++first;
        jumpTable.push_back(static_cast<std::uint8_t>(first));
    }
    if (jumps > needed) jumpTable.push_back(0xFF);
    for (std::size_t k = jumpTable.size(); k-- > 0;) out.push_back(jumpTable[k]);
    out.push_back(static_cast<std::uint8_t>(rowVar));
}

std::string RowEncoder::rowTooLarge(std::size_t size) const {
    return "the row needs " + std::to_string(size) + " bytes, more than the " +
           std::to_string(m_format.maxRowSize()) + " a page holds";
}

void RowEncoder::storeValue(const ColumnLayout& column, const std::string& value,
                            std::vector<std::uint8_t>& out) {
    const std::size_t countSize = m_format.jet3() ? 1 : 2;
    std::uint8_t* fixed = out.data() + countSize + column.fixedOffset;
    switch (column.jetType) {
        case kJetInteger:
            put16(fixed, static_cast<std::uint16_t>(parseInteger(value)));
            break;
        case kJetLong:
            put32(fixed, static_cast<std::uint32_t>(parseLong(value)));
            break;
        case kJetDouble: {
            const double number = parseDouble(value);
            std::uint64_t bits = 0;
            std::memcpy(&bits, &number, sizeof bits);
            put32(fixed, static_cast<std::uint32_t>(bits));
            put32(fixed + 4, static_cast<std::uint32_t>(bits >> 32));
            break;
        }
        case kJetText:
            decodeUtf8(value, m_units);
            checkTextLength(m_units, column.maxChars, value);
            appendText(out, m_units, m_format.version);
            break;
        case kJetMemo:
            storeMemo(value, out);
            break;
        case kJetLongBinary:
            fail("long binary values are not written");
    }
}

// A memo value: its length and where it lies (flags 0x80 in the row, 0x40 in
// one long-value row, none over a chain), the first long-value row, four
// zero bytes, and the text itself when it stays in the row. Jet 4 keeps
// values of up to 1,024 characters compressed where that is shorter.
void RowEncoder::storeMemo(const std::string& value, std::vector<std::uint8_t>& out) {
    decodeUtf8(value, m_units);
    m_bytes.clear();
    if (m_format.jet3() || m_units.size() <= 1024) {
        appendText(m_bytes, m_units, m_format.version);
    } else {
        if (m_units.front() == 0xFEFF) fail("a long memo cannot start with U+FEFF");
        appendUcs2(m_bytes, m_units);
    }
    const std::size_t length = m_bytes.size();
    if (length > 0x3FFFFFFF) fail("memo too long");
    std::uint32_t head = static_cast<std::uint32_t>(length), where = 0;
    if (length <= kMaxInlineMemo) {
        head |= 0x80000000u;
    } else if (length <= m_format.maxRowSize()) {
        head |= 0x40000000u;
        where = m_longValues.storeSingle(m_bytes);
    } else {
        where = m_longValues.storeChain(m_bytes);
    }
    append32(out, head);
    append32(out, where);
    append32(out, 0);
    if (length <= kMaxInlineMemo) out.insert(out.end(), m_bytes.begin(), m_bytes.end());
}

}  // namespace velmora::jetwrite::detail
