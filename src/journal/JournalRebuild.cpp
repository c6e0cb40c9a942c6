// The rebuild: the log files listed, put in the order they were written, and
// replayed as the runs that wrote them; then the new journal put in place.
#include "journal/JournalRebuild.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "core/FileNames.h"
#include "core/RunError.h"
#include "core/Text.h"
#include "journal/SendJournal.h"
#include "platform/Sqlite.h"
#include "service/ExchangeLog.h"
#include "stays/PostedDocument.h"

namespace velmora {

namespace fs = std::filesystem;

namespace {

struct LogFile {
    std::string_view prefix;
    std::string stamp;
    int n = 1;
    int rank = 0;           // the prefix's place in a run (kExchangePrefixes)
    long long written = 0;  // when the file was written, in ns; 0 where not trusted
    // Files written within one tick of the file system's clock (one run's)
    // go in the order of a run: its login, then by day and prefix, then its
    // logout. The day of an answer is its request's.
    int phase = 1;     // 0 login, 1 the days, 2 logout
    std::string day;   // YYYY-MM-DD of a request's content, or of an answer's request
    std::string file;  // as a run names it: Velmora/<name>
    fs::path path;
};

LocalTime timeOf(const std::string& stamp) {
    LocalTime t;
    t.year = std::stoi(stamp.substr(0, 4));
    t.month = std::stoi(stamp.substr(4, 2));
    t.day = std::stoi(stamp.substr(6, 2));
    t.hour = std::stoi(stamp.substr(8, 2));
    t.minute = std::stoi(stamp.substr(10, 2));
    return t;
}

// Whether the file system's time of a file falls in the minute of its name
// (a file is stamped, then written): then it tells the order of the files of
// that minute. A folder copied without its times fails this.
bool timeFitsStamp(const std::string& stamp, std::chrono::system_clock::time_point written) {
    const LocalTime t = timeOf(stamp);
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_isdst = -1;
    const std::time_t start = std::mktime(&tm);
    if (start == static_cast<std::time_t>(-1)) return false;
    const std::time_t at = std::chrono::system_clock::to_time_t(written);
    return at >= start && at <= start + 62;
}

std::string readText(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    if (!in) throw RunError("Impossibile leggere il file " + p.string());
    std::ostringstream ss;
    ss << in.rdbuf();
    std::string text = ss.str();
    if (text.ends_with(kCrLf)) text.resize(text.size() - kCrLf.size());
    return text;
}

const char* kindOf(std::string_view prefix) {
    if (prefix == kArrivalsRequestPrefix || prefix == kArrivalsAnswerPrefix)
        return kJournalArrivals;
    if (prefix == kDeparturesRequestPrefix || prefix == kDeparturesAnswerPrefix)
        return kJournalDepartures;
    return kJournalClosing;
}

bool isRequest(std::string_view prefix) {
    return prefix == kArrivalsRequestPrefix || prefix == kDeparturesRequestPrefix ||
           prefix == kEndDayRequestPrefix;
}

// The text between <tag> and the next '<' of text, or "".
std::string elementText(const std::string& text, const std::string& tag) {
    const std::size_t at = text.find("<" + tag + ">");
    if (at == std::string::npos) return {};
    const std::size_t start = at + tag.size() + 2;
    return text.substr(start, text.find('<', start) - start);
}

// The day a request is about (YYYY-MM-DD): the first guest's arrival or
// departure, or the closing's date; "" when the body holds none.
std::string requestDay(const char* kind, const std::string& text) {
    const std::string tag = kind == std::string(kJournalArrivals)     ? "ArrivalDate"
                            : kind == std::string(kJournalDepartures) ? "DepartureDate"
                                                                      : "CurrentDate";
    return elementText(text, tag).substr(0, 10);
}

// The minutes whose files' order cannot be told, and what is known of them.
struct Minute {
    bool timesTrusted = true;
    int logins = 0;
    int files = 0;
    std::map<std::string, int> requests, answers;  // by kind
};

// One run as it is replayed.
struct Run {
    long long id = 0;
    std::string first, last, userId;  // days YYYY-MM-DD
    bool closeDays = false, errors = false, completed = false;
    // Its files share a minute with another run's and their order is lost.
    bool uncertain = false;
    std::optional<LocalTime> ended;
    std::map<std::string, std::set<std::string>> days;  // day -> kinds recorded
    std::set<std::string> done;                         // days its empty documents are known of
};

class Replay {
public:
    explicit Replay(SendJournal& journal) : m_journal(journal) {}

