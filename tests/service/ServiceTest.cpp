// The service area. Over libcurl against the loopback service: the exact bytes
// of each request, answers whatever their status, and each way an exchange can
// fail, in bounded time. Over a scripted transport: login, movements, end of
// day and logout with their monitor lines, log files, error marks and the
// errors that stop the run. Then the simulator program.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <chrono>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <regex>

#include "core/RunError.h"
#include "platform/StopRequest.h"
#include "platform/curl/CurlHandles.h"
#include "platform/curl/CurlTransport.h"
#include "service/ServiceClient.h"
#include "service/ServiceMessages.h"
#include "support/Fakes.h"
#include "support/Support.h"

namespace velmora::test {
namespace {

using test::operator<<;

namespace fs = std::filesystem;
using Kind = HttpFailure::Kind;

#ifdef _WIN32
int setenv(const char* name, const char* value, int) { return _putenv_s(name, value); }
int unsetenv(const char* name) { return _putenv_s(name, ""); }
#endif

const ::testing::Environment* const kCurl = ::testing::AddGlobalTestEnvironment([] {
    struct Curl : ::testing::Environment {
        CurlGlobal global;
    };
    return new Curl;
}());

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
const std::string kDocument =
    " <StaysPmsDTO>  <Stay>   <StayId>Citt\xC3\xA0</StayId>  </Stay> </StaysPmsDTO>";

CurlTransport::Options quick(int totalMs) {
    CurlTransport::Options options;
    options.connectTimeout = std::chrono::milliseconds(2000);
    options.totalTimeout = std::chrono::milliseconds(totalMs);
    return options;
}

// A working directory with Velmora/, a fixed clock, a recording monitor and
// the run state of the demo user pointing at base.
struct Client {
    explicit Client(HttpTransport& http, const std::string& base = "http://127.0.0.1:1/istat")
        : ctx{state, http, monitor, files, clock} {
        files.createDirectory("Velmora");
        state.UserId = kUser;
        state.Password = kPassword;
        state.LoginUrl = base + "/login";
        state.LogoutUrl = base + "/logout";
        state.ArrivalsUrl = base + "/arrivi";
        state.DeparturesUrl = base + "/partenze";
        state.CloseDayUrl = base + "/chiusura";
        state.LoginToken = "tok-1";
    }
    // The files of Velmora/ by name, with their content.
    std::map<std::string, std::string> logs() const {
        std::map<std::string, std::string> out;
        for (const auto& e : fs::directory_iterator(dir / "Velmora"))
            out[e.path().filename().string()] = dir.read("Velmora/" + e.path().filename().string());
        return out;
    }
    TempDir dir;
    LocalFileStore files{dir.path()};
    FixedClock clock{{2026, 3, 5, 14, 7, 9}};
    RecordingMonitor monitor;
    RunState state;
    ServiceContext ctx;
};

TEST(Http, RequestsGoOutByteForByte) {
    LoopbackService service;
    CurlTransport http(quick(5000));
    Client c(http, service.base());
    const std::string host = "Host: " + service.base().substr(7, service.base().size() - 13);
    HttpGetRequest(c.ctx, c.state.LoginUrl);
    // A leading blank and accented text go out as they are; a body over 1 MiB
    // must not make curl wait for "100 Continue".
    const std::string body = kDeclaration + kDocument + std::string(1100000, ' ');
    HttpPostRequest(c.ctx, c.state.ArrivalsUrl, body);
    c.state.LoginToken.clear();
    HttpPostRequest(c.ctx, c.state.LogoutUrl, "");
    const auto requests = service.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].head, "GET /istat/login HTTP/1.1\r\n" + host +
                                    "\r\nAccept: */*\r\nUserId: 190001\r\nPassword: demo");
    const std::string post =
        "\r\nAccept: */*\r\nUserId: 190001\r\nContent-Type: Application/xml"
        "\r\nAuthorization:";
    EXPECT_EQ(requests[1].head, "POST /istat/arrivi HTTP/1.1\r\n" + host + post +
                                    " tok-1\r\nContent-Length: " + std::to_string(body.size()));
    EXPECT_TRUE(requests[1].body == body);
    EXPECT_EQ(requests[2].head,
              "POST /istat/logout HTTP/1.1\r\n" + host + post + "\r\nContent-Length: 0");
}

