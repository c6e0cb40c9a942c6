// Exchange log files in Velmora/, stamped to the minute, never replaced.
#include "service/ExchangeLog.h"

#include "core/LocalTime.h"
#include "core/Text.h"

namespace velmora {

std::string WriteExchangeLog(FileStore& files, const Clock& clock, std::string_view prefix,
                             std::string_view text) {
    std::string stem = std::string(prefix) + stamp12(clock.now());
    std::string content;
    content.reserve(text.size() + kCrLf.size());
    content.append(text);
    content.append(kCrLf);
    return files.writeUnique(std::string(kLogDirectory), stem, ".xml", content);
}

std::optional<ExchangeLogName> ParseExchangeLogName(std::string_view name) {
    auto digits = [](std::string_view text) {
        return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
    };
    if (!name.ends_with(".xml")) return std::nullopt;
    name.remove_suffix(4);
    for (std::string_view prefix : kExchangePrefixes) {
        if (!name.starts_with(prefix)) continue;
        std::string_view rest = name.substr(prefix.size());
        if (rest.size() < 12 || !digits(rest.substr(0, 12))) continue;
        ExchangeLogName out{prefix, std::string(rest.substr(0, 12)), 1};
        rest.remove_prefix(12);
        if (rest.empty()) return out;
        if (rest.front() != '-' || !digits(rest.substr(1)) || rest.size() > 7) return std::nullopt;
        out.n = std::stoi(std::string(rest.substr(1)));
        return out.n >= 2 ? std::optional(out) : std::nullopt;
    }
    return std::nullopt;
}

}  // namespace velmora
