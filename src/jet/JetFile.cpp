// Opening a Jet file and reading its pages.
//
// Page 0 starts 00 01 00 00, then "Standard Jet DB" (or "Standard ACE DB"),
// and the version at 0x14: 0 Jet 3, 1 Jet 4, 2 to 6 the ACE versions of
// Access 2007 to 2019, which keep Jet 4's pages. From 0x18 a block of 126
// (Jet 3) or 128 bytes is masked with RC4 under a fixed key; in it, the code
// page at 0x3C and the database key at 0x3E. A database with a key is
// "encoded": every other page is masked with RC4 under the key XOR the
// page's number.
#include "jet/JetFile.h"

#include <array>
#include <cstring>
#include <filesystem>

namespace velmora::jet {

namespace {

constexpr unsigned kLastVersion = 6;  // Access 2019
constexpr std::size_t kHeaderBytes = 0x98;
constexpr std::size_t kMasked = 0x18;

// XORs the RC4 key stream of the 4-byte key over bytes.
void rc4(std::uint32_t key, unsigned char* bytes, std::size_t count) {
    const unsigned char k[4] = {static_cast<unsigned char>(key), static_cast<unsigned char>(key >> 8),
                                static_cast<unsigned char>(key >> 16),
                                static_cast<unsigned char>(key >> 24)};
    std::array<unsigned char, 256> s;
    for (std::size_t i = 0; i < 256; ++i) s[i] = static_cast<unsigned char>(i);
    unsigned char j = 0;
    for (std::size_t i = 0; i < 256; ++i) {
        j = static_cast<unsigned char>(j + s[i] + k[i % 4]);
        std::swap(s[i], s[j]);
    }
    unsigned char a = 0, b = 0;
    for (std::size_t n = 0; n < count; ++n) {
        a = static_cast<unsigned char>(a + 1);
        b = static_cast<unsigned char>(b + s[a]);
        std::swap(s[a], s[b]);
        bytes[n] ^= s[static_cast<unsigned char>(s[a] + s[b])];
    }
}

std::string bytesText(std::uintmax_t size) { return std::to_string(size) + " byte"; }

// The file's size, or the reason it has none. Throws MdbFileError.
std::uintmax_t sizeOf(const FileAccess& files, const std::string& path) {
    if (auto stamp = files.stamp(path)) return stamp->size;
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::path(path), ec))
        damaged("non è un file: " + path);
    throw MdbFileError(MdbFileError::Kind::Missing, "file non trovato: " + path);
}

}  // namespace

JetFile::JetFile(const FileAccess& files, const std::string& path) {
    const std::uintmax_t size = sizeOf(files, path);
    m_file = files.open(path);
    if (!m_file) damaged("file non apribile: " + path);
    unsigned char head[kHeaderBytes] = {};
    const std::size_t got = m_file->readAt(0, head, sizeof head);
    if (got < 0x20) damaged("file troppo corto (" + bytesText(size) + ")");
    static const unsigned char kMagic[4] = {0x00, 0x01, 0x00, 0x00};
    if (std::memcmp(head, kMagic, 4) != 0 || (std::memcmp(head + 4, "Standard Jet DB", 15) != 0 &&
                                              std::memcmp(head + 4, "Standard ACE DB", 15) != 0)) {
        damaged("intestazione Jet mancante");
    }
    const unsigned version = head[0x14];
    if (version > kLastVersion)
        damaged("versione del formato sconosciuta (" + std::to_string(version) + ")");
    m_format = version == 0 ? &jet3Format() : &jet4Format();
    const std::size_t pageSize = m_format->pageSize;
    if (size % pageSize != 0) {
        damaged("dimensione " + bytesText(size) + ": non è un numero intero di pagine da " +
                std::to_string(pageSize) + " (file troncato?)");
    }
    if (size / pageSize < 3 || got < sizeof head)
        damaged("file troppo corto (" + bytesText(size) + ")");
    if (size / pageSize > 0xFFFFFFu) damaged("file troppo grande");
    m_pageCount = static_cast<std::uint32_t>(size / pageSize);
    rc4(0x6B39DAC7u, head + kMasked, m_format->jet3 ? 126 : 128);
    m_key = get32(head + 0x3E);
}

void JetFile::read(std::uint32_t page, PageBuffer& into) const {
    if (page >= m_pageCount) damaged("pagina " + std::to_string(page) + " oltre la fine del file");
    const std::size_t size = pageSize();
    into.resize(size);
    if (m_file->readAt(static_cast<std::uint64_t>(page) * size, into.data(), size) != size)
        damaged("pagina " + std::to_string(page) + " non leggibile");
    if (m_key != 0 && page != 0) rc4(m_key ^ page, into.data(), size);
}

std::size_t checkDatabaseFile(const FileAccess& files, const std::string& path) {
    return JetFile(files, path).pageSize();
}

}  // namespace velmora::jet
