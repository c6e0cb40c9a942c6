// Binds the export run's steps to the service client and the stays writers,
// and, when the run records, the writers' reports and the client's notes to
// the send journal's recorder.
#include "app/RealExportSteps.h"

#include "journal/RunRecorder.h"
#include "service/ServiceClient.h"
#include "stays/ExportStays.h"
#include "stays/StaysContext.h"

namespace velmora {

namespace {

class RealExportSteps : public ExportSteps {
public:
    RealExportSteps(RunState& state, Monitor& monitor, DBEngine& engine, HttpTransport& http,
                    FileStore& files, Clock& clock, RunRecorder* recorder)
        : m_service{state, http, monitor, files, clock, recorder},
          m_stays{state, engine, files, clock},
          m_recorder(recorder) {}

    void DoLogin() override { velmora::DoLogin(m_service); }
    std::string ExportStays(const std::string& firstDay, const std::string& lastDay,
                            const std::string& kind) override {
        if (!m_recorder) return velmora::ExportStays(m_stays, firstDay, lastDay, kind);
        GuestCollector guests(kind);
        m_stays.observer = &guests;
        std::string document;
        try {
            document = velmora::ExportStays(m_stays, firstDay, lastDay, kind);
        } catch (...) {
            m_stays.observer = nullptr;
            throw;
        }
        m_stays.observer = nullptr;
        m_recorder->documentBuilt(firstDay, kind, guests.take());
        return document;
    }
    bool SendMovements(const std::string& document, const std::string& kind,
                       const std::string& day) override {
        return velmora::SendMovements(m_service, document, kind, day);
    }
    bool CloseDay(const std::string& day) override { return velmora::CloseDay(m_service, day); }
    bool DoLogout() override { return velmora::DoLogout(m_service); }

private:
    ServiceContext m_service;
    StaysContext m_stays;
    RunRecorder* m_recorder;
};

}  // namespace

std::unique_ptr<ExportSteps> MakeRealExportSteps(RunState& state, Monitor& monitor,
                                                 DBEngine& engine, HttpTransport& http,
                                                 FileStore& files, Clock& clock,
                                                 RunRecorder* recorder) {
    return std::make_unique<RealExportSteps>(state, monitor, engine, http, files, clock, recorder);
}

}  // namespace velmora
