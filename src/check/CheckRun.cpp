// The check before sending. Each document is built by buildStaysDocument with
// an observer that records what the writers do; the records the writers
// never reach are found by reading, through the same engine, the writers' own
// selections (staysQueries) and every record of the day's window, and
// comparing them with what the writers took.
#include "check/CheckRun.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <map>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "check/CheckExplain.h"
#include "core/Calendar.h"
#include "core/FileNames.h"
#include "core/RunError.h"
#include "core/Text.h"
#include "service/ServiceMessages.h"
#include "stays/CodeLookups.h"
#include "stays/ExportStays.h"
#include "stays/LineSink.h"
#include "stays/OpenedDatabase.h"
#include "stays/StayValues.h"
#include "stays/StaysObserver.h"
#include "stays/StaysWriters.h"

namespace velmora {

// The working directory as the writers see it during a check: everything
// reads as usual, and any attempt to write fails instead of leaving a file.
class CheckRun::ReadOnlyFiles : public FileStore {
public:
    explicit ReadOnlyFiles(FileStore& inner) : m_inner(inner) {}
    bool exists(const std::string& name) const override { return m_inner.exists(name); }
    bool isDirectory(const std::string& name) const override { return m_inner.isDirectory(name); }
    void createDirectory(const std::string& name) override { refuse(name); }
    std::optional<std::string> readText(const std::string& name) const override {
        return m_inner.readText(name);
    }
    std::string writeUnique(const std::string& dir, const std::string& stem,
                            const std::string& ext, std::string_view) override {
        refuse(dir + "/" + stem + ext);
    }
    bool writeNew(const std::string& name, std::string_view) override { refuse(name); }

private:
    [[noreturn]] static void refuse(const std::string& name) {
        throw RunError("La verifica non scrive file", name);
    }
    FileStore& m_inner;
};

namespace {

constexpr const char* kEveryRecord = "NumeroHotel = 1";

// What the writers did while one document was built, in their order.
struct WriterEvent {
    enum Type { Considered, Lookup, Written, Rejected } type;
    GuestNote guest;
    GuestDecision decision = GuestDecision::Written;
    CodeLookupNote lookup;
    WrittenGuest written;
    std::string column;
    std::string message;
};

class RecordingObserver : public StaysObserver {
public:
    void guestConsidered(const GuestNote& g, GuestDecision d) override {
        if (g.isHead) heads[g.database].push_back(g);
        WriterEvent e{WriterEvent::Considered, g, d, {}, {}, {}, {}};
        events.push_back(std::move(e));
    }
    void memberSelected(const GuestNote& g) override { members[g.database].push_back(g); }
    void codeLookedUp(const GuestNote& g, const CodeLookupNote& n) override {
        if (!lookupFails(n)) return;
        WriterEvent e{WriterEvent::Lookup, g, GuestDecision::Written, n, {}, {}, {}};
        events.push_back(std::move(e));
    }
    void guestWritten(const WrittenGuest& w) override {
        WriterEvent e{WriterEvent::Written, w.guest, GuestDecision::Written, {}, w, {}, {}};
        events.push_back(std::move(e));
    }
    void recordRejected(const GuestNote& g, const std::string& column,
                        const std::string& message) override {
        WriterEvent e{WriterEvent::Rejected, g, GuestDecision::Written, {}, {}, column, message};
        events.push_back(std::move(e));
        stoppedIn = g.database;
    }

