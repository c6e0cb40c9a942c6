// Test helpers of the stays area: guest and codes databases written with
// jetwrite into a temporary working directory from the text tables in
// tests/stays/data, an engine that records every call on its way to the real
// one, and short forms of a document for comparisons.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/RunState.h"
#include "jet/DBEngine.h"
#include "platform/FileStore.h"
#include "jet/JetEngine.h"
#include "stays/LineSink.h"
#include "stays/StaysContext.h"
#include "support/Fakes.h"
#include "support/TempDir.h"

namespace velmora::test {

// Header of the guest table for tables written inline in a test.
extern const char* const kGuestHeader;

// Path of a file kept beside the tests ("data/codes.txt").
std::string staysTestFile(const std::string& name);

// The lines of an expected document kept beside the tests.
std::vector<std::string> expectedLines(const std::string& name);

// Writes dir/database holding table Scheda_Cliente (or CodiciVari) from a text
// table file in tests/stays/data, or from text.
void writeTableFile(const TempDir& dir, const std::string& database, const std::string& table,
                    const std::string& dataFile);
void writeTableText(const TempDir& dir, const std::string& database, const std::string& table,
                    const std::string& text);

// Passes every call on to another engine and logs it:
// "OpenDatabase Comuni.mdb", "OpenRecordset CodiciVari", "FindFirst ...",
// "FindNext ...", "Close".
class RecordingEngine : public DBEngine {
public:
    explicit RecordingEngine(DBEngine& inner) : m_inner(inner) {}
    std::unique_ptr<Database> OpenDatabase(std::string_view name) override;
    std::vector<std::string> log;

private:
    DBEngine& m_inner;
};

// A working directory with the codes database, the run state (UserId
// 123456, InitialDate 20240101) and the stays context over a real engine.
// The guest databases are each test's own.
struct StaysFixture {
    StaysFixture();
    TempDir dir;
    RunState state;
    JetEngine jet;
    RecordingEngine engine{jet};
    LocalFileStore files;
    FixedClock clock;
    StaysContext ctx;
};

// The stays and guests of a document: "StayId(GuestId GuestId) StayId(...)".
std::string stayOutline(const std::vector<std::string>& lines);

// The lines of the guest with this GuestId (G1 to G20), or none.
std::vector<std::string> guestLines(const std::vector<std::string>& lines,
                                    const std::string& guestId);

}  // namespace velmora::test
