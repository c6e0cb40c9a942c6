// Day statuses from the send journal's exchanges. The last exchange of a
// kind decides: a request without an answer reads as ESITO SCONOSCIUTO, a
// transport failure or a day left half done as INTERROTTO, an answer with
// "Erro" or a refusal as CON ERRORI.
#include "check/JournalDays.h"

#include <filesystem>
#include <map>
#include <set>

#include "core/Calendar.h"
#include "core/FileNames.h"

namespace velmora {

namespace {

bool answered(const JournalExchange& e) { return e.verdict.has_value(); }

bool isOneOf(const std::optional<std::string>& v, std::initializer_list<const char*> words) {
    if (!v) return false;
    for (const char* w : words)
        if (*v == w) return true;
    return false;
}

}  // namespace

std::string JournalPathIn(const std::string& workDir) {
    if (workDir.empty() || workDir == ".")
        return (std::filesystem::path(kLogDirectory) / kJournalFile).string();
    return (std::filesystem::path(workDir) / kLogDirectory / kJournalFile).string();
}

std::vector<JournalDay> JournalDays(const SendJournal& journal, const std::string& firstDay,
                                    const std::string& lastDay) {
    const std::vector<JournalExchange> exchanges =
        journal.exchanges(IsoDay(firstDay), IsoDay(lastDay));
    std::map<long long, const JournalRun*> runsById;
    const std::vector<JournalRun> runs = journal.runs();
    for (const JournalRun& r : runs) runsById[r.id] = &r;
    // The last day each run recorded anything for.
    std::map<long long, std::string> runLastDay;
    for (const JournalExchange& e : journal.allExchanges())
        if (e.runId && e.day && *e.day > runLastDay[*e.runId]) runLastDay[*e.runId] = *e.day;

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
                for (const auto& f : {e.requestFile, e.answerFile})
                    if (f) d.files.push_back(*f);
            }
        }
        // A kind the run went past without a row had nothing to post.
        auto wentPast = [&](const std::optional<JournalExchange>& other) {
            if (!other || !other->runId) return false;
            auto run = runsById.find(*other->runId);
            const bool completed = run != runsById.end() && run->second->outcome &&
                                   run->second->outcome->rfind(kOutcomeCompleted, 0) == 0;
            return completed || runLastDay[*other->runId] > iso;
        };
        // Any exchange of the day tells which run did it; the closing too.
        const std::optional<JournalExchange>& witness =
            d.arrivals ? d.arrivals : d.departures ? d.departures : d.closing;
        if (!d.arrivals) d.arrivalsEmpty = wentPast(witness);
        if (!d.departures) d.departuresEmpty = wentPast(witness);

        const std::optional<JournalExchange>* kinds[] = {&d.arrivals, &d.departures};
        if (!witness) {
            d.status = kStatusNotSent;
        } else {
            bool unknown = false, interrupted = false, errors = false;
            for (auto* k : kinds) {
                if (!*k) continue;
                if (!answered(**k)) unknown = true;
                if (isOneOf((*k)->verdict, {kVerdictNoAnswer})) interrupted = true;
                if (isOneOf((*k)->verdict, {kVerdictErrors, kVerdictRefused})) errors = true;
            }
            if ((!d.arrivals && !d.arrivalsEmpty) || (!d.departures && !d.departuresEmpty))
                interrupted = true;
            if (d.closing && !answered(*d.closing)) unknown = true;
            if (d.closing && isOneOf(d.closing->verdict, {kVerdictNoAnswer})) interrupted = true;
            if (d.closing && isOneOf(d.closing->verdict, {kVerdictRefused})) errors = true;
            d.status = unknown       ? kStatusUnknown
                       : interrupted ? kStatusInterrupted
                       : errors      ? kStatusWithErrors
                                     : kStatusSent;
        }
        days.push_back(std::move(d));
    }
    return days;
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

std::vector<std::string> AcceptedDaysAt(const std::string& path, const std::string& firstDay,
                                        const std::string& lastDay) {
    SendJournal journal(path, true);
    return AcceptedDays(journal, firstDay, lastDay);
}

std::optional<std::string> LastDaySent(const SendJournal& journal) {
    std::set<std::string> days;
    for (const JournalExchange& e : journal.allExchanges())
        if (e.day && (e.kind == kJournalArrivals || e.kind == kJournalDepartures))
            days.insert(*e.day);
    for (auto it = days.rbegin(); it != days.rend(); ++it) {
        const std::string day = DisplayDay(*it);
        if (JournalDays(journal, day, day).front().status == kStatusSent) return day;
    }
    return std::nullopt;
}

}  // namespace velmora
