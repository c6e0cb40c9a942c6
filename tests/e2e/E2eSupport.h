// Helpers of the end-to-end tests: the demo hotel written into a scratch
// working directory, the loopback service started in-process with its raw
// request files, the built velmora program run as a child process with a time
// limit, and readers for what a run leaves behind (monitor text, Velmora/).
#pragma once

#include <array>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ServiceSim.h"
#include "support/TempDir.h"

namespace velmora::e2e {

// The demo hotel's user, password and week.
inline constexpr const char* kUser = "190001";
inline constexpr const char* kPassword = "demo";
inline constexpr const char* kFirstDay = "02/03/2026";
inline constexpr const char* kLastDay = "08/03/2026";

// A file of the source tree ("demo/Scheda_Cliente.txt").
std::string sourceFile(const std::string& relative);

// The text table of CodiciVari made from demo/codes by tools/codes/make-codes-table,
// as the demo script makes it; computed once.
const std::string& demoCodesTable();

// Writes Comuni.mdb, Scheda_Cliente.mdb, SchedaStoricoClienti.mdb and
// QLBDataI.txt of the demo hotel into dir (the databases are made once per
// process and copied).
void writeDemoHotel(const test::TempDir& dir);

// Writes "QLBSetup.txt" with the seven lines for a service under base
// ("http://127.0.0.1:PORT/istat"), CR LF line ends.
void writeSettings(const test::TempDir& dir, const std::string& base,
                   const std::string& password = kPassword);

// One request as the service received it.
struct RawRequest {
    std::string method;
    std::string target;
    std::string segment;  // last path segment: "login", "arrivi", ...
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    // The body has exactly the length its Content-Length announced.
    bool complete = false;

    std::string header(const std::string& name) const;
};

RawRequest parseRawRequest(const std::string& raw);

// The loopback service on a free port, keeping every request it receives.
class LoopbackService {
public:
    explicit LoopbackService(
        const std::function<void(sim::ServiceSimOptions&)>& configure = nullptr);
    ~LoopbackService();

    // "http://127.0.0.1:PORT/istat"
    std::string base() const;
    // The requests received so far, in the order received.
    std::vector<RawRequest> requests() const;
    // "GET login", "POST arrivi", ... in the order received.
    std::vector<std::string> requestLines() const;
    void stop();

private:
    test::TempDir m_dir;
    std::unique_ptr<sim::ServiceSim> m_sim;
};

// A port on 127.0.0.1 where nothing listens.
int unusedPort();

struct ProgramResult {
    int status = -1;  // exit status; -1 when killed or not started
    bool timedOut = false;
    std::string out;
    std::string err;
};

enum class Stdout { Captured, ClosedPipe };

// Runs build/velmora with args in the working directory cwd, stdin empty;
// kills it after limit. With Stdout::ClosedPipe its standard output is a pipe
// nobody reads from (as after "velmora export ... | head" has ended).
// whileRunning, when given, is called with the child's pid every few
// milliseconds until it ends.
ProgramResult runVelmora(const std::string& cwd, const std::vector<std::string>& args,
                         std::chrono::milliseconds limit = std::chrono::seconds(30),
                         Stdout stdoutTo = Stdout::Captured,
                         const std::function<void(int pid)>& whileRunning = nullptr);

// One monitor append as batch mode prints it.
struct MonitorAppend {
    int box = 0;  // 0 sent, 1 answers
    std::string text;
};

// Splits batch mode's standard output at its ">>> inviato" / "<<< risposta"
// lines into the appends they announce.
std::vector<MonitorAppend> parseBatchOutput(const std::string& out);

// The two monitor texts those appends build: CR LF and the text per append.
std::array<std::string, 2> monitorModel(const std::vector<MonitorAppend>& appends);

// One exchange as the monitor shows it: what was sent, then the answers box's
// appends up to the next sent text (the answer, and "Sono presenti errori!"
// when it was marked).
struct Exchange {
    std::string sent;
    std::vector<std::string> answers;
};
std::vector<Exchange> exchangesOf(const std::vector<MonitorAppend>& appends);

// The days first..last ("DD/MM/YYYY"), both included.
std::vector<std::string> daysOf(const std::string& first, const std::string& last);

// Every occurrence of from replaced by to.
std::string replaceAll(std::string text, const std::string& from, const std::string& to);

// CR LF turned into LF, as batch mode prints message boxes.
std::string withLineFeeds(const std::string& text);

// A file of Velmora/.
struct LogFile {
    std::string name;
    std::string content;
};

// The files of workDir/Velmora by prefix ("Login", "IstatDatiAInv", "Istat"),
// each list in the order the files were made (stamp, then -2, -3, ...).
// Names that do not have the form prefix + stamp [+ -n] + ".xml" go under "?";
// the send journal Velmora.sqlite is left out.
std::map<std::string, std::vector<LogFile>> velmoraFiles(const std::string& workDir);

// Number of files per prefix, for comparisons.
std::map<std::string, std::size_t> fileCounts(
    const std::map<std::string, std::vector<LogFile>>& files);

}  // namespace velmora::e2e
