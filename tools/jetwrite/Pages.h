// The page level of the writer: the two formats' page geometry, little-endian
// stores, the output file written page by page, and data pages filled with
// rows from their end (table rows, map rows and long values alike).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "jetwrite/JetWriter.h"

namespace velmora::jetwrite::detail {

// Where the two versions differ below the table level.
struct Format {
    JetVersion version;
    std::size_t pageSize;          // 2 KB (Jet 3), 4 KB (Jet 4)
    std::size_t rowCountOffset;    // data page: its row count, then the slots
    std::size_t definitionHeader;  // table definition before its column entries
    std::size_t columnEntry;       // bytes of one column entry
    std::size_t inlineMap;         // bytes of a type 0 usage map row
    std::uint32_t maxPages;        // the version's file size limit

    bool jet3() const { return version == JetVersion::Jet3; }
    std::size_t dataHeader() const { return rowCountOffset + 2; }
    // The most a row may take: the page less its header and the row's slot.
    std::size_t maxRowSize() const { return pageSize - dataHeader() - 2; }
};

const Format& formatOf(JetVersion version);

constexpr std::size_t kMaxRowsPerPage = 255;  // row numbers in page pointers are one byte

// 'LVAL' where a long-value page keeps its owner.
constexpr std::uint32_t kLongValueOwner = 0x4C41564Cu;

[[noreturn]] void fail(const std::string& what);

void put16(std::uint8_t* at, std::uint32_t value);
void put32(std::uint8_t* at, std::uint32_t value);
void append16(std::vector<std::uint8_t>& out, std::uint32_t value);
void append32(std::vector<std::uint8_t>& out, std::uint32_t value);

// XORs the RC4 key stream of key over bytes (the header page's mask).
void rc4Mask(const std::uint8_t* key, std::size_t keySize, std::uint8_t* bytes, std::size_t count);

// The output file, written page by page in any order.
class PageFile {
public:
    // key: the database key, every page but the first masked under it.
    PageFile(const std::filesystem::path& path, std::size_t pageSize, std::uint32_t key = 0);
    void write(std::uint32_t page, const std::uint8_t* bytes);
    void close();

private:
    std::filesystem::path m_path;
    std::size_t m_pageSize;
    std::uint32_t m_key;
    std::vector<std::uint8_t> m_masked;
    std::ofstream m_out;
};

// A data page being filled: slot offsets grow from the header, rows from the
// end.
class DataPage {
public:
    DataPage(const Format& format, std::uint32_t owner);

    bool empty() const { return m_rows == 0; }
    bool fits(std::size_t rowSize) const;
    // Adds a row; returns its row number on the page.
    std::uint32_t add(const std::vector<std::uint8_t>& row);
    // The page's bytes with its header filled in.
    const std::vector<std::uint8_t>& finish();
    void clear();

private:
    const Format* m_format;
    std::vector<std::uint8_t> m_page;
    std::uint32_t m_owner;
    std::size_t m_rows = 0;
    std::size_t m_top = 0;
};

}  // namespace velmora::jetwrite::detail
