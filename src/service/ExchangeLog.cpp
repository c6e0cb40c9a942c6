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

}  // namespace velmora
