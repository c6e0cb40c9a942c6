// The loopback service, started in-process on a free port and driven by the
// real client routines over libcurl: login, stays documents good and bad, a
// wrong token, the raw request files and the fault options; and the program
// itself: usage, the PORT line, stopping on time and on SIGTERM.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>

#include "ServiceFixture.h"
#include "ServiceSim.h"
#include "SimChecks.h"
#include "core/RunError.h"
#include "service/ServiceMessages.h"

namespace velmora::test {
namespace {

using sim::Endpoint;

// One guest of a stays document, valid as it stands.
struct GuestRow {
    std::string id = "24004521";
    std::string nationality = "100000100";
    std::string birthPlace = "405082053";
    std::string residence = "405082053";
    std::string arrival = "2024-03-15T10:00:00.000Z";
    std::string departure = "2024-03-18T10:00:00.000Z";
    std::string checkout = "false";
};

std::string guestXml(const GuestRow& g) {
    return "         <Guest>           <GuestId>" + g.id +
           "</GuestId>           <Age>44</Age>"
           "           <NationalityCode>" +
           g.nationality +
           "</NationalityCode>"
           "           <BirthPlaceCode>" +
           g.birthPlace +
           "</BirthPlaceCode>"
           "           <ResidencePlaceCode>" +
           g.residence +
           "</ResidencePlaceCode>"
           "            <Type>16</Type>           <Gender>1</Gender>"
           "           <ArrivalDate>" +
           g.arrival +
           "</ArrivalDate>"
           "           <DepartureDate>" +
           g.departure +
           "</DepartureDate>"
           "           <Checkout>" +
           g.checkout +
           "</Checkout>"
           "           <BedOccupancy>true</BedOccupancy>           <Rooms>            <Room>"
           "              <RoomId>12</RoomId>              <StartDate>" +
           g.arrival + "</StartDate>              <EndDate>" + g.departure +
           "</EndDate>"
           "            </Room>           </Rooms>         </Guest>";
}

std::string stayXml(const std::string& hotel, const std::vector<GuestRow>& guests) {
    std::string xml = "  <Stay>   <HotelCode>" + hotel + "</HotelCode>   <StayId>" + hotel +
                      "24004521</StayId>   <Guests>";
    for (const auto& g : guests) xml += guestXml(g);
    return xml + "   </Guests>  </Stay>";
}

std::string document(const std::vector<std::string>& stays) {
    std::string xml = " <StaysPmsDTO>";
    for (const auto& s : stays) xml += s;
    return xml + " </StaysPmsDTO>";
}

class ServiceSimTest : public ::testing::Test {
protected:
    static sim::ServiceSimOptions options(const std::string& requestsDir) {
        sim::ServiceSimOptions o;
        o.userId = "123456";
        o.password = "segreta";
        o.requestsDir = requestsDir;
        o.fail500 = {"guasto"};
        o.hang = {"appeso"};
        o.close = {"chiudi"};
        return o;
    }

    ServiceSimTest() : service(options(dir / "requests")) {
        service.start();
        files.createDirectory("Velmora");
        state.UserId = "123456";
        state.Password = "segreta";
        state.LoginUrl = url("/istat/login");
        state.LogoutUrl = url("/istat/logout");
        state.ArrivalsUrl = url("/istat/arrivi");
        state.DeparturesUrl = url("/istat/partenze");
        state.CloseDayUrl = url("/istat/chiusura");
    }

    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(service.port()) + path;
    }
    std::string lastAnswer() const {
        for (auto it = monitor.appends.rbegin(); it != monitor.appends.rend(); ++it)
            if (it->box == kAnswersBox && it->text != "Sono presenti errori!") return it->text;
        return {};
    }

