// The login token's size limit and the operator's stop seen by the libcurl
// adapter: a token longer than 64 KiB ends the login, and an exchange waiting
// for an answer is abandoned at once when a stop is requested.
#include <gtest/gtest.h>

#include <chrono>

#include "ServiceFixture.h"
#include "core/RunError.h"
#include "platform/StopRequest.h"

namespace velmora {
namespace {

class StopAndTokenTest : public test::ServiceFixture {};

TEST_F(StopAndTokenTest, TokenUpTo64KiBIsTakenLongerStopsTheLogin) {
    for (const std::size_t size : {kMaxTokenBytes, kMaxTokenBytes + 1}) {
        SCOPED_TRACE(size);
        server.script({test::CaptureServer::answer(200, "\"" + std::string(size, 'k') + "\"")});
        if (size <= kMaxTokenBytes) {
            DoLogin(ctx);
            EXPECT_EQ(state.LoginToken.size(), size);
            continue;
        }
        try {
            DoLogin(ctx);
            ADD_FAILURE() << "a token of " << size << " bytes was taken";
        } catch (const RunError& e) {
            EXPECT_EQ(e.message(), "Accesso al servizio non riuscito: il token ricevuto da " +
                                       state.LoginUrl +
                                       " è lungo 65537 byte, oltre il massimo "
                                       "di 65536");
        }
        EXPECT_EQ(state.LoginToken, "");
    }
}

TEST_F(StopAndTokenTest, AStopAbandonsTheExchangeUnlessExchangesMayFinish) {
    StopRequest stop;
    CurlTransport::Options options = test::quickTimeouts(std::chrono::milliseconds(8000));
    options.stop = &stop;
    CurlTransport stoppable(options);
    ServiceContext c{state, stoppable, monitor, files, clock};

    stop.request();
    server.script({test::CaptureServer::hang()});
    const auto start = std::chrono::steady_clock::now();
    HttpAnswer answer;
    HttpPostRequest(c, state.ArrivalsUrl, "<x/>", &answer);
    EXPECT_EQ(answer.failure.kind, HttpFailure::Kind::Stopped) << answer.failure.message;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));

    // The logout after a stop still goes through.
    stop.letExchangesFinish();
    server.script({test::CaptureServer::answer(200, "ok")});
    EXPECT_EQ(HttpPostRequest(c, state.LogoutUrl, {}, &answer), "ok");
    EXPECT_FALSE(answer.failure);
}

}  // namespace
}  // namespace velmora
