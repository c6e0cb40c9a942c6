// Reading usage maps, both kinds.
#include "jet/UsageMap.h"

namespace velmora::jet {

namespace {

// The bytes of the map row at pageRow, in page (which keeps them).
RowSpan mapRow(const JetFile& file, std::uint32_t pageRow, std::string_view table,
               PageBuffer& page) {
    const std::uint32_t number = pageRow >> 8, row = pageRow & 0xFF;
    auto invalid = [&] {
        damaged("mappa delle pagine della tabella " + std::string(table) + " non valida (pagina " +
                std::to_string(number) + ")");
    };
    if (number == 0 || number >= file.pageCount()) invalid();
    file.read(number, page);
    unsigned rows = 0;
    RowSpan span;
    if (page[0] != kPageData || !slotCount(file.format(), page, rows) || row >= rows ||
        !rowSpan(file.format(), page, row, span)) {
        invalid();
    }
    return span;
}

// Adds each set bit's page (first + bit) to pages, checking that pages go up
// and stay inside the file.
void takeBits(const unsigned char* bits, std::size_t bytes, std::uint64_t first,
              std::uint32_t pageCount, std::vector<std::uint32_t>& pages) {
    for (std::size_t i = 0; i < bytes * 8; ++i) {
        if (!(bits[i / 8] & (1u << (i % 8)))) continue;
        const std::uint64_t page = first + i;
        if (page == 0) continue;  // page 0 is never a data page
        if (page >= pageCount || (!pages.empty() && page <= pages.back()))
            damaged("mappa delle pagine non valida");
        pages.push_back(static_cast<std::uint32_t>(page));
    }
}

}  // namespace

std::vector<std::uint32_t> mappedPages(const JetFile& file, std::uint32_t pageRow,
                                       std::string_view table) {
    PageBuffer page;
    const RowSpan span = mapRow(file, pageRow, table, page);
    const unsigned char* map = page.data() + span.start;
    const std::size_t size = span.size();
    std::vector<std::uint32_t> pages;
    if (size < 1) damaged("mappa delle pagine mancante");
    if (map[0] == 0) {
        if (size < 5) damaged("mappa delle pagine non valida");
        takeBits(map + 5, size - 5, get32(map + 1), file.pageCount(), pages);
        return pages;
    }
    if (map[0] != 1) damaged("mappa delle pagine di tipo sconosciuto");
    // Each bitmap page is read once, in the order of the list.
    const std::size_t perBitmap = (file.pageSize() - 4) * 8;
    PageBuffer bitmap;
    for (std::size_t k = 0; 1 + 4 * k + 4 <= size; ++k) {
        const std::uint32_t mapPage = get32(map + 1 + 4 * k);
        if (mapPage == 0) continue;
        if (mapPage >= file.pageCount())
            damaged("pagina " + std::to_string(mapPage) + " della mappa non valida");
        file.read(mapPage, bitmap);
        if (bitmap[0] != kPageMap)
            damaged("pagina " + std::to_string(mapPage) + " della mappa non valida");
        takeBits(bitmap.data() + 4, file.pageSize() - 4, std::uint64_t{k} * perBitmap,
                 file.pageCount(), pages);
    }
    return pages;
}

void checkMapRow(const JetFile& file, std::uint32_t pageRow, std::string_view table) {
    PageBuffer page;
    mapRow(file, pageRow, table, page);
}

}  // namespace velmora::jet