    TempDir dir;
    sim::ServiceSim service;
    LocalFileStore files{dir.path()};
    FixedClock clock;
    RecordingMonitor monitor;
    RunState state;
    CurlTransport http{quickTimeouts(std::chrono::milliseconds(5000))};
    ServiceContext ctx{state, http, monitor, files, clock};
};

TEST_F(ServiceSimTest, LoginGivesAFreshQuotedTokenOnlyToTheRightCredentials) {
    DoLogin(ctx);
    const std::string first = state.LoginToken;
    EXPECT_TRUE(std::regex_match(first, std::regex("[0-9a-f]{32}"))) << first;
    DoLogin(ctx);
    EXPECT_NE(state.LoginToken, first);

    state.Password = "sbagliata";
    try {
        DoLogin(ctx);
        ADD_FAILURE() << "login with a wrong password succeeded";
    } catch (const RunError& e) {
        EXPECT_NE(e.message().find("ha risposto 401"), std::string::npos) << e.message();
    }
    EXPECT_EQ(lastAnswer().rfind("Errore", 0), 0u) << lastAnswer();
}

TEST_F(ServiceSimTest, GoodDocumentsAreAcceptedAndTheDayIsClosed) {
    DoLogin(ctx);
    GuestRow history;  // the history writer's form of the time
    history.id = "00004521";
    history.arrival = "2024-03-14T10:00:00.00Z";
    history.departure = "2024-03-15T10:00:00.00Z";
    GuestRow member;
    member.id = "24004522";
    const std::string arrivals =
        document({stayXml("123456", {history}), stayXml("123456", {GuestRow{}, member})});
    EXPECT_FALSE(SendMovements(ctx, arrivals, "A"));
    EXPECT_EQ(lastAnswer(), "Ricevute 3 presenze, accettate 3");

    GuestRow leaving;
    leaving.checkout = "true";
    EXPECT_FALSE(SendMovements(ctx, document({stayXml("123456", {leaving})}), "P"));
    EXPECT_EQ(lastAnswer(), "Ricevute 1 presenze, accettate 1");

    EXPECT_FALSE(CloseDay(ctx, "31/01/2025"));
    EXPECT_EQ(lastAnswer(), "Giornata 2025-01-31 chiusa");
    EXPECT_FALSE(DoLogout(ctx));
    EXPECT_EQ(service.requestCount(), 5u);
}

TEST_F(ServiceSimTest, MalformedDocumentIsRefusedWith400) {
    DoLogin(ctx);
    HttpAnswer answer;
    HttpPostRequest(ctx, state.ArrivalsUrl, XmlDeclaration() + " <StaysPmsDTO>  <Stay>", &answer);
    EXPECT_EQ(answer.status, 400);
    EXPECT_EQ(answer.body.rfind("Errore: documento non valido: ", 0), 0u) << answer.body;
    // A value written unescaped breaks the document too, and the client stops.
    GuestRow odd;
    odd.id = "24<4521";
    EXPECT_THROW(SendMovements(ctx, document({stayXml("123456", {odd})}), "A"), RunError);
}

TEST_F(ServiceSimTest, TokenNotIssuedOrLoggedOutIsRefusedWith401) {
    const std::string doc = document({stayXml("123456", {GuestRow{}})});
    state.LoginToken = "0123456789abcdef0123456789abcdef";
    HttpAnswer answer;
    HttpPostRequest(ctx, state.ArrivalsUrl, XmlDeclaration() + doc, &answer);
    EXPECT_EQ(answer.status, 401);
    EXPECT_EQ(answer.body.rfind("Errore: ", 0), 0u) << answer.body;

    DoLogin(ctx);
    EXPECT_FALSE(SendMovements(ctx, doc, "A"));
    DoLogout(ctx);
    EXPECT_THROW(SendMovements(ctx, doc, "A"), RunError);
    EXPECT_EQ(lastAnswer(), "Errore: autorizzazione non valida");
}

TEST_F(ServiceSimTest, EveryRequestIsWrittenRawAndNumbered) {
    DoLogin(ctx);
    SendMovements(ctx, document({}), "P");
    namespace fs = std::filesystem;
    const std::string login = dir.read("requests/0001-GET-login.txt");
    EXPECT_EQ(login,
              "GET /istat/login HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(service.port()) +
                  "\r\nAccept: */*\r\nUserId: 123456\r\nPassword: segreta\r\n\r\n");
    const std::string post = dir.read("requests/0002-POST-partenze.txt");
    const std::string body = XmlDeclaration() + document({});
    EXPECT_EQ(post.rfind("POST /istat/partenze HTTP/1.1\r\n", 0), 0u) << post;
    ASSERT_GE(post.size(), body.size());
    EXPECT_EQ(post.substr(post.size() - body.size()), body);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "requests"), fs::directory_iterator()), 2);
}

TEST_F(ServiceSimTest, FaultOptionsAnswer500HangOrClose) {
    CurlTransport quick(quickTimeouts(std::chrono::milliseconds(300)));
    ServiceContext quickCtx{state, quick, monitor, files, clock};
    struct Row {
        const char* rule;
        std::string path;
        long status;
        HttpFailure::Kind failure;
    };
    const Row rows[] = {
        {"500 for the chosen path", "/guasto/arrivi", 500, HttpFailure::Kind::None},
        {"no answer until the client gives up", "/appeso/arrivi", 0, HttpFailure::Kind::Timeout},
        {"connection closed without answer", "/chiudi/arrivi", 0, HttpFailure::Kind::Other},
        {"other paths unaffected", "/istat/ignoto", 404, HttpFailure::Kind::None},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rule);
        HttpAnswer answer;
        HttpPostRequest(quickCtx, url(row.path), "x", &answer);
        EXPECT_EQ(answer.status, row.status);
        EXPECT_EQ(answer.failure.kind, row.failure) << answer.failure.message;
    }
    // A hung request does not hold the service up when it stops.
    HttpAnswer ignored;
    std::thread hung([&] { HttpPostRequest(ctx, url("/appeso/arrivi"), "x", &ignored); });
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (service.requestCount() < 5 && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    auto started = std::chrono::steady_clock::now();
    service.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    hung.join();
    EXPECT_TRUE(ignored.failure);
}

