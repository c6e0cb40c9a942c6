// The real steps of an export run: the service client and the stays writers,
// bound to the engine, transport, files and clock they are given.
#pragma once

#include <memory>
#include <string>

#include "app/ExportSteps.h"
#include "platform/Clock.h"
#include "jet/DBEngine.h"
#include "platform/FileStore.h"
#include "platform/Http.h"

namespace velmora {

// Steps over the real service client and stays writers, bound to the given
// engine, transport, files and clock (all must outlive the steps); with a
// journalPath, every exchange is recorded in the send journal there (opened,
// made or migrated now: RunError when it cannot be).
std::unique_ptr<ExportSteps> MakeRealExportSteps(RunState& state, Monitor& monitor,
                                                 DBEngine& engine, HttpTransport& http,
                                                 FileStore& files, Clock& clock,
                                                 const std::string& journalPath = {});

}  // namespace velmora
