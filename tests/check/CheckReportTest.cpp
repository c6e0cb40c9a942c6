// The printed and the HTML forms of a check: grouping by day and kind, the
// documents, the counts line, escaping, one table per day, colours by
// severity, and CR LF line ends.
#include <gtest/gtest.h>

#include "check/CheckReport.h"
#include "core/Text.h"

namespace velmora {
namespace {

CheckFinding finding(CheckSeverity severity, const std::string& day, const std::string& kind,
                     std::optional<long long> numero, const std::string& problem) {
    CheckFinding f;
    f.severity = severity;
    f.day = day;
    f.kind = kind;
    f.database = "SchedaStoricoClienti.mdb";
    f.numeroProgressivo = numero;
    f.room = "12";
    f.nomeCliente = "D'ANGELO <B> & C.";
    f.problem = problem;
    f.fix = "correggere \"qui\".";
    return f;
}

CheckReport sample() {
    CheckReport r;
    r.firstDay = "02/03/2026";
    r.lastDay = "03/03/2026";
    r.documents = {{"02/03/2026", "A", "<?xml?> <StaysPmsDTO> </StaysPmsDTO>", false},
                   {"02/03/2026", "P", "", false},
                   {"03/03/2026", "A", "", true},
                   {"03/03/2026", "P", "", false}};
    r.findings = {finding(CheckSeverity::Blocking, "03/03/2026", "A", std::nullopt, "vuoto"),
                  finding(CheckSeverity::Skipped, "03/03/2026", "A", 26000420, "annullata"),
                  finding(CheckSeverity::Rejected, "03/03/2026", "P", 4560, "stato 'CZ'")};
    return r;
}

TEST(CheckText, GroupsByDayAndKind) {
    const CheckReport r = sample();
    const std::vector<std::string> expected = {
        "== 03/03/2026 arrivi",
        "BLOCCANTE 03/03/2026 arrivi - SchedaStoricoClienti.mdb, scheda (senza numero) "
        "(D'ANGELO <B> & C.), camera 12: vuoto",
        "    Da fare: correggere \"qui\".",
        "ESCLUSO 03/03/2026 arrivi - SchedaStoricoClienti.mdb, scheda 26000420 (D'ANGELO <B> & "
        "C.), camera 12: annullata",
        "    Da fare: correggere \"qui\".",
        "== 03/03/2026 partenze",
        "RESPINTO 03/03/2026 partenze - SchedaStoricoClienti.mdb, scheda 4560 (D'ANGELO <B> & "
        "C.), camera 12: stato 'CZ'",
        "    Da fare: correggere \"qui\".",
    };
    EXPECT_EQ(checkLines(r, false), expected);
    EXPECT_EQ(checkCountsLine(r), "Riepilogo: bloccanti 1, respinti 1, mai inviati 0, esclusi 1");
    EXPECT_EQ(checkHeading(r),
              "Verifica dal 02/03/2026 al 03/03/2026: bloccanti 1, respinti 1, mai inviati 0, "
              "esclusi 1");
}

TEST(CheckText, DocumentsShowEveryDayAndKind) {
    CheckReport r = sample();
    r.interruption =
        "Verifica interrotta al 04/03/2026 (arrivi): Archivio illeggibile\r\ndettaglio";
    const std::vector<std::string> lines = checkLines(r, true);
    const std::vector<std::string> head(lines.begin(), lines.begin() + 7);
    EXPECT_EQ(head, (std::vector<std::string>{
                        "== 02/03/2026 arrivi", ">>> da inviare",
                        "<?xml?> <StaysPmsDTO> </StaysPmsDTO>", "== 02/03/2026 partenze",
                        "(nessun soggiorno: nessun invio)", "== 03/03/2026 arrivi",
                        "(nessun invio: l'esportazione si fermerebbe su questo documento)"}));
    const std::vector<std::string> tail(lines.end() - 3, lines.end());
    EXPECT_EQ(tail, (std::vector<std::string>{
                        "Verifica interrotta al 04/03/2026 (arrivi): Archivio illeggibile",
                        "dettaglio", "I giorni seguenti non sono stati verificati."}));
    EXPECT_EQ(checkCountsLine(r),
              "Riepilogo: bloccanti 1, respinti 1, mai inviati 0, esclusi 1; verifica interrotta");
}

TEST(CheckHtml, OneTablePerDayEscapedAndColoured) {
    const CheckReport r = sample();
    const std::string html = checkReportHtml(r, {2026, 3, 5, 14, 7, 9});

    // Every line ends in CR LF; no bare LF.
    ASSERT_GE(html.size(), 2u);
    EXPECT_EQ(html.substr(html.size() - 2), "\r\n");
    for (std::size_t i = 0; i < html.size(); ++i) {
        if (html[i] == '\n') {
            ASSERT_TRUE(i > 0 && html[i - 1] == '\r') << i;
        }
    }

    EXPECT_EQ(html.rfind("<!DOCTYPE html>\r\n", 0), 0u);
    EXPECT_NE(html.find("<meta charset=\"utf-8\">"), std::string::npos);
    EXPECT_NE(html.find("<style>"), std::string::npos);
    EXPECT_EQ(html.find("<link"), std::string::npos);
    EXPECT_EQ(html.find("<script"), std::string::npos);
    EXPECT_NE(html.find("verifica fatta il 05/03/2026 alle 14:07"), std::string::npos);

    // The day without findings says so; the other day has one table.
    EXPECT_NE(html.find("<h2>lunedì 02/03/2026</h2>\r\n<p class=\"nulla\">Nessun problema.</p>"),
              std::string::npos);
    EXPECT_NE(html.find("<h2>martedì 03/03/2026</h2>\r\n<table>"), std::string::npos);
    std::size_t tables = 0;
    for (std::size_t p = html.find("<table>"); p != std::string::npos;
         p = html.find("<table>", p + 1))
        ++tables;
    EXPECT_EQ(tables, 1u);

    // Names and texts are escaped: no markup comes from the data.
    EXPECT_EQ(html.find("<B>"), std::string::npos);
    EXPECT_NE(html.find("<td>D&#39;ANGELO &lt;B&gt; &amp; C.</td>"), std::string::npos);
    EXPECT_NE(html.find("<td>correggere &quot;qui&quot;.</td>"), std::string::npos);

    EXPECT_NE(html.find("<tr class=\"bloccante\"><td>arrivi</td><td>BLOCCANTE</td>"),
              std::string::npos);
    EXPECT_NE(html.find("<tr class=\"escluso\"><td>arrivi</td><td>ESCLUSO</td>"),
              std::string::npos);
    EXPECT_NE(html.find("<tr class=\"respinto\"><td>partenze</td><td>RESPINTO</td>"),
              std::string::npos);
    EXPECT_NE(html.find("tr.respinto td { background:"), std::string::npos);
    EXPECT_NE(html.find("@media print"), std::string::npos);
}

}  // namespace
}  // namespace velmora