    std::vector<WriterEvent> events;
    // The writers' two selections, per database.
    std::map<std::string, std::vector<GuestNote>> heads;
    std::map<std::string, std::vector<GuestNote>> members;
    std::string stoppedIn;  // database of the record the writer stopped on
};

// How a guest record is recognised across the writers' notes and the
// check's own reading: number, arrival and room as the writers read them.
std::string recordKey(const std::optional<long long>& numero, const std::string& dataArrivo,
                      const std::string& room) {
    return (numero ? std::to_string(*numero) : std::string("?")) + "|" + dataArrivo + "|" + room;
}

std::string recordKey(const GuestNote& g) {
    return recordKey(g.numeroProgressivo, g.dataArrivo, g.room);
}


// Every record of the day's window, whatever its role.
std::vector<GuestNote> readWindow(OpenedDatabase& db, const std::string& query,
                                  const std::string& database, bool history) {
    std::vector<GuestNote> out;
    auto rs = db->OpenRecordset(query, dbOpenDynaset);
    rs->FindFirst(kEveryRecord);
    while (!rs->NoMatch()) {
        out.push_back(ReadGuestNote(*rs, database, history));
        rs->FindNext(kEveryRecord);
    }
    return out;
}

// Turns the writers' events and the check's own reading into findings.
class DocumentFindings {
public:
    DocumentFindings(DBEngine& engine, const std::string& day, const std::string& kind,
                     const std::string& initialDate)
        : m_engine(engine), m_day(day), m_kind(kind), m_initialDate(initialDate) {}

    void fromEvents(const std::vector<WriterEvent>& events) {
        // Failed lookups wait for the guest's last line, so that the two
        // elements a foreign guest's state fills become one finding.
        std::vector<const WriterEvent*> pending;
        for (const WriterEvent& e : events) {
            switch (e.type) {
                case WriterEvent::Considered:
                    if (e.guest.isHead) {
                        m_headDecisions[recordKey(e.guest)] = e.decision;
                    } else {
                        m_membersTaken.insert(recordKey(e.guest));
                    }
                    if (e.decision != GuestDecision::Written) {
                        const FindingText t = explainSkip(e.guest, e.decision);
                        add(CheckSeverity::Skipped, e.guest, t);
                    }
                    break;
                case WriterEvent::Lookup:
                    pending.push_back(&e);
                    break;
                case WriterEvent::Written:
                    flushLookups(pending);
                    if (auto t = explainDates(e.written)) add(CheckSeverity::Rejected, e.guest, *t);
                    if (auto t = explainAge(e.written)) add(CheckSeverity::Rejected, e.guest, *t);
                    break;
                case WriterEvent::Rejected:
                    add(CheckSeverity::Blocking, e.guest,
                        explainBlocking(e.guest, e.column, e.message));
                    break;
            }
        }
    }

    // The records of one database that the writers never took: members of
    // their selection under no head of it, and records of the day's window
    // that neither selection holds.
    void fromSelections(const std::string& database, const std::vector<GuestNote>& heads,
                        const std::vector<GuestNote>& members) {
        const bool history = database == kHistoryDatabase;
        const StaysQueries queries = staysQueries(m_initialDate, m_day, m_day, m_kind);
        OpenedDatabase db(m_engine, database);
        const std::vector<GuestNote> window = readWindow(db, queries.dayWindow, database, history);

        for (const GuestNote& m : members) {
            const std::string key = recordKey(m);
            if (m_membersTaken.count(key)) continue;
            // Written (or reported) as the head of a stay of its own.
            if (m_headDecisions.count(key)) continue;
            memberNotTaken(db, history, heads, m);
        }

        std::set<std::string> selected;
        for (const auto& r : heads) selected.insert(recordKey(r));
        for (const auto& r : members) selected.insert(recordKey(r));
        for (const GuestNote& r : window) {
            if (selected.count(recordKey(r))) continue;
            if (formsDate(r.dataArrivo) && r.dataArrivo < m_initialDate) {
                add(CheckSeverity::Skipped, r, explainBeforeInitialDate(r.dataArrivo, m_initialDate));
            } else {
                add(CheckSeverity::NeverSent, r,
                    explainNoRole(r.dataArrivo, r.capoFamiglia, r.capoGruppo));
            }
        }
        db.close();
    }

