// Text and HTML forms of the check's findings.
#include "check/CheckReport.h"

#include <cctype>
#include <cstdio>

#include "core/Calendar.h"
#include "core/Text.h"

namespace velmora {

namespace {

const char* severityLabel(CheckSeverity s) {
    switch (s) {
        case CheckSeverity::Blocking:
            return "BLOCCANTE";
        case CheckSeverity::Rejected:
            return "RESPINTO";
        case CheckSeverity::NeverSent:
            return "MAI INVIATO";
        case CheckSeverity::ChangedSinceSent:
            return "MODIFICATO DOPO L'INVIO";
        case CheckSeverity::Skipped:
            return "ESCLUSO";
    }
    return "";
}

const char* severityClass(CheckSeverity s) {
    switch (s) {
        case CheckSeverity::Blocking:
            return "bloccante";
        case CheckSeverity::Rejected:
            return "respinto";
        case CheckSeverity::NeverSent:
            return "mai-inviato";
        case CheckSeverity::ChangedSinceSent:
            return "modificato";
        case CheckSeverity::Skipped:
            return "escluso";
    }
    return "";
}

std::string recordText(const CheckFinding& f) {
    return f.numeroProgressivo ? std::to_string(*f.numeroProgressivo)
                               : std::string("(senza numero)");
}

// Every day that has a document or a finding, in order.
std::vector<std::string> daysOf(const CheckReport& report) {
    std::vector<std::string> days;
    auto note = [&days](const std::string& day) {
        if (days.empty() || days.back() != day) days.push_back(day);
    };
    for (const CheckedDocument& d : report.documents) note(d.day);
    return days;
}

const char* const kWeekdays[] = {"giovedì", "venerdì", "sabato",   "domenica",
                                 "lunedì",  "martedì", "mercoledì"};

std::string weekday(const std::string& day) {
    long long serial = DaySerial(day);  // 1 January 1970 was a Thursday
    const long long index = ((serial % 7) + 7) % 7;
    return kWeekdays[index];
}

// Escaped text whose option names ("--reinvia") are kept whole on one line:
// a browser may break a line after a hyphen.
std::string htmlWithOptions(std::string_view text) {
    const std::string escaped = htmlEscaped(text);
    std::string out;
    std::size_t i = 0;
    while (i < escaped.size()) {
        const std::size_t start = escaped.find("--", i);
        if (start == std::string::npos) break;
        std::size_t end = start + 2;
        while (end < escaped.size() && (std::isalnum(static_cast<unsigned char>(escaped[end])) ||
                                        escaped[end] == '-'))
            ++end;
        out += escaped.substr(i, start - i);
        out += "<span class=\"opzione\">" + escaped.substr(start, end - start) + "</span>";
        i = end;
    }
    return out + escaped.substr(i);
}

}  // namespace

std::string checkTitle(const CheckReport& report) {
    return "Verifica dal " + report.firstDay + " al " + report.lastDay;
}

std::string checkCountsText(const CheckReport& report) {
    const CheckCounts c = report.counts();
    std::string text = "bloccanti " + std::to_string(c.blocking) + ", respinti " +
                       std::to_string(c.rejected) + ", mai inviati " + std::to_string(c.neverSent) +
                       ", esclusi " + std::to_string(c.skipped);
    // Only a journal that holds the days can give these.
    if (c.changed > 0) text += ", modificati dopo l'invio " + std::to_string(c.changed);
    if (!report.interruption.empty()) text += "; verifica interrotta";
    return text;
}

std::string checkCountsLine(const CheckReport& report) {
    return "Riepilogo: " + checkCountsText(report);
}

std::string checkHeading(const CheckReport& report) {
    return checkTitle(report) + ": " + checkCountsText(report);
}

std::vector<std::string> findingLines(const CheckFinding& f) {
    std::string line = std::string(severityLabel(f.severity)) + " " + f.day + " " +
                       kindName(f.kind) + " - " + f.database + ", scheda " + recordText(f);
    if (f.nomeCliente) line += " (" + *f.nomeCliente + ")";
    if (!trimBlanks(f.room).empty()) line += ", camera " + f.room;
    line += ": " + f.problem;
    return {line, "    Da fare: " + f.fix};
}

std::vector<std::string> checkLines(const CheckReport& report, bool documents) {
    std::vector<std::string> lines;
    std::size_t next = 0;  // first finding not yet listed
    for (const CheckedDocument& d : report.documents) {
        const std::size_t begin = next;
        while (next < report.findings.size() && report.findings[next].day == d.day &&
               report.findings[next].kind == d.kind)
            ++next;
        if (!documents && begin == next) continue;
        lines.push_back("== " + d.day + " " + kindName(d.kind));
        if (documents) {
            if (d.stopped) {
                lines.push_back("(nessun invio: l'esportazione si fermerebbe su questo documento)");
            } else if (d.body.empty()) {
                lines.push_back("(nessun soggiorno: nessun invio)");
            } else {
                lines.push_back(">>> da inviare");
                lines.push_back(d.body);
            }
        }
        for (std::size_t i = begin; i < next; ++i)
            for (std::string& l : findingLines(report.findings[i])) lines.push_back(std::move(l));
    }
    // Findings of a document that is not in the list cannot occur; should
    // one ever be left over, it is still shown.
    for (; next < report.findings.size(); ++next)
        for (std::string& l : findingLines(report.findings[next])) lines.push_back(std::move(l));
    if (!report.interruption.empty()) {
        for (const std::string& l : splitLines(report.interruption)) lines.push_back(l);
        lines.push_back("I giorni seguenti non sono stati verificati.");
    }
    return lines;
}

std::string htmlEscaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string htmlPage(const std::string& title, const std::string& heading,
                     const std::string& body) {
    std::vector<std::string> h;
    h.push_back("<!DOCTYPE html>");
    h.push_back("<html lang=\"it\">");
    h.push_back("<head>");
    h.push_back("<meta charset=\"utf-8\">");
    h.push_back("<title>" + htmlEscaped(title) + "</title>");
    h.push_back("<style>");
    h.push_back(
        "body { font-family: Arial, Helvetica, sans-serif; font-size: 10pt; margin: 1.5em; color: "
        "#000; }");
    h.push_back("h1 { font-size: 15pt; margin: 0 0 0.3em 0; }");
    h.push_back("h2 { font-size: 12pt; margin: 1.4em 0 0.4em 0; border-bottom: 1px solid #777; }");
    h.push_back("table { border-collapse: collapse; width: 100%; }");
    h.push_back(
        "th, td { border: 1px solid #999; padding: 3px 5px; text-align: left; vertical-align: top; "
        "}");
    h.push_back("th { background: #d9d9d9; }");
    // The journal's days share the check's colours: an error is an error.
    h.push_back("tr.bloccante td, tr.interrotto td, tr.esito-sconosciuto td { background: #f2b8b5; }");
    h.push_back("tr.respinto td, tr.con-errori td { background: #fbd8a8; }");
    h.push_back("tr.mai-inviato td { background: #fff1a6; }");
    h.push_back("tr.escluso td { background: #ececec; color: #333; }");
    h.push_back("tr.modificato td { background: #cfe2f3; }");
    h.push_back("table.legenda { width: auto; margin: 0.6em 0; }");
    h.push_back("span.opzione { white-space: nowrap; }");
    h.push_back("p.nulla { color: #333; font-style: italic; }");
    h.push_back("p.interrotta { font-weight: bold; color: #900; }");
    h.push_back("@media print {");
    h.push_back("  body { margin: 0; }");
    h.push_back("  * { -webkit-print-color-adjust: exact; print-color-adjust: exact; }");
    h.push_back("  h2 { page-break-after: avoid; }");
    h.push_back("  tr { page-break-inside: avoid; }");
    h.push_back("  thead { display: table-header-group; }");
    h.push_back("}");
    h.push_back("</style>");
    h.push_back("</head>");
    h.push_back("<body>");
    h.push_back("<h1>" + htmlEscaped(heading) + "</h1>");
    std::string out;
    for (const std::string& line : h) {
        out += line;
        out += kCrLf;
    }
    return out + body + "</body>" + std::string(kCrLf) + "</html>" + std::string(kCrLf);
}

std::string checkReportHtml(const CheckReport& report, const LocalTime& madeAt) {
    std::vector<std::string> h;
    char made[64];
    std::snprintf(made, sizeof made, "%02d/%02d/%04d alle %02d:%02d", madeAt.day, madeAt.month,
                  madeAt.year, madeAt.hour, madeAt.minute);
    h.push_back("<p>Giorni dal " + htmlEscaped(report.firstDay) + " al " +
                htmlEscaped(report.lastDay) + "; verifica fatta il " + made + ".</p>");
    h.push_back("<p><strong>" + htmlEscaped(checkCountsLine(report)) + "</strong></p>");
    h.push_back("<table class=\"legenda\">");
    h.push_back(
        "<tr class=\"bloccante\"><td>BLOCCANTE</td><td>l'esportazione si fermerebbe su "
        "questa scheda: nulla di quel giorno e dei seguenti verrebbe inviato</td></tr>");
    h.push_back(
        "<tr class=\"respinto\"><td>RESPINTO</td><td>il servizio rifiuterà "
        "l'ospite</td></tr>");
    h.push_back(
        "<tr class=\"mai-inviato\"><td>MAI INVIATO</td><td>l'ospite non entra in nessun "
        "documento, senza alcun avviso</td></tr>");
    h.push_back(
        "<tr class=\"modificato\"><td>MODIFICATO DOPO L'INVIO</td><td>quanto inviato e "
        "accettato differisce da quanto si invierebbe ora</td></tr>");
    h.push_back(
        "<tr class=\"escluso\"><td>ESCLUSO</td><td>lasciato fuori da una regola, per "
        "informazione</td></tr>");
    h.push_back("</table>");

    for (const std::string& day : daysOf(report)) {
        h.push_back("<h2>" + weekday(day) + " " + htmlEscaped(day) + "</h2>");
        std::vector<const CheckFinding*> rows;
        for (const CheckFinding& f : report.findings)
            if (f.day == day) rows.push_back(&f);
        if (rows.empty()) {
            h.push_back("<p class=\"nulla\">Nessun problema.</p>");
            continue;
        }
        h.push_back("<table>");
        h.push_back(
            "<thead><tr><th>Documento</th><th>Esito</th><th>Archivio</th><th>Scheda</th>"
            "<th>Camera</th><th>Nome</th><th>Problema</th><th>Da fare</th></tr></thead>");
        h.push_back("<tbody>");
        for (const CheckFinding* f : rows) {
            h.push_back(std::string("<tr class=\"") + severityClass(f->severity) + "\"><td>" +
                        kindName(f->kind) + "</td><td>" + severityLabel(f->severity) + "</td><td>" +
                        htmlEscaped(f->database) + "</td><td>" + htmlEscaped(recordText(*f)) +
                        "</td><td>" + htmlEscaped(f->room) + "</td><td>" +
                        htmlEscaped(f->nomeCliente.value_or("")) + "</td><td>" +
                        htmlWithOptions(f->problem) + "</td><td>" + htmlWithOptions(f->fix) +
                        "</td></tr>");
        }
        h.push_back("</tbody>");
        h.push_back("</table>");
    }
    if (!report.interruption.empty()) {
        std::string text;
        for (const std::string& l : splitLines(report.interruption))
            text += (text.empty() ? "" : "<br>") + htmlEscaped(l);
        h.push_back("<p class=\"interrotta\">" + text +
                    "<br>I giorni seguenti non sono stati verificati.</p>");
    }
    std::string body;
    for (const std::string& line : h) {
        body += line;
        body += kCrLf;
    }
    return htmlPage(checkTitle(report), "Verifica dei dati Istat prima dell'invio", body);
}

}  // namespace velmora