TEST(Http, FailuresComeBackAsValuesInBoundedTime) {
    LoopbackService service([](sim::ServiceSimOptions& o) {
        o.hang = {"silente"};
        o.close = {"chiusa"};
    });
    CurlTransport http(quick(300));
    Client c(http);
    const std::string port = std::to_string(unusedPort());
    const struct {
        std::string url;
        Kind kind;
    } rows[] = {
        {"http://127.0.0.1:" + port + "/istat/login", Kind::Refused},
        {service.base() + "/silente", Kind::Timeout},
        {service.base() + "/chiusa", Kind::Other},
        {"file:///etc/hostname", Kind::Other},
    };
    for (const auto& row : rows) {
        const auto started = std::chrono::steady_clock::now();
        HttpAnswer answer;
        EXPECT_EQ(HttpGetRequest(c.ctx, row.url, &answer), "");
        EXPECT_EQ(answer.failure.kind, row.kind) << row.url << ": " << answer.failure.message;
        EXPECT_EQ(answer.status, 0);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3)) << row.url;
    }
    // A header value with a line break is refused before anything is sent.
    c.state.LoginToken = "abc\r\nX-Injected: 1";
    HttpAnswer answer;
    const std::size_t received = service.requests().size();
    HttpPostRequest(c.ctx, service.base() + "/arrivi", "x", &answer);
    EXPECT_NE(answer.failure.message.find("Authorization"), std::string::npos);
    EXPECT_EQ(service.requests().size(), received);
    // An answer over the size limit ends the exchange.
    CurlTransport::Options small = quick(5000);
    small.maxAnswerBytes = 4;
    CurlTransport smallHttp(small);
    Client s(smallHttp, service.base());
    HttpGetRequest(s.ctx, s.state.LoginUrl, &answer);
    EXPECT_EQ(answer.failure.kind, Kind::Other);
}

TEST(Http, ProxyVariablesAreIgnored) {
    LoopbackService service;
    const std::string deadProxy = "http://127.0.0.1:" + std::to_string(unusedPort());
    for (const char* var : {"http_proxy", "HTTPS_PROXY", "ALL_PROXY", "all_proxy"})
        setenv(var, deadProxy.c_str(), 1);
    CurlTransport http(quick(1000));
    Client c(http, service.base());
    HttpAnswer answer;
    EXPECT_EQ(HttpGetRequest(c.ctx, c.state.LoginUrl, &answer).front(), '"');
    for (const char* var : {"http_proxy", "HTTPS_PROXY", "ALL_PROXY", "all_proxy"}) unsetenv(var);
}

TEST(Http, AStopAbandonsTheExchangeUnlessExchangesMayFinish) {
    LoopbackService service([](sim::ServiceSimOptions& o) { o.hang = {"silente"}; });
    StopRequest stop;
    CurlTransport::Options options = quick(8000);
    options.stop = &stop;
    CurlTransport http(options);
    Client c(http, service.base());
    stop.request();
    const auto start = std::chrono::steady_clock::now();
    HttpAnswer answer;
    HttpPostRequest(c.ctx, service.base() + "/silente", "<x/>", &answer);
    EXPECT_EQ(answer.failure.kind, Kind::Stopped) << answer.failure.message;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    // The logout after a stop still goes through.
    stop.letExchangesFinish();
    HttpPostRequest(c.ctx, c.state.LogoutUrl, {}, &answer);
    EXPECT_FALSE(answer.failure);
    EXPECT_EQ(answer.status, 200);
}