    // The findings by severity, each once.
    std::vector<CheckFinding> take() {
        std::stable_sort(
            m_findings.begin(), m_findings.end(),
            [](const CheckFinding& a, const CheckFinding& b) { return a.severity < b.severity; });
        return std::move(m_findings);
    }

private:
    // A member of the selection that no head took: which head of the window
    // it names (by either column) and why that head did not take it.
    void memberNotTaken(OpenedDatabase& db, bool history, const std::vector<GuestNote>& heads,
                        const GuestNote& m) {
        const GuestNote* named = nullptr;
        bool namedViaFamily = true;
        for (const GuestNote& h : heads) {
            if (!h.numeroProgressivo) continue;
            const long long number = *h.numeroProgressivo;
            const double key = static_cast<double>(MemberKey(number, history));
            const bool viaFamily = m.codiceCapoFamiglia > 0 && m.codiceCapoFamiglia == key;
            const bool viaGroup = m.codiceCapoGruppo > 0 && m.codiceCapoGruppo == key;
            if (!viaFamily && !viaGroup) continue;
            auto decision = m_headDecisions.find(recordKey(h));
            if (decision != m_headDecisions.end() && decision->second != GuestDecision::Written) {
                add(CheckSeverity::Skipped, m, explainSkippedWithHead(number, decision->second));
                return;
            }
            if (!named) {
                named = &h;
                namedViaFamily = viaFamily;
            }
        }

        MemberLoss loss;
        loss.kind = m_kind;
        if (named) {
            loss.viaFamily = namedViaFamily;
            loss.reference =
                static_cast<long long>(namedViaFamily ? m.codiceCapoFamiglia : m.codiceCapoGruppo);
            loss.headInWindow =
                HeadSeen{*named->numeroProgressivo, named->capoFamiglia, named->capoGruppo};
        } else {
            loss.viaFamily = m.codiceCapoFamiglia > 0;
            loss.reference = static_cast<long long>(
                std::llround(loss.viaFamily ? m.codiceCapoFamiglia : m.codiceCapoGruppo));
            if (!history) {
                // The register's members name their head's own number.
                loss.searchedElsewhere = true;
                auto table = db->OpenRecordset("Scheda_Cliente", dbOpenDynaset);
                table->FindFirst("NumeroHotel = 1 and NumeroProgressivo = " +
                                 std::to_string(loss.reference));
                if (!table->NoMatch())
                    loss.headElsewhere =
                        std::make_pair(table->Fields("DataArrivo").asText(),
                                       table->Fields("DataPartenzaReale").asText());
            }
        }
        add(CheckSeverity::NeverSent, m, explainMemberLoss(loss));
    }

    void flushLookups(std::vector<const WriterEvent*>& pending) {
        std::vector<bool> done(pending.size(), false);
        for (std::size_t i = 0; i < pending.size(); ++i) {
            if (done[i]) continue;
            const CodeLookupNote& first = pending[i]->lookup;
            std::vector<std::string> elements{first.element};
            for (std::size_t k = i + 1; k < pending.size(); ++k) {
                const CodeLookupNote& other = pending[k]->lookup;
                if (!done[k] && other.routine == first.routine && other.text == first.text &&
                    other.column == first.column) {
                    elements.push_back(other.element);
                    done[k] = true;
                }
            }
            add(CheckSeverity::Rejected, pending[i]->guest,
                explainLookup(elements, first, namedRow(first)));
        }
        pending.clear();
    }

    // For a place name no step found: the first state or municipality row of
    // that name in the codes table, whatever its validity.
    std::optional<NamedCodesRow> namedRow(const CodeLookupNote& lookup) {
        if (lookup.routine == "StateCode" || trimBlanks(lookup.text).empty() ||
            lookup.trace.nullCode)
            return std::nullopt;
        if (lookup.trace.steps.size() > 1 && lookup.trace.steps[1].found) return std::nullopt;
        OpenedDatabase codes(m_engine, kCodesDatabase);
        std::optional<NamedCodesRow> row;
        {
            auto rs = codes->OpenRecordset("CodiciVari", dbOpenDynaset);
            rs->FindFirst(NamedPlaceCriterion(trimBlanks(lookup.text)));
            if (!rs->NoMatch())
                row = NamedCodesRow{rs->Fields("Tipo").asText(), rs->Fields("DataDal").asText(),
                                    rs->Fields("DataFinoA").asText()};
        }
        codes.close();
        return row;
    }

