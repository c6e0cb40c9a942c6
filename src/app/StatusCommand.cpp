// "velmora stato": the journal's days printed or written as a page, the days
// with nothing recorded told apart by building their documents as the check
// does (nothing posted, nothing written), and the rebuild from the log files.
#include "app/StatusCommand.h"

#include <algorithm>
#include <cctype>

#include "check/CheckReport.h"
#include "check/CheckRun.h"
#include "app/DateEntry.h"
#include "app/ExportRun.h"
#include "core/FileNames.h"
#include "core/RunError.h"
#include "core/Text.h"
#include "journal/ExportJournal.h"
#include "journal/JournalRebuild.h"
#include "platform/FileStore.h"

namespace velmora {

namespace {

constexpr const char* kStatusUsage =
    "velmora stato [--from GG/MM/AAAA] [--to GG/MM/AAAA] [--files] [--html FILE]\n"
    "              [--ricostruisci] [--ricevuto GG/MM/AAAA | --non-ricevuto GG/MM/AAAA]\n"
    "    Dal registro degli invii (Velmora/Velmora.sqlite), una riga per giorno:\n"
    "    arrivi e partenze (ospiti inviati, esito, quando), giornata chiusa o no e\n"
    "    lo stato: INVIATO, CON ERRORI, INTERROTTO, ESITO SCONOSCIUTO, NON INVIATO,\n"
    "    NULLA DA INVIARE. Senza date: gli ultimi 31 giorni fino a ieri. --files\n"
    "    aggiunge i file di ogni giorno; --html FILE scrive un rapporto (mai sopra un\n"
    "    file esistente); --ricostruisci rifà il registro dai file di Velmora/ (il\n"
    "    precedente resta come Velmora.sqlite.bak). --ricevuto o --non-ricevuto\n"
    "    annotano, per gli invii di quel giorno rimasti senza risposta, quanto il\n"
    "    portale della Regione dice: ricevuti, o no (li invia di nuovo --pending).\n";

std::string cellOf(const std::optional<JournalExchange>& e) {
    if (!e) return "-";
    if (e->verdict && *e->verdict == kVerdictEmpty) return "nessuno";
    std::string text =
        std::to_string(e->stays) + " " + (e->verdict ? *e->verdict : "senza risposta");
    const std::string& when = e->answeredAt ? *e->answeredAt : e->sentAt;
    if (when.size() >= 16) text += " " + DisplayDay(when.substr(0, 10)) + " " + when.substr(11, 5);
    return text;
}

std::string closedOf(const JournalDay& d) {
    if (!d.closing) return "no";
    if (!d.closing->verdict) return "?";
    return *d.closing->verdict == kVerdictAccepted ? "sì" : "no (" + *d.closing->verdict + ")";
}

// Pads to width characters (UTF-8 sequences count once).
std::string padded(const std::string& text, std::size_t width) {
    std::size_t chars = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) ++chars;
    return chars >= width ? text + " " : text + std::string(width - chars, ' ');
}

std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    return text;
}

}  // namespace

std::optional<StatusArguments> ParseStatusArguments(const std::vector<std::string>& args,
                                                    std::string& error) {
    StatusArguments a;
    const std::vector<OptionSpec> options = {
        {"--from", &a.from},
        {"--to", &a.to},
        {"--html", &a.html},
        {"--files", nullptr, "", "", &a.files},
        {"--ricostruisci", nullptr, "", "", &a.rebuild},
        {"--ricevuto", &a.received, "la data", "data vuota"},
        {"--non-ricevuto", &a.notReceived, "la data", "data vuota"},
    };
    if (!ParseOptions(args, options, a.help, error)) return std::nullopt;
    if (!a.received.empty() && !a.notReceived.empty()) {
        error = "--ricevuto e --non-ricevuto insieme";
        return std::nullopt;
    }
    return a;
}

void MarkNothingToSend(std::vector<JournalDay>& days, const CheckReport& report) {
    for (JournalDay& d : days) {
        if (d.status != kStatusNotSent) continue;
        int empty = 0;
        for (const CheckedDocument& doc : report.documents)
            if (doc.day == d.day && !doc.stopped && doc.body.empty()) ++empty;
        if (empty == 2) d.status = kStatusNothingToSend;
    }
}

std::vector<std::string> StatusLines(const std::vector<JournalDay>& days, bool files) {
    std::vector<std::string> lines;
    lines.push_back(padded("Giorno", 12) + padded("Arrivi", 30) + padded("Partenze", 30) +
                    padded("Chiusa", 8) + "Stato");
    for (const JournalDay& d : days) {
        lines.push_back(padded(d.day, 12) + padded(cellOf(d.arrivals), 30) +
                        padded(cellOf(d.departures), 30) + padded(closedOf(d), 8) + d.status);
        if (files)
            for (const std::string& f : d.files) lines.push_back("    " + f);
    }
    return lines;
}

