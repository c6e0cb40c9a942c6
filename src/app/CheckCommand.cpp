// "velmora check": argument parsing, the same refusals as "velmora export",
// the check itself, its printed lines and the HTML report file.
#include "app/CheckCommand.h"

#include <exception>

#include "check/CheckRange.h"
#include "check/CheckReport.h"
#include "app/DateEntry.h"
#include "app/ExportRun.h"
#include "app/Settings.h"
#include "app/StatusCommand.h"
#include "core/RunError.h"
#include "core/RunState.h"
#include "core/TerminalText.h"
#include "core/Text.h"

namespace velmora {

namespace {

constexpr const char* kCheckUsage =
    "velmora check --from GG/MM/AAAA --to GG/MM/AAAA [--documents] [--html FILE]\n"
    "    Verifica prima dell'invio: prepara i documenti dei giorni indicati come\n"
    "    l'esportazione, senza collegarsi al servizio e senza scrivere file, ed elenca\n"
    "    per giorno e tipo le schede che fermerebbero l'esportazione (BLOCCANTE), gli\n"
    "    ospiti che il servizio rifiuterà (RESPINTO), quelli che non verrebbero mai\n"
    "    inviati (MAI INVIATO) e quelli esclusi dalle regole (ESCLUSO), con che cosa\n"
    "    correggere; con il registro degli invii anche gli ospiti inviati e poi\n"
    "    modificati, spariti o aggiunti (MODIFICATO DOPO L'INVIO).\n"
    "    --documents stampa anche ogni documento come verrebbe inviato;\n"
    "    --html FILE scrive un rapporto da aprire e stampare. Stato di uscita: 0 solo\n"
    "    esclusi, 1 respinti, mai inviati o modificati, 2 bloccanti o verifica non avviata.\n";

// The report never takes the place of an existing file (the register given
// by mistake, a symbolic link): says so and gives kExitUsage.
int refuseReportFile(const std::string& name, std::ostream& err) {
    err << "velmora check: il file \"" << name
        << "\" esiste già; il rapporto non sostituisce mai un file esistente: indicare con "
           "--html un nome nuovo.\n";
    err.flush();
    return kExitUsage;
}

}  // namespace

std::optional<CheckArguments> ParseCheckArguments(const std::vector<std::string>& args,
                                                  std::string& error) {
    CheckArguments a;
    const std::vector<OptionSpec> options = {
        {"--from", &a.from, "la data", "data vuota"},
        {"--to", &a.to, "la data", "data vuota"},
        {"--html", &a.html, "il file", "file vuoto"},
        {"--documents", nullptr, "", "", &a.documents},
    };
    if (!ParseOptions(args, options, a.help, error)) return std::nullopt;
    if (a.help) return a;
    if (a.from.empty() || a.to.empty()) {
        error = a.from.empty() ? "manca --from" : "manca --to";
        return std::nullopt;
    }
    return a;
}

int CheckExitStatus(const CheckReport& report) {
    const CheckCounts c = report.counts();
    if (c.blocking > 0 || !report.interruption.empty()) return kCheckBlocking;
    if (c.rejected > 0 || c.neverSent > 0 || c.changed > 0) return kCheckFindings;
    return kCheckClean;
}

int RunCheckCommand(const CheckArguments& arguments, CheckServices& services, std::ostream& out,
                    std::ostream& err) {
    // Named files are looked at first, so that a taken name costs no check;
    // writing the report refuses any name taken by then, symbolic links too.
    if (!arguments.html.empty() &&
        (services.files.exists(arguments.html) || services.files.isDirectory(arguments.html)))
        return refuseReportFile(arguments.html, err);
    StreamDialogs dialogs(err);
    RunState state;
    std::string days[2];
    if (!PrepareBatchDays(arguments.from, arguments.to, services.files, services.clock, dialogs,
                          err, state, days))
        return kCheckBlocking;
    if (RefuseReversedRange(days, "check", err)) return kExitUsage;

    RunView view;
    CheckRangeOptions options;
    options.journal = services.journal;
    CheckRange range = RunCheckRange({days[0], days[1], false}, state, services.files,
                                     services.clock, view, services.engine, options);
    if (!range.notStarted.empty()) {
        dialogs.MsgBox(std::string(kCheckNotStartedLine) + std::string(kCrLf) + range.notStarted,
                       kStyleExclamation, kRunTitle);
        return kCheckBlocking;
    }
    const CheckReport& report = range.report;
    if (range.journalProblem) {
        try {
            std::rethrow_exception(range.journalProblem);
        } catch (const RunError& e) {
            err << "velmora: " << e.fullText() << '\n';
        }
    }

    // Findings and documents quote guest text: printed with controls escaped.
    out << terminalSafe(checkTitle(report)) << '\n';
    for (const std::string& line : checkLines(report, arguments.documents))
        out << terminalSafe(line) << '\n';
    out << checkCountsLine(report) << '\n';
    out.flush();
    if (!report.interruption.empty())
        dialogs.MsgBox(report.interruption, kStyleExclamation, kRunTitle);

    int status = CheckExitStatus(report);
    if (!arguments.html.empty()) {
        try {
            const std::string page =
                WithJournalSection(checkReportHtml(report, services.clock.now()),
                                   services.journal, days[0], days[1]);
            if (!services.files.writeNew(arguments.html, page))
                return refuseReportFile(arguments.html, err);
        } catch (const RunError& e) {
            err << "velmora: " << e.message() << " (" << e.detail() << ")\n";
            err.flush();
            status = kCheckBlocking;
        }
    }
    return status;
}

BatchCommand MakeCheckCommand(CheckServices& services) {
    return MakeBatchCommand<CheckArguments>(
        "check", kCheckUsage, kCheckClean, ParseCheckArguments,
        [&services](const CheckArguments& a, std::ostream& out, std::ostream& err) {
            return RunCheckCommand(a, services, out, err);
        });
}

}  // namespace velmora
