// One row of a table as Jet 3 or Jet 4 stores it, memo values placed in the
// row or on long-value pages.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Pages.h"
#include "TableLayout.h"

namespace velmora::jetwrite::detail {

// Where long values go: each call stores one value's bytes on long-value
// pages and returns where its first row is (page << 8 | row).
class LongValueSink {
public:
    virtual ~LongValueSink() = default;
    // In one row of a page.
    virtual std::uint32_t storeSingle(const std::vector<std::uint8_t>& bytes) = 0;
    // In rows over several pages, each row starting with where the next is.
    virtual std::uint32_t storeChain(const std::vector<std::uint8_t>& bytes) = 0;
};

// A memo value takes its row's room up to this many bytes.
constexpr std::size_t kMaxInlineMemo = 64;

class RowEncoder {
public:
    RowEncoder(const Format& format, LongValueSink& longValues)
        : m_format(format), m_longValues(longValues) {}

    // Encodes one row: column count, fixed columns, variable data, then the
    // end of the data, the variable offsets last to first (in Jet 3 one byte
    // each, with a table of the 256-byte boundaries they cross), their count,
    // and the null mask (bit set = not Null). cells may be fewer than the
    // columns (the row predates the rest). Throws "column NAME: what" for a
    // bad value.
    void encode(const TableLayout& table, const std::vector<Cell>& cells,
                std::vector<std::uint8_t>& out);

private:
    void storeValue(const ColumnLayout& column, const std::string& value,
                    std::vector<std::uint8_t>& out);
    void storeMemo(const std::string& value, std::vector<std::uint8_t>& out);
    void appendVarTable(std::vector<std::uint8_t>& out, std::size_t rowVar);
    std::string rowTooLarge(std::size_t size) const;

    const Format& m_format;
    LongValueSink& m_longValues;
    std::vector<std::uint8_t> m_nullMask;
    std::vector<std::uint16_t> m_varOffsets;
    std::u16string m_units;
    std::vector<std::uint8_t> m_bytes;
};

}  // namespace velmora::jetwrite::detail