// Answers from a script, one per request; records "METHOD url body" and moves
// the clock on a minute during each exchange.
class ScriptedTransport : public HttpTransport {
public:
    explicit ScriptedTransport(FixedClock& clock) : m_clock(clock) {}
    std::unique_ptr<HttpRequest> createRequest() override {
        struct Request : HttpRequest {
            ScriptedTransport& t;
            std::string sent;
            explicit Request(ScriptedTransport& owner) : t(owner) {}
            void open(const std::string& m, const std::string& u) override { sent = m + " " + u; }
            void setRequestHeader(const std::string&, const std::string&) override {}
            HttpAnswer send(const std::string& body) override {
                t.sent.push_back(sent + (body.empty() ? "" : " " + body));
                HttpAnswer a = t.script.empty() ? HttpAnswer{200, "ok", {}} : t.script.front();
                if (!t.script.empty()) t.script.pop_front();
                ++t.m_clock.time.minute;
                return a;
            }
        };
        return std::make_unique<Request>(*this);
    }
    std::deque<HttpAnswer> script;
    std::vector<std::string> sent;

private:
    FixedClock& m_clock;
};

struct Scripted : Client {
    Scripted() : Client(http) {}
    std::string runError(const std::function<void()>& call) {
        try {
            call();
        } catch (const RunError& e) {
            return e.message();
        }
        return "(nessun errore)";
    }
    ScriptedTransport http{clock};
};

HttpAnswer answer(long status, const std::string& body) { return {status, body, {}}; }

struct LoginRow {
    const char* rule;
    HttpAnswer answer;
    std::string result;  // the token, or a piece of the error
};

const LoginRow kLoginRows[] = {
    {"a quoted answer gives the text inside", answer(200, "\"abc\""), "token abc"},
    {"two characters give an empty token", answer(200, "\"\""), "token "},
    {"a quoted accented text loses whole characters", answer(200, "\xC2\xABt\xC3\xA0\xC2\xBB"),
     "token t\xC3\xA0"},
    {"one character is no token", answer(200, "x"), "ha risposto 200 senza un token"},
    {"an empty answer is no token", answer(200, ""), "ha risposto 200 senza un token"},
    {"401 names the lines of the user id and the password",
     answer(401, "\"Errore: credenziali non valide\""),
     "Utente o password rifiutati dal servizio: controllare le righe 1 e 2 di QLBSetup.txt."},
    {"403 too", answer(403, ""), "Utente o password rifiutati dal servizio"},
    {"500 is refused even with a quoted text", answer(500, "\"abc\""), "ha risposto 500"},
    {"a token with a line break is refused", answer(200, "\"a\r\nb\""), "contiene un a capo"},
    {"a token of 64 KiB is taken", answer(200, "\"" + std::string(kMaxTokenBytes, 'k') + "\""),
     "token " + std::string(kMaxTokenBytes, 'k')},
    {"a longer token is refused", answer(200, "\"" + std::string(kMaxTokenBytes + 1, 'k') + "\""),
     "Accesso al servizio non riuscito: il token ricevuto da http://127.0.0.1:1/istat/login è "
     "lungo 65537 byte, oltre il massimo di 65536"},
    {"no answer at all names the address",
     {0, "", {Kind::Refused, "rifiutata"}},
     "Servizio non raggiungibile: http://127.0.0.1:1/istat/login. Controllare la connessione e "
     "l'indirizzo alla riga 3 di QLBSetup.txt. (rifiutata)"},
};

class Login : public ::testing::TestWithParam<LoginRow> {};

