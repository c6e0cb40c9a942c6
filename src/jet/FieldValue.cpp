// Text and number forms of a field value.
#include <charconv>
#include <cmath>

#include "DBEngine.h"
#include "core/Text.h"

namespace velmora {

std::string FieldValue::asText() const {
    if (const auto* s = std::get_if<std::string>(&m_data)) return *s;
    if (const auto* d = std::get_if<double>(&m_data)) {
        double v = *d;
        if (std::isfinite(v) && v == std::floor(v) && std::fabs(v) < 1e15) {
            return std::to_string(static_cast<long long>(v));
        }
        char buf[64];
        auto res = std::to_chars(buf, buf + sizeof buf, v);
        return std::string(buf, res.ptr);
    }
    return {};
}

double FieldValue::asNumber() const {
    if (const auto* d = std::get_if<double>(&m_data)) return *d;
    if (const auto* s = std::get_if<std::string>(&m_data)) return numericValue(*s);
    return 0;
}

}  // namespace velmora
