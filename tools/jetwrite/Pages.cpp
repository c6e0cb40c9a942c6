// Page geometry of Jet 3 and Jet 4, and the page-level pieces of the writer.
#include "Pages.h"

#include <algorithm>
#include <array>
#include <stdexcept>

namespace velmora::jetwrite::detail {

const Format& formatOf(JetVersion version) {
    // The size limit is 2^19 pages either way: 1 GB for Jet 3, 2 GB for Jet 4.
    static const Format kJet4{JetVersion::Jet4, 4096, 12, 63, 25, 64, 1u << 19};
    static const Format kJet3{JetVersion::Jet3, 2048, 8, 43, 18, 128, 1u << 19};
    return version == JetVersion::Jet3 ? kJet3 : kJet4;
}

void fail(const std::string& what) { throw std::runtime_error(what); }

void put16(std::uint8_t* at, std::uint32_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

void put32(std::uint8_t* at, std::uint32_t value) {
    put16(at, value & 0xFFFF);
    put16(at + 2, value >> 16);
}

void append16(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void append32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    append16(out, value & 0xFFFF);
    append16(out, value >> 16);
}

void rc4Mask(const std::uint8_t* key, std::size_t keySize, std::uint8_t* bytes,
             std::size_t count) {
    std::array<std::uint8_t, 256> s;
    for (std::size_t i = 0; i < 256; ++i) s[i] = static_cast<std::uint8_t>(i);
    std::uint8_t j = 0;
    for (std::size_t i = 0; i < 256; ++i) {
        j = static_cast<std::uint8_t>(j + s[i] + key[i % keySize]);
        std::swap(s[i], s[j]);
    }
    std::uint8_t a = 0;
    std::uint8_t b = 0;
    for (std::size_t n = 0; n < count; ++n) {
        a = static_cast<std::uint8_t>(a + 1);
        b = static_cast<std::uint8_t>(b + s[a]);
        std::swap(s[a], s[b]);
        bytes[n] ^= s[static_cast<std::uint8_t>(s[a] + s[b])];
    }
}

PageFile::PageFile(const std::filesystem::path& path, std::size_t pageSize, std::uint32_t key)
    : m_path(path), m_pageSize(pageSize), m_key(key) {
    m_out.open(path, std::ios::binary | std::ios::trunc);
    if (!m_out) fail(path.string() + ": cannot create the file");
}

void PageFile::write(std::uint32_t page, const std::uint8_t* bytes) {
    if (m_key != 0 && page != 0) {
        m_masked.assign(bytes, bytes + m_pageSize);
        const std::uint32_t key = m_key ^ page;
        const std::uint8_t k[4] = {static_cast<std::uint8_t>(key), static_cast<std::uint8_t>(key >> 8),
                                   static_cast<std::uint8_t>(key >> 16),
                                   static_cast<std::uint8_t>(key >> 24)};
        rc4Mask(k, 4, m_masked.data(), m_pageSize);
        bytes = m_masked.data();
    }
    m_out.seekp(static_cast<std::streamoff>(page) * static_cast<std::streamoff>(m_pageSize));
    m_out.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(m_pageSize));
    if (!m_out) fail(m_path.string() + ": cannot write the file");
}

void PageFile::close() {
    m_out.close();
    if (!m_out) fail(m_path.string() + ": cannot write the file");
}

DataPage::DataPage(const Format& format, std::uint32_t owner)
    : m_format(&format), m_owner(owner) {
    clear();
}

bool DataPage::fits(std::size_t rowSize) const {
    return m_rows < kMaxRowsPerPage &&
           m_top - (m_format->dataHeader() + 2 * m_rows) >= rowSize + 2;
}

std::uint32_t DataPage::add(const std::vector<std::uint8_t>& row) {
    if (!fits(row.size())) fail("a row does not fit on its page");
    m_top -= row.size();
    std::copy(row.begin(), row.end(), m_page.begin() + static_cast<std::ptrdiff_t>(m_top));
    put16(m_page.data() + m_format->dataHeader() + 2 * m_rows, static_cast<std::uint32_t>(m_top));
    return static_cast<std::uint32_t>(m_rows++);
}

const std::vector<std::uint8_t>& DataPage::finish() {
    put16(m_page.data() + 2,
          static_cast<std::uint32_t>(m_top - (m_format->dataHeader() + 2 * m_rows)));
    put32(m_page.data() + 4, m_owner);
    put16(m_page.data() + m_format->rowCountOffset, static_cast<std::uint32_t>(m_rows));
    return m_page;
}

void DataPage::clear() {
    m_page.assign(m_format->pageSize, 0);
    m_page[0] = 0x01;
    m_page[1] = 0x01;
    m_rows = 0;
    m_top = m_format->pageSize;
}

}  // namespace velmora::jetwrite::detail
