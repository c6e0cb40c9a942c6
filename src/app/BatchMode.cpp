// Batch mode: command dispatch, the arguments of "export", and the stream
// versions of the monitor and the message box. The run itself is the same
// ExportRun the window uses.
#include "BatchMode.h"

#include <csignal>
#include <exception>

#include "app/DateEntry.h"
#include "app/Settings.h"
#include "journal/CatchUp.h"
#include "core/RunError.h"
#include "core/RunState.h"
#include "core/TerminalText.h"
#include "core/Text.h"
#include "core/FileNames.h"

namespace velmora {

namespace {

constexpr const char* kExportUsage =
    "velmora export --from GG/MM/AAAA --to GG/MM/AAAA [--close-days] [--reinvia]\n"
    "velmora export --pending [--fino-a GG/MM/AAAA] [--close-days]\n"
    "    Esporta i giorni dal primo all'ultimo compresi, come il pulsante \"Esporta\"\n"
    "    della finestra, nella cartella di lavoro; --close-days chiude ogni giornata\n"
    "    al servizio (\"Chiudi giornate\"). Le date si scrivono come nei campi della\n"
    "    finestra (anche GGMMAA o GGMMAAAA). Ogni testo inviato compare su stdout dopo\n"
    "    una riga \">>> inviato\", ogni risposta dopo una riga \"<<< risposta\"; i\n"
    "    messaggi vanno su stderr. I giorni che il registro degli invii dà già\n"
    "    inviati e accettati sono rifiutati (stato 64) se non con --reinvia; dei\n"
    "    giorni inviati solo in parte si invia quanto il servizio non ha accettato.\n"
    "    --pending invia i giorni dopo l'ultimo inviato, fino a ieri (al massimo 31\n"
    "    giorni, se --fino-a non indica l'ultimo): di ogni giorno solo quanto il\n"
    "    servizio non ha ricevuto. Si ferma prima di inviare se l'esito di un invio\n"
    "    precedente non è noto (stato 1); i giorni con errori restano da correggere\n"
    "    (stato 1).\n";

std::string withLineFeeds(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    return out;
}

}  // namespace

std::string UsageText(const std::vector<BatchCommand>& commands) {
    std::string text =
        "Uso:\n"
        "velmora\n"
        "    Apre la finestra.\n";
    for (const BatchCommand& c : commands) text += c.usage;
    text +=
        "velmora --cartella CARTELLA [comando ...]\n"
        "    Lavora nella CARTELLA indicata invece che nella cartella corrente: vi apre la\n"
        "    finestra o vi esegue il comando.\n"
        "velmora --ultima-cartella\n"
        "    Apre la finestra nella cartella usata l'ultima volta, o la chiede se manca\n"
        "    (la voce del menu).\n"
        "velmora --help\n"
        "    Mostra questo testo.\n"
        "\n"
        "Stato di uscita di export: 0 esportazione completata, 1 completata con errori\n"
        "segnalati dal servizio, 2 non avviata o interrotta, 64 uso errato.\n";
    return text;
}

int DispatchCommand(const std::vector<std::string>& args, const std::vector<BatchCommand>& commands,
                    std::ostream& out, std::ostream& err) {
#ifdef SIGPIPE
    // Printing into a pipe whose reader has gone ("velmora export ... | head")
    // must not end the program half way through a run, between a document
    // posted and its answer kept: the write fails instead and the run goes on.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        out << UsageText(commands);
        out.flush();
        return args.empty() ? kExitUsage : kExitCompleted;
    }
    for (const BatchCommand& c : commands) {
        if (c.name == args[0]) {
            std::vector<std::string> rest(args.begin() + 1, args.end());
            return c.run(rest, out, err);
        }
    }
    err << "velmora: comando sconosciuto \"" << args[0] << "\"\n\n" << UsageText(commands);
    err.flush();
    return kExitUsage;
}

bool ParseOptions(const std::vector<std::string>& args, const std::vector<OptionSpec>& options,
                  bool& help, std::string& error) {
    std::vector<bool> seen(options.size(), false);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            help = true;
            return true;
        }
        std::string name = arg, value;
        bool inlineValue = false;
        if (std::size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            inlineValue = true;
        }
        std::size_t k = 0;
        // A flag written with "=" is no flag at all.
        while (k < options.size() &&
               !(options[k].name == name && (options[k].value || !inlineValue)))
            ++k;
        if (k == options.size()) {
            error = "argomento non previsto \"" + arg + "\"";
            return false;
        }
        const OptionSpec& option = options[k];
        if (seen[k]) {
            error = "opzione " + name + " ripetuta";
            return false;
        }
        seen[k] = true;
        if (!option.value) {
            *option.flag = option.flagValue;
            continue;
        }
        if (!inlineValue) {
            if (i + 1 >= args.size()) {
                error = std::string("manca ") + option.missing + " dopo " + name;
                return false;
            }
            value = args[++i];
        }
        if (value.empty()) {
            error = std::string(option.empty) + " per " + name;
            return false;
        }
        *option.value = value;
    }
    return true;
}

