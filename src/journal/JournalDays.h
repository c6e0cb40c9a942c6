// What the send journal says of each day: the last exchange of each kind,
// whether a closing was asked, and one status word; and from those, what an
// export of a day must still send. Shared by "velmora stato", the window's
// question before sending a day again, the export run and "export --pending".
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "journal/SendJournal.h"

namespace velmora {

inline constexpr const char* kStatusSent = "INVIATO";
inline constexpr const char* kStatusWithErrors = "CON ERRORI";
inline constexpr const char* kStatusInterrupted = "INTERROTTO";
inline constexpr const char* kStatusUnknown = "ESITO SCONOSCIUTO";
inline constexpr const char* kStatusNotSent = "NON INVIATO";
inline constexpr const char* kStatusNothingToSend = "NULLA DA INVIARE";

struct JournalDay {
    std::string day;  // "DD/MM/YYYY"
    // The last exchange of each kind recorded for the day (an empty document
    // has its row, verdict "vuoto").
    std::optional<JournalExchange> arrivals;
    std::optional<JournalExchange> departures;
    std::optional<JournalExchange> closing;
    // A run that recorded anything of the day was asked to close it.
    bool closingAsked = false;
    // One of the words above; kStatusNotSent when nothing is recorded. A day
    // is INVIATO only when both documents and, when asked, the closing were
    // answered 2xx without "Erro" (or had nothing to post).
    std::string status;
    // Every log file of the day's exchanges: arrivals, departures, closing.
    std::vector<std::string> files;
};

// The days firstDay..lastDay ("DD/MM/YYYY") as the journal holds them.
std::vector<JournalDay> JournalDays(const SendJournal& journal, const std::string& firstDay,
                                    const std::string& lastDay);
JournalDay JournalDayOf(const SendJournal& journal, const std::string& day);

// The days of the range sent and accepted, with at least one document posted.
std::vector<std::string> AcceptedDays(const SendJournal& journal, const std::string& firstDay,
                                      const std::string& lastDay);

// The last day whose status is INVIATO ("DD/MM/YYYY"), if any.
std::optional<std::string> LastDaySent(const SendJournal& journal);
// The first day with anything recorded, if any.
std::optional<std::string> FirstDayRecorded(const SendJournal& journal);

// The day's last exchanges whose outcome is unknown (ESITO SCONOSCIUTO).
std::vector<JournalExchange> UnknownOutcomes(const JournalDay& day);

// Whether the service holds the document the exchange posted: answered 2xx
// ("accettato"; with errorsToo also "errori", the guests it did not refuse).
bool ServiceHolds(const std::optional<JournalExchange>& exchange, bool errorsToo);

// What an export sends of one day.
struct DayPlan {
    bool arrivals = true;
    bool departures = true;
    bool closing = false;
    // Said in the answers monitor when the day starts ("" for nothing): what
    // is left out and why.
    std::string note;
};

// The plan for day when the operator did not ask to send it again: the
// documents the journal holds as accepted are left out; the closing as asked.
DayPlan PlanOmittingAccepted(const JournalDay& day, bool closeDays);

// "il documento delle partenze del 02/03/2026 (Velmora/IstatDatiPInv-...)"
// for the exchange of a day.
std::string ExchangeName(const JournalExchange& exchange);

}  // namespace velmora