    int run(const std::vector<LogFile>& files, const std::map<std::string, Minute>& minutes) {
        std::string minute;
        bool ambiguous = false;
        for (const LogFile& f : files) {
            if (f.stamp != minute) {
                minute = f.stamp;
                const Minute& m = minutes.at(minute);
                const bool otherRunOpen = current() && !current()->completed;
                ambiguous = !m.timesTrusted && m.logins > 0 &&
                            (m.logins > 1 || (otherRunOpen && m.files > m.logins));
                if (ambiguous && current()) current()->uncertain = true;
                m_dropAnswers.clear();
                // With fewer answers than requests, which request an
                // answer belongs to is not known.
                for (const auto& [kind, count] : m.requests) {
                    const auto answers = m.answers.find(kind);
                    if (ambiguous && count > (answers == m.answers.end() ? 0 : answers->second))
                        m_dropAnswers.insert(kind);
                }
            }
            const LocalTime at = timeOf(f.stamp);
            const std::string text = readText(f.path);
            if (f.prefix == kLoginPrefix) {
                login(at, f.file, ambiguous);
            } else if (f.prefix == kLogoutPrefix) {
                logout(at, f.file, ambiguous);
            } else if (isRequest(f.prefix)) {
                request(kindOf(f.prefix), at, f.file, text);
            } else if (!m_dropAnswers.count(kindOf(f.prefix))) {
                answer(kindOf(f.prefix), at, f.file, text);
            }
        }
        for (Run& r : m_runs) describe(r);
        return m_count;
    }

private:
    Run* current() { return m_runs.empty() ? nullptr : &m_runs.back(); }

    void login(const LocalTime& at, const std::string& file, bool ambiguous) {
        Run r;
        r.id = m_journal.beginRun(at, "", "", "", false);
        r.uncertain = ambiguous;
        m_runs.push_back(r);
        m_pending.clear();
        complete(m_journal.beginExchange(r.id, kJournalLogin, "", "", "", {}, at), file,
                 kVerdictAccepted, at);
        ++m_count;
    }

    void logout(const LocalTime& at, const std::string& file, bool ambiguous) {
        Run* r = current();
        complete(m_journal.beginExchange(r ? std::optional(r->id) : std::nullopt, kJournalLogout,
                                         "", "", "", {}, at),
                 file, kVerdictAccepted, at);
        ++m_count;
        if (!r || ambiguous) return;
        r->completed = true;
        r->ended = at;
        learnEmpty(*r, std::nullopt, at);
    }

    void request(const char* kind, const LocalTime& at, const std::string& file,
                 const std::string& text) {
        Run* r = current();
        std::vector<SentStay> stays;
        const std::string day = requestDay(kind, text);
        if (kind != std::string(kJournalClosing))
            for (const PostedGuest& g : ReadPostedGuests(text, kind))
                stays.push_back(SentStay{g.day, kind, g.database, g.numeroProgressivo, g.guestId,
                                         g.stayFingerprint, g.fingerprint});
        if (r && !day.empty()) {
            // A run goes through its days in order: the days before this one are done.
            learnEmpty(*r, day, at);
            if (r->first.empty() || day < r->first) r->first = day;
            if (day > r->last) r->last = day;
            r->days[day].insert(kind);
            if (kind == std::string(kJournalClosing)) r->closeDays = true;
            if (r->userId.empty()) r->userId = elementText(text, "HotelCode");
        }
        if (!day.empty()) m_recorded[day].insert(kind);
        m_pending[kind] = m_journal.beginExchange(r ? std::optional(r->id) : std::nullopt, kind,
                                                  day.empty() ? "" : DisplayDay(day), file,
                                                  Fnv1a64(text), stays, at);
        ++m_count;
    }