TEST_P(Login, TakesTheTokenOrStopsTheRun) {
    const LoginRow& row = GetParam();
    Scripted c;
    c.http.script = {row.answer};
    const std::string error = c.runError([&] { DoLogin(c.ctx); });
    EXPECT_EQ(c.monitor.boxes[kSentBox], "\r\n" + c.state.LoginUrl);
    if (row.result.rfind("token ", 0) == 0) {
        EXPECT_EQ(error, "(nessun errore)");
        EXPECT_EQ(c.state.LoginToken, row.result.substr(6));
        // Stamped after the answer came.
        EXPECT_EQ(c.logs(), (std::map<std::string, std::string>{
                                {"Login-202603051408.xml", row.result.substr(6) + "\r\n"}}));
    } else {
        EXPECT_NE(error.find(row.result), std::string::npos) << error;
        EXPECT_EQ(c.state.LoginToken, "");
        EXPECT_TRUE(c.logs().empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Service, Login, ::testing::ValuesIn(kLoginRows), RuleName());

struct MarkRow {
    const char* rule;
    bool closeDay;
    HttpAnswer answer;
    bool marked;
};

const MarkRow kMarkRows[] = {
    {"movements: Errore twice gives one mark", false, answer(200, "Errore: 1\r\nErrore: 2"), true},
    {"movements: ERRORE in capitals is not looked for", false, answer(200, "ERRORE"), false},
    {"movements: 204 with no text is fine", false, answer(204, ""), false},
    {"end of day: 500 marks", true, answer(500, "guasto"), true},
    {"end of day: Erro in a 2xx answer marks it, the day was not closed", true,
     answer(200, "Errore"), true},
};

class ErrorMark : public ::testing::TestWithParam<MarkRow> {};

TEST_P(ErrorMark, FollowsTheAnswer) {
    const MarkRow& row = GetParam();
    Scripted c;
    c.http.script = {row.answer};
    EXPECT_EQ(row.closeDay ? CloseDay(c.ctx, "05/03/2026")
                           : SendMovements(c.ctx, kDocument, "A", "05/03/2026"),
              row.marked);
    EXPECT_EQ(c.monitor.boxes[kAnswersBox],
              "\r\n" + row.answer.body + (row.marked ? "\r\nSono presenti errori!" : ""));
}

INSTANTIATE_TEST_SUITE_P(Service, ErrorMark, ::testing::ValuesIn(kMarkRows), RuleName());

TEST(ServiceClient, ExchangesAreShownAndLoggedRequestBeforeAnswerAfter) {
    Scripted c;
    c.http.script = {answer(200, "primo"), answer(200, "secondo"), answer(200, "chiusa"),
                     answer(200, "\"bye\"")};
    const std::string body = kDeclaration + kDocument;
    SendMovements(c.ctx, kDocument, "A", "05/03/2026");  // request 14:07, answer 14:08
    c.clock.time.minute = 7;
    SendMovements(c.ctx, kDocument, "a", "05/03/2026");  // any kind but "A" is departures
    c.state.UserId = "ABC";
    CloseDay(c.ctx, "31/01/2025");  // 14:08 -> 14:09
    EXPECT_FALSE(DoLogout(c.ctx));
    const std::string end = kDeclaration +
                            "<EndDayPmsDTO>  <HotelCode>ABC</HotelCode>  <CurrentDate>"
                            "2025-01-31T10:00:00.000Z</CurrentDate></EndDayPmsDTO>";
    EXPECT_EQ(c.http.sent, (std::vector<std::string>{"POST " + c.state.ArrivalsUrl + " " + body,
                                                     "POST " + c.state.DeparturesUrl + " " + body,
                                                     "POST " + c.state.CloseDayUrl + " " + end,
                                                     "POST " + c.state.LogoutUrl}));
    EXPECT_EQ(c.monitor.boxes[kSentBox], "\r\n" + c.state.ArrivalsUrl + "\r\n" + body + "\r\n" +
                                             c.state.DeparturesUrl + "\r\n" + body + "\r\n" + end +
                                             "\r\n" + c.state.LogoutUrl);
    EXPECT_EQ(c.monitor.boxes[kAnswersBox], "\r\nprimo\r\nsecondo\r\nchiusa\r\n\"bye\"");
    EXPECT_EQ(c.logs(), (std::map<std::string, std::string>{
                            {"IstatDatiAInv-202603051407.xml", body + "\r\n"},
                            {"IstatDatiAResp-202603051408.xml", "primo\r\n"},
                            {"IstatDatiPInv-202603051407.xml", body + "\r\n"},
                            {"IstatDatiPResp-202603051408.xml", "secondo\r\n"},
                            {"DateCloseI-202603051408.xml", end + "\r\n"},
                            {"DateClose-202603051409.xml", "chiusa\r\n"},
                            {"Logout-202603051410.xml", "\"bye\"\r\n"}}));
    // Files of the same minute are kept side by side.
    c.clock.time.minute = 7;
    c.http.script = {answer(200, "terzo")};
    SendMovements(c.ctx, kDocument, "A", "05/03/2026");
    EXPECT_EQ(c.logs().at("IstatDatiAInv-202603051407-2.xml"), body + "\r\n");
    EXPECT_EQ(c.logs().at("IstatDatiAResp-202603051408-2.xml"), "terzo\r\n");
}

TEST(ServiceClient, FailuresStopTheRunOrAreMarked) {
    Scripted c;
    const HttpAnswer silent{0, "", {Kind::Timeout, "scaduto"}};
    // Movements without an answer stop the run and keep the request file.
    c.http.script = {silent};
    EXPECT_EQ(c.runError([&] { SendMovements(c.ctx, kDocument, "P", "05/03/2026"); }),
              "Il servizio non ha risposto in tempo: " + c.state.DeparturesUrl +
                  ". Controllare la connessione e l'indirizzo alla riga 6 di QLBSetup.txt. "
                  "(scaduto)");
    c.http.script = {silent};
    EXPECT_NE(c.runError([&] { CloseDay(c.ctx, "05/03/2026"); }), "(nessun errore)");
    EXPECT_EQ(c.logs().size(), 2u);  // IstatDatiPInv and DateCloseI
    EXPECT_EQ(c.monitor.boxes[kAnswersBox], "");
    // Movements the service did not take stop the run; the answer is shown and kept.
    c.http.script = {answer(500, "tutto bene")};
    EXPECT_EQ(c.runError([&] { SendMovements(c.ctx, kDocument, "A", "05/03/2026"); }).substr(0, 28),
              "Il servizio non ha accettato");
    EXPECT_EQ(c.logs().size(), 4u);
    EXPECT_EQ(c.monitor.boxes[kAnswersBox], "\r\ntutto bene");
    c.monitor.boxes[kAnswersBox].clear();
    // A failed logout is shown and marked; the run goes on.
    c.http.script = {answer(401, "Errore: sessione scaduta"), silent};
    EXPECT_TRUE(DoLogout(c.ctx));
    EXPECT_TRUE(DoLogout(c.ctx));
    EXPECT_EQ(c.monitor.boxes[kAnswersBox],
              "\r\nErrore: sessione scaduta\r\nSono presenti errori!\r\nIl servizio non ha "
              "risposto in tempo: " +
                  c.state.LogoutUrl +
                  ". Controllare la connessione e l'indirizzo alla riga 4 di QLBSetup.txt. "
                  "(scaduto)");
    // Without its log directory nothing is sent.
    fs::remove_all(c.dir / "Velmora");
    const std::size_t sent = c.http.sent.size();
    EXPECT_NE(c.runError([&] { SendMovements(c.ctx, kDocument, "A", "05/03/2026"); }),
              "(nessun errore)");
    EXPECT_EQ(c.http.sent.size(), sent);
}

// (The simulator runs on Linux beside a Windows build.)
#ifndef _WIN32
TEST(SimulatorProgram, PrintsItsPortAndStopsOnSigterm) {
    TempDir dir;
    // timeout(1) sends SIGTERM after a second and reports the program's own
    // exit status: 0 only when it stopped by itself.
    const std::string sim = std::string(VELMORA_BUILD_DIR) + "/velmora-service-sim";
    const int status = std::system(
        ("timeout --preserve-status -s TERM 1 " + sim + " --user u --password p > " + (dir / "out"))
            .c_str());
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0);
    EXPECT_TRUE(std::regex_match(dir.read("out"), std::regex("PORT [1-9][0-9]*\n")))
        << dir.read("out");
}
#endif

}  // namespace
}  // namespace velmora::test
