// The batch command "velmora check": the check before sending over a range
// of days, printed in Italian to standard output (optionally with every
// document as it would be posted), with an optional printable HTML report.
// The exit status tells the worst that was found.
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/BatchMode.h"
#include "check/CheckFinding.h"
#include "platform/Clock.h"
#include "jet/DBEngine.h"
#include "journal/JournalLocation.h"
#include "platform/FileStore.h"

namespace velmora {

// Exit status of "velmora check" (wrong usage is kExitUsage).
inline constexpr int kCheckClean = 0;     // nothing found but skips
inline constexpr int kCheckFindings = 1;  // guests the service refuses or never receives
inline constexpr int kCheckBlocking = 2;  // the export would stop, or would not start

// The first line of the check's message boxes and of its refusal.
inline constexpr const char* kCheckDoneLine = "Verifica completata.";
inline constexpr const char* kCheckNotStartedLine = "Verifica non avviata!";

struct CheckArguments {
    std::string from;
    std::string to;
    bool documents = false;
    std::string html;  // report file; "" for none
    bool help = false;
};

// Parses the arguments after "check": --from DAY --to DAY [--documents]
// [--html FILE] [--help]; "--from=DAY" and "--html=FILE" work too. On wrong
// usage returns nothing and sets error.
std::optional<CheckArguments> ParseCheckArguments(const std::vector<std::string>& args,
                                                  std::string& error);

// What the check and status commands work with; the engine is asked for when
// needed.
struct CheckServices {
    FileStore& files;
    Clock& clock;
    std::function<DBEngine&()> engine;
    // The hotel folder's send journal.
    JournalLocation journal;
};

// The exit status for a finished check.
int CheckExitStatus(const CheckReport& report);

// Loads the settings, reads the two days like the window's date fields, runs
// the export's checks before the login (without making "Velmora"), then the
// check; prints its lines and the counts, writes the HTML report when asked.
int RunCheckCommand(const CheckArguments& arguments, CheckServices& services, std::ostream& out,
                    std::ostream& err);

// The "check" entry of the command table.
BatchCommand MakeCheckCommand(CheckServices& services);

}  // namespace velmora