    void answer(const char* kind, const LocalTime& at, const std::string& file,
                const std::string& text) {
        auto open = m_pending.find(kind);
        if (open == m_pending.end()) return;
        const bool erro = contains(text, "Erro");
        const bool closing = kind == std::string(kJournalClosing);
        if (erro && current()) current()->errors = true;
        complete(open->second, file,
                 !erro     ? kVerdictAccepted
                 : closing ? kVerdictRefused
                           : kVerdictErrors,
                 at);
        m_pending.erase(open);
    }

    void complete(long long id, const std::string& file, const char* verdict, const LocalTime& at) {
        m_journal.completeExchange(id, file, std::nullopt, "", std::string(verdict), at);
    }

    // The days of r before day (all, without one) are done: a kind no run
    // recorded for them was empty. Not for a run whose order is lost.
    void learnEmpty(Run& r, const std::optional<std::string>& day, const LocalTime& at) {
        if (r.uncertain) return;
        for (const auto& [d, kinds] : r.days) {
            if ((day && d >= *day) || r.done.count(d)) continue;
            for (const char* kind : {kJournalArrivals, kJournalDepartures}) {
                if (m_recorded[d].count(kind)) continue;
                m_journal.recordEmpty(r.id, kind, DisplayDay(d), at);
                m_recorded[d].insert(kind);
            }
            r.done.insert(d);
        }
    }

    void describe(const Run& r) {
        const char* outcome = !r.completed ? kOutcomeInterrupted
                              : r.errors   ? kOutcomeWithErrors
                                           : kOutcomeCompleted;
        const std::string reason =
            r.completed   ? ""
            : r.uncertain ? "ordine dei file incerto: più esportazioni nello stesso minuto"
                          : "nessun file di logout";
        m_journal.describeRun(r.id, DisplayDay(r.first), DisplayDay(r.last), r.userId, r.closeDays,
                              r.ended ? std::optional(JournalTime(*r.ended)) : std::nullopt,
                              outcome, reason);
    }

