// What the send journal says of each day: the last exchange of each kind,
// whether the day was closed, and one status word. Shared by "velmora
// stato", the question before sending a day again and "export --pending".
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "service/SendJournal.h"

namespace velmora {

inline constexpr const char* kStatusSent = "INVIATO";
inline constexpr const char* kStatusWithErrors = "CON ERRORI";
inline constexpr const char* kStatusInterrupted = "INTERROTTO";
inline constexpr const char* kStatusUnknown = "ESITO SCONOSCIUTO";
inline constexpr const char* kStatusNotSent = "NON INVIATO";
inline constexpr const char* kStatusNothingToSend = "NULLA DA INVIARE";

struct JournalDay {
    std::string day;  // "DD/MM/YYYY"
    // The last exchange of each kind recorded for the day.
    std::optional<JournalExchange> arrivals;
    std::optional<JournalExchange> departures;
    std::optional<JournalExchange> closing;
    // A kind with no exchange that the run which did the day's other kind
    // found empty (a journal rebuilt from files knows no empty documents).
    bool arrivalsEmpty = false;
    bool departuresEmpty = false;
    std::string status;  // one of the words above; kStatusNotSent when nothing is recorded
    // Every log file of the day's exchanges: arrivals, departures, closing.
    std::vector<std::string> files;
};

// The days firstDay..lastDay ("DD/MM/YYYY") as the journal holds them.
std::vector<JournalDay> JournalDays(const SendJournal& journal, const std::string& firstDay,
                                    const std::string& lastDay);

// The days of the range sent and accepted, with at least one document posted.
std::vector<std::string> AcceptedDays(const SendJournal& journal, const std::string& firstDay,
                                      const std::string& lastDay);

// The same, reading the journal file at path (missing: none).
std::vector<std::string> AcceptedDaysAt(const std::string& path, const std::string& firstDay,
                                        const std::string& lastDay);

// The last day whose status is INVIATO ("DD/MM/YYYY"), if any.
std::optional<std::string> LastDaySent(const SendJournal& journal);

// Velmora/Velmora.sqlite below the working directory.
std::string JournalPathIn(const std::string& workDir);

}  // namespace velmora
