// "velmora stato": one row per day from the send journal (arrivals,
// departures, closing, status word), optionally with the day's log files,
// as a printable page, or after rebuilding the journal from the log files;
// and the operator's word on a request whose outcome the journal does not
// know. The window's Verifica report carries the same table.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/CheckCommand.h"
#include "check/CheckFinding.h"
#include "journal/JournalDays.h"

namespace velmora {

struct StatusArguments {
    std::string from;  // "" : 30 days before yesterday
    std::string to;    // "" : yesterday
    bool files = false;
    std::string html;
    bool rebuild = false;
    std::string received;     // --ricevuto DAY
    std::string notReceived;  // --non-ricevuto DAY
    bool help = false;
};

// Parses the arguments after "stato": [--from DAY] [--to DAY] [--files]
// [--html FILE] [--ricostruisci] [--ricevuto DAY | --non-ricevuto DAY]
// [--help].
std::optional<StatusArguments> ParseStatusArguments(const std::vector<std::string>& args,
                                                    std::string& error);

// Turns NON INVIATO into NULLA DA INVIARE for the days whose two documents,
// as the check built them, hold no stay.
void MarkNothingToSend(std::vector<JournalDay>& days, const CheckReport& report);

// The table as text: a heading line, then one line per day (with files, the
// day's log files below it, indented).
std::vector<std::string> StatusLines(const std::vector<JournalDay>& days, bool files);

// The table as an HTML section for a page or the check's reports: with
// heading an h2 of its own, the days counted in words, a row per day coloured
// by its status word, each document's guests in words and, with files, the
// day's log files.
std::string StatusHtmlSection(const std::vector<JournalDay>& days, bool files, bool heading);

// A document of the journal in words: "2 presenze inviate, accettate
// (05/03/2026 14:07)", "1 presenza inviata, respinta", "nessuna presenza";
// "-" when nothing was recorded.
std::string CellInWords(const std::optional<JournalExchange>& e);

// "7 giorni: 5 inviati, 1 con errori, 1 non inviato."
std::string StatusCountsText(const std::vector<JournalDay>& days);

// The check's page (the window's Verifica report, "velmora check --html")
// with the journal's table for its range put before the end of its body. A journal that cannot be read leaves a line
// saying why.
std::string WithJournalSection(const std::string& page, const JournalLocation& journal,
                               const std::string& firstDay, const std::string& lastDay);

// Writes text to a new file name (never over an existing file or through a
// symbolic link); RunError when it cannot.
void WriteNewFile(const std::string& name, const std::string& text);

int RunStatusCommand(const StatusArguments& arguments, CheckServices& services, std::ostream& out,
                     std::ostream& err);

BatchCommand MakeStatusCommand(CheckServices& services);

}  // namespace velmora
