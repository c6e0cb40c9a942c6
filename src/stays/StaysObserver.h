// What the stay writers tell an observer while they write a document: every
// head and member they consider and what they decide, every member of their
// selection, every code lookup, every guest written, and a record that stops
// the run. The export passes none; a
// check of the data can list findings per guest from these calls. Observing
// never changes what is written.
#pragma once

#include <optional>
#include <string>

#include "stays/CodeLookups.h"

namespace velmora {

// A guest record as the writers met it.
struct GuestNote {
    std::string database;  // "Scheda_Cliente.mdb", ...
    bool isHead = false;
    std::optional<long long> numeroProgressivo;      // nullopt for a Null value
    std::optional<long long> headNumeroProgressivo;  // members: the head whose stay it is
    std::string room;                                // NumeroCamera as text
    std::optional<std::string> nomeCliente;          // history only; nullopt when Null
    std::string dataArrivo;                          // as stored (Null as empty)
    std::string dataPartenzaReale;                   // as stored (Null as empty)
    std::string dataNascita;                         // as stored (Null as empty)
    std::string capoFamiglia;                        // roles, as stored (Null as empty)
    std::string capoGruppo;
    double codiceCapoFamiglia = 0;  // Null as 0
    double codiceCapoGruppo = 0;
};

enum class GuestDecision {
    Written,
    SkippedNameMarker,       // NomeCliente is the history's marker text
    SkippedNoLaterDeparture  // history head: DataPartenzaReale not after DataArrivo
                             // (same day, blank or Null)
};

// One code lookup made for a guest line.
struct CodeLookupNote {
    std::string element;     // "NationalityCode", "BirthPlaceCode", "ResidencePlaceCode"
    std::string routine;     // "StateCode", "PlaceCode", "PlaceCodeAtDate"
    std::string column;      // the record's column the text came from: "Stato", ...
    std::string storedText;  // that column as stored (before SplitPlace)
    std::string text;        // the text looked up
    std::string date;        // PlaceCodeAtDate only
    std::string result;      // as written (nine blanks when nothing decided)
    LookupTrace trace;
};

// A guest whose lines were all written.
struct WrittenGuest {
    GuestNote guest;
    std::string guestId;
    int age = 0;
    std::string arrivalDate;      // YYYYMMDD as written
    std::string departureDate;    // YYYYMMDD as written (DataPartenza or DataPartenzaReale)
    std::string departureColumn;  // the column departureDate was taken from
    // YYYY-MM-DD of the document's own date: the arrival in arrivals, the
    // departure in departures.
    std::string day;
    // ElementFingerprint of the Guest element as it is posted.
    std::string fingerprint;
};

class StaysObserver {
public:
    virtual ~StaysObserver() = default;
    virtual void guestConsidered(const GuestNote&, GuestDecision) {}
    virtual void codeLookedUp(const GuestNote&, const CodeLookupNote&) {}
    virtual void guestWritten(const WrittenGuest&) {}
    // The Stay element of the guests written since the last call is complete;
    // fingerprint is its ElementFingerprint.
    virtual void stayWritten(const std::string& /*fingerprint*/) {}
    // Every record of the members' selection, in its order, once the heads
    // are done (called only when the writer reached the end of its heads).
    virtual void memberSelected(const GuestNote&) {}
    // The record cannot be written (column, Italian message); the run stops
    // with that message right after this call.
    virtual void recordRejected(const GuestNote&, const std::string& /*column*/,
                                const std::string& /*message*/) {}
};

}  // namespace velmora
