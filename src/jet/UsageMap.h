// A table's usage map: which pages it owns. The map lives in a row (page << 8
// | row) of a data page: type 0 names a first page, then holds one bit a page
// from it; type 1 names bitmap pages (kind 5), each holding the bits of
// (page size - 4) * 8 pages from its place in the list on.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "jet/JetFile.h"

namespace velmora::jet {

// The pages the map at pageRow lists, increasing, each inside the file
// (page 0 never). Throws MdbFileError (Damaged).
std::vector<std::uint32_t> mappedPages(const JetFile& file, std::uint32_t pageRow,
                                       std::string_view table);

// Checks that pageRow names a row of a data page (the free-space map, which
// the engine does not use otherwise). Throws MdbFileError (Damaged).
void checkMapRow(const JetFile& file, std::uint32_t pageRow, std::string_view table);

}  // namespace velmora::jet
