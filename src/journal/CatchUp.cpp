// The catch-up's plan: accepted documents are not posted again (those with
// errors neither: the region holds their other guests), an unknown outcome
// is never guessed, and a day is closed only after its documents.
#include "journal/CatchUp.h"

#include "core/Calendar.h"

namespace velmora {

CatchUp PlanCatchUp(const SendJournal& journal, const std::string& lastDay, bool closeDays) {
    CatchUp c;
    c.lastDay = lastDay;
    c.lastSent = LastDaySent(journal);
    c.firstDay = c.lastSent ? std::optional(DayTextOf(DaySerial(*c.lastSent) + 1))
                            : FirstDayRecorded(journal);
    if (!c.firstDay || DaySerial(*c.firstDay) > DaySerial(lastDay)) return c;
    c.days = static_cast<int>(DaySerial(lastDay) - DaySerial(*c.firstDay) + 1);
    for (const JournalDay& d : JournalDays(journal, *c.firstDay, lastDay)) {
        DayPlan plan;
        if (d.status == kStatusUnknown) {
            for (JournalExchange& e : UnknownOutcomes(d)) c.unknown.push_back(std::move(e));
        } else if (d.status == kStatusWithErrors || d.status == kStatusSent) {
            if (d.status == kStatusWithErrors) c.withErrors.push_back(d.day);
            plan = DayPlan{false, false, false,
                           d.status == kStatusSent
                               ? std::string()
                               : "Giorno " + d.day + " con errori: non inviato di nuovo."};
        } else {
            std::string held;
            for (const auto& [exchange, send] : {std::pair{&d.arrivals, &plan.arrivals},
                                                 std::pair{&d.departures, &plan.departures}}) {
                if (!ServiceHolds(*exchange, true)) continue;
                *send = false;
                held += (held.empty() ? "" : "; ") + ExchangeName(**exchange);
            }
            plan.closing = (closeDays || d.closingAsked) && !ServiceHolds(d.closing, false);
            if (!held.empty())
                plan.note =
                    "Già inviato e ricevuto dal servizio, non inviato di nuovo: " + held + ".";
        }
        c.plans[d.day] = plan;
    }
    return c;
}

}  // namespace velmora
