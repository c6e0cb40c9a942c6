// The error of a malformed criteria or SELECT text: what is wrong and where.
// The engine turns it into the run-stopping RunError that names the database,
// the table and the whole text.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

namespace velmora::jet {

class CriteriaError : public std::runtime_error {
public:
    // position: byte offset into the text where the fault starts.
    CriteriaError(std::string reason, std::size_t position)
        : std::runtime_error(reason), m_reason(std::move(reason)), m_position(position) {}

    // The error of a column name the table lacks.
    static CriteriaError unknownColumn(const std::string& name, std::size_t position) {
        CriteriaError e("colonna sconosciuta '" + name + "'", position);
        e.m_unknownColumn = name;
        return e;
    }

    const std::string& reason() const { return m_reason; }
    // The column name, when the error is an unknown column; empty otherwise.
    const std::string& unknownColumn() const { return m_unknownColumn; }
    std::size_t position() const { return m_position; }

    // "<reason> alla posizione N", N counting characters from 1.
    std::string describe(std::string_view text) const;

private:
    std::string m_reason;
    std::size_t m_position;
    std::string m_unknownColumn;
};

}  // namespace velmora::jet
