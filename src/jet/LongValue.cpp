// Reading long values.
#include "jet/LongValue.h"

#include <cstring>
#include <unordered_set>

namespace velmora::jet {

namespace {

constexpr std::size_t kHeadSize = 12;

}  // namespace

std::string longValueBytes(const JetFile& file, const unsigned char* v, std::size_t size,
                           const RowPlace& at, PageBuffer& page) {
    auto broken = [&](const std::string& why) {
        damaged(at.text() + ": promemoria non leggibile (" + why + ")");
    };
    if (size < kHeadSize) damaged(at.text() + ": promemoria non valido");
    const std::uint32_t head = get32(v);
    const std::size_t length = head & 0x3FFFFFFF;
    if (length > kMaxMemoBytes) damaged(at.text() + ": promemoria troppo lungo");
    if (head & 0x80000000u) {
        if (size - kHeadSize < length) broken("valore troncato");
        return std::string(reinterpret_cast<const char*>(v) + kHeadSize, length);
    }
    if ((head & 0xFF000000u) != 0 && !(head & 0x40000000u)) broken("intestazione non valida");
    const bool chained = !(head & 0x40000000u);
    const JetFormat& f = file.format();
    std::string out;
    std::unordered_set<std::uint32_t> visited;
    for (std::uint32_t pageRow = get32(v + 4);;) {
        const std::uint32_t number = pageRow >> 8, row = pageRow & 0xFF;
        if (!visited.insert(pageRow).second) broken("catena circolare");
        if (number == 0 || number >= file.pageCount()) broken("pagina fuori dal file");
        file.read(number, page);
        if (page[0] != kPageData || std::memcmp(page.data() + 4, "LVAL", 4) != 0)
            broken("la pagina " + std::to_string(number) + " non è di valori lunghi");
        unsigned rows = 0;
        RowSpan span;
        if (!slotCount(f, page, rows) || row >= rows) broken("riga assente");
        const std::size_t skip = chained ? 4 : 0;
        if (!rowSpan(f, page, row, span) || span.start < f.slotsEnd(rows) || span.size() < skip)
            broken("riga fuori dalla pagina");
        out.append(reinterpret_cast<const char*>(page.data()) + span.start + skip,
                   span.size() - skip);
        if (!chained || out.size() >= length) break;
        pageRow = get32(page.data() + span.start);
        if (pageRow == 0) break;
    }
    if (out.size() < length) broken("valore troncato");
    out.resize(length);
    return out;
}

}  // namespace velmora::jet