std::optional<ExportArguments> ParseExportArguments(const std::vector<std::string>& args,
                                                    std::string& error) {
    ExportArguments a;
    const std::vector<OptionSpec> options = {
        {"--from", &a.from, "la data", "data vuota"},
        {"--to", &a.to, "la data", "data vuota"},
        {"--close-days", nullptr, "", "", &a.closeDays},
        {"--reinvia", nullptr, "", "", &a.resend},
        {"--pending", nullptr, "", "", &a.pending},
        {"--fino-a", &a.upTo, "la data", "data vuota"},
        {"--no-table-cache", nullptr, "", "", &a.tableCache, false},
    };
    if (!ParseOptions(args, options, a.help, error)) return std::nullopt;
    if (a.help) return a;
    if (a.pending) {
        if (!a.from.empty() || !a.to.empty()) {
            error = "--pending non va con --from e --to";
            return std::nullopt;
        }
        return a;
    }
    if (!a.upTo.empty()) {
        error = "--fino-a va con --pending";
        return std::nullopt;
    }
    if (a.from.empty() || a.to.empty()) {
        error = a.from.empty() ? "manca --from" : "manca --to";
        return std::nullopt;
    }
    return a;
}

void StreamMonitor::append(int box, const std::string& text) {
    m_out << (box == kSentBox ? kSentMarker : kAnswerMarker) << '\n' << terminalSafe(text) << '\n';
    m_out.flush();
}

void StreamDialogs::MsgBox(const std::string& prompt, int /*style*/, const std::string& title) {
    m_err << terminalSafe(title) << ": " << terminalSafe(withLineFeeds(prompt)) << '\n';
    m_err.flush();
}

bool StreamDialogs::Question(const std::string& prompt, const std::string& title) {
    MsgBox(prompt + " No", kStyleOk, title);
    return false;
}

int ExitStatusOf(RunOutcome outcome) {
    switch (outcome) {
        case RunOutcome::Completed:
            return kExitCompleted;
        case RunOutcome::CompletedWithErrors:
            return kExitWithErrors;
        case RunOutcome::Refused:
        case RunOutcome::Interrupted:
            break;
    }
    return kExitFailed;
}

std::optional<std::string> ReadBatchDay(const std::string& given, int currentYear,
                                        std::string& text) {
    RunState state;
    FillDaysInMonth(state);
    std::string normalized = NormalizeText(given);
    text = ExpandYear(normalized, currentYear);
    if (IsValidDate(text, state) != 1) return std::nullopt;
    return text;
}

bool PrepareBatchDays(const std::string& from, const std::string& to, const FileStore& files,
                      const Clock& clock, Dialogs& dialogs, std::ostream& err, RunState& state,
                      std::string (&days)[2]) {
    FillDaysInMonth(state);
    SettingsOutcome settings = LoadSettings(files, state);
    if (!settings.loaded()) {
        dialogs.MsgBox(settings.prompt, kStyleExclamation, kSettingsTitle);
        return false;
    }
    const int year = clock.now().year;
    const std::string* given[2] = {&from, &to};
    const char* options[2] = {"--from", "--to"};
    for (int i = 0; i < 2; ++i) {
        if (!ReadBatchDay(*given[i], year, days[i])) {
            // Named as typed: the expansion of a text that is no date says nothing.
            err << "velmora: data non valida per " << options[i] << ": \"" << *given[i]
                << "\" (scriverla come GG/MM/AAAA)\n";
            err.flush();
            return false;
        }
    }
    return true;
}

bool RefuseReversedRange(const std::string (&days)[2], const std::string& command,
                         std::ostream& err) {
    if (DaySerial(days[1]) >= DaySerial(days[0])) return false;
    err << "velmora " << command << ": " << kReversedRange << '\n';
    err.flush();
    return true;
}