    void add(CheckSeverity severity, const GuestNote& g, const FindingText& text) {
        CheckFinding f;
        f.severity = severity;
        f.day = m_day;
        f.kind = m_kind;
        f.database = g.database;
        f.numeroProgressivo = g.numeroProgressivo;
        f.room = g.room;
        f.nomeCliente = g.nomeCliente;
        f.problem = text.problem;
        f.fix = text.fix;
        // A member listed under two heads is met twice; it is one finding.
        const std::string key = std::to_string(static_cast<int>(severity)) + "|" + g.database +
                                "|" + recordKey(g) + "|" + f.problem;
        if (!m_seen.insert(key).second) return;
        m_findings.push_back(std::move(f));
    }

    DBEngine& m_engine;
    const std::string m_day;
    const std::string m_kind;
    const std::string m_initialDate;
    std::map<std::string, GuestDecision> m_headDecisions;
    std::set<std::string> m_membersTaken;
    std::set<std::string> m_seen;
    std::vector<CheckFinding> m_findings;
};

}  // namespace

CheckRun::CheckRun(const RunState& settings, DBEngine& engine, FileStore& files, Clock& clock)
    : m_state(settings),
      m_engine(engine),
      m_files(std::make_unique<ReadOnlyFiles>(files)),
      m_clock(clock) {}

CheckRun::~CheckRun() = default;

void CheckRun::checkDocument(const std::string& day, const std::string& kind, CheckReport& report) {
    RecordingObserver observer;
    StaysContext ctx{m_state, m_engine, *m_files, m_clock, &observer};
    MemoryLineSink sink;
    bool stopped = false;
    try {
        buildStaysDocument(ctx, day, day, kind, sink);
    } catch (const RunError&) {
        // A record the export would stop on is a finding; anything else
        // stops the check as it would stop the export.
        if (observer.stoppedIn.empty()) throw;
        stopped = true;
    }

    CheckedDocument document{day, kind, {}, stopped, {}};
    if (!stopped && m_state.StaysWritten != 0) {
        document.body = XmlDeclaration() + joinStaysDocument(sink.text());
        for (const WriterEvent& e : observer.events)
            if (e.type == WriterEvent::Written) document.guests.push_back(e.written);
    }

    DocumentFindings findings(m_engine, day, kind, m_state.InitialDate);
    findings.fromEvents(observer.events);
    // A database the writers did not walk to its end is not compared: what
    // they did not reach is named by the blocking finding.
    if (!stopped || observer.stoppedIn == kRegisterDatabase)
        findings.fromSelections(kHistoryDatabase, observer.heads[kHistoryDatabase], observer.members[kHistoryDatabase]);
    if (!stopped)
        findings.fromSelections(kRegisterDatabase, observer.heads[kRegisterDatabase], observer.members[kRegisterDatabase]);

    for (CheckFinding& f : findings.take()) report.findings.push_back(std::move(f));
    report.documents.push_back(std::move(document));
}

CheckReport CheckRun::run(const std::string& firstDay, const std::string& lastDay, RunView& view,
                          const StopRequest* stop) {
    CheckReport report;
    report.firstDay = firstDay;
    report.lastDay = lastDay;
    std::string day = firstDay;
    const char* kind = "A";
    try {
        const long long last = DaySerial(lastDay);
        for (long long serial = DaySerial(firstDay); serial <= last; day = DayTextOf(++serial)) {
            if (stop && stop->requested()) {
                report.interruption = std::string(kCheckStoppedLine) + " prima del " + day + ".";
                return report;
            }
            view.dayStarted(day);
            for (const char* k : {"A", "P"}) {
                kind = k;
                checkDocument(day, kind, report);
            }
        }
    } catch (const RunError& e) {
        report.interruption = e.fullText();
    } catch (const std::exception& e) {
        report.interruption = std::string("Errore imprevisto: ") + e.what();
    } catch (...) {
        report.interruption = "Errore imprevisto.";
    }
    if (!report.interruption.empty()) {
        report.interruption =
            "Verifica interrotta al " + day + " (" + kindName(kind) + "): " + report.interruption;
    }
    return report;
}

}  // namespace velmora
