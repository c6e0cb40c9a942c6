// "velmora check" as a program over the demo hotel with the loopback service
// running: its findings, that it sends and writes nothing but its report, and
// that the documents it prints are byte for byte the bodies the export posts.
// Then its usage and the refusals it shares with the export.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "CheckTestSupport.h"
#include "core/Text.h"
#include "support/TempDir.h"

namespace velmora {
namespace {

using test::TempDir;

bool hasLine(const std::string& text, const std::string& start) {
    for (const std::string& line : splitLines(text))
        if (line.rfind(start, 0) == 0) return true;
    return false;
}

TEST(CheckProgram, DemoWeekIsCheckedWithoutSendingAndPrintsThePostedDocuments) {
    TempDir hotel;
    test::writeDemoHotel(hotel);
    test::LoopbackService service;
    test::writeSettings(hotel, service.base());
    const std::vector<std::string> before = test::filesBelow(hotel.path());

    const test::ProgramResult check = test::runVelmora(
        hotel.path(), "check --from 02/03/2026 --to 08/03/2026 --documents --html Verifica.html");
    EXPECT_EQ(check.status, 1) << check.err;
    EXPECT_EQ(check.err, "");
    const std::vector<std::string> lines = splitLines(check.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "Verifica dal 02/03/2026 al 08/03/2026");
    EXPECT_EQ(lines.back(), "Riepilogo: bloccanti 0, respinti 1, mai inviati 1, esclusi 5");
    // The planted state abbreviation, and the group member who arrived a day
    // after the head.
    EXPECT_TRUE(hasLine(check.out,
                        "RESPINTO 07/03/2026 arrivi - Scheda_Cliente.mdb, scheda 4560, camera 109: "
                        "Codice di cittadinanza (NationalityCode) e residenza (ResidencePlaceCode) "
                        "vuoti (nove spazi): nessuno stato con la sigla 'CZ'"))
        << check.out;
    EXPECT_TRUE(hasLine(check.out,
                        "MAI INVIATO 04/03/2026 arrivi - Scheda_Cliente.mdb, scheda 4513, camera "
                        "206: Componente del gruppo 4510"))
        << check.out;
    EXPECT_TRUE(hasLine(
        check.out, "ESCLUSO 03/03/2026 partenze - Scheda_Cliente.mdb, scheda 4570, camera 110"))
        << check.out;

    // Nothing was sent and nothing written but the report.
    EXPECT_EQ(service.requestCount(), 0u);
    std::vector<std::string> expectedFiles = before;
    expectedFiles.push_back("Verifica.html");
    std::sort(expectedFiles.begin(), expectedFiles.end());
    EXPECT_EQ(test::filesBelow(hotel.path()), expectedFiles);
    const std::string html = hotel.read("Verifica.html");
    EXPECT_NE(html.find("<tr class=\"respinto\"><td>arrivi</td><td>RESPINTO</td><td>"
                        "Scheda_Cliente.mdb</td><td>4560</td><td>109</td>"),
              std::string::npos);

    std::vector<std::string> documents;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i)
        if (lines[i] == ">>> da inviare") documents.push_back(lines[i + 1]);
    EXPECT_EQ(documents.size(), 12u);

    const test::ProgramResult exported =
        test::runVelmora(hotel.path(), "export --from 02/03/2026 --to 08/03/2026");
    EXPECT_EQ(exported.status, 1) << exported.err;
    EXPECT_EQ(service.postedDocuments(), documents);
}

TEST(CheckProgram, UsageAndTheExportsRefusals) {
    namespace fs = std::filesystem;
    struct Row {
        const char* rule;
        std::function<void(const TempDir&)> spoil;
        const char* args;
        int status;
        const char* outStart;
        const char* errContains;
    } rows[] = {
        {"help lists the command", nullptr, "--help", 0, "Uso:\nvelmora\n", ""},
        {"help of the command", nullptr, "check --help", 0, "Uso:\nvelmora check --from", ""},
        {"no dates", nullptr, "check", 64, "", "velmora check: manca --from"},
        {"report without a file", nullptr, "check --from 02/03/2026 --to 02/03/2026 --html", 64, "",
         "velmora check: manca il file dopo --html"},
        {"invalid date", nullptr, "check --from 31/02/2026 --to 02/03/2026", 2, "",
         "velmora: data non valida per --from: \"31/02/2026\""},
        {"missing settings", [](const TempDir& d) { fs::remove(d / "QLBSetup.txt"); },
         "check --from 02/03/2026 --to 02/03/2026", 2, "",
         "Parametri insufficienti: Nome utente e password non impostati! (QLBSetup.txt)"},
        {"missing data file", [](const TempDir& d) { fs::remove(d / "QLBDataI.txt"); },
         "check --from 02/03/2026 --to 02/03/2026", 2, "",
         "Istat Regione Sicilia: Verifica non avviata!\nIl file QLBDataI.txt con la data "
         "iniziale"},
        {"short dates like the window's fields", nullptr, "check --from 020326 --to 03032026", 0,
         "Verifica dal 02/03/2026 al 03/03/2026\nRiepilogo: bloccanti 0", ""},
    };
    for (const Row& r : rows) {
        TempDir hotel;
        test::writeCheckHotel(hotel, "", "");
        if (r.spoil) r.spoil(hotel);
        const test::ProgramResult res = test::runVelmora(hotel.path(), r.args);
        EXPECT_EQ(res.status, r.status) << r.rule << "\n" << res.err;
        EXPECT_EQ(res.out.rfind(r.outStart, 0), 0u) << r.rule << "\n" << res.out;
        EXPECT_NE(res.err.find(r.errContains), std::string::npos) << r.rule << "\n" << res.err;
        if (r.status == 64) {
            EXPECT_NE(res.err.find("Uso:"), std::string::npos) << r.rule;
        }
        if (std::string(r.args) == "--help") {
            EXPECT_NE(res.out.find("velmora check --from GG/MM/AAAA"), std::string::npos);
        }
        // The check makes no directory of its own.
        EXPECT_FALSE(fs::exists(hotel / "Velmora")) << r.rule;
    }
}

}  // namespace
}  // namespace velmora
