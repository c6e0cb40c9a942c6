// Exchange log files: every request sent to the service and every answer is
// kept as Velmora/<prefix><YYYYMMDDhhnn>.xml holding the text and CR LF. A
// name already taken gets -2, -3, ... before ".xml"; no log file is replaced.
#pragma once

#include <optional>
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

// Every prefix, in the order of a run's exchanges: the login, each day's
// arrivals, departures and closing (request, then answer), the logout.
inline constexpr std::string_view kExchangePrefixes[] = {kLoginPrefix,
                                                         kArrivalsRequestPrefix,
                                                         kArrivalsAnswerPrefix,
                                                         kDeparturesRequestPrefix,
                                                         kDeparturesAnswerPrefix,
                                                         kEndDayRequestPrefix,
                                                         kEndDayAnswerPrefix,
                                                         kLogoutPrefix};

// The name of a log file taken apart: "IstatDatiAInv-202603051407-2.xml" is
// prefix "IstatDatiAInv-", stamp "202603051407", n 2 (1 without "-n").
struct ExchangeLogName {
    std::string_view prefix;  // one of kExchangePrefixes
    std::string stamp;        // YYYYMMDDhhnn
    int n = 1;
};

// Nothing for a name that is not prefix, twelve digits, optionally "-n", ".xml".
std::optional<ExchangeLogName> ParseExchangeLogName(std::string_view fileName);

// Writes text + CR LF to a new log file stamped with the clock's present
// minute ("-2", "-3", ... when the name is taken) and returns the file's
// name. A failed write raises RunError naming the file.
std::string WriteExchangeLog(FileStore& files, const Clock& clock, std::string_view prefix,
                             std::string_view text);

}  // namespace velmora
