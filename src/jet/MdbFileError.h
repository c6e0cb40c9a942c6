// The one error of reading a database file, with what kind of trouble it is.
#pragma once

#include <stdexcept>
#include <string>

namespace velmora::jet {

class MdbFileError : public std::runtime_error {
public:
    // Inconsistent: the table's pages disagree with what it declares (row
    // count, page owners, row places); the detail names the table.
    // Changed: a row read from the file on demand is no longer the one the
    // table was read with (the file was written in between).
    enum class Kind { Missing, Damaged, NoSuchTable, Inconsistent, Changed };
    MdbFileError(Kind kind, std::string detail)
        : std::runtime_error(detail), m_kind(kind), m_detail(std::move(detail)) {}
    Kind kind() const { return m_kind; }
    const std::string& detail() const { return m_detail; }

private:
    Kind m_kind;
    std::string m_detail;
};

// A file that is not what it should be.
[[noreturn]] inline void damaged(const std::string& detail) {
    throw MdbFileError(MdbFileError::Kind::Damaged, detail);
}

// A table whose pages disagree with what it declares.
[[noreturn]] inline void inconsistent(const std::string& detail) {
    throw MdbFileError(MdbFileError::Kind::Inconsistent, detail);
}

}  // namespace velmora::jet
