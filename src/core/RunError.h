// The one error type that stops an export run. It carries the Italian message
// shown to the operator and a technical detail (database, table, record,
// column, address) for the monitor and the maintainer.
#pragma once

#include <stdexcept>
#include <string>

namespace velmora {

class RunError : public std::runtime_error {
public:
    explicit RunError(std::string message, std::string detail = {})
        : std::runtime_error(message), m_message(std::move(message)), m_detail(std::move(detail)) {}

    // Italian text for the operator, e.g. "Dati non validi in Comuni.mdb ...".
    const std::string& message() const { return m_message; }
    // Technical detail; may be empty.
    const std::string& detail() const { return m_detail; }
    // Message and detail on separate lines (CR LF), as shown in the monitor.
    std::string fullText() const {
        return m_detail.empty() ? m_message : m_message + "\r\n" + m_detail;
    }

private:
    std::string m_message;
    std::string m_detail;
};

}  // namespace velmora
