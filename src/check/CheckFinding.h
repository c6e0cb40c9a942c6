// What the check before sending finds: per guest record, per day and kind of
// document, how the export and the service would treat it (stop, refusal,
// silent loss, deliberate skip), the documents it would post, and the counts.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "stays/StaysObserver.h"

namespace velmora {

enum class CheckSeverity {
    Blocking,   // the export would stop on this record
    Rejected,   // the service will refuse this guest
    NeverSent,  // the guest is in no document, without a word
    ChangedSinceSent,  // what the service holds differs from what would be sent now
    Skipped,    // left out by a rule on purpose; for information
};

struct CheckFinding {
    CheckSeverity severity = CheckSeverity::Skipped;
    std::string day;       // "DD/MM/YYYY"
    std::string kind;      // "A" arrivals, "P" departures
    std::string database;  // "Scheda_Cliente.mdb" or "SchedaStoricoClienti.mdb"
    std::optional<long long> numeroProgressivo;  // nullopt: Null or not a number
    std::string room;                            // NumeroCamera as text
    std::optional<std::string> nomeCliente;      // history records only
    std::string problem;                         // Italian, one sentence or two
    std::string fix;                             // what to change, Italian
};

struct CheckCounts {
    int blocking = 0;
    int rejected = 0;
    int neverSent = 0;
    int changed = 0;
    int skipped = 0;

    // Whether nothing but skips was found.
    bool onlySkips() const {
        return blocking == 0 && rejected == 0 && neverSent == 0 && changed == 0;
    }
};

// One document as the export would post it.
struct CheckedDocument {
    std::string day;
    std::string kind;
    // The body the export would post (XML declaration and the one-line
    // document), or "" when the document holds no stay and nothing is posted.
    std::string body;
    // The export would stop while building this document.
    bool stopped = false;
    // Its guests as the writers reported them, in document order.
    std::vector<WrittenGuest> guests;
};

struct CheckReport {
    std::string firstDay;
    std::string lastDay;
    // By day, arrivals before departures, and within a document by severity.
    std::vector<CheckFinding> findings;
    // Every day and kind checked, in order.
    std::vector<CheckedDocument> documents;
    // Why the check ended before the last day ("" when it went through).
    std::string interruption;

    CheckCounts counts() const {
        CheckCounts c;
        for (const CheckFinding& f : findings) {
            switch (f.severity) {
                case CheckSeverity::Blocking:
                    ++c.blocking;
                    break;
                case CheckSeverity::Rejected:
                    ++c.rejected;
                    break;
                case CheckSeverity::NeverSent:
                    ++c.neverSent;
                    break;
                case CheckSeverity::ChangedSinceSent:
                    ++c.changed;
                    break;
                case CheckSeverity::Skipped:
                    ++c.skipped;
                    break;
            }
        }
        return c;
    }
};

// "arrivi" for kind "A", "partenze" for any other kind.
inline const char* kindName(const std::string& kind) { return kind == "A" ? "arrivi" : "partenze"; }

}  // namespace velmora
