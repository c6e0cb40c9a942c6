// The real steps of an export run: the service client and the stays writers,
// bound to the engine, transport, files and clock they are given.
#pragma once

#include <memory>

#include "app/ExportSteps.h"
#include "platform/Clock.h"
#include "jet/DBEngine.h"
#include "platform/FileStore.h"
#include "platform/Http.h"

namespace velmora {

// Steps over the real service client and stays writers, bound to the given
// engine, transport, files and clock (all must outlive the steps); with a
// recorder, the guests of each document built and every exchange are
// recorded through it.
std::unique_ptr<ExportSteps> MakeRealExportSteps(RunState& state, Monitor& monitor,
                                                 DBEngine& engine, HttpTransport& http,
                                                 FileStore& files, Clock& clock,
                                                 RunRecorder* recorder = nullptr);

}  // namespace velmora
