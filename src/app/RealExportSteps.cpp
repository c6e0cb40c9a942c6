// Binds the export run's steps to the service client and the stays writers.
#include "app/RealExportSteps.h"

#include "service/SendJournal.h"
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

}  // namespace velmora
