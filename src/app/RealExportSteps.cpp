// Binds the export run's steps to the service client and the stays writers.
#include "app/RealExportSteps.h"

#include "app/JournalDays.h"
#include "platform/curl/CurlTransport.h"
#include "jet/JetEngine.h"
#include "service/SendJournal.h"
#include "stays/CodeLookups.h"
#include "stays/StaysWriters.h"
#include "service/ServiceClient.h"
#include "stays/ExportStays.h"
#include "stays/StaysContext.h"

namespace velmora {

namespace {

class RealExportSteps : public ExportSteps {
public:
    RealExportSteps(RunState& state, Monitor& monitor, DBEngine& engine, HttpTransport& http,
                    FileStore& files, Clock& clock, const std::string& journalPath)
        : m_service{state, http, monitor, files, clock}, m_stays{state, engine, files, clock} {
        if (journalPath.empty()) return;
        m_journal = std::make_unique<SendJournal>(journalPath, false);
        m_journal->setClock(&clock);
        m_service.journal = m_journal.get();
    }

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
    SendJournal* journal() override { return m_journal.get(); }

private:
    std::unique_ptr<SendJournal> m_journal;
    ServiceContext m_service;
    StaysContext m_stays;
    // The day of the document built last, the one SendMovements posts.
    std::string m_documentDay;
};

}  // namespace

std::unique_ptr<ExportSteps> MakeRealExportSteps(RunState& state, Monitor& monitor,
                                                 DBEngine& engine, HttpTransport& http,
                                                 FileStore& files, Clock& clock,
                                                 const std::string& journalPath) {
    return std::make_unique<RealExportSteps>(state, monitor, engine, http, files, clock,
                                             journalPath);
}

std::string AppServices::journalPath() const { return JournalPathIn(m_workDir); }

AppServices::AppServices(std::string workDir, CurlTransport::Options httpOptions)
    : m_workDir(std::move(workDir)), m_httpOptions(httpOptions) {}
AppServices::~AppServices() = default;

DBEngine& AppServices::engine(bool tableCache) {
    auto& slot = tableCache ? m_engine : m_uncachedEngine;
    if (!slot) {
        // Hold only what the export and the check read: a history of a
        // million guests with forty columns each would not fit otherwise.
        auto engine = std::make_unique<JetEngine>(m_workDir, tableCache);
        engine->keepOnlyColumns("Scheda_Cliente", GuestColumnsRead());
        engine->keepOnlyColumns("CodiciVari", CodesColumnsRead());
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
                                   clock(), journalPath());
    };
}

}  // namespace velmora
