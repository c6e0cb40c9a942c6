// The Italian texts of the check's findings: for each way a guest record can
// be stopped on, refused, lost or skipped, what happened and what to change
// in the hotel's program. Pure functions of what the stay writers reported.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "stays/StaysObserver.h"

namespace velmora {

struct FindingText {
    std::string problem;
    std::string fix;
};

// An element of a Guest of the stays document, by its path below Guest, as
// the operator knows it, with the element in parentheses:
// "NationalityCode" -> "cittadinanza (NationalityCode)", "Rooms/Room/RoomId"
// -> "camera (RoomId)"; an element without a name of its own as it stands.
std::string GuestElementName(const std::string& path);

// A stored date YYYYMMDD as "DD/MM/YYYY"; anything else quoted as stored
// ("'2026-3-1'"), or "vuota" when empty or blank.
std::string shownDate(const std::string& stored);

// The first state or municipality row of a name in the codes table, whatever
// its validity; looked up by the check to explain a name that no step found.
struct NamedCodesRow {
    std::string tipo;
    std::string dataDal;
    std::string dataFinoA;
};

// The elements of one guest that came out as nine blanks from one lookup
// (the same routine and text; a foreign guest's state fills two elements),
// or a birth place that SplitPlace cut to nothing.
FindingText explainLookup(const std::vector<std::string>& elements, const CodeLookupNote& lookup,
                          const std::optional<NamedCodesRow>& namedRow);

// Whether a lookup deserves a finding: nine blanks, or a birth place text
// cut to nothing.
bool lookupFails(const CodeLookupNote& lookup);

// A record the writer stopped on (column and the writer's message), and what
// of the document was left unchecked.
FindingText explainBlocking(const GuestNote& guest, const std::string& column,
                            const std::string& message);

// A head or member left out by the history's skip tests.
FindingText explainSkip(const GuestNote& guest, GuestDecision decision);

// A member left out with its skipped head.
FindingText explainSkippedWithHead(long long head, GuestDecision headDecision);

// A record of the window that neither selection took: its DataArrivo lies
// before InitialDate (a skip), or it is marked neither head nor member.
FindingText explainBeforeInitialDate(const std::string& dataArrivo, const std::string& initialDate);
FindingText explainNoRole(const std::string& dataArrivo, const std::string& capoFamiglia,
                          const std::string& capoGruppo);

// The head a member refers to, as the check found it.
struct HeadSeen {
    long long numeroProgressivo = 0;
    std::string capoFamiglia;
    std::string capoGruppo;
};

// A member of the window that no head of the window took. viaFamily: the
// member names its head in CodiceCapoFamiglia (else CodiceCapoGruppo), with
// the value reference. headInWindow: the head of the window it names, which
// searches its members the other way; headElsewhere: for the register, the
// record with that number found anywhere in the database (its DataArrivo and
// DataPartenzaReale), for the explanation.
struct MemberLoss {
    std::string kind;
    bool viaFamily = true;
    long long reference = 0;
    std::optional<HeadSeen> headInWindow;
    bool searchedElsewhere = false;
    std::optional<std::pair<std::string, std::string>> headElsewhere;
};
FindingText explainMemberLoss(const MemberLoss& loss);

// Departure not a date or before the arrival; age below 0 or above 120.
std::optional<FindingText> explainDates(const WrittenGuest& guest);
std::optional<FindingText> explainAge(const WrittenGuest& guest);

}  // namespace velmora