namespace {

// The catch-up's days and plan, with the journal it read under the folder's
// lock (kept for the run). Returns an exit status when the run is not to
// start, having said why.
std::optional<int> planCatchUp(const ExportArguments& arguments, BatchServices& services,
                               const FileStore& files, std::ostream& out, std::ostream& err,
                               Dialogs& dialogs, std::unique_ptr<ExportJournal>& journal,
                               CatchUp& plan) {
    const long long yesterday = DaySerial(dayText(services.clock.now())) - 1;
    std::string upTo = DayTextOf(yesterday);
    if (!arguments.upTo.empty()) {
        if (!ReadBatchDay(arguments.upTo, services.clock.now().year, upTo) ||
            DaySerial(upTo) > yesterday) {
            err << "velmora export: data non valida per --fino-a: \"" << arguments.upTo
                << "\" (al più tardi ieri, " << DayTextOf(yesterday) << ")\n";
            return kExitUsage;
        }
    }
    // Without Velmora/ nothing was ever sent.
    if (services.journal && files.isDirectory(kLogDirectory)) {
        try {
            journal = ExportJournal::Open(*services.journal, services.clock, "velmora export");
            plan = PlanCatchUp(journal->journal(), upTo, arguments.closeDays);
        } catch (const RunError& e) {
            dialogs.MsgBox(std::string(kNotStartedLine) + std::string(kCrLf) + e.fullText(),
                           kStyleExclamation, kRunTitle);
            return kExitFailed;
        }
        if (!journal->notice().empty()) out << terminalSafe(journal->notice()) << '\n';
    }
    if (!plan.firstDay) {
        err << "velmora export: il registro degli invii non ha nessun giorno inviato: "
               "indicare il primo giorno con --from e --to.\n";
        return kExitUsage;
    }
    if (plan.days == 0) {
        out << "Nessun giorno da inviare: l'ultimo giorno inviato è il "
            << plan.lastSent.value_or(upTo) << ".\n";
        return kExitCompleted;
    }
    if (plan.days > kCatchUpMaxDays && arguments.upTo.empty()) {
        err << "velmora export: non inviato nulla: dal " << *plan.firstDay << ", primo giorno non "
            << "inviato, a ieri mancano " << plan.days << " giorni, più di " << kCatchUpMaxDays
            << ". Indicare fin dove recuperare con --fino-a GG/MM/AAAA (o i giorni con --from e "
               "--to).\n";
        return kExitUsage;
    }
    if (!plan.unknown.empty()) {
        err << "velmora export: non inviato nulla: l'esito di un invio precedente non è noto.\n";
        for (const JournalExchange& e : plan.unknown) {
            const std::string day = DisplayDay(e.day.value_or(""));
            err << "- " << ExchangeName(e) << ": inviato il " << DisplayDay(e.sentAt.substr(0, 10))
                << " alle " << e.sentAt.substr(11, 5) << ", risposta mai ricevuta"
                << (e.failure ? " (" + *e.failure + ")" : std::string()) << ".\n"
                << "  Controllare sul portale della Regione se è stato ricevuto, poi:\n"
                << "  se sì: velmora stato --ricevuto " << day << "\n"
                << "  se no: velmora stato --non-ricevuto " << day
                << " (il prossimo invio lo ripete)\n";
        }
        err.flush();
        return kExitWithErrors;
    }
    out << "Giorni da inviare: dal " << *plan.firstDay << " al " << plan.lastDay << ".\n";
    out.flush();
    return std::nullopt;
}

}  // namespace

int RunExportCommand(const ExportArguments& arguments, BatchServices& services, std::ostream& out,
                     std::ostream& err) {
    StreamDialogs dialogs(err);
    StreamMonitor monitor(out);
    RunState state;
    std::string from = arguments.from, to = arguments.to;
    std::unique_ptr<ExportJournal> journal;
    CatchUp plan;
    if (arguments.pending) {
        if (std::optional<int> status =
                planCatchUp(arguments, services, services.files, out, err, dialogs, journal, plan))
            return *status;
        from = *plan.firstDay;
        to = plan.lastDay;
    }
    std::string days[2];
    if (!PrepareBatchDays(from, to, services.files, services.clock, dialogs, err, state, days))
        return kExitFailed;
    if (RefuseReversedRange(days, "export", err)) return kExitUsage;

    StepsOptions stepsOptions;
    stepsOptions.tableCache = arguments.tableCache;
    ExportRun run(state, services.files, dialogs, monitor, services.factory, stepsOptions);
    if (journal) {
        run.useJournal([&journal] { return std::move(journal); }, AlreadySent::Refuse);
        run.planDays([&plan](const std::string& day) {
            auto it = plan.plans.find(day);
            return it == plan.plans.end() ? DayPlan{false, false, false, {}} : it->second;
        });
    } else if (services.journal) {
        const JournalLocation where = *services.journal;
        Clock& clock = services.clock;
        run.useJournal(
            [where, &clock] { return ExportJournal::Open(where, clock, "velmora export"); },
            arguments.resend ? AlreadySent::SendAgain : AlreadySent::Refuse);
    }
    if (services.stop) {
        StopOnSignals(*services.stop);
        run.setStopRequest(services.stop);
    }
    RunView view;
    const RunOutcome outcome = run.run({days[0], days[1], arguments.closeDays}, view);
    if (!run.refusedAsSent().empty()) {
        err << "velmora export: " << AlreadySentRefusal(run.refusedAsSent()) << '\n';
        return kExitUsage;
    }
    int status = ExitStatusOf(outcome);
    if (!plan.withErrors.empty()) {
        err << "velmora export: giorni con errori, non inviati di nuovo: "
            << joinAnd(plan.withErrors)
            << ". Le risposte del servizio dicono quali ospiti ha rifiutato (velmora stato --files "
               "indica i file); correggerli con l'aiuto di velmora check, poi inviare quei giorni "
               "con velmora export --from GG/MM/AAAA --to GG/MM/AAAA.\n";
        if (status == kExitCompleted) status = kExitWithErrors;
    }
    return status;
}

BatchCommand MakeExportCommand(BatchServices& services) {
    return MakeBatchCommand<ExportArguments>(
        "export", kExportUsage, kExitCompleted, ParseExportArguments,
        [&services](const ExportArguments& a, std::ostream& out, std::ostream& err) {
            return RunExportCommand(a, services, out, err);
        });
}

}  // namespace velmora
