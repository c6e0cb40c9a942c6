// Batch mode: Velmora driven from the command line without a window. A small
// table of commands ("export", more to come) is dispatched by name; "export"
// runs the same export run as the window's "E&sporta", prints every monitor
// append to standard output and every message box to standard error.
#pragma once

#include <exception>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/ExportRun.h"
#include "app/ExportSteps.h"
#include "journal/JournalLocation.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/FileStore.h"
#include "platform/Monitor.h"
#include "platform/StopRequest.h"

namespace velmora {

// Exit status of the program in batch mode.
inline constexpr int kExitCompleted = 0;   // completed, no answer marked an error
inline constexpr int kExitWithErrors = 1;  // completed, some answer marked an error
inline constexpr int kExitFailed = 2;      // refused before the login, or interrupted
inline constexpr int kExitUsage = 64;      // wrong usage

// The lines printed before each monitor append in batch mode.
inline constexpr const char* kSentMarker = ">>> inviato";
inline constexpr const char* kAnswerMarker = "<<< risposta";

struct BatchCommand {
    std::string name;
    // Usage lines of the command, each starting "velmora <name>".
    std::string usage;
    // Runs the command with the arguments after its name; returns the exit status.
    std::function<int(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)>
        run;
};

// The usage text: every command's usage and the exit statuses.
std::string UsageText(const std::vector<BatchCommand>& commands);

// Runs the command named by args[0] (args without the program name, at least
// one). "--help", "-h" and "help" print the usage and give 0; an unknown
// command prints it to err and gives kExitUsage. Where there is SIGPIPE it is
// ignored from here on, so a closed output never stops a run.
int DispatchCommand(const std::vector<std::string>& args, const std::vector<BatchCommand>& commands,
                    std::ostream& out, std::ostream& err);

// One option of a batch command. A value option (value set) takes the next
// argument or "--name=VALUE" and names what it wants in its messages ("manca
// <missing> dopo --name", "<empty> per --name"); a flag (flag set) takes no
// value and sets *flag to flagValue.
struct OptionSpec {
    std::string name;
    std::string* value = nullptr;
    const char* missing = "il valore";
    const char* empty = "valore vuoto";
    bool* flag = nullptr;
    bool flagValue = true;
};

// Fills the options' targets from args. "--help" or "-h" sets help and stops
// there; an option given twice, a value missing or empty, or any other
// argument gives false with error set (the message after "velmora <command>: ").
// A value option left out keeps its text empty.
bool ParseOptions(const std::vector<std::string>& args, const std::vector<OptionSpec>& options,
                  bool& help, std::string& error);

struct ExportArguments {
    std::string from;
    std::string to;
    bool closeDays = false;
    bool tableCache = true;
    bool resend = false;   // --reinvia: days already sent and accepted go again
    bool pending = false;  // --pending: the days after the last one sent, to yesterday
    std::string upTo;      // --fino-a: the catch-up's last day instead of yesterday
    bool help = false;
};

// Parses the arguments after "export": --from DAY --to DAY [--close-days]
// [--reinvia] [--no-table-cache] [--help], or --pending [--fino-a DAY]
// instead of the two days; "--from=DAY" works too. On wrong usage returns
// nothing and sets error.
std::optional<ExportArguments> ParseExportArguments(const std::vector<std::string>& args,
                                                    std::string& error);

// Prints each append as a marker line (kSentMarker or kAnswerMarker), the text
// (control characters escaped, terminalSafe) and a line end, flushing after each.
class StreamMonitor : public Monitor {
public:
    explicit StreamMonitor(std::ostream& out) : m_out(out) {}
    void append(int box, const std::string& text) override;

private:
    std::ostream& m_out;
};

// Prints "title: prompt" with the prompt's CR LF turned into line ends and
// control characters escaped.
class StreamDialogs : public Dialogs {
public:
    explicit StreamDialogs(std::ostream& err) : m_err(err) {}
    void MsgBox(const std::string& prompt, int style, const std::string& title) override;
    // Batch mode asks nobody: prints the question and answers No.
    bool Question(const std::string& prompt, const std::string& title) override;

private:
    std::ostream& m_err;
};

// A day written as the window's date fields take it on Enter ("050326" is
// 05/03/2026 in 2026), "DD/MM/YYYY"; nothing when it is no valid date (text
// then holds what was made of it).
std::optional<std::string> ReadBatchDay(const std::string& given, int currentYear,
                                        std::string& text);

// Loads the settings into state and reads the days from / to as the window's
// date fields would take them on Enter (days[0], days[1]). On failure says why
// (settings through dialogs, a bad day on err) and returns false.
bool PrepareBatchDays(const std::string& from, const std::string& to, const FileStore& files,
                      const Clock& clock, Dialogs& dialogs, std::ostream& err, RunState& state,
                      std::string (&days)[2]);

// When the last of the two days comes before the first, says so on err as
// "velmora <command>: " and kReversedRange, and returns true.
bool RefuseReversedRange(const std::string (&days)[2], const std::string& command,
                         std::ostream& err);

// A command-table entry: parses the arguments after the command's name with
// parse(args, error) -> std::optional<Arguments> (whose `help` asks for the
// usage), prints the usage on a wrong call (kExitUsage) or on --help
// (helpStatus), else returns run(arguments, out, err); an exception escaping
// run is reported on err and gives kExitFailed.
template <class Arguments, class Parse, class Run>
BatchCommand MakeBatchCommand(std::string name, std::string usage, int helpStatus, Parse parse,
                              Run run) {
    BatchCommand c;
    c.name = name;
    c.usage = usage;
    c.run = [name, usage, helpStatus, parse, run](const std::vector<std::string>& args,
                                                  std::ostream& out, std::ostream& err) {
        std::string error;
        std::optional<Arguments> parsed = parse(args, error);
        if (!parsed) {
            err << "velmora " << name << ": " << error << "\n\nUso:\n" << usage;
            err.flush();
            return kExitUsage;
        }
        if (parsed->help) {
            out << "Uso:\n" << usage;
            out.flush();
            return helpStatus;
        }
        try {
            return run(*parsed, out, err);
        } catch (const std::exception& e) {
            err << "velmora: errore imprevisto: " << e.what() << '\n';
        } catch (...) {
            err << "velmora: errore imprevisto\n";
        }
        err.flush();
        return kExitFailed;
    };
    return c;
}

// What the export command works with; the steps come from the factory.
struct BatchServices {
    FileStore& files;
    Clock& clock;
    ExportStepsFactory factory;
    // The hotel folder's send journal; none: the export records nothing,
    // and neither --pending nor the refusal of days already sent works.
    std::optional<JournalLocation> journal = {};
    // When given, SIGINT and SIGTERM stop the export through it (the same
    // object the HTTP transport watches); a second signal ends the program.
    StopRequest* stop = nullptr;
};

// Loads the settings, reads the two days like the window's date fields and
// runs the export. Returns the exit status.
int RunExportCommand(const ExportArguments& arguments, BatchServices& services, std::ostream& out,
                     std::ostream& err);

// The "export" entry of the command table.
BatchCommand MakeExportCommand(BatchServices& services);

// The exit status for the outcome of a run.
int ExitStatusOf(RunOutcome outcome);

}  // namespace velmora
