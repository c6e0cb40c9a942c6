// Guests compared by database and NumeroProgressivo, with the fingerprint of
// their Guest element; the element names that changed are read from the sent
// request file, so the journal keeps only the index.
#include "check/CheckJournal.h"

#include <algorithm>
#include <map>

#include "check/CheckExplain.h"
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

// "2026-03-05T14:07:09" (or with a blank) as "05/03/2026 alle 14:07".
std::string shownTime(const std::string& stored) {
    if (stored.size() < 16) return stored;
    return DisplayDay(stored.substr(0, 10)) + " alle " + stored.substr(11, 5);
}

}  // namespace

void AddJournalFindings(CheckReport& report, const SendJournal& journal, const FileStore& files,
                        AdviceFor advice) {
    if (report.documents.empty()) return;
    const std::vector<JournalExchange> exchanges = journal.exchanges(
        IsoDay(report.documents.front().day), IsoDay(report.documents.back().day));
    std::vector<CheckFinding> added;
    for (const CheckedDocument& d : report.documents) {
        if (d.stopped) continue;
        const std::optional<JournalExchange> held = heldBy(exchanges, IsoDay(d.day), d.kind);
        if (!held) continue;
        const std::string when = shownTime(held->answeredAt ? *held->answeredAt : held->sentAt);
        const std::string resend =
            advice == AdviceFor::Window
                ? "reinviare il giorno: Esporta con Dalla data e Alla data " + d.day +
                      ", rispondendo Sì alla domanda sui giorni già inviati"
                : "reinviare il giorno (velmora export --from " + d.day + " --to " + d.day +
                      " --reinvia)";
        std::string sentBody;
        if (held->requestFile) {
            std::optional<std::string> text = files.readText(*held->requestFile);
            if (text) sentBody = *text;
        }

        std::map<std::string, SentStay> then;
        for (SentStay& s : journal.staysOf(held->id))
            then.emplace(guestKey(s.database, s.numeroProgressivo, s.guestId), std::move(s));
        auto finding = [&](const std::string& database, const std::optional<long long>& numero,
                           const std::string& room, std::string problem, std::string fix) {
            CheckFinding f;
            f.severity = CheckSeverity::ChangedSinceSent;
            f.day = d.day;
            f.kind = d.kind;
            f.database = database;
            f.numeroProgressivo = numero;
            f.room = room;
            f.problem = std::move(problem);
            f.fix = std::move(fix);
            added.push_back(std::move(f));
        };
        for (const WrittenGuest& g : d.guests) {
            const auto nowFields = PostedGuestElements(d.body, g.guestId);
            const std::string room = g.guest.room;
            const std::string& database = g.guest.database;
            const std::optional<long long>& numero = g.guest.numeroProgressivo;
            auto it = then.find(guestKey(database, numero, g.guestId));
            if (it == then.end()) {
                finding(database, numero, room,
                        "mai inviato: l'invio del " + when +
                            " non lo conteneva, ora verrebbe inviato (scheda inserita o "
                            "corretta dopo l'invio).",
                        "Inviarlo: " + resend + ", oppure inserirlo sul portale della Regione.");
                continue;
            }
            if (it->second.guestHash != g.fingerprint) {
                const auto thenFields = PostedGuestElements(sentBody, it->second.guestId);
                std::vector<std::string> changed;
                for (const std::string& name : changedFields(thenFields, nowFields))
                    changed.push_back(GuestElementName(name));
                const std::string which = sentBody.empty() || changed.empty()
                                              ? "(file inviato non leggibile)"
                                              : joinAnd(changed);
                finding(database, numero, room,
                        "inviato il " + when + " e modificato dopo l'invio: " + which + ".",
                        "Correggere quanto inviato: " + resend +
                            ", oppure correggerlo sul portale della Regione.");
            }
            then.erase(it);
        }
        for (const auto& [key, s] : then) {
            const std::string room =
                fieldOf(PostedGuestElements(sentBody, s.guestId), "Rooms/Room/RoomId");
            finding(s.database, s.numeroProgressivo, room,
                    "inviato il " + when +
                        " ma non più presente negli archivi (scheda "
                        "cancellata o spostata ad altra data).",
                    "Verificare la scheda; se l'ospite non c'era, toglierlo sul portale della "
                    "Regione, altrimenti " +
                        resend + ".");
        }
    }
    if (added.empty()) return;
    // Keep the findings by document, then severity.
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

}  // namespace velmora
