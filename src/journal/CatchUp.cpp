// The catch-up's plan: accepted documents are not posted again (those with
// errors neither: the region holds their other guests), an unknown outcome
// is never guessed, and a day is closed only after its documents.
#include "journal/CatchUp.h"

#include "core/Calendar.h"

namespace velmora {

CatchUp planCatchUp(const SendJournal& journal, const std::string& lastDay, bool closeDays) {
    CatchUp c;
    c.lastDay = lastDay;
    c.lastSent = lastDaySent(journal);
    c.firstDay = c.lastSent ? std::optional(dayTextOf(daySerial(*c.lastSent) + 1))
                            : firstDayRecorded(journal);
    if (!c.firstDay || daySerial(*c.firstDay) > daySerial(lastDay)) return c;
    c.days = static_cast<int>(daySerial(lastDay) - daySerial(*c.firstDay) + 1);
    for (const JournalDay& d : journalDays(journal, *c.firstDay, lastDay)) {
        DayPlan plan;
        if (d.status == kStatusUnknown) {
            for (JournalExchange& e : unknownOutcomes(d)) c.unknown.push_back(std::move(e));
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
                if (!serviceHolds(*exchange, true)) continue;
                *send = false;
                held += (held.empty() ? "" : "; ") + exchangeName(**exchange);
            }
            plan.closing = (closeDays || d.closingAsked) && !serviceHolds(d.closing, false);
            if (!held.empty())
                plan.note =
                    "Già inviato e ricevuto dal servizio, non inviato di nuovo: " + held + ".";
        }
        c.plans[d.day] = plan;
    }
    return c;
}

}  // namespace velmora
