// Helpers of the check tests: a hotel working directory with guest tables
// written inline by each test and the small codes table beside the tests, the
// demo hotel as scripts/demo makes it, the loopback service in-process, the
// built velmora program run as a child, and readers of what runs leave behind.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ServiceSim.h"
#include "support/TempDir.h"

namespace velmora::test {

// Headers of the guest tables; the history has NomeCliente in addition.
extern const char* const kRegisterHeader;
extern const char* const kHistoryHeader;

// The user id and password of every hotel of these tests.
inline constexpr const char* kUser = "190001";
inline constexpr const char* kPassword = "demo";

// Writes "QLBSetup.txt" for a service under base ("http://127.0.0.1:PORT/istat").
void writeSettings(const TempDir& dir, const std::string& base);

// A working directory the check accepts: settings, "QLBDataI.txt" with
// 01/01/2026, Comuni.mdb from data/codes.txt, and both guest databases from
// the rows given (text table rows after the header).
void writeCheckHotel(const TempDir& dir, const std::string& registerRows,
                     const std::string& historyRows);

// The demo hotel of scripts/demo: codes from demo/codes through
// tools/codes/make-codes-table, both guest databases from demo/, QLBDataI.txt.
void writeDemoHotel(const TempDir& dir);

// The loopback service, started in-process on a free port, keeping every
// request it receives as a raw file.
class LoopbackService {
public:
    LoopbackService();
    ~LoopbackService();
    std::string base() const;  // "http://127.0.0.1:PORT/istat"
    std::size_t requestCount() const { return m_sim->requestCount(); }
    // The bodies of the documents posted to arrivi and partenze, in order.
    std::vector<std::string> postedDocuments() const;

private:
    TempDir m_requests;
    std::unique_ptr<sim::ServiceSim> m_sim;
};

struct ProgramResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the built velmora with the arguments in the working directory cwd.
ProgramResult runVelmora(const std::string& cwd, const std::string& args);

// The files below a directory, as relative names in sorted order.
std::vector<std::string> filesBelow(const std::string& dir);

}  // namespace velmora::test