    SendJournal& m_journal;
    std::vector<Run> m_runs;
    std::map<std::string, long long> m_pending;               // kind -> unanswered request
    std::map<std::string, std::set<std::string>> m_recorded;  // day -> kinds any run recorded
    std::set<std::string> m_dropAnswers;
    int m_count = 0;
};

}  // namespace

int RebuildJournalFile(const std::string& logDirectory, const std::string& path) {
    std::vector<LogFile> files;
    std::map<std::string, Minute> minutes;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(logDirectory, ec)) {
        const std::string name = entry.path().filename().string();
        const std::optional<ExchangeLogName> parsed = ParseExchangeLogName(name);
        if (!parsed || !entry.is_regular_file(ec)) continue;
        LogFile f;
        f.prefix = parsed->prefix;
        f.stamp = parsed->stamp;
        f.n = parsed->n;
        f.rank = static_cast<int>(
            std::find(std::begin(kExchangePrefixes), std::end(kExchangePrefixes), f.prefix) -
            std::begin(kExchangePrefixes));
        f.file = (fs::path(kLogDirectory) / name).make_preferred().string();
        f.path = entry.path();
        Minute& m = minutes[f.stamp];
        const auto written = fs::last_write_time(entry.path(), ec);
        if (!ec) {
            const auto system = std::chrono::file_clock::to_sys(written);
            f.written =
                std::chrono::duration_cast<std::chrono::nanoseconds>(system.time_since_epoch())
                    .count();
            if (!timeFitsStamp(f.stamp, system)) m.timesTrusted = false;
        } else {
            m.timesTrusted = false;
        }
        ++m.files;
        if (f.prefix == kLoginPrefix) ++m.logins;
        if (f.prefix != kLoginPrefix && f.prefix != kLogoutPrefix)
            ++(isRequest(f.prefix) ? m.requests : m.answers)[kindOf(f.prefix)];
        files.push_back(std::move(f));
    }
    if (ec) throw RunError("Impossibile leggere la cartella " + logDirectory, ec.message());
    for (LogFile& f : files)
        if (!minutes[f.stamp].timesTrusted) f.written = 0;
    // Within a kind the order of writing is known (stamp, time, -n): each
    // answer takes the day of the request before it.
    std::sort(files.begin(), files.end(), [](const LogFile& a, const LogFile& b) {
        return std::tie(a.stamp, a.written, a.n, a.rank) <
               std::tie(b.stamp, b.written, b.n, b.rank);
    });
    std::map<std::string, std::string> lastDay;  // kind -> day of its last request
    for (LogFile& f : files) {
        if (f.prefix == kLoginPrefix || f.prefix == kLogoutPrefix) {
            f.phase = f.prefix == kLoginPrefix ? 0 : 2;
            continue;
        }
        const char* kind = kindOf(f.prefix);
        if (isRequest(f.prefix)) lastDay[kind] = requestDay(kind, readText(f.path));
        f.day = lastDay[kind];
    }
    std::stable_sort(files.begin(), files.end(), [](const LogFile& a, const LogFile& b) {
        return std::tie(a.stamp, a.written, a.phase, a.day, a.rank, a.n) <
               std::tie(b.stamp, b.written, b.phase, b.day, b.rank, b.n);
    });
    SendJournal journal(path, JournalOpen::Write);
    return Replay(journal).run(files, minutes);
}

int RebuildJournal(const JournalLocation& where, const std::function<void()>& beforeReplacing) {
    std::error_code ec;
    if (!fs::is_directory(where.logDirectory, ec))
        throw RunError("La cartella " + where.logDirectory + " non esiste: nulla da ricostruire.");
    const std::string journal = where.journal();
    const std::string fresh = journal + ".new";
    for (const char* tail : {"", "-wal", "-shm", "-journal"}) fs::remove(fresh + tail, ec);
    const int count = RebuildJournalFile(where.logDirectory, fresh);
    if (!fs::exists(journal, ec)) {
        // A WAL left by a journal that is gone would be read into the new one.
        for (const char* tail : {"-wal", "-shm"}) fs::remove(journal + tail, ec);
    } else {
        // Opening and closing the old journal folds its WAL file back in; a
        // damaged one may not open, and is kept as it is.
        try {
            SqliteDatabase old(journal, SqliteOpen::Existing);
            old.exec("PRAGMA user_version");
        } catch (const RunError&) {
        }
        if (fs::file_size(journal + "-wal", ec) > 0 && !ec) {
            fs::remove(fresh, ec);
            throw RunError("Il registro degli invii " + journal +
                           " è aperto da un altro programma: chiuderlo e riprovare.");
        }
        const std::string copy = where.backup() + ".new";
        fs::copy_file(journal, copy, fs::copy_options::overwrite_existing, ec);
        if (!ec) fs::rename(copy, where.backup(), ec);
        if (ec) {
            fs::remove(copy, ec);
            throw RunError("Impossibile conservare il registro precedente come " + where.backup(),
                           ec.message());
        }
    }
    if (beforeReplacing) beforeReplacing();
    fs::rename(fresh, journal, ec);
    if (ec) throw RunError("Impossibile sostituire il registro " + journal, ec.message());
    fs::remove(journal + "-shm", ec);
    return count;
}

}  // namespace velmora
