// The memory line sink of the stay writers.
#include "stays/LineSink.h"

#include "core/Text.h"

namespace velmora {

std::string MemoryLineSink::text() const {
    std::string out;
    for (const auto& line : m_lines) {
        out += line;
        out += kCrLf;
    }
    return out;
}

}  // namespace velmora
