// The program's services: one engine that holds only the columns the export
// and the check read, one transport, the working directory's files.
#include "app/AppServices.h"

#include "app/RealExportSteps.h"
#include "jet/JetEngine.h"
#include "platform/LocalFileAccess.h"
#include "platform/curl/CurlTransport.h"
#include "stays/StaysWriters.h"

namespace velmora {

JournalLocation AppServices::journal() const { return JournalLocationIn(m_workDir); }

AppServices::AppServices(std::string workDir, CurlTransport::Options httpOptions)
    : m_workDir(std::move(workDir)), m_httpOptions(httpOptions) {}
AppServices::~AppServices() = default;

DBEngine& AppServices::engine(bool tableCache) {
    auto& slot = tableCache ? m_engine : m_uncachedEngine;
    if (!slot) {
        auto engine = std::make_unique<JetEngine>(m_workDir, tableCache,
                                                  std::make_shared<LocalFileAccess>());
        ReadOnlyColumnsUsed(*engine);
        slot = std::move(engine);
    }
    return *slot;
}

HttpTransport& AppServices::http() {
    if (!m_http) m_http = std::make_unique<CurlTransport>(m_httpOptions);
    return *m_http;
}

FileStore& AppServices::files() {
    if (!m_files) m_files = std::make_unique<LocalFileStore>(m_workDir);
    return *m_files;
}

Clock& AppServices::clock() {
    if (!m_clock) m_clock = std::make_unique<SystemClock>();
    return *m_clock;
}

ExportStepsFactory AppServices::factory() {
    return [this](RunState& state, Monitor& monitor, const StepsOptions& options) {
        return MakeRealExportSteps(state, monitor, engine(options.tableCache), http(), files(),
                                   clock(), options.recorder);
    };
}

}  // namespace velmora
