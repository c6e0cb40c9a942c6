// Long values (memo text): a 12-byte head in the row (the length in 30 bits
// and where the bytes are: 0x80 in the row after the head, 0x40 in one row
// of a long-value page, neither in a chain of such rows, each starting with
// where the next is), then the bytes.
#pragma once

#include <cstddef>
#include <string>

#include "jet/JetFile.h"
#include "jet/RowWalk.h"

namespace velmora::jet {

// The largest memo the engine reads.
constexpr std::size_t kMaxMemoBytes = 16u << 20;

// The stored bytes of the long value whose head is at v, `size` bytes of the
// row at `at`. A long-value page is a data page whose owner reads "LVAL".
// The bytes must reach the length the head gives (bytes beyond it are not
// the value's), and a chain must not come back to a row it has been
// through. page is scratch space. Throws MdbFileError (Damaged).
std::string longValueBytes(const JetFile& file, const unsigned char* v, std::size_t size,
                           const RowPlace& at, PageBuffer& page);

}  // namespace velmora::jet
