// The built program in batch mode over the demo hotel against the loopback
// service: every posted document read by pugixml and held against what the
// text tables select, every exchange file and stays file against what was
// sent and answered, and the exit status against the service's verdicts.
#include <gtest/gtest.h>

#include <filesystem>

#include "DemoOracle.h"
#include "E2eSupport.h"

namespace velmora::e2e {
namespace {

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
const std::string kCrLfText = "\r\n";

struct Range {
    const char* rule;
    std::string first;
    std::string last;
    bool closeDays;
    int status;  // what the demo data leads to; the oracle must agree
};

const Range kRanges[] = {
    {"the demo week with the days closed: the planted CZ guest is refused", kFirstDay, kLastDay,
     true, 1},
    {"the days before the planted guest, not closed", "02/03/2026", "06/03/2026", false, 0},
};

// One document the run must post, or must keep unposted when it has no stay.
struct ExpectedPost {
    std::string day;
    bool arrivals;
    StaysDoc doc;
};

std::vector<ExpectedPost> expectedDocuments(const Range& r) {
    std::vector<ExpectedPost> out;
    for (const std::string& day : daysOf(r.first, r.last))
        for (bool arrivals : {true, false})
            out.push_back({day, arrivals, expectedDemoDocument(day, arrivals)});
    return out;
}

// "GET login", then per day the non-empty documents and the closing, then the logout.
std::vector<std::string> expectedRequests(const Range& r) {
    std::vector<std::string> out{"GET login"};
    const auto docs = expectedDocuments(r);
    for (std::size_t i = 0; i < docs.size(); ++i) {
        if (!docs[i].doc.stays.empty())
            out.push_back(docs[i].arrivals ? "POST arrivi" : "POST partenze");
        if (!docs[i].arrivals && r.closeDays) out.push_back("POST chiusura");
    }
    out.push_back("POST logout");
    return out;
}

std::string endDayMessage(const std::string& day) {
    return kDeclaration + "<EndDayPmsDTO>  <HotelCode>" + kUser + "</HotelCode>  <CurrentDate>" +
           day.substr(6, 4) + "-" + day.substr(3, 2) + "-" + day.substr(0, 2) +
           "T10:00:00.000Z</CurrentDate></EndDayPmsDTO>";
}

struct DemoRun {
    explicit DemoRun(const Range& r) {
        writeDemoHotel(dir);
        writeSettings(dir, service.base());
        velmoraBefore = std::filesystem::exists(dir / "Velmora");
        std::vector<std::string> args{"export", "--from", r.first, "--to", r.last};
        if (r.closeDays) args.push_back("--close-days");
        result = runVelmora(dir.path(), args);
        requests = service.requests();
        exchanges = exchangesOf(parseBatchOutput(result.out));
        files = velmoraFiles(dir.path());
    }
    test::TempDir dir;
    LoopbackService service;
    bool velmoraBefore = true;
    ProgramResult result;
    std::vector<RawRequest> requests;
    std::vector<Exchange> exchanges;
    std::map<std::string, std::vector<LogFile>> files;
};

TEST(E2eDemoBatch, PostedDocumentsHoldExactlyTheSelectedStaysAndGuests) {
    for (const Range& r : kRanges) {
        SCOPED_TRACE(r.rule);
        DemoRun run(r);
        ASSERT_FALSE(run.result.timedOut);
        std::vector<std::string> lines;
        for (const RawRequest& q : run.requests) lines.push_back(q.method + " " + q.segment);
        ASSERT_EQ(lines, expectedRequests(r)) << run.result.err;

        std::size_t next = 1;  // after the login
        std::size_t posted = 0;
        for (const ExpectedPost& e : expectedDocuments(r)) {
            if (e.doc.stays.empty()) continue;
            SCOPED_TRACE(e.day + (e.arrivals ? " arrivi" : " partenze"));
            while (run.requests[next].segment == "chiusura") ++next;
            const RawRequest& q = run.requests[next++];
            ASSERT_EQ(q.segment, e.arrivals ? "arrivi" : "partenze");
            EXPECT_TRUE(q.complete);
            ASSERT_EQ(q.body.rfind(kDeclaration + " <StaysPmsDTO>", 0), 0u) << q.body.substr(0, 80);
            EXPECT_EQ(q.body.find_first_of("\r\n"), std::string::npos) << "one line";

            std::string error;
            const StaysDoc got = parsePostedDocument(q.body, error);
            ASSERT_TRUE(error.empty()) << error;
            EXPECT_EQ(got.outline(), e.doc.outline());
            std::vector<DocGuest> want;
            for (const DocStay& s : e.doc.stays)
                want.insert(want.end(), s.guests.begin(), s.guests.end());
            std::size_t g = 0;
            for (const DocStay& s : got.stays) {
                for (const DocGuest& guest : s.guests) {
                    ASSERT_LT(g, want.size());
                    SCOPED_TRACE("guest " + guest.guestId);
                    EXPECT_EQ(guest.hotelCode, kUser);
                    EXPECT_EQ(guest.checkout, e.arrivals ? "false" : "true");
                    EXPECT_EQ(guest.room, want[g].room);
                    // A state the codes lack comes out as nine blanks.
                    if (want[g].rejected) {
                        EXPECT_EQ(guest.nationalityCode, std::string(9, ' '));
                    } else {
                        EXPECT_EQ(guest.nationalityCode.size(), 9u);
                        EXPECT_EQ(guest.nationalityCode.find_first_not_of("0123456789"),
                                  std::string::npos);
                    }
                    ++g;
                }
            }
            ++posted;
        }
        EXPECT_GT(posted, 0u);
    }
}

TEST(E2eDemoBatch, ExitStatusAndAnswersFollowTheServicesVerdicts) {
    for (const Range& r : kRanges) {
        SCOPED_TRACE(r.rule);
        std::size_t refused = 0;
        for (const ExpectedPost& e : expectedDocuments(r)) refused += e.doc.rejectedGuests().size();
        // The table above and the demo data tell the same story.
        ASSERT_EQ(refused > 0 ? 1 : 0, r.status);

        DemoRun run(r);
        ASSERT_FALSE(run.result.timedOut);
        EXPECT_EQ(run.result.status, r.status) << run.result.err;
        EXPECT_EQ(run.result.err, r.status == 0
                                      ? "Istat Regione Sicilia: Esportazione completata!\n"
                                      : "Istat Regione Sicilia: Esportazione completata!\n"
                                        "Sono presenti errori: controllare il monitor.\n");

        // Each posted document's answer names exactly the refused guests and
        // counts the rest; only those answers carry the error mark.
        std::vector<const Exchange*> movements;
        for (const Exchange& x : run.exchanges)
            if (x.sent.find(kDeclaration + " <StaysPmsDTO>") != std::string::npos)
                movements.push_back(&x);
        std::size_t m = 0;
        for (const ExpectedPost& e : expectedDocuments(r)) {
            if (e.doc.stays.empty()) continue;
            SCOPED_TRACE(e.day + (e.arrivals ? " arrivi" : " partenze"));
            ASSERT_LT(m, movements.size());
            const Exchange& x = *movements[m++];
            ASSERT_FALSE(x.answers.empty());
            const std::string& answer = x.answers[0];
            std::vector<std::string> refusedIds;
            std::size_t start = 0;
            for (std::size_t end; (end = answer.find("\r\n", start)) != std::string::npos;
                 start = end + 2) {
                const std::string line = answer.substr(start, end - start);
                const std::string lead = "Errore: ospite ";
                ASSERT_EQ(line.rfind(lead, 0), 0u) << line;
                refusedIds.push_back(
                    line.substr(lead.size(), line.find(':', lead.size()) - lead.size()));
            }
            EXPECT_EQ(refusedIds, e.doc.rejectedGuests());
            const std::size_t n = e.doc.guestCount();
            EXPECT_EQ(answer.substr(start), "Ricevute " + std::to_string(n) +
                                                " presenze, accettate " +
                                                std::to_string(n - refusedIds.size()));
            if (refusedIds.empty()) {
                EXPECT_EQ(x.answers.size(), 1u);
            } else {
                EXPECT_EQ(x.answers, (std::vector<std::string>{answer, "Sono presenti errori!"}));
            }
        }
        EXPECT_EQ(m, movements.size());
    }
}

TEST(E2eDemoBatch, ExchangeAndStaysFilesHoldWhatWasSentAndAnswered) {
    for (const Range& r : kRanges) {
        SCOPED_TRACE(r.rule);
        DemoRun run(r);
        ASSERT_FALSE(run.result.timedOut);
        EXPECT_FALSE(run.velmoraBefore);  // the run makes Velmora/ itself
        ASSERT_EQ(run.requests.size(), run.exchanges.size()) << run.result.out;

        // The monitor shows each request as it went out, and the files keep
        // request and answer with CR LF after each.
        std::map<std::string, std::vector<std::string>> expected;
        ASSERT_EQ(run.exchanges[0].answers.size(), 1u);
        const std::string& loginAnswer = run.exchanges[0].answers[0];
        ASSERT_GT(loginAnswer.size(), 2u);
        const std::string token = loginAnswer.substr(1, loginAnswer.size() - 2);
        EXPECT_EQ(loginAnswer, "\"" + token + "\"");
        expected["Login"] = {token + kCrLfText};
        for (std::size_t i = 0; i < run.requests.size(); ++i) {
            const RawRequest& q = run.requests[i];
            const Exchange& x = run.exchanges[i];
            SCOPED_TRACE(std::to_string(i) + " " + q.segment);
            EXPECT_TRUE(q.complete);
            ASSERT_FALSE(x.answers.empty());
            if (q.method == "POST") {
                EXPECT_EQ(q.header("Authorization"), token);
            }
            const std::string url = run.service.base() + "/" + q.segment;
            if (q.segment == "login" || q.segment == "logout") {
                EXPECT_EQ(x.sent, url);
                if (q.segment == "logout") expected["Logout"].push_back(x.answers[0] + kCrLfText);
            } else if (q.segment == "chiusura") {
                EXPECT_EQ(x.sent, q.body);
                expected["DateCloseI"].push_back(q.body + kCrLfText);
                expected["DateClose"].push_back(x.answers[0] + kCrLfText);
            } else {
                const std::string kind = q.segment == "arrivi" ? "A" : "P";
                EXPECT_EQ(x.sent, url + kCrLfText + q.body);
                expected["IstatDati" + kind + "Inv"].push_back(q.body + kCrLfText);
                expected["IstatDati" + kind + "Resp"].push_back(x.answers[0] + kCrLfText);
            }
        }

        // The closing messages, day by day, and their answers.
        std::vector<std::string> closes, closeAnswers;
        if (r.closeDays) {
            for (const std::string& day : daysOf(r.first, r.last)) {
                closes.push_back(endDayMessage(day) + kCrLfText);
                closeAnswers.push_back("Giornata " + day.substr(6, 4) + "-" + day.substr(3, 2) +
                                       "-" + day.substr(0, 2) + " chiusa" + kCrLfText);
            }
        }
        EXPECT_EQ(expected["DateCloseI"], closes);
        EXPECT_EQ(expected["DateClose"], closeAnswers);
        EXPECT_EQ(expected["Logout"], std::vector<std::string>{"Disconnessione effettuata\r\n"});

        // One stays file per day and kind, in order: the posted document
        // without its declaration, or the empty document.
        std::size_t movement = 0;
        std::vector<std::string> movementBodies;
        for (const RawRequest& q : run.requests)
            if (q.segment == "arrivi" || q.segment == "partenze") movementBodies.push_back(q.body);
        for (const ExpectedPost& e : expectedDocuments(r)) {
            expected["Istat"].push_back(
                (e.doc.stays.empty() ? " <StaysPmsDTO> </StaysPmsDTO>"
                                     : movementBodies.at(movement++).substr(kDeclaration.size())) +
                kCrLfText);
        }

        for (auto& [prefix, contents] : expected) {
            if (contents.empty()) continue;
            std::vector<std::string> got;
            for (const LogFile& f : run.files[prefix]) got.push_back(f.content);
            EXPECT_EQ(got, contents) << prefix;
        }
        std::map<std::string, std::size_t> counts;
        for (const auto& [prefix, contents] : expected)
            if (!contents.empty()) counts[prefix] = contents.size();
        EXPECT_EQ(fileCounts(run.files), counts);
    }
}

}  // namespace
}  // namespace velmora::e2e
