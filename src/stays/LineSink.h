// Where the stay writers put the lines of a document: each line is handed
// over without its line end. The export and the check keep them in memory.
#pragma once

#include <string>
#include <string_view>
#include <vector>


namespace velmora {

class LineSink {
public:
    virtual ~LineSink() = default;
    virtual void writeLine(std::string_view line) = 0;
};

// Lines kept in memory.
class MemoryLineSink : public LineSink {
public:
    void writeLine(std::string_view line) override { m_lines.emplace_back(line); }
    const std::vector<std::string>& lines() const { return m_lines; }
    // The lines as the stays file holds them, each followed by CR LF.
    std::string text() const;

private:
    std::vector<std::string> m_lines;
};

}  // namespace velmora
