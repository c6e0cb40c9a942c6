// Where things lie in a Jet file, Jet 3 (Access 97: 2 KB pages) and Jet 4
// (Access 2000 and later, the ACE versions included: 4 KB pages). Every
// number is little-endian. Offsets follow the public notes on the format
// (mdbtools' HACKING), checked against files Access wrote.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velmora::jet {

inline std::uint32_t get16(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8);
}
inline std::uint32_t get32(const unsigned char* p) {
    return get16(p) | (get16(p + 2) << 16);
}

using PageBuffer = std::vector<unsigned char>;

// The first byte of a page says what it holds.
enum PageKind : unsigned char {
    kPageData = 0x01,        // rows of a table (or long values, or usage maps)
    kPageDefinition = 0x02,  // a table definition, or its continuation
    kPageMap = 0x05,         // a bitmap page of a large table's usage map
};

// A row slot on a data page: the row's offset in the low 13 bits; 0x8000
// deleted; 0x4000 a pointer (4 bytes: page << 8 | row) to where an update
// moved the row.
constexpr unsigned kDeletedFlag = 0x8000;
constexpr unsigned kPointerFlag = 0x4000;
constexpr unsigned kOffsetMask = 0x1FFF;

struct JetFormat {
    bool jet3;
    std::size_t pageSize;
    std::size_t rowCountOffset;  // data page: the row count, then the slots
    std::size_t countSize;       // a row's column count and Jet 3's offsets: 1 or 2 bytes

    // Table definition (offsets into the definition as one byte stream).
    std::size_t defRowCount;
    std::size_t defRowColumns;   // columns a row may hold, deleted ones included
    std::size_t defVarColumns;   // variable-length slots (Jet 4: deleted ones included)
    std::size_t defColumns;      // live columns
    std::size_t defIndexes;
    std::size_t defRealIndexes;
    std::size_t defUsedMap;      // page << 8 | row of the usage map row
    std::size_t defFreeMap;
    std::size_t defFirstEntry;   // the real indexes' entries, then the columns'
    std::size_t realIndexEntry;
    std::size_t columnEntry;

    // Column entry.
    std::size_t colNumber;       // also its bit in the null mask
    std::size_t colVarIndex;
    std::size_t colFlags;        // 0x01 fixed length
    std::size_t colExtFlags;     // Jet 4: 0xC0 calculated (0: none)
    std::size_t colFixedOffset;
    std::size_t colLength;

    std::size_t slotsEnd(unsigned rows) const { return rowCountOffset + 2 + 2 * rows; }
};

inline const JetFormat& jet3Format() {
    static const JetFormat f{true, 2048, 8, 1, 12, 21, 23, 25, 27, 31, 35, 39, 43, 8, 18,
                             1,    3,    13, 0, 14, 16};
    return f;
}

inline const JetFormat& jet4Format() {
    static const JetFormat f{false, 4096, 12, 2,  16, 41, 43, 45, 47, 51, 55, 59, 63, 12, 25,
                             5,     7,    15, 16, 21, 23};
    return f;
}

// Where a row lies on a data page: its bytes [start, end) and its slot's
// flags. A row ends where the row before it in the slot table starts (the
// first one at the page's end), whatever that row's flags.
struct RowSpan {
    std::size_t start = 0, end = 0;
    unsigned flags = 0;
    std::size_t size() const { return end - start; }
};

// The rows a data page declares, or none when its slot table would not fit.
inline bool slotCount(const JetFormat& f, const PageBuffer& page, unsigned& rows) {
    rows = get16(page.data() + f.rowCountOffset);
    return f.slotsEnd(rows) <= f.pageSize;
}

// The span of row `row` (< the page's row count); false when its slot points
// outside the page or past the row before it.
inline bool rowSpan(const JetFormat& f, const PageBuffer& page, unsigned row, RowSpan& span) {
    const unsigned raw = get16(page.data() + f.rowCountOffset + 2 + 2 * row);
    span.flags = raw & ~kOffsetMask;
    span.start = raw & kOffsetMask;
    span.end = row == 0 ? f.pageSize
                        : get16(page.data() + f.rowCountOffset + 2 * row) & kOffsetMask;
    return span.start < f.pageSize && span.start <= span.end && span.end <= f.pageSize;
}

}  // namespace velmora::jet
