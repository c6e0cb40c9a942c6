// The one set of helpers of every test program: hotels written with jetwrite
// (the demo hotel as scripts/demo makes it, or tables given inline), the
// loopback service with its raw request files, the built programs run as
// children with a time limit, and readers of what a run leaves behind.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "ServiceSim.h"
#include "support/TempDir.h"

namespace velmora::test {

// The demo hotel's user, password and week.
inline constexpr const char* kUser = "190001";
inline constexpr const char* kPassword = "demo";
inline constexpr const char* kFirstDay = "02/03/2026";
inline constexpr const char* kLastDay = "08/03/2026";

// Header of the register's guest table; the history's adds NomeCliente.
extern const char* const kRegisterHeader;
extern const char* const kHistoryHeader;

// Writes path holding the tables given as (name, text table).
void writeTables(const std::string& path,
                 const std::vector<std::pair<std::string, std::string>>& tables);

// The demo hotel of scripts/demo in dir: the three databases made by the
// velmora-jetwrite program (codes through tools/codes/make-codes-table), once
// per process and copied, and QLBDataI.txt.
void writeDemoHotel(const TempDir& dir);

// "QLBSetup.txt" for a service under base ("http://127.0.0.1:PORT/istat").
void writeSettings(const TempDir& dir, const std::string& base,
                   const std::string& password = kPassword);

// One request as the service received it.
struct RawRequest {
    std::string method;
    std::string segment;  // last path segment: "login", "arrivi", ...
    std::vector<std::pair<std::string, std::string>> headers;
    std::string head;  // request line and headers, as received
    std::string body;
    bool complete = false;  // the body has the length Content-Length announced
    std::string header(const std::string& name) const;
};

// The loopback service on a free port, keeping every request raw.
class LoopbackService {
public:
    explicit LoopbackService(
        const std::function<void(sim::ServiceSimOptions&)>& configure = nullptr);
    ~LoopbackService();
    std::string base() const;  // "http://127.0.0.1:PORT/istat"
    std::vector<RawRequest> requests() const;
    std::vector<std::string> requestLines() const;  // "METHOD segment" of each
    void stop();

private:
    TempDir m_dir;
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

// Runs build/<program> (velmora unless named) with args in cwd, stdin empty,
// killed after limit. With Stdout::ClosedPipe its output goes to a pipe
// nobody reads (as after "velmora export ... | head" has ended). whileRunning,
// when given, is called with the child's pid every few milliseconds.
ProgramResult runVelmora(const std::string& cwd, const std::vector<std::string>& args,
                         std::chrono::milliseconds limit = std::chrono::seconds(30),
                         Stdout stdoutTo = Stdout::Captured, const std::string& program = "velmora",
                         const std::function<void(int pid)>& whileRunning = nullptr);

// One exchange as batch mode prints it: the text after ">>> inviato", then
// each text after "<<< risposta" up to the next one sent.
struct Exchange {
    std::string sent;
    std::vector<std::string> answers;
};
std::vector<Exchange> exchangesOf(const std::string& batchOutput);

// Every occurrence of from replaced by to; CR LF as LF.
std::string replaceAll(std::string text, const std::string& from, const std::string& to);
std::string withLineFeeds(const std::string& text);
// The text with each name below the log folder ("Velmora/...") as this system
// writes it: "Velmora\..." on Windows.
std::string systemNames(const std::string& text);

// The contents of workDir/Velmora's files by prefix ("Login", "Istat", ...),
// each list in the order the files were made (stamp, then -2, -3, ...).
// Names not of the form prefix-STAMP[-n].xml go under "?".
std::map<std::string, std::vector<std::string>> velmoraFiles(const std::string& workDir);
std::map<std::string, std::size_t> fileCounts(const std::string& workDir);

// A file kept beside the tests, read whole ("stays/expected/x.xml").
std::string testFile(const std::string& relative);

// Prints a row of a parameterised test as its rule text (bring it into the
// test file's namespace with a using-declaration).
template <class Row>
auto operator<<(std::ostream& os, const Row& row) -> decltype((void)row.rule, os) {
    return os << row.rule;
}

// Names the rows of a parameterised test after their rule text.
struct RuleName {
    template <class Info>
    std::string operator()(const Info& info) const {
        std::string name;
        for (char c : std::string(info.param.rule))
            name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    }
};

}  // namespace velmora::test