std::string StatusHtmlSection(const std::vector<JournalDay>& days, bool files, bool heading) {
    std::string h = heading ? "<h2>Registro degli invii</h2>\r\n" : "";
    h += "<p><strong>" + htmlEscaped(StatusCountsText(days)) + "</strong></p>\r\n";
    h += "<table>\r\n<thead><tr><th>Giorno</th><th>Arrivi</th><th>Partenze</th>"
         "<th>Chiusa</th><th>Stato</th>";
    h += files ? "<th>File</th></tr></thead>\r\n<tbody>\r\n" : "</tr></thead>\r\n<tbody>\r\n";
    for (const JournalDay& d : days) {
        std::string rowClass;
        for (char c : std::string(d.status))
            rowClass += c == ' ' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        h += "<tr class=\"" + rowClass + "\"><td>" + htmlEscaped(d.day) + "</td><td>" +
             htmlEscaped(CellInWords(d.arrivals)) + "</td><td>" +
             htmlEscaped(CellInWords(d.departures)) + "</td><td>" +
             htmlEscaped(closedOf(d)) + "</td><td><strong>" + htmlEscaped(d.status) +
             "</strong></td>";
        if (files) {
            std::string filesText;
            for (const std::string& f : d.files)
                filesText += (filesText.empty() ? "" : "<br>") + htmlEscaped(f);
            h += "<td>" + filesText + "</td>";
        }
        h += "</tr>\r\n";
    }
    return h + "</tbody>\r\n</table>\r\n";
}

std::string CellInWords(const std::optional<JournalExchange>& e) {
    if (!e) return "-";
    if (e->verdict && *e->verdict == kVerdictEmpty) return "nessuna presenza";
    const bool one = e->stays == 1;
    std::string text = std::to_string(e->stays) + (one ? " presenza inviata, " : " presenze inviate, ");
    if (!e->verdict || *e->verdict == kVerdictNoAnswer)
        text += "senza risposta";
    else if (*e->verdict == kVerdictAccepted)
        text += one ? "accettata" : "accettate";
    else if (*e->verdict == kVerdictRefused)
        text += one ? "respinta" : "respinte";
    else if (*e->verdict == kVerdictErrors)
        text += "con errori";
    else
        text += *e->verdict;
    const std::string& when = e->answeredAt ? *e->answeredAt : e->sentAt;
    if (when.size() >= 16) text += " (" + DisplayDay(when.substr(0, 10)) + " " + when.substr(11, 5) + ")";
    return text;
}

std::string StatusCountsText(const std::vector<JournalDay>& days) {
    // The words of the table, in its order of gravity, each in the plural when due.
    static const struct {
        const char* status;
        const char* one;
        const char* many;
    } kWords[] = {
        {kStatusSent, "inviato", "inviati"},
        {kStatusWithErrors, "con errori", "con errori"},
        {kStatusInterrupted, "interrotto", "interrotti"},
        {kStatusUnknown, "con esito sconosciuto", "con esito sconosciuto"},
        {kStatusNotSent, "non inviato", "non inviati"},
        {kStatusNothingToSend, "senza nulla da inviare", "senza nulla da inviare"},
    };
    std::string text = std::to_string(days.size()) + (days.size() == 1 ? " giorno" : " giorni");
    const char* separator = ": ";
    for (const auto& w : kWords) {
        const auto n = std::count_if(days.begin(), days.end(),
                                     [&](const JournalDay& d) { return d.status == w.status; });
        if (n == 0) continue;
        text += separator + std::to_string(n) + " " + (n == 1 ? w.one : w.many);
        separator = ", ";
    }
    return text + ".";
}

std::string WithJournalSection(const std::string& page, const JournalLocation& journal,
                               const std::string& firstDay, const std::string& lastDay) {
    std::string section;
    try {
        section = StatusHtmlSection(JournalDays(*ReadJournal(journal), firstDay, lastDay), false, true);
    } catch (const RunError& e) {
        section = "<h2>Registro degli invii</h2>\r\n<p>" + htmlEscaped(e.message()) + "</p>\r\n";
    }
    const std::size_t end = page.rfind("</body>");
    if (end == std::string::npos) return page + section;
    return page.substr(0, end) + section + page.substr(end);
}

namespace {

// Records the operator's word on the requests of day whose outcome the
// journal does not know; the number of them.
int markOutcome(const JournalLocation& where, const Clock& clock, const std::string& day,
                bool received, std::ostream& out) {
    // Under the export lock, and never on a journal lost while its files remain.
    const auto opened = ExportJournal::Open(where, clock, "velmora stato");
    SendJournal& journal = opened->journal();
    const std::vector<JournalExchange> unknown = UnknownOutcomes(JournalDayOf(journal, day));
    for (const JournalExchange& e : unknown) {
        const std::string word = received ? "ricevuto" : "non ricevuto";
        journal.completeExchange(e.id, e.answerFile.value_or(""), e.httpStatus,
                                 (e.failure ? *e.failure + "; " : std::string()) +
                                     "segnato dall'operatore come " + word + " dal servizio",
                                 received ? std::optional<std::string>(kVerdictAccepted)
                                          : std::optional<std::string>(kVerdictNoAnswer),
                                 clock.now());
        out << "Segnato come " << word << ": " << ExchangeName(e) << ".\n";
    }
    return static_cast<int>(unknown.size());
}

}  // namespace

