// The two stay writers: the stays of the guest history
// ("SchedaStoricoClienti.mdb") and of the current guest register
// ("Scheda_Cliente.mdb") for a window of days and a kind of movement, written
// as Stay elements, line by line, into a line sink.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jet/DBEngine.h"
#include "stays/LineSink.h"
#include "stays/StaysContext.h"
#include "stays/StaysObserver.h"

namespace velmora {

class JetEngine;

// Days are "DD/MM/YYYY"; kind "A" selects arrivals by DataArrivo, any other
// kind departures by DataPartenzaReale; InitialDate bounds DataArrivo from
// below in both. Each stay written sets state.StaysWritten to 1. A record
// that cannot be written (Null NumeroProgressivo, DataArrivo or DataNascita
// not a date) stops the writer with RunError; the lines written so far stay.

// The history: heads named "*** p***" or without a departure after their
// arrival are left out with their members, members named "*** p**" too; ids
// in eight digits without the year, date-times ending ".00Z", departure
// always DataPartenzaReale, birth place "***" looked up through Residenza.
void WriteHistoryStays(StaysContext& ctx, const std::string& fromDay, const std::string& toDay,
                       LineSink& out, const std::string& kind);

// The register: every head of the window with its family or group members.
void WriteRegisterStays(StaysContext& ctx, const std::string& fromDay, const std::string& toDay,
                        LineSink& out, const std::string& kind);

// What tells the two databases' stays apart in a document: the time written
// after each date, and the GuestId (history: the number in eight digits;
// register: two digits of the arrival's year, then the number in six).
inline constexpr const char* kRegisterTimeSuffix = "T10:00:00.000Z";
inline constexpr const char* kHistoryTimeSuffix = "T10:00:00.00Z";
std::string GuestIdOf(long long numeroProgressivo, const std::string& dataArrivo, bool history);
// The number a GuestId was made from; nothing when it holds none.
std::optional<long long> NumeroProgressivoOfGuestId(std::string_view guestId, bool history);

// The two SELECT texts both writers open for a window and kind, with
// initialDate (YYYYMMDD) as the lower bound of DataArrivo: the heads and,
// beside them, the family and group members.
// dayWindow holds every record of the window whatever its role and arrival,
// in the same order.
struct StaysQueries {
    std::string heads;
    std::string members;
    std::string dayWindow;
};
StaysQueries staysQueries(const std::string& initialDate, const std::string& fromDay,
                          const std::string& toDay, const std::string& kind);

// Every column of Scheda_Cliente that the writers and the check read, in
// criteria or as fields: an engine need hold no other.
const std::vector<std::string>& GuestColumnsRead();
// Of those, the columns the writers' queries and finds select and sort by;
// the others are read only for the records a query returns.
const std::vector<std::string>& GuestColumnsSearched();

// Has the engine read only the guest and code columns the writers and the
// check use, and hold of a guest table only the columns searched: a history
// of a million guests with forty columns each costs memory only for those.
void ReadOnlyColumnsUsed(JetEngine& engine);

// The guest columns the writers decide on, read from the current record of
// rs (a Scheda_Cliente of database; NomeCliente only for the history).
GuestNote ReadGuestNote(const Recordset& rs, const std::string& database, bool history,
                        bool isHead = false);

// How a head's members refer to it: the column that holds the key and the key.
struct MemberLink {
    const char* column;  // "CodiceCapoFamiglia" or "CodiceCapoGruppo"
    long long key;
};

// The key members hold for a head with this NumeroProgressivo (the history
// counts from 1,000,000 up, see historyMemberKey).
long long MemberKey(long long numeroProgressivo, bool history);

// The members a head has: a family head's by CodiceCapoFamiglia, else a group
// head's by CodiceCapoGruppo; none for any other head or a key of 0 (no
// member refers to 0, members being those with a code above 0).
std::optional<MemberLink> MembersOf(const GuestNote& head, bool history);

// The FindFirst/FindNext criterion over the members' selection for a link.
std::string MemberCriterion(const MemberLink& link);

}  // namespace velmora
