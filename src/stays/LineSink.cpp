// The two line sinks of the stay writers.
#include "stays/LineSink.h"

#include "core/Text.h"

namespace velmora {

void FileLineSink::writeLine(std::string_view line) {
    m_buffer.assign(line);
    m_buffer += kCrLf;
    m_writer.write(m_buffer);
}

std::string MemoryLineSink::text() const {
    std::string out;
    for (const auto& line : m_lines) {
        out += line;
        out += kCrLf;
    }
    return out;
}

}  // namespace velmora
