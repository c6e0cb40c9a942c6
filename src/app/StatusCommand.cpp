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
#include "core/Calendar.h"
#include "core/FileNames.h"
#include "core/RunError.h"
#include "core/Text.h"
#include "core/Utf8.h"
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
    if (when.size() >= 16) text += " " + shownIsoTime(when, " ");
    return text;
}

std::string closedOf(const JournalDay& d) {
    if (!d.closing) return "no";
    if (!d.closing->verdict) return "?";
    return *d.closing->verdict == kVerdictAccepted ? "sì" : "no (" + *d.closing->verdict + ")";
}

// Pads to width characters (UTF-8 sequences count once).
std::string padded(const std::string& text, std::size_t width) {
    const std::size_t chars = characterCount(text);
    return chars >= width ? text + " " : text + std::string(width - chars, ' ');
}

std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    return text;
}

}  // namespace

std::optional<StatusArguments> parseStatusArguments(const std::vector<std::string>& args,
                                                    std::string& error) {
    StatusArguments a;
    const std::vector<CommandOption> options = {
        {"--from", &a.from},
        {"--to", &a.to},
        {"--html", &a.html},
        {"--files", nullptr, "", "", &a.files},
        {"--ricostruisci", nullptr, "", "", &a.rebuild},
        {"--ricevuto", &a.received, "la data", "data vuota"},
        {"--non-ricevuto", &a.notReceived, "la data", "data vuota"},
    };
    if (!parseOptions(args, options, a.help, error)) return std::nullopt;
    if (!a.received.empty() && !a.notReceived.empty()) {
        error = "--ricevuto e --non-ricevuto insieme";
        return std::nullopt;
    }
    return a;
}

void markNothingToSend(std::vector<JournalDay>& days, const CheckReport& report) {
    for (JournalDay& d : days) {
        if (d.status != kStatusNotSent) continue;
        int empty = 0;
        for (const CheckedDocument& doc : report.documents)
            if (doc.day == d.day && !doc.stopped && doc.body.empty()) ++empty;
        if (empty == 2) d.status = kStatusNothingToSend;
    }
}

