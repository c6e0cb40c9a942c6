// The two stay writers: the stays of the guest history
// ("SchedaStoricoClienti.mdb") and of the current guest register
// ("Scheda_Cliente.mdb") for a window of days and a kind of movement, written
// as Stay elements, line by line, into a line sink.
#pragma once

#include <string>

#include "stays/LineSink.h"
#include "stays/StaysContext.h"

namespace velmora {

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

// The two SELECT texts both writers open for a window and kind, with
// initialDate (YYYYMMDD) as the lower bound of DataArrivo: the heads and,
// beside them, the family and group members.
struct StaysQueries {
    std::string heads;
    std::string members;
};
StaysQueries staysQueries(const std::string& initialDate, const std::string& fromDay,
                          const std::string& toDay, const std::string& kind);

}  // namespace velmora