TEST(ServiceSimChecks, EachRejectedGuestGetsOneLineNamingIt) {
    struct Row {
        const char* rule;
        std::string hotel;
        GuestRow guest;
        std::string reason;  // empty: accepted
    };
    auto with = [](auto change) {
        GuestRow g;
        change(g);
        return g;
    };
    const Row rows[] = {
        {"valid guest", "123456", GuestRow{}, ""},
        {"stay of another hotel", "654321", GuestRow{}, "HotelCode"},
        {"code not found (nine blanks)", "123456",
         with([](GuestRow& g) { g.nationality = "         "; }), "NationalityCode"},
        {"code of eight digits", "123456", with([](GuestRow& g) { g.birthPlace = "40508205"; }),
         "BirthPlaceCode"},
        {"code with a letter", "123456", with([](GuestRow& g) { g.residence = "40508205X"; }),
         "ResidencePlaceCode"},
        {"date that is not a day", "123456",
         with([](GuestRow& g) { g.arrival = "2024-02-30T10:00:00.000Z"; }), "ArrivalDate"},
        {"date without time", "123456", with([](GuestRow& g) { g.departure = "2024-03-18"; }),
         "DepartureDate"},
        {"departure before arrival", "123456",
         with([](GuestRow& g) { g.departure = "2024-03-14T10:00:00.000Z"; }),
         "partenza prima dell'arrivo"},
        {"checkout of departures in an arrivals document", "123456",
         with([](GuestRow& g) { g.checkout = "true"; }), "Checkout"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rule);
        GuestRow second = row.guest;
        second.id = "24004522";
        sim::StaysVerdict v = sim::CheckStaysDocument(
            XmlDeclaration() + document({stayXml(row.hotel, {row.guest, second})}), "123456", true);
        EXPECT_EQ(v.malformed, "");
        EXPECT_EQ(v.guests, 2);
        if (row.reason.empty()) {
            EXPECT_EQ(v.accepted, 2);
            EXPECT_TRUE(v.errors.empty());
            continue;
        }
        EXPECT_EQ(v.accepted, 0);
        ASSERT_EQ(v.errors.size(), 2u);
        EXPECT_EQ(v.errors[0].rfind("Errore: ospite 24004521: ", 0), 0u) << v.errors[0];
        EXPECT_EQ(v.errors[1].rfind("Errore: ospite 24004522: ", 0), 0u) << v.errors[1];
        EXPECT_NE(v.errors[0].find(row.reason), std::string::npos) << v.errors[0];
    }
}

TEST(ServiceSimChecks, LastPathSegmentChoosesTheAddress) {
    struct Row {
        const char* path;
        Endpoint endpoint;
    };
    const Row rows[] = {
        {"/istat/login", Endpoint::Login},     {"/a/b/LOGOUT", Endpoint::Logout},
        {"/arrivals", Endpoint::Arrivals},     {"/svc/arrivi/", Endpoint::Arrivals},
        {"/departures", Endpoint::Departures}, {"/istat/partenze", Endpoint::Departures},
        {"/close", Endpoint::CloseDay},        {"/istat/chiusura", Endpoint::CloseDay},
        {"/login/altro", Endpoint::Unknown},   {"/", Endpoint::Unknown},
    };
    for (const Row& row : rows) EXPECT_EQ(sim::EndpointOf(row.path), row.endpoint) << row.path;
}

// The program: usage, "PORT <n>", stopping after --seconds and on SIGTERM.
class ServiceSimProgram : public ::testing::Test {
protected:
    static std::string program() { return std::string(VELMORA_BUILD_DIR) + "/velmora-service-sim"; }
    static int exitCode(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }
};

TEST_F(ServiceSimProgram, UsageAndWrongOptions) {
    EXPECT_EQ(exitCode(std::system((program() + " --help > /dev/null").c_str())), 0);
    EXPECT_EQ(exitCode(std::system((program() + " --port 0 2> /dev/null").c_str())), 64);
    EXPECT_EQ(
        exitCode(std::system((program() + " --user u --password p --port x 2> /dev/null").c_str())),
        64);
}

TEST_F(ServiceSimProgram, PrintsItsPortAndStopsAfterTheGivenSeconds) {
    std::FILE* out = popen((program() + " --user u --password p --seconds 1").c_str(), "r");
    ASSERT_NE(out, nullptr);
    char line[64] = {};
    ASSERT_NE(std::fgets(line, sizeof line, out), nullptr);
    EXPECT_TRUE(std::regex_match(line, std::regex("PORT [1-9][0-9]*\n"))) << line;
    EXPECT_EQ(exitCode(pclose(out)), 0);
}

TEST_F(ServiceSimProgram, StopsCleanlyOnSigterm) {
    // timeout(1) sends SIGTERM after half a second and reports the program's
    // own exit status: 0 only when the program stopped by itself.
    const std::string command =
        "timeout --preserve-status -s TERM 0.5 " + program() + " --user u --password p > /dev/null";
    EXPECT_EQ(exitCode(std::system(command.c_str())), 0);
}

}  // namespace
}  // namespace velmora::test