std::vector<std::string> statusLines(const std::vector<JournalDay>& days, bool files) {
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

std::string statusHtmlSection(const std::vector<JournalDay>& days, bool files, bool heading) {
    std::string h = heading ? "<h2>Registro degli invii</h2>\r\n" : "";
    h += "<p><strong>" + htmlEscaped(statusCountsText(days)) + "</strong></p>\r\n";
    h += "<table>\r\n<thead><tr><th>Giorno</th><th>Arrivi</th><th>Partenze</th>"
         "<th>Chiusa</th><th>Stato</th>";
    h += files ? "<th>File</th></tr></thead>\r\n<tbody>\r\n" : "</tr></thead>\r\n<tbody>\r\n";
    for (const JournalDay& d : days) {
        std::string rowClass;
        for (char c : std::string(d.status))
            rowClass += c == ' ' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        h += "<tr class=\"" + rowClass + "\"><td>" + htmlEscaped(d.day) + "</td><td>" +
             htmlEscaped(cellInWords(d.arrivals)) + "</td><td>" +
             htmlEscaped(cellInWords(d.departures)) + "</td><td>" +
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

std::string cellInWords(const std::optional<JournalExchange>& e) {
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
    if (when.size() >= 16) text += " (" + shownIsoTime(when, " ") + ")";
    return text;
}

std::string statusCountsText(const std::vector<JournalDay>& days) {
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

std::string checkReportPage(const CheckReport& report, const LocalTime& madeAt,
                            const std::optional<JournalLocation>& journal) {
    const std::string page = checkReportHtml(report, madeAt);
    if (!journal) return page;
    std::string section;
    try {
        section = statusHtmlSection(
            journalDays(*readJournal(*journal), report.firstDay, report.lastDay), false, true);
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
    const std::vector<JournalExchange> unknown = unknownOutcomes(journalDayOf(journal, day));
    for (const JournalExchange& e : unknown) {
        const std::string word = received ? "ricevuto" : "non ricevuto";
        journal.completeExchange(e.id, e.answerFile.value_or(""), e.httpStatus,
                                 (e.failure ? *e.failure + "; " : std::string()) +
                                     "segnato dall'operatore come " + word + " dal servizio",
                                 received ? std::optional<std::string>(kVerdictAccepted)
                                          : std::optional<std::string>(kVerdictNoAnswer),
                                 clock.now());
        out << "Segnato come " << word << ": " << exchangeName(e) << ".\n";
    }
    return static_cast<int>(unknown.size());
}

// "--ricostruisci": the journal rebuilt from the log files, under the export
// lock.
void rebuildFromFiles(CheckServices& services, std::ostream& out) {
    const std::unique_ptr<FileLock> lock =
        lockHotelFolder(services.journal, "velmora stato --ricostruisci", services.clock);
    const int count = rebuildJournal(services.journal);
    out << "Registro degli invii ricostruito dai file di " << kLogDirectory << ": " << count
        << " scambi.\n";
}

// "--ricevuto" or "--non-ricevuto DAY": the operator's word recorded. The exit
// status when the day is no day or has nothing to mark; RunError when the
// journal cannot take it.
std::optional<int> recordOperatorWord(const StatusArguments& arguments, CheckServices& services,
                                      std::ostream& out, std::ostream& err) {
    const std::string& marked =
        arguments.received.empty() ? arguments.notReceived : arguments.received;
    if (marked.empty()) return std::nullopt;
    std::string day;
    if (!readBatchDay(marked, services.clock.now().year, day)) {
        err << "velmora stato: data non valida: \"" << day << "\"\n";
        return kExitUsage;
    }
    if (markOutcome(services.journal, services.clock, day, !arguments.received.empty(), out) == 0) {
        err << "velmora stato: il " << day
            << " non ha invii rimasti senza risposta: nulla da segnare.\n";
        return kExitUsage;
    }
    out.flush();
    return std::nullopt;
}

// The settings and the two days (by default the 31 days up to yesterday), as
// the window's date fields would take them; the exit status when they are
// refused.
std::optional<int> readStatusDays(const StatusArguments& arguments, CheckServices& services,
                                  Dialogs& dialogs, std::ostream& err, RunState& state,
                                  std::string (&days)[2]) {
    const long long yesterday = daySerial(dayText(services.clock.now())) - 1;
    const std::string from = arguments.from.empty() ? dayTextOf(yesterday - 30) : arguments.from;
    const std::string to = arguments.to.empty() ? dayTextOf(yesterday) : arguments.to;
    if (!prepareBatchDays(from, to, services.files, services.clock, dialogs, err, state, days))
        return kExitFailed;
    if (daySerial(days[1]) < daySerial(days[0])) {
        err << "velmora stato: --to viene prima di --from\n";
        return kExitUsage;
    }
    return std::nullopt;
}

// The days with nothing recorded: their documents built as the check builds
// them (nothing posted, nothing written), to tell "nothing to send" from "not
// sent". What kept them from being built, or "".
std::string markDaysWithNothingToSend(std::vector<JournalDay>& rows, const std::string (&days)[2],
                                      const RunState& state, CheckServices& services) {
    RunView view;
    const std::string problem =
        checkBeforeRun({days[0], days[1], false}, state, services.files, view, false);
    if (!problem.empty()) return problem;
    CheckRun check(state, services.engine(), services.files, services.clock);
    for (const JournalDay& d : std::vector<JournalDay>(rows)) {
        if (d.status != kStatusNotSent) continue;
        markNothingToSend(rows, check.run(d.day, d.day, view));
    }
    return {};
}

}  // namespace

int runStatusCommand(const StatusArguments& arguments, CheckServices& services, std::ostream& out,
                     std::ostream& err) {
    StreamDialogs dialogs(err);
    // A failure of the journal is told as the export tells it.
    const auto failed = [&dialogs](const RunError& e) {
        dialogs.MsgBox(e.fullText(), kStyleExclamation, kRunTitle);
        return kExitFailed;
    };
    try {
        if (arguments.rebuild) rebuildFromFiles(services, out);
        if (const std::optional<int> status = recordOperatorWord(arguments, services, out, err))
            return *status;
    } catch (const RunError& e) {
        return failed(e);
    }
    RunState state;
    std::string days[2];
    if (const std::optional<int> status =
            readStatusDays(arguments, services, dialogs, err, state, days))
        return *status;
    std::vector<JournalDay> rows;
    try {
        rows = journalDays(*readJournal(services.journal), days[0], days[1]);
    } catch (const RunError& e) {
        return failed(e);
    }
    const std::string problem = markDaysWithNothingToSend(rows, days, state, services);

    out << "Registro degli invii dal " << days[0] << " al " << days[1] << '\n';
    for (const std::string& line : statusLines(rows, arguments.files)) out << line << '\n';
    if (!problem.empty())
        out << "(giorni non inviati non verificati: " << oneLine(problem) << ")\n";
    out.flush();
    if (arguments.html.empty()) return kExitCompleted;
    const std::string title = "Registro degli invii dal " + days[0] + " al " + days[1];
    const std::string page =
        htmlPage(title, title, statusHtmlSection(rows, arguments.files, false));
    const PageWritten written = writeRequestedPage(services.files, arguments.html, page, err);
    if (written == PageWritten::NameTaken)
        printRunError(err, RunError("Impossibile scrivere il file " + arguments.html, "esiste già"));
    return written == PageWritten::Written ? kExitCompleted : kExitFailed;
}

BatchCommand makeStatusCommand(CheckServices& services) {
    return makeBatchCommand("stato", kStatusUsage, kExitCompleted, parseStatusArguments,
                            runStatusCommand, services);
}

}  // namespace velmora
