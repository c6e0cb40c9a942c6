// Everything a stays document is made from: the run-wide state (UserId,
// InitialDate, StaysWritten), the database engine, the files, the clock, and
// an optional observer of the writers.
#pragma once

#include "core/RunState.h"
#include "platform/Clock.h"
#include "jet/DBEngine.h"
#include "platform/FileStore.h"

namespace velmora {

class StaysObserver;

struct StaysContext {
    RunState& state;
    DBEngine& engine;
    FileStore& files;
    Clock& clock;
    StaysObserver* observer = nullptr;
};

}  // namespace velmora
