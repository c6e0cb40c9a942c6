// Exchange log files: every request sent to the service and every answer is
// kept as Velmora/<prefix><YYYYMMDDhhnn>.xml holding the text and CR LF. A
// name already taken gets -2, -3, ... before ".xml"; no log file is replaced.
#pragma once

#include <string>
#include <string_view>

#include "core/FileNames.h"
#include "platform/Clock.h"
#include "platform/FileStore.h"

namespace velmora {

inline constexpr std::string_view kLoginPrefix = "Login-";
inline constexpr std::string_view kLogoutPrefix = "Logout-";
inline constexpr std::string_view kArrivalsRequestPrefix = "IstatDatiAInv-";
inline constexpr std::string_view kDeparturesRequestPrefix = "IstatDatiPInv-";
inline constexpr std::string_view kArrivalsAnswerPrefix = "IstatDatiAResp-";
inline constexpr std::string_view kDeparturesAnswerPrefix = "IstatDatiPResp-";
inline constexpr std::string_view kEndDayRequestPrefix = "DateCloseI-";
inline constexpr std::string_view kEndDayAnswerPrefix = "DateClose-";

// Writes text + CR LF to a new log file stamped with the clock's present
// minute and returns the file's name. A failed write raises RunError naming
// the file.
std::string WriteExchangeLog(FileStore& files, const Clock& clock, std::string_view prefix,
                             std::string_view text);

}  // namespace velmora
