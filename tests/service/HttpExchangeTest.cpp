// The two HTTP routines over the real libcurl adapter against the capture
// server: the exact bytes that go out, the answers that come back whatever
// their status, and each way an exchange can fail, in bounded time.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "ServiceFixture.h"

namespace velmora::test {
namespace {

using Kind = HttpFailure::Kind;

class HttpExchangeTest : public ServiceFixture {
protected:
    std::string host() const { return "Host: 127.0.0.1:" + std::to_string(server.port()); }
};

TEST_F(HttpExchangeTest, GetCarriesOnlyUserIdAndPasswordInThatOrder) {
    HttpGetRequest(ctx, server.url("/istat/login"));
    EXPECT_EQ(onlyRequest(), "GET /istat/login HTTP/1.1\r\n" + host() +
                                 "\r\nAccept: */*\r\nUserId: 123456\r\nPassword: segreta\r\n\r\n");
}

TEST_F(HttpExchangeTest, PostCarriesUserIdContentTypeAuthorizationAndTheExactBody) {
    // A leading blank and accented text (UTF-8) go out byte for byte; a body
    // over 1 MiB must not make curl wait for "100 Continue".
    const std::string body =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?> <StaysPmsDTO>Citt\xC3\xA0" +
        std::string(1100000, ' ') + "</StaysPmsDTO>";
    HttpPostRequest(ctx, server.url("/istat/arrivi"), body);
    const std::string raw = onlyRequest();
    const std::size_t headEnd = raw.find("\r\n\r\n") + 4;
    EXPECT_EQ(raw.substr(0, headEnd), "POST /istat/arrivi HTTP/1.1\r\n" + host() +
                                          "\r\nAccept: */*\r\nUserId: 123456\r\n"
                                          "Content-Type: Application/xml\r\n"
                                          "Authorization: tok-1\r\nContent-Length: " +
                                          std::to_string(body.size()) + "\r\n\r\n");
    EXPECT_TRUE(raw.substr(headEnd) == body) << "body of " << raw.size() - headEnd << " bytes";
}

TEST_F(HttpExchangeTest, EmptyTokenAndEmptyBodyStillSendAuthorizationAndContentLength) {
    state.LoginToken.clear();
    HttpPostRequest(ctx, server.url("/istat/logout"), "");
    EXPECT_EQ(onlyRequest(), "POST /istat/logout HTTP/1.1\r\n" + host() +
                                 "\r\nAccept: */*\r\nUserId: 123456\r\n"
                                 "Content-Type: Application/xml\r\nAuthorization:\r\n"
                                 "Content-Length: 0\r\n\r\n");
}

TEST_F(HttpExchangeTest, AnswerBodyComesBackWhateverTheStatus) {
    struct Row {
        const char* rule;
        int status;
        std::string body;
    };
    const Row rows[] = {
        {"success", 200, "\"abc\""},
        {"401 body is returned as text", 401, "Errore: credenziali non valide"},
        {"500 body is returned as text", 500, "Internal error\r\nline 2"},
        {"empty body is empty text", 200, ""},
        {"accented answer stays UTF-8", 200, "Ricevute 1 presenze, citt\xC3\xA0"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rule);
        server.script({CaptureServer::answer(row.status, row.body)});
        HttpAnswer answer;
        std::string text = HttpPostRequest(ctx, server.url("/istat/arrivi"), "x", &answer);
        EXPECT_EQ(text, row.body);
        EXPECT_EQ(answer.body, row.body);
        EXPECT_EQ(answer.status, row.status);
        EXPECT_FALSE(answer.failure);
    }
}

TEST_F(HttpExchangeTest, TransportFailuresComeBackAsValuesInBoundedTime) {
    CurlTransport quick(quickTimeouts(std::chrono::milliseconds(300)));
    ServiceContext quickCtx{state, quick, monitor, files, clock};
    const std::string closed = "http://127.0.0.1:" + std::to_string(closedPort()) + "/istat/login";
    const std::string tlsToPlain =
        "https://127.0.0.1:" + std::to_string(server.port()) + "/istat/login";
    struct Row {
        const char* rule;
        std::string url;
        CaptureServer::Reply reply;
        Kind kind;
    };
    const Row rows[] = {
        {"nobody listens", closed, CaptureServer::answer(200, ""), Kind::Refused},
        {"server never answers", server.url("/istat/login"), CaptureServer::hang(), Kind::Timeout},
        {"connection closed without answer", server.url("/istat/login"), CaptureServer::close(),
         Kind::Other},
        {"TLS handshake with a plain server", tlsToPlain, CaptureServer::answer(200, ""),
         Kind::Tls},
        {"only http and https are spoken", "file:///etc/hostname", CaptureServer::answer(200, ""),
         Kind::Other},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rule);
        server.script({row.reply});
        auto started = std::chrono::steady_clock::now();
        HttpAnswer answer;
        std::string text = HttpGetRequest(quickCtx, row.url, &answer);
        auto elapsed = std::chrono::steady_clock::now() - started;
        EXPECT_EQ(answer.failure.kind, row.kind) << answer.failure.message;
        EXPECT_FALSE(answer.failure.message.empty());
        EXPECT_EQ(answer.status, 0);
        EXPECT_EQ(text, "");
        EXPECT_LT(elapsed, std::chrono::seconds(3));
    }
}

TEST_F(HttpExchangeTest, ProxyVariablesAreIgnoredAndTheWaitHookRunsWhileWaiting) {
    // The settings file is the only configuration: a proxy named in the
    // environment (here one where nobody listens) must not be used.
    const std::string deadProxy = "http://127.0.0.1:" + std::to_string(closedPort());
    for (const char* var : {"http_proxy", "HTTPS_PROXY", "ALL_PROXY", "all_proxy"})
        setenv(var, deadProxy.c_str(), 1);
    CurlTransport::Options options = quickTimeouts(std::chrono::milliseconds(1500));
    int waits = 0;
    options.whileWaiting = [&waits] { ++waits; };
    CurlTransport transport(options);
    ServiceContext proxied{state, transport, monitor, files, clock};

    server.script({CaptureServer::answer(200, "\"abc\""), CaptureServer::hang()});
    HttpAnswer answer;
    EXPECT_EQ(HttpGetRequest(proxied, server.url("/istat/login"), &answer), "\"abc\"");
    EXPECT_FALSE(answer.failure) << answer.failure.message;

    waits = 0;
    HttpGetRequest(proxied, server.url("/istat/login"), &answer);
    EXPECT_EQ(answer.failure.kind, Kind::Timeout);
    EXPECT_GE(waits, 1) << "the window would not repaint during a silent exchange";
    for (const char* var : {"http_proxy", "HTTPS_PROXY", "ALL_PROXY", "all_proxy"}) unsetenv(var);
}

TEST_F(HttpExchangeTest, HeaderValueWithLineBreakIsRefusedBeforeAnythingIsSent) {
    state.LoginToken = "abc\r\nX-Injected: 1";
    HttpAnswer answer;
    HttpPostRequest(ctx, server.url("/istat/arrivi"), "x", &answer);
    EXPECT_EQ(answer.failure.kind, Kind::Other);
    EXPECT_NE(answer.failure.message.find("Authorization"), std::string::npos);
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(HttpExchangeTest, OversizedAnswerEndsTheExchange) {
    CurlTransport::Options options = quickTimeouts(std::chrono::milliseconds(5000));
    options.maxAnswerBytes = 16;
    CurlTransport small(options);
    ServiceContext smallCtx{state, small, monitor, files, clock};
    server.script({CaptureServer::answer(200, std::string(17, 'x'))});
    HttpAnswer answer;
    HttpGetRequest(smallCtx, server.url("/istat/login"), &answer);
    EXPECT_EQ(answer.failure.kind, Kind::Other);
    EXPECT_EQ(answer.body, "");
}

}  // namespace
}  // namespace velmora::test
