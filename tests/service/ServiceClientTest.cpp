// Login, logout, movements and end of day over real HTTP against the capture
// server: what goes out, what the monitor shows, the exchange log files, the
// error marks, and the errors that stop the run.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "ServiceFixture.h"
#include "core/RunError.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
const std::string kDocument =
    " <StaysPmsDTO>  <Stay>   <HotelCode>123456</HotelCode>   <StayId>Citt\xC3\xA0</StayId>"
    "  </Stay> </StaysPmsDTO>";

class ServiceClientTest : public ServiceFixture {
protected:
    // Names of the files in Velmora/, sorted.
    std::vector<std::string> logFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(fs::path(dir.path()) / "Velmora"))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    static std::string log(const std::string& file) { return "Velmora/" + file; }
    // The RunError a call raises; fails the test when it raises none.
    template <class F>
    std::string runErrorOf(F call) {
        try {
            call();
        } catch (const RunError& e) {
            return e.message();
        }
        ADD_FAILURE() << "no RunError";
        return {};
    }
};

std::size_t count(const std::string& text, const std::string& piece) {
    std::size_t n = 0;
    for (auto at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
    return n;
}

TEST_F(ServiceClientTest, LoginTakesTheTokenFromTheQuotedAnswerAndLogsIt) {
    server.script({CaptureServer::answer(200, "\"abc\"")});
    DoLogin(ctx);
    EXPECT_EQ(state.LoginToken, "abc");
    EXPECT_EQ(parseRawRequest(onlyRequest()).requestLine, "GET /istat/login HTTP/1.1");
    EXPECT_EQ(monitor.boxes[kSentBox], "\r\n" + state.LoginUrl);
    EXPECT_EQ(monitor.boxes[kAnswersBox], "\r\n\"abc\"");
    EXPECT_EQ(logFiles(), std::vector<std::string>{"Login-202603051407.xml"});
    EXPECT_EQ(fileText(log("Login-202603051407.xml")), "abc\r\n");
}

TEST_F(ServiceClientTest, TwoCharacterLoginAnswerGivesAnEmptyTokenAndALoneLineEnd) {
    server.script({CaptureServer::answer(200, "\"\"")});
    DoLogin(ctx);
    EXPECT_EQ(state.LoginToken, "");
    EXPECT_EQ(fileText(log("Login-202603051407.xml")), "\r\n");
}

TEST_F(ServiceClientTest, LoginStopsTheRunWhenTheAnswerHoldsNoUsableToken) {
    struct Row {
        const char* rule;
        int status;
        std::string body;
        std::string says;
    };
    const Row rows[] = {
        {"one character", 200, "x", "ha risposto 200 senza un token"},
        {"empty answer", 200, "", "ha risposto 200 senza un token"},
        {"401 is not a token", 401, "\"Errore: credenziali non valide\"", "ha risposto 401"},
        {"500 even with a quoted text", 500, "\"abc\"", "ha risposto 500"},
        {"a token with a line break", 200, "\"a\r\nb\"", "contiene un a capo"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rule);
        monitor.boxes[kAnswersBox].clear();
        state.LoginToken = "old";
        server.script({CaptureServer::answer(row.status, row.body)});
        std::string message = runErrorOf([&] { DoLogin(ctx); });
        EXPECT_EQ(message.rfind("Accesso al servizio non riuscito: ", 0), 0u) << message;
        EXPECT_NE(message.find(state.LoginUrl), std::string::npos) << message;
        EXPECT_NE(message.find(row.says), std::string::npos) << message;
        EXPECT_EQ(monitor.boxes[kAnswersBox], "\r\n" + row.body);
        EXPECT_EQ(state.LoginToken, "");
        EXPECT_TRUE(logFiles().empty());
    }
}

TEST_F(ServiceClientTest, LoginWithoutAnyAnswerNamesTheAddressAndTheTransportError) {
    state.LoginUrl = "http://127.0.0.1:" + std::to_string(closedPort()) + "/istat/login";
    std::string message = runErrorOf([&] { DoLogin(ctx); });
    EXPECT_EQ(message.rfind("Servizio non raggiungibile: " + state.LoginUrl + " (", 0), 0u)
        << message;
    EXPECT_EQ(monitor.boxes[kSentBox], "\r\n" + state.LoginUrl);
    EXPECT_EQ(monitor.boxes[kAnswersBox], "");
    EXPECT_TRUE(logFiles().empty());
}

// The real transport, with the clock moving on a minute during each exchange.
class SlowTransport : public HttpTransport {
public:
    SlowTransport(HttpTransport& real, FixedClock& clock) : m_real(real), m_clock(clock) {}
    std::unique_ptr<HttpRequest> createRequest() override {
        class Request : public HttpRequest {
        public:
            Request(std::unique_ptr<HttpRequest> real, FixedClock& clock)
                : m_real(std::move(real)), m_clock(clock) {}
            void open(const std::string& m, const std::string& u) override { m_real->open(m, u); }
            void setRequestHeader(const std::string& n, const std::string& v) override {
                m_real->setRequestHeader(n, v);
            }
            HttpAnswer send(const std::string& body) override {
                HttpAnswer answer = m_real->send(body);
                ++m_clock.time.minute;
                return answer;
            }

        private:
            std::unique_ptr<HttpRequest> m_real;
            FixedClock& m_clock;
        };
        return std::make_unique<Request>(m_real.createRequest(), m_clock);
    }

private:
    HttpTransport& m_real;
    FixedClock& m_clock;
};

TEST_F(ServiceClientTest, RequestsAreStampedBeforeTheExchangeAndAnswersAfterIt) {
    SlowTransport slow(http, clock);
    ServiceContext slowCtx{state, slow, monitor, files, clock};
    server.script({CaptureServer::answer(200, "\"abc\""), CaptureServer::answer(200, "ok"),
                   CaptureServer::answer(200, "chiusa")});
    DoLogin(slowCtx);                        // 14:07 -> 14:08, stamped after
    SendMovements(slowCtx, kDocument, "A");  // request 14:08, answer 14:09
    CloseDay(slowCtx, "05/03/2026");         // request 14:09, answer 14:10
    EXPECT_EQ(logFiles(), (std::vector<std::string>{
                              "DateClose-202603051410.xml", "DateCloseI-202603051409.xml",
                              "IstatDatiAInv-202603051408.xml", "IstatDatiAResp-202603051409.xml",
                              "Login-202603051408.xml"}));
}

TEST_F(ServiceClientTest, MovementsPostDeclarationAndDocumentAndKeepRequestAndAnswer) {
    const std::string answer = "Ricevute 1 presenze, accettate 1";
    server.script({CaptureServer::answer(200, answer)});
    EXPECT_FALSE(SendMovements(ctx, kDocument, "A"));

    const std::string body = kDeclaration + kDocument;
    RawRequest sent = parseRawRequest(onlyRequest());
    EXPECT_EQ(sent.requestLine, "POST /istat/arrivi HTTP/1.1");
    EXPECT_EQ(sent.body, body);
    EXPECT_EQ(monitor.boxes[kSentBox], "\r\n" + state.ArrivalsUrl + "\r\n" + body);
    EXPECT_EQ(monitor.boxes[kAnswersBox], "\r\n" + answer);
    EXPECT_EQ(logFiles(), (std::vector<std::string>{"IstatDatiAInv-202603051407.xml",
                                                    "IstatDatiAResp-202603051407.xml"}));
    EXPECT_EQ(fileText(log("IstatDatiAInv-202603051407.xml")), body + "\r\n");
    EXPECT_EQ(fileText(log("IstatDatiAResp-202603051407.xml")), answer + "\r\n");
}

TEST_F(ServiceClientTest, AnyKindButExactlyAGoesToTheDeparturesAddressAndPrefixes) {
    server.script({CaptureServer::answer(200, "ok")});
    SendMovements(ctx, kDocument, "a");
    EXPECT_EQ(parseRawRequest(onlyRequest()).requestLine, "POST /istat/partenze HTTP/1.1");
    EXPECT_EQ(monitor.boxes[kSentBox].rfind("\r\n" + state.DeparturesUrl + "\r\n", 0), 0u);
    EXPECT_EQ(logFiles(), (std::vector<std::string>{"IstatDatiPInv-202603051407.xml",
                                                    "IstatDatiPResp-202603051407.xml"}));
}

TEST_F(ServiceClientTest, MovementsMarkErrorsOnceWhenTheAnswerSaysErro) {
    struct Row {
        const char* rule;
        int status;
        std::string body;
        bool marked;
    };
    const Row rows[] = {
        {"Errore twice gives one mark", 200, "Errore: ospite 1\r\nErrore: ospite 2", true},
        {"Error matches too", 200, "Error", true},
        {"ERRORE in capitals is not looked for", 200, "ERRORE", false},
        {"errore in lower case is not looked for", 200, "errore", false},
        {"204 with no text is fine", 204, "", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rule);
        server.script({CaptureServer::answer(row.status, row.body)});
        std::size_t before = monitor.appends.size();
        EXPECT_EQ(SendMovements(ctx, kDocument, "A"), row.marked);
        std::vector<RecordingMonitor::Append> added(monitor.appends.begin() + before,
                                                    monitor.appends.end());
        ASSERT_EQ(added.size(), row.marked ? 3u : 2u);
        EXPECT_EQ(added[1].box, kAnswersBox);
        EXPECT_EQ(added[1].text, row.body);
        if (row.marked) {
            EXPECT_EQ(added[2].box, kAnswersBox);
            EXPECT_EQ(added[2].text, "Sono presenti errori!");
        }
    }
    EXPECT_EQ(count(monitor.boxes[kAnswersBox], "Sono presenti errori!"), 2u);
}

TEST_F(ServiceClientTest, LogFilesOfTheSameMinuteAreKeptSideBySide) {
    server.script({CaptureServer::answer(200, "primo"), CaptureServer::answer(200, "secondo")});
    SendMovements(ctx, " <StaysPmsDTO>1</StaysPmsDTO>", "A");
    SendMovements(ctx, " <StaysPmsDTO>2</StaysPmsDTO>", "A");
    EXPECT_EQ(logFiles(),
              (std::vector<std::string>{
                  "IstatDatiAInv-202603051407-2.xml", "IstatDatiAInv-202603051407.xml",
                  "IstatDatiAResp-202603051407-2.xml", "IstatDatiAResp-202603051407.xml"}));
    EXPECT_EQ(fileText(log("IstatDatiAInv-202603051407.xml")),
              kDeclaration + " <StaysPmsDTO>1</StaysPmsDTO>\r\n");
    EXPECT_EQ(fileText(log("IstatDatiAInv-202603051407-2.xml")),
              kDeclaration + " <StaysPmsDTO>2</StaysPmsDTO>\r\n");
    EXPECT_EQ(fileText(log("IstatDatiAResp-202603051407.xml")), "primo\r\n");
    EXPECT_EQ(fileText(log("IstatDatiAResp-202603051407-2.xml")), "secondo\r\n");
}

TEST_F(ServiceClientTest, MovementsWithoutAnswerStopTheRunAndKeepTheRequestFile) {
    server.script({CaptureServer::close()});
    std::string message = runErrorOf([&] { SendMovements(ctx, kDocument, "P"); });
    EXPECT_EQ(message.rfind("Scambio con il servizio non riuscito: " + state.DeparturesUrl, 0), 0u)
        << message;
    EXPECT_EQ(logFiles(), std::vector<std::string>{"IstatDatiPInv-202603051407.xml"});
    EXPECT_EQ(monitor.boxes[kAnswersBox], "");
}

TEST_F(ServiceClientTest, MissingLogDirectoryStopsBeforeAnythingIsSent) {
    fs::remove(fs::path(dir.path()) / "Velmora");
    std::string message = runErrorOf([&] { SendMovements(ctx, kDocument, "A"); });
    EXPECT_NE(message.find("IstatDatiAInv-202603051407.xml"), std::string::npos) << message;
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(ServiceClientTest, CloseDayPostsTheEndDayMessageWithoutShowingTheAddress) {
    state.UserId = "ABC";
    server.script({CaptureServer::answer(200, "Giornata chiusa")});
    EXPECT_FALSE(CloseDay(ctx, "31/01/2025"));
    const std::string message = kDeclaration +
                                "<EndDayPmsDTO>  <HotelCode>ABC</HotelCode>  <CurrentDate>"
                                "2025-01-31T10:00:00.000Z</CurrentDate></EndDayPmsDTO>";
    RawRequest sent = parseRawRequest(onlyRequest());
    EXPECT_EQ(sent.requestLine, "POST /istat/chiusura HTTP/1.1");
    EXPECT_EQ(sent.body, message);
    EXPECT_EQ(monitor.boxes[kSentBox], "\r\n" + message);
    EXPECT_EQ(monitor.boxes[kAnswersBox], "\r\nGiornata chiusa");
    EXPECT_EQ(fileText(log("DateCloseI-202603051407.xml")), message + "\r\n");
    EXPECT_EQ(fileText(log("DateClose-202603051407.xml")), "Giornata chiusa\r\n");
}

TEST_F(ServiceClientTest, CloseDayMarksAFailedStatusOnly) {
    struct Row {
        const char* rule;
        int status;
        std::string body;
        bool marked;
    };
    const Row rows[] = {
        {"500 marks", 500, "guasto", true},
        {"the text is not looked into", 200, "Errore", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rule);
        monitor.boxes[kAnswersBox].clear();
        server.script({CaptureServer::answer(row.status, row.body)});
        EXPECT_EQ(CloseDay(ctx, "31/01/2025"), row.marked);
        EXPECT_EQ(monitor.boxes[kAnswersBox],
                  "\r\n" + row.body + (row.marked ? "\r\nSono presenti errori!" : ""));
    }
}

TEST_F(ServiceClientTest, CloseDayToAServerThatNeverAnswersEndsInATimeoutError) {
    CurlTransport quick(quickTimeouts(std::chrono::milliseconds(300)));
    ServiceContext quickCtx{state, quick, monitor, files, clock};
    server.script({CaptureServer::hang()});
    auto started = std::chrono::steady_clock::now();
    std::string message = runErrorOf([&] { CloseDay(quickCtx, "31/01/2025"); });
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
    EXPECT_EQ(message.rfind("Il servizio non ha risposto in tempo: " + state.CloseDayUrl + " (", 0),
              0u)
        << message;
    EXPECT_EQ(logFiles(), std::vector<std::string>{"DateCloseI-202603051407.xml"});
}

TEST_F(ServiceClientTest, LogoutPostsAnEmptyBodyAndLogsTheWholeAnswer) {
    server.script({CaptureServer::answer(200, "\"bye\"")});
    EXPECT_FALSE(DoLogout(ctx));
    RawRequest sent = parseRawRequest(onlyRequest());
    EXPECT_EQ(sent.requestLine, "POST /istat/logout HTTP/1.1");
    EXPECT_EQ(sent.body, "");
    EXPECT_NE(std::find(sent.headers.begin(), sent.headers.end(), "Authorization: tok-1"),
              sent.headers.end());
    EXPECT_EQ(monitor.boxes[kSentBox], "\r\n" + state.LogoutUrl);
    EXPECT_EQ(fileText(log("Logout-202603051407.xml")), "\"bye\"\r\n");
    EXPECT_EQ(state.LoginToken, "tok-1");
}

TEST_F(ServiceClientTest, LogoutFailuresAreShownAndMarkedWithoutStoppingTheRun) {
    server.script({CaptureServer::answer(401, "Errore: sessione scaduta")});
    EXPECT_TRUE(DoLogout(ctx));
    EXPECT_EQ(monitor.boxes[kAnswersBox], "\r\nErrore: sessione scaduta\r\nSono presenti errori!");
    EXPECT_EQ(fileText(log("Logout-202603051407.xml")), "Errore: sessione scaduta\r\n");

    monitor.boxes[kAnswersBox].clear();
    state.LogoutUrl = "http://127.0.0.1:" + std::to_string(closedPort()) + "/istat/logout";
    EXPECT_TRUE(DoLogout(ctx));
    EXPECT_EQ(monitor.boxes[kAnswersBox].rfind(
                  "\r\nServizio non raggiungibile: " + state.LogoutUrl + " (", 0),
              0u)
        << monitor.boxes[kAnswersBox];
    EXPECT_EQ(logFiles(), std::vector<std::string>{"Logout-202603051407.xml"});
}

}  // namespace
}  // namespace velmora::test
