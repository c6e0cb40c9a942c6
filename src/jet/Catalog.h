// The catalog: MSysObjects, whose definition is always on page 2, lists every
// object of the database; a table's row holds its name and, in its Id, the
// page of its definition.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "jet/JetFile.h"

namespace velmora::jet {

// The definition pages of the live tables named so (letters compared without
// regard to case), in catalog order. Throws MdbFileError (Damaged).
std::vector<std::uint32_t> findTablePages(const JetFile& file, std::string_view name);

}  // namespace velmora::jet
