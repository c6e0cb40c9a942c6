// Day statuses from the send journal's exchanges. The last exchange of a
// kind decides: a request without a known answer reads as ESITO
// SCONOSCIUTO, a request that never reached the service or a day left half
// done as INTERROTTO, an answer with "Erro" or a refusal as CON ERRORI. A
// closing asked and not answered leaves the day half done.
#include "journal/JournalDays.h"

#include <map>
#include <set>

#include "core/Calendar.h"
#include "service/ServiceMessages.h"

namespace velmora {

namespace {

bool answered(const JournalExchange& e) { return e.verdict.has_value(); }

bool is(const std::optional<JournalExchange>& e, const char* verdict) {
    return e && e->verdict && *e->verdict == verdict;
}

std::string statusOf(const JournalDay& d) {
    if (!d.arrivals && !d.departures && !d.closing) return kStatusNotSent;
    bool unknown = false, interrupted = false, errors = false;
    for (const auto* k : {&d.arrivals, &d.departures}) {
        if (!*k) {
            interrupted = true;
            continue;
        }
        if (!answered(**k)) unknown = true;
        if (is(*k, kVerdictNoAnswer)) interrupted = true;
        if (is(*k, kVerdictErrors) || is(*k, kVerdictRefused)) errors = true;
    }
    if (d.closing) {
        if (!answered(*d.closing)) unknown = true;
        if (is(d.closing, kVerdictNoAnswer)) interrupted = true;
        if (is(d.closing, kVerdictRefused)) errors = true;
    } else if (d.closingAsked) {
        interrupted = true;
    }
    return unknown       ? kStatusUnknown
           : interrupted ? kStatusInterrupted
           : errors      ? kStatusWithErrors
                         : kStatusSent;
}

}  // namespace

std::vector<JournalDay> JournalDays(const SendJournal& journal, const std::string& firstDay,
                                    const std::string& lastDay) {
    const std::vector<JournalExchange> exchanges =
        journal.exchanges(IsoDay(firstDay), IsoDay(lastDay));
    std::set<long long> closingRuns;
    for (const JournalRun& r : journal.runs())
        if (r.closeDays) closingRuns.insert(r.id);

    std::vector<JournalDay> days;
    const long long last = DaySerial(lastDay);
    for (long long serial = DaySerial(firstDay); serial <= last; ++serial) {
        JournalDay d;
        d.day = DayTextOf(serial);
        const std::string iso = IsoDay(d.day);
        for (const char* kind : {kJournalArrivals, kJournalDepartures, kJournalClosing}) {
            for (const JournalExchange& e : exchanges) {
                if (e.day != iso || e.kind != kind) continue;
                (e.kind == kJournalArrivals     ? d.arrivals
                 : e.kind == kJournalDepartures ? d.departures
                                                : d.closing) = e;
                if (e.runId && closingRuns.count(*e.runId)) d.closingAsked = true;
                for (const auto& f : {e.requestFile, e.answerFile})
                    if (f) d.files.push_back(*f);
            }
        }
        d.status = statusOf(d);
        days.push_back(std::move(d));
    }
    return days;
}

JournalDay JournalDayOf(const SendJournal& journal, const std::string& day) {
    return JournalDays(journal, day, day).front();
}

std::vector<std::string> AcceptedDays(const SendJournal& journal, const std::string& firstDay,
                                      const std::string& lastDay) {
    std::vector<std::string> out;
    for (const JournalDay& d : JournalDays(journal, firstDay, lastDay)) {
        const bool posted =
            (d.arrivals && d.arrivals->stays > 0) || (d.departures && d.departures->stays > 0);
        if (d.status == kStatusSent && posted) out.push_back(d.day);
    }
    return out;
}

std::optional<std::string> LastDaySent(const SendJournal& journal) {
    std::set<std::string> days;
    for (const JournalExchange& e : journal.allExchanges())
        if (e.day) days.insert(*e.day);
    for (auto it = days.rbegin(); it != days.rend(); ++it) {
        const std::string day = DisplayDay(*it);
        if (JournalDayOf(journal, day).status == kStatusSent) return day;
    }
    return std::nullopt;
}

std::optional<std::string> FirstDayRecorded(const SendJournal& journal) {
    std::optional<std::string> first;
    for (const JournalExchange& e : journal.allExchanges())
        if (e.day && (!first || *e.day < *first)) first = *e.day;
    if (!first) return std::nullopt;
    return DisplayDay(*first);
}

std::vector<JournalExchange> UnknownOutcomes(const JournalDay& day) {
    std::vector<JournalExchange> out;
    for (const auto* e : {&day.arrivals, &day.departures, &day.closing})
        if (*e && !answered(**e)) out.push_back(**e);
    return out;
}

bool ServiceHolds(const std::optional<JournalExchange>& exchange, bool errorsToo) {
    return is(exchange, kVerdictAccepted) || (errorsToo && is(exchange, kVerdictErrors));
}

std::string ExchangeName(const JournalExchange& e) {
    const std::string day = e.day ? DisplayDay(*e.day) : std::string();
    if (e.kind == kJournalClosing) return "la chiusura della giornata " + day;
    return DocumentName(e.kind, day, e.requestFile.value_or(""));
}

DayPlan PlanOmittingAccepted(const JournalDay& day, bool closeDays) {
    DayPlan plan;
    plan.closing = closeDays;
    std::string omitted;
    for (const auto& [exchange, send] :
         {std::pair{&day.arrivals, &plan.arrivals}, std::pair{&day.departures, &plan.departures}}) {
        if (!ServiceHolds(*exchange, false)) continue;
        *send = false;
        omitted += (omitted.empty() ? "" : "; ") + ExchangeName(**exchange);
    }
    if (!omitted.empty())
        plan.note = "Già inviato e accettato, non inviato di nuovo: " + omitted + ".";
    return plan;
}

}  // namespace velmora
