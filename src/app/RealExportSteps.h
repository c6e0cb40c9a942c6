// The real steps of an export run: the service client over libcurl and the
// stays writers over the Jet engine, on the files of the working directory.
// AppServices owns the program-wide pieces (the engine is made at first use
// and kept, so its table cache serves every later run) and hands the export
// run a factory of steps.
#pragma once

#include <memory>
#include <string>

#include "app/ExportSteps.h"
#include "platform/Clock.h"
#include "jet/DBEngine.h"
#include "platform/FileStore.h"
#include "platform/Http.h"
#include "platform/curl/CurlTransport.h"

namespace velmora {

// Steps over the real service client and stays writers, bound to the given
// engine, transport, files and clock (all must outlive the steps); with a
// journalPath, every exchange is recorded in the send journal there (opened,
// made or migrated now: RunError when it cannot be).
std::unique_ptr<ExportSteps> MakeRealExportSteps(RunState& state, Monitor& monitor,
                                                 DBEngine& engine, HttpTransport& http,
                                                 FileStore& files, Clock& clock,
                                                 const std::string& journalPath = {});

class AppServices {
public:
    // workDir: where the databases, the text files and Velmora/ live;
    // httpOptions: time-outs and limits of every exchange with the service.
    explicit AppServices(std::string workDir = ".", CurlTransport::Options httpOptions = {});
    ~AppServices();
    AppServices(const AppServices&) = delete;
    AppServices& operator=(const AppServices&) = delete;

    // The engine, made at first use; with tableCache false a second engine
    // that reads every table from its file at each open.
    DBEngine& engine(bool tableCache);
    HttpTransport& http();
    FileStore& files();
    Clock& clock();
    // Velmora/Velmora.sqlite below the working directory.
    std::string journalPath() const;

    // Steps bound to these services; valid while this object lives.
    ExportStepsFactory factory();

private:
    std::string m_workDir;
    CurlTransport::Options m_httpOptions;
    std::unique_ptr<DBEngine> m_engine;
    std::unique_ptr<DBEngine> m_uncachedEngine;
    std::unique_ptr<HttpTransport> m_http;
    std::unique_ptr<FileStore> m_files;
    std::unique_ptr<Clock> m_clock;
};

}  // namespace velmora
