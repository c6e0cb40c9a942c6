// The two HTTP routines: one new request object per exchange, the system's
// headers in their fixed order, the answer handed back whatever its status.
#include "service/HttpExchange.h"

#include <memory>

namespace velmora {

namespace {

std::string finish(HttpAnswer answer, HttpAnswer* answerOut) {
    std::string body = answer.body;
    if (answerOut) *answerOut = std::move(answer);
    return body;
}

}  // namespace

std::string HttpGetRequest(ServiceContext& ctx, const std::string& url, HttpAnswer* answerOut) {
    std::unique_ptr<HttpRequest> request = ctx.http.createRequest();
    request->open("GET", url);
    request->setRequestHeader("UserId", ctx.state.UserId);
    request->setRequestHeader("Password", ctx.state.Password);
    return finish(request->send({}), answerOut);
}

std::string HttpPostRequest(ServiceContext& ctx, const std::string& url, const std::string& body,
                            HttpAnswer* answerOut) {
    std::unique_ptr<HttpRequest> request = ctx.http.createRequest();
    request->open("POST", url);
    request->setRequestHeader("UserId", ctx.state.UserId);
    request->setRequestHeader("Content-Type", "Application/xml");
    request->setRequestHeader("Authorization", ctx.state.LoginToken);
    return finish(request->send(body), answerOut);
}

}  // namespace velmora
