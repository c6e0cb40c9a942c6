// Recording export steps for the run, window and batch tests: every call is
// written down as a line ("DoLogin", "ExportStays 30/01/2026 30/01/2026 A",
// "SendMovements A <doc>", "CloseDay 30/01/2026", "DoLogout"); a script says
// which documents are empty, which calls mark an error and which call fails.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "app/ExportSteps.h"
#include "core/RunError.h"
#include "platform/Monitor.h"
#include "support/TempDir.h"

namespace velmora::test {

struct StepScript {
    // Documents by "day kind" ("31/01/2026 A"); missing ones are "<day kind>".
    std::map<std::string, std::string> documents;
    // Calls (as recorded) that return true, i.e. marked an error.
    std::set<std::string> marks;
    // The call (as recorded) that fails with kStepError.
    std::string failAt;
    // Called at every call, after it is recorded.
    std::function<void(const std::string& call)> onCall;

    std::vector<std::string> calls;
    int made = 0;
};

inline const RunError kStepError("Servizio non raggiungibile", "http://127.0.0.1:9/istat/arrivi");

class RecordingSteps : public ExportSteps {
public:
    RecordingSteps(StepScript& script, Monitor& monitor) : m_script(script), m_monitor(monitor) {}

    void DoLogin() override { step("DoLogin"); }
    std::string ExportStays(const std::string& firstDay, const std::string& lastDay,
                            const std::string& kind) override {
        step("ExportStays " + firstDay + " " + lastDay + " " + kind);
        auto it = m_script.documents.find(firstDay + " " + kind);
        return it != m_script.documents.end() ? it->second : "<" + firstDay + " " + kind + ">";
    }
    bool SendMovements(const std::string& document, const std::string& kind,
                       const std::string& /*day*/) override {
        const std::string call = "SendMovements " + kind + " " + document;
        m_monitor.append(kSentBox, document);
        bool marked = step(call);
        m_monitor.append(kAnswersBox, "OK " + kind);
        return marked;
    }
    bool CloseDay(const std::string& day) override { return step("CloseDay " + day); }
    bool DoLogout() override { return step("DoLogout"); }

private:
    bool step(const std::string& call) {
        m_script.calls.push_back(call);
        if (m_script.onCall) m_script.onCall(call);
        if (call == m_script.failAt) throw kStepError;
        return m_script.marks.count(call) > 0;
    }

    StepScript& m_script;
    Monitor& m_monitor;
};

inline ExportStepsFactory recordingFactory(StepScript& script) {
    return [&script](RunState&, Monitor& monitor,
                     const StepsOptions&) -> std::unique_ptr<ExportSteps> {
        ++script.made;
        return std::make_unique<RecordingSteps>(script, monitor);
    };
}

// The calls of one day with both documents sent and, when closing, CloseDay.
inline std::vector<std::string> dayCalls(const std::string& day, bool close) {
    std::vector<std::string> calls = {
        "ExportStays " + day + " " + day + " A", "SendMovements A <" + day + " A>",
        "ExportStays " + day + " " + day + " P", "SendMovements P <" + day + " P>"};
    if (close) calls.push_back("CloseDay " + day);
    return calls;
}

// A working directory the checks before the login accept: settings, data file
// with a valid first line and the three database files (empty stand-ins).
inline void writeHotelFiles(const TempDir& dir) {
    dir.write("QLBSetup.txt",
              "HOTEL01\r\nsegreta\r\nhttp://127.0.0.1:9/istat/login\r\n"
              "http://127.0.0.1:9/istat/logout\r\nhttp://127.0.0.1:9/istat/arrivi\r\n"
              "http://127.0.0.1:9/istat/partenze\r\nhttp://127.0.0.1:9/istat/chiusura\r\n");
    dir.write("QLBDataI.txt", "01/01/2026\r\n");
    for (const char* db : {"Scheda_Cliente.mdb", "SchedaStoricoClienti.mdb", "Comuni.mdb"})
        dir.write(db, "");
}

}  // namespace velmora::test
