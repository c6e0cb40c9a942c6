// The program-wide pieces of Velmora on the files of the working directory:
// the Jet engine (made at first use and kept, so its table cache serves every
// later run), the HTTP transport over libcurl, the files and the clock; and
// the factory of real steps the export run takes.
#pragma once

#include <memory>
#include <string>

#include "app/ExportSteps.h"
#include "jet/DBEngine.h"
#include "journal/JournalLocation.h"
#include "platform/Clock.h"
#include "platform/FileStore.h"
#include "platform/Http.h"
#include "platform/curl/CurlTransport.h"

namespace velmora {

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
    // The send journal of the working directory (Velmora/Velmora.sqlite).
    JournalLocation journal() const;

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
