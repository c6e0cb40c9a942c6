// libFuzzer entry for the engine's page and row decoders: every input is read
// as a database file (its catalog, table T's definition, usage map, rows,
// fields and long values, and T's columns left in the file fetched a row at
// a time) and must read, or be refused with MdbFileError; never a crash, a
// hang or a sanitizer report. Seeded with jetwrite's files (scripts/fuzz).
// Built only with -DVELMORA_FUZZ=ON and Clang; see tests/jet/CMakeLists.txt.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "jet/MdbReader.h"

namespace {

class MemoryFile : public velmora::RandomAccessFile {
public:
    MemoryFile(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    std::size_t readAt(std::uint64_t offset, void* into, std::size_t size) override {
        if (offset >= m_size) return 0;
        const std::size_t n = std::min<std::uint64_t>(size, m_size - offset);
        std::memcpy(into, m_data + offset, n);
        return n;
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
};

class MemoryFiles : public velmora::FileAccess {
public:
    MemoryFiles(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    std::optional<velmora::FileStamp> stamp(const std::string&) const override {
        velmora::FileStamp stamp;
        stamp.size = m_size;
        return stamp;
    }
    std::unique_ptr<velmora::RandomAccessFile> open(const std::string&) const override {
        return std::make_unique<MemoryFile>(m_data, m_size);
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using velmora::jet::readMdbTable;
    const MemoryFiles files(data, size);
    auto first = [](std::string_view name) { return name == "C0" || name == "Id"; };
    try {
        readMdbTable("f.mdb", "MSysObjects", {}, {}, files);
        auto table = readMdbTable("f.mdb", "T", {}, first, files);
        if (const auto& source = table->source()) {
            for (std::size_t row = 0; row < table->rowCount(); ++row) source->fetch(*table, row);
        }
    } catch (const velmora::jet::MdbFileError&) {
    }
    return 0;
}