void WriteNewFile(const std::string& name, const std::string& text) {
    // Never over anything that has the name, a symbolic link included, and
    // never seen half written (fopen's "x" would do on Linux; the Windows C
    // runtime ignores it and writes over the file).
    LocalFileStore files;
    if (!files.writeNew(name, text))
        throw RunError("Impossibile scrivere il file " + name, "esiste già");
}

int RunStatusCommand(const StatusArguments& arguments, CheckServices& services, std::ostream& out,
                     std::ostream& err) {
    StreamDialogs dialogs(err);
    if (arguments.rebuild) {
        try {
            const std::unique_ptr<FileLock> lock =
                LockHotelFolder(services.journal, "velmora stato --ricostruisci", services.clock);
            const int count = RebuildJournal(services.journal);
            out << "Registro degli invii ricostruito dai file di " << kLogDirectory << ": " << count
                << " scambi.\n";
        } catch (const RunError& e) {
            dialogs.MsgBox(e.fullText(), kStyleExclamation, kRunTitle);
            return kExitFailed;
        }
    }
    const std::string& marked =
        arguments.received.empty() ? arguments.notReceived : arguments.received;
    if (!marked.empty()) {
        std::string day;
        if (!ReadBatchDay(marked, services.clock.now().year, day)) {
            err << "velmora stato: data non valida: \"" << day << "\"\n";
            return kExitUsage;
        }
        try {
            if (markOutcome(services.journal, services.clock, day, !arguments.received.empty(),
                            out) == 0) {
                err << "velmora stato: il " << day
                    << " non ha invii rimasti senza risposta: nulla da segnare.\n";
                return kExitUsage;
            }
        } catch (const RunError& e) {
            dialogs.MsgBox(e.fullText(), kStyleExclamation, kRunTitle);
            return kExitFailed;
        }
        out.flush();
    }
    const long long yesterday = DaySerial(dayText(services.clock.now())) - 1;
    const std::string from = arguments.from.empty() ? DayTextOf(yesterday - 30) : arguments.from;
    const std::string to = arguments.to.empty() ? DayTextOf(yesterday) : arguments.to;
    RunState state;
    std::string days[2];
    if (!PrepareBatchDays(from, to, services.files, services.clock, dialogs, err, state, days))
        return kExitFailed;
    if (DaySerial(days[1]) < DaySerial(days[0])) {
        err << "velmora stato: --to viene prima di --from\n";
        return kExitUsage;
    }

    std::vector<JournalDay> rows;
    try {
        rows = JournalDays(*ReadJournal(services.journal), days[0], days[1]);
    } catch (const RunError& e) {
        dialogs.MsgBox(e.fullText(), kStyleExclamation, kRunTitle);
        return kExitFailed;
    }

    // Days with nothing recorded: build their documents to tell "nothing to
    // send" from "not sent".
    RunView view;
    const std::string problem =
        CheckBeforeRun({days[0], days[1], false}, state, services.files, view, false);
    if (problem.empty()) {
        CheckRun check(state, services.engine(), services.files, services.clock);
        for (const JournalDay& d : std::vector<JournalDay>(rows)) {
            if (d.status != kStatusNotSent) continue;
            MarkNothingToSend(rows, check.run(d.day, d.day, view));
        }
    }

    out << "Registro degli invii dal " << days[0] << " al " << days[1] << '\n';
    for (const std::string& line : StatusLines(rows, arguments.files)) out << line << '\n';
    if (!problem.empty())
        out << "(giorni non inviati non verificati: " << oneLine(problem) << ")\n";
    out.flush();
    if (!arguments.html.empty()) {
        const std::string title = "Registro degli invii dal " + days[0] + " al " + days[1];
        const std::string page =
            htmlPage(title, title, StatusHtmlSection(rows, arguments.files, false));
        try {
            WriteNewFile(arguments.html, page);
        } catch (const RunError& e) {
            err << "velmora: " << e.message() << " (" << e.detail() << ")\n";
            return kExitFailed;
        }
    }
    return kExitCompleted;
}

BatchCommand MakeStatusCommand(CheckServices& services) {
    return MakeBatchCommand<StatusArguments>(
        "stato", kStatusUsage, kExitCompleted, ParseStatusArguments,
        [&services](const StatusArguments& a, std::ostream& out, std::ostream& err) {
            return RunStatusCommand(a, services, out, err);
        });
}

}  // namespace velmora
