// Guests compared by database and NumeroProgressivo, with the fingerprint of
// their Guest element; the element names that changed are read from the sent
// request file, so the journal keeps only the index.
#include "check/CheckJournal.h"

#include <algorithm>
#include <map>

#include "check/CheckExplain.h"
#include "core/Calendar.h"
#include "core/Text.h"
#include "stays/PostedDocument.h"

namespace velmora {

namespace {

std::string guestKey(const std::string& database, const std::optional<long long>& numero,
                     const std::string& guestId) {
    return database + "|" + (numero ? std::to_string(*numero) : "id " + guestId);
}

// The last exchange of the day and kind that the service answered 2xx (or
// that had nothing to post): what the region holds.
std::optional<JournalExchange> heldBy(const std::vector<JournalExchange>& exchanges,
                                      const std::string& day, const std::string& kind) {
    std::optional<JournalExchange> held;
    for (const JournalExchange& e : exchanges) {
        if (e.day != day || e.kind != kind || !e.verdict) continue;
        if (*e.verdict == kVerdictAccepted || *e.verdict == kVerdictErrors ||
            *e.verdict == kVerdictEmpty)
            held = e;
    }
    return held;
}

std::string fieldOf(const std::vector<std::pair<std::string, std::string>>& fields,
                    const std::string& name) {
    for (const auto& [n, v] : fields)
        if (n == name) return v;
    return {};
}

// The element names whose text differs, or is in only one of the two.
std::vector<std::string> changedFields(
    const std::vector<std::pair<std::string, std::string>>& then,
    const std::vector<std::pair<std::string, std::string>>& now) {
    std::map<std::string, std::string> before(then.begin(), then.end());
    std::vector<std::string> out;
    for (const auto& [name, value] : now) {
        auto it = before.find(name);
        if (it == before.end() || it->second != value) out.push_back(name);
        if (it != before.end()) before.erase(it);
    }
    for (const auto& [name, value] : before) out.push_back(name);
    return out;
}

// One document compared with the one the service holds: the findings go to
// `findings`, each telling when it was sent and how to send it again.
struct Comparison {
    const CheckedDocument& document;
    std::string when;      // "05/03/2026 alle 14:07"
    std::string resend;    // how to send the day again
    std::string sentBody;  // the request as posted; "" when its file cannot be read
    std::vector<CheckFinding>& findings;

    void add(const std::string& database, const std::optional<long long>& numero,
             const std::string& room, std::string problem, std::string fix) {
        CheckFinding f;
        f.severity = CheckSeverity::ChangedSinceSent;
        f.day = document.day;
        f.kind = document.kind;
        f.database = database;
        f.numeroProgressivo = numero;
        f.room = room;
        f.problem = std::move(problem);
        f.fix = std::move(fix);
        findings.push_back(std::move(f));
    }
};

std::string resendAdvice(const std::string& day, AdviceFor advice) {
    if (advice == AdviceFor::Window)
        return "reinviare il giorno: Esporta con Dalla data e Alla data " + day +
               ", rispondendo Sì alla domanda sui giorni già inviati";
    return "reinviare il giorno (velmora export --from " + day + " --to " + day + " --reinvia)";
}

// The guests the document would send now: never sent then, or changed since
// (naming the elements from the request as posted). Each one found in `sent`
// is taken out of it.
void compareBuiltGuests(Comparison& c, std::map<std::string, SentStay>& sent) {
    for (const WrittenGuest& g : c.document.guests) {
        const std::string& room = g.guest.room;
        const std::string& database = g.guest.database;
        const std::optional<long long>& numero = g.guest.numeroProgressivo;
        auto it = sent.find(guestKey(database, numero, g.guestId));
        if (it == sent.end()) {
            c.add(database, numero, room,
                  "mai inviato: l'invio del " + c.when +
                      " non lo conteneva, ora verrebbe inviato (scheda inserita o "
                      "corretta dopo l'invio).",
                  "Inviarlo: " + c.resend + ", oppure inserirlo sul portale della Regione.");
            continue;
        }
        if (it->second.guestHash != g.fingerprint) {
            const auto thenFields = postedGuestElements(c.sentBody, it->second.guestId);
            const auto nowFields = postedGuestElements(c.document.body, g.guestId);
            std::vector<std::string> changed;
            for (const std::string& name : changedFields(thenFields, nowFields))
                changed.push_back(guestElementName(name));
            const std::string which = c.sentBody.empty() || changed.empty()
                                          ? "(file inviato non leggibile)"
                                          : joinAnd(changed);
            c.add(database, numero, room,
                  "inviato il " + c.when + " e modificato dopo l'invio: " + which + ".",
                  "Correggere quanto inviato: " + c.resend +
                      ", oppure correggerlo sul portale della Regione.");
        }
        sent.erase(it);
    }
}

// The guests sent then that the document would no longer hold.
void reportGuestsGone(Comparison& c, const std::map<std::string, SentStay>& gone) {
    for (const auto& [key, s] : gone) {
        const std::string room =
            fieldOf(postedGuestElements(c.sentBody, s.guestId), "Rooms/Room/RoomId");
        c.add(s.database, s.numeroProgressivo, room,
              "inviato il " + c.when +
                  " ma non più presente negli archivi (scheda "
                  "cancellata o spostata ad altra data).",
              "Verificare la scheda; se l'ospite non c'era, toglierlo sul portale della "
              "Regione, altrimenti " +
                  c.resend + ".");
    }
}

// The findings added to the report's, kept by document, then severity.
void mergeFindings(CheckReport& report, std::vector<CheckFinding>& added) {
    std::map<std::string, std::size_t> order;
    for (std::size_t i = 0; i < report.documents.size(); ++i)
        order.emplace(report.documents[i].day + report.documents[i].kind, i);
    for (CheckFinding& f : added) report.findings.push_back(std::move(f));
    std::stable_sort(report.findings.begin(), report.findings.end(),
                     [&order](const CheckFinding& a, const CheckFinding& b) {
                         const std::size_t ia = order[a.day + a.kind], ib = order[b.day + b.kind];
                         if (ia != ib) return ia < ib;
                         return a.severity < b.severity;
                     });
}

}  // namespace

void addJournalFindings(CheckReport& report, const SendJournal& journal, const FileStore& files,
                        AdviceFor advice) {
    if (report.documents.empty()) return;
    const std::vector<JournalExchange> exchanges = journal.exchanges(
        isoDayOf(report.documents.front().day), isoDayOf(report.documents.back().day));
    std::vector<CheckFinding> added;
    for (const CheckedDocument& d : report.documents) {
        if (d.stopped) continue;
        const std::optional<JournalExchange> held = heldBy(exchanges, isoDayOf(d.day), d.kind);
        if (!held) continue;
        Comparison c{d,
                     shownIsoTime(held->answeredAt ? *held->answeredAt : held->sentAt, " alle "),
                     resendAdvice(d.day, advice),
                     {},
                     added};
        if (held->requestFile) c.sentBody = files.readText(*held->requestFile).value_or("");
        std::map<std::string, SentStay> sent;
        for (SentStay& s : journal.staysOf(held->id))
            sent.emplace(guestKey(s.database, s.numeroProgressivo, s.guestId), std::move(s));
        compareBuiltGuests(c, sent);
        reportGuestsGone(c, sent);
    }
    if (!added.empty()) mergeFindings(report, added);
}

}  // namespace velmora
