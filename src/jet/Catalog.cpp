// Looking tables up in the catalog.
#include "jet/Catalog.h"

#include "jet/FieldDecoder.h"
#include "jet/TextFold.h"

namespace velmora::jet {

namespace {

constexpr std::uint32_t kCatalogPage = 2;
constexpr unsigned kTableObject = 1;  // Type, its low 7 bits

// The index in def.columns of the column of that name and type, or -1.
int columnOf(const TableDef& def, std::string_view name, unsigned type) {
    for (std::size_t i = 0; i < def.columns.size(); ++i)
        if (def.columns[i].type == type && equalFolded(def.columns[i].name, name))
            return static_cast<int>(i);
    return -1;
}

}  // namespace

std::vector<std::uint32_t> findTablePages(const JetFile& file, std::string_view name) {
    const TableDef def = readTableDef(file, kCatalogPage, "MSysObjects");
    const int id = columnOf(def, "Id", kTypeLong);
    const int objectName = columnOf(def, "Name", kTypeText);
    const int type = columnOf(def, "Type", kTypeInt);
    if (id < 0 || objectName < 0 || type < 0) damaged("catalogo degli oggetti non leggibile");
    FieldDecoder decoder(file);
    RowCracker cracker(file.format(), def);
    std::vector<std::uint32_t> pages;
    // The catalog's own count is not checked: a table missing from it is
    // reported as missing.
    RowWalker(file, def, false).walk([&](const PageBuffer& page, const RowSpan& row,
                                         const RowPlace& at) {
        const unsigned char* bytes = page.data() + row.start;
        if (!cracker.crack(bytes, row.size()))
            damaged("catalogo, " + at.text() + ": voce non valida");
        auto value = [&](int column, Decode d) {
            return decoder.decode(def.columns[column], d, bytes, cracker.fields()[column], at);
        };
        const Decoded kind = value(type, Decode::Int16);
        if (kind.kind != Decoded::Kind::Number ||
            (static_cast<unsigned>(static_cast<int>(kind.number)) & 0x7F) != kTableObject) {
            return;
        }
        const Decoded objectId = value(id, Decode::Int32);
        if (objectId.kind != Decoded::Kind::Number) return;
        const auto tablePage =
            static_cast<std::uint32_t>(static_cast<std::int64_t>(objectId.number)) & 0xFFFFFF;
        const Decoded text = value(objectName, Decode::Text);
        if (text.kind == Decoded::Kind::Text && equalFolded(text.text, name))
            pages.push_back(tablePage);
    });
    return pages;
}

}  // namespace velmora::jet
