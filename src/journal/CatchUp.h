// What the catch-up ("velmora export --pending") sends, from the journal:
// every day after the last one sent (INVIATO) up to a given day, and of each
// day only what the region does not hold. It stops before the login where
// the journal does not know what the region holds, and leaves to the
// operator the days whose guests the region refused.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "journal/JournalDays.h"

namespace velmora {

// The most days one catch-up sends unless its last day is named.
inline constexpr int kCatchUpMaxDays = 31;

struct CatchUp {
    // The first day to send: the day after the last day INVIATO, or, with no
    // such day, the first day recorded; none when nothing was ever recorded.
    std::optional<std::string> firstDay;
    std::string lastDay;
    std::optional<std::string> lastSent;
    // Days from firstDay to lastDay (0 when there is none).
    int days = 0;
    // Requests whose outcome is unknown: the catch-up does not start.
    std::vector<JournalExchange> unknown;
    // CON ERRORI: not sent again; the operator corrects and sends them.
    std::vector<std::string> withErrors;
    // What to send of each day of the range.
    std::map<std::string, DayPlan> plans;
};

// The catch-up up to lastDay ("DD/MM/YYYY"), closing the days when
// closeDays (and the days whose closing an earlier run asked and did not get).
CatchUp PlanCatchUp(const SendJournal& journal, const std::string& lastDay, bool closeDays);

}  // namespace velmora
