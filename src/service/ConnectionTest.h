// The connection test behind "velmora prova": a login and a logout with the
// settings, to learn whether the addresses and the credentials work. No
// document is sent and no file is written.
#pragma once

#include <string>
#include <vector>

#include "core/RunState.h"
#include "platform/Http.h"

namespace velmora {

struct ConnectionOutcome {
    bool works = false;
    // What was tried and how it went, one Italian sentence a line.
    std::vector<std::string> lines;
};

// Logs in at LoginUrl with UserId and Password and, when that gives a
// token, logs out at LogoutUrl with it. Never throws for what the service
// or the network does.
ConnectionOutcome TestConnection(const RunState& settings, HttpTransport& http);

}  // namespace velmora
