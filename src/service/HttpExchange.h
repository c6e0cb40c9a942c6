// The two HTTP routines every message of the service goes through, and the
// context they and the messages work with: one new request object per
// exchange, the system's headers in their fixed order.
#pragma once

#include <string>

#include "core/RunState.h"
#include "platform/Clock.h"
#include "platform/FileStore.h"
#include "platform/Http.h"
#include "platform/Monitor.h"

namespace velmora {

class ExchangeListener;

// What the routines work with; the run owns every piece.
struct ServiceContext {
    RunState& state;
    HttpTransport& http;
    Monitor& monitor;
    FileStore& files;
    Clock& clock;
    // Hears of each exchange beside its log files; none: nobody does.
    ExchangeListener* listener = nullptr;
};

// GET url with the headers "UserId" and "Password", no body. Returns the
// answer's body whatever its status; *answerOut, when given, receives the
// whole answer (status, body, transport failure).
std::string HttpGetRequest(ServiceContext& ctx, const std::string& url,
                           HttpAnswer* answerOut = nullptr);

// POST body to url with the headers "UserId", "Content-Type" =
// "Application/xml" and "Authorization" = LoginToken (also when empty).
std::string HttpPostRequest(ServiceContext& ctx, const std::string& url, const std::string& body,
                            HttpAnswer* answerOut = nullptr);

}  // namespace velmora
