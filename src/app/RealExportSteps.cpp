// Binds the export run's steps to the service client and the stays writers.
#include "app/RealExportSteps.h"

#include "platform/curl/CurlTransport.h"
#include "platform/jet/JetEngine.h"
#include "service/ServiceClient.h"
#include "stays/ExportStays.h"
#include "stays/StaysContext.h"

namespace velmora {

namespace {

class RealExportSteps : public ExportSteps {
public:
    RealExportSteps(RunState& state, Monitor& monitor, DBEngine& engine, HttpTransport& http,
                    FileStore& files, Clock& clock)
        : m_service{state, http, monitor, files, clock}, m_stays{state, engine, files, clock} {}

    void DoLogin() override { velmora::DoLogin(m_service); }
    std::string ExportStays(const std::string& firstDay, const std::string& lastDay,
                            const std::string& kind) override {
        m_documentDay = firstDay;
        return velmora::ExportStays(m_stays, firstDay, lastDay, kind);
    }
    bool SendMovements(const std::string& document, const std::string& kind) override {
        return velmora::SendMovements(m_service, document, kind, m_documentDay);
    }
    bool CloseDay(const std::string& day) override { return velmora::CloseDay(m_service, day); }
    bool DoLogout() override { return velmora::DoLogout(m_service); }

private:
    ServiceContext m_service;
    StaysContext m_stays;
    // The day of the document built last, the one SendMovements posts.
    std::string m_documentDay;
};

}  // namespace

std::unique_ptr<ExportSteps> MakeRealExportSteps(RunState& state, Monitor& monitor,
                                                 DBEngine& engine, HttpTransport& http,
                                                 FileStore& files, Clock& clock) {
    return std::make_unique<RealExportSteps>(state, monitor, engine, http, files, clock);
}

AppServices::AppServices(std::string workDir, CurlTransport::Options httpOptions)
    : m_workDir(std::move(workDir)), m_httpOptions(httpOptions) {}
AppServices::~AppServices() = default;

DBEngine& AppServices::engine(bool tableCache) {
    auto& slot = tableCache ? m_engine : m_uncachedEngine;
    if (!slot) slot = std::make_unique<JetEngine>(m_workDir, tableCache);
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
                                   clock());
    };
}

}  // namespace velmora
