// The send journal over SQLite: schema and its migration, the writing steps
// and the reading.
#include "journal/SendJournal.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <thread>

#include "core/RunError.h"
#include "platform/Sqlite.h"

namespace velmora {

namespace fs = std::filesystem;

namespace {

// A file with user_version 0 and none of these tables is a new (or
// pre-journal) file and gets them. Version 2 has the tables of version 1;
// what changed is that every document found empty has its row, those of a
// rebuilt journal included (version 1 left them to be guessed).
constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS run(
    id INTEGER PRIMARY KEY,
    started TEXT NOT NULL,
    ended TEXT,
    user_id TEXT NOT NULL,
    first_day TEXT NOT NULL,
    last_day TEXT NOT NULL,
    close_days INTEGER NOT NULL,
    outcome TEXT,
    reason TEXT);
CREATE TABLE IF NOT EXISTS exchange(
    id INTEGER PRIMARY KEY,
    run_id INTEGER REFERENCES run(id),
    kind TEXT NOT NULL,
    day TEXT,
    request_file TEXT,
    answer_file TEXT,
    sent_at TEXT NOT NULL,
    answered_at TEXT,
    http_status INTEGER,
    failure TEXT,
    verdict TEXT,
    stays INTEGER NOT NULL DEFAULT 0,
    body_hash TEXT);
CREATE TABLE IF NOT EXISTS stay(
    exchange_id INTEGER NOT NULL REFERENCES exchange(id),
    day TEXT NOT NULL,
    kind TEXT NOT NULL,
    source_database TEXT NOT NULL,
    numero_progressivo INTEGER,
    guest_id TEXT NOT NULL,
    stay_hash TEXT NOT NULL,
    guest_hash TEXT NOT NULL);
CREATE INDEX IF NOT EXISTS exchange_day ON exchange(day, kind);
CREATE INDEX IF NOT EXISTS stay_exchange ON stay(exchange_id);
)sql";

constexpr const char* kExchangeColumns =
    "id, run_id, kind, day, request_file, answer_file, sent_at, answered_at, http_status, "
    "failure, verdict, stays, body_hash";

std::optional<std::string> nonEmpty(const std::string& text) {
    if (text.empty()) return std::nullopt;
    return text;
}

JournalExchange readExchange(const SqliteStatement& s) {
    JournalExchange e;
    e.id = s.integer(0);
    e.runId = s.optionalInteger(1);
    e.kind = s.text(2);
    e.day = s.optionalText(3);
    e.requestFile = s.optionalText(4);
    e.answerFile = s.optionalText(5);
    e.sentAt = s.text(6);
    e.answeredAt = s.optionalText(7);
    e.httpStatus = s.optionalInteger(8);
    e.failure = s.optionalText(9);
    e.verdict = s.optionalText(10);
    e.stays = s.integer(11);
    e.bodyHash = s.optionalText(12);
    return e;
}

long long userVersion(SqliteDatabase& db) {
    SqliteStatement s = db.prepare("PRAGMA user_version");
    s.step();
    return s.integer(0);
}

// A journal that cannot be trusted is never read as a shorter one.
RunError damaged(const std::string& path, const std::string& what, const std::string& detail) {
    return RunError("Il registro degli invii " + path + " " + what +
                        ": non viene usato. Ricostruirlo dai file con \"velmora stato "
                        "--ricostruisci\" (il file attuale resta come " +
                        kJournalFile + ".bak), poi ripetere.",
                    detail);
}

}  // namespace

std::string IsoDay(std::string_view day) {
    if (day.size() < 10) return std::string(day);
    return std::string(day.substr(6, 4)) + "-" + std::string(day.substr(3, 2)) + "-" +
           std::string(day.substr(0, 2));
}

std::string DisplayDay(std::string_view isoDay) {
    if (isoDay.size() < 10) return std::string(isoDay);
    return std::string(isoDay.substr(8, 2)) + "/" + std::string(isoDay.substr(5, 2)) + "/" +
           std::string(isoDay.substr(0, 4));
}

std::string JournalTime(const LocalTime& t) {
    char out[32];
    std::snprintf(out, sizeof out, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return out;
}

SendJournal::SendJournal(const std::string& path, JournalOpen how, int busyMilliseconds)
    : m_path(path) {
    open(how, busyMilliseconds);
}

SendJournal::~SendJournal() = default;

void SendJournal::open(JournalOpen how, int busyMilliseconds) {
    std::error_code ec;
    const bool reading = how == JournalOpen::Read;
    if (reading && !fs::exists(m_path, ec)) return;
    m_db = std::make_unique<SqliteDatabase>(
        m_path, reading ? SqliteOpen::ReadOnly : SqliteOpen::Create, busyMilliseconds);
    long long found = 0;
    try {
        found = userVersion(*m_db);
        // Every use checks the whole file first: a damaged index reads
        // without an error and answers with rows missing.
        const std::string damage = found > 0 ? this->damage() : std::string();
        if (!damage.empty()) throw damaged(m_path, "è danneggiato", damage);
    } catch (const RunError& e) {
        const bool unreadable = m_db->lastFailureIsDamage();
        m_db.reset();
        if (unreadable) throw damaged(m_path, "non è leggibile", e.detail());
        throw;
    }
    if (found > kJournalSchemaVersion) {
        m_db.reset();
        throw RunError("Il registro degli invii " + m_path +
                           " è stato scritto da una versione più recente di Velmora: aggiornare "
                           "il programma (il registro non è stato modificato).",
                       "user_version " + std::to_string(found));
    }
    if (reading) {
        // Version 0 is a file another run is making right now (or an empty
        // one): nothing recorded yet.
        if (found == 0) m_db.reset();
        return;
    }
    if (found < kJournalSchemaVersion) {
        SqliteTransaction t(*m_db);
        // Another process may have migrated it meanwhile.
        const long long now = userVersion(*m_db);
        if (now < kJournalSchemaVersion) {
            m_db->exec(kSchema);
            migrate(static_cast<int>(now));
            m_db->exec("PRAGMA user_version = " + std::to_string(kJournalSchemaVersion));
        }
        t.commit();
    }
    // In WAL mode NORMAL syncs at checkpoints, not at every commit: a killed
    // program loses nothing, a power cut at most the last steps, as for the
    // log files, which are not synced either.
    m_db->exec("PRAGMA synchronous=NORMAL");
    // WAL lets a reader and a writer go on together; the mode stays in the
    // file. The switch needs a moment with no other connection in a
    // transaction, so it is tried again for a while; without it the journal
    // still works, one connection at a time.
    for (int attempt = 0; attempt < 100; ++attempt) {
        try {
            SqliteStatement s = m_db->prepare("PRAGMA journal_mode=WAL");
            if (s.step() && s.text(0) == "wal") return;
        } catch (const RunError&) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// From version 1, whose rebuilt journals had no row for an empty document:
// a kind missing on a day whose other kind (or closing) a run recorded is
// empty when that run ended normally or went on to a later day.
void SendJournal::migrate(int found) {
    if (found != 1) return;
    std::map<long long, bool> completed;
    for (const JournalRun& r : runs())
        completed[r.id] = r.outcome && r.outcome->rfind(kOutcomeCompleted, 0) == 0;
    std::map<long long, std::string> runLastDay;
    // day -> kind -> last exchange
    std::map<std::string, std::map<std::string, JournalExchange>> days;
    for (const JournalExchange& e : allExchanges()) {
        if (!e.day) continue;
        if (e.runId && *e.day > runLastDay[*e.runId]) runLastDay[*e.runId] = *e.day;
        days[*e.day][e.kind] = e;
    }
    SqliteStatement insert = m_db->prepare(
        "INSERT INTO exchange(run_id, kind, day, sent_at, answered_at, verdict, stays) "
        "VALUES(?, ?, ?, ?, ?, ?, 0)");
    for (const auto& [day, kinds] : days) {
        for (const char* kind : {kJournalArrivals, kJournalDepartures}) {
            if (kinds.count(kind)) continue;
            const char* other =
                kind == std::string(kJournalArrivals) ? kJournalDepartures : kJournalArrivals;
            auto witness = kinds.find(other);
            if (witness == kinds.end()) witness = kinds.find(kJournalClosing);
            if (witness == kinds.end() || !witness->second.runId) continue;
            const long long run = *witness->second.runId;
            if (!completed[run] && !(runLastDay[run] > day)) continue;
            insert.bind(1, run)
                .bind(2, kind)
                .bind(3, day)
                .bind(4, witness->second.sentAt)
                .bind(5, witness->second.sentAt)
                .bind(6, kVerdictEmpty);
            insert.run();
            insert.reset();
        }
    }
}

std::string SendJournal::damage() const {
    if (!m_db) return {};
    SqliteStatement s = m_db->prepare("PRAGMA integrity_check(5)");
    std::string found;
    while (s.step()) {
        const std::string line = s.text(0);
        if (line == "ok") continue;
        found += (found.empty() ? "" : "; ") + line;
    }
    return found;
}

long long SendJournal::beginRun(const LocalTime& at, const std::string& userId,
                                const std::string& firstDay, const std::string& lastDay,
                                bool closeDays) {
    SqliteTransaction t(*m_db);
    m_db->prepare(
            "INSERT INTO run(started, user_id, first_day, last_day, close_days) "
            "VALUES(?, ?, ?, ?, ?)")
        .bind(1, JournalTime(at))
        .bind(2, userId)
        .bind(3, IsoDay(firstDay))
        .bind(4, IsoDay(lastDay))
        .bind(5, closeDays ? 1LL : 0LL)
        .run();
    const long long id = m_db->lastInsertRowId();
    t.commit();
    return id;
}

void SendJournal::endRun(long long runId, const LocalTime& at, const std::string& outcome,
                         const std::string& reason) {
    SqliteTransaction t(*m_db);
    m_db->prepare("UPDATE run SET ended = ?, outcome = ?, reason = ? WHERE id = ?")
        .bind(1, JournalTime(at))
        .bind(2, outcome)
        .bind(3, nonEmpty(reason))
        .bind(4, runId)
        .run();
    t.commit();
}

void SendJournal::describeRun(long long runId, const std::string& firstDay,
                              const std::string& lastDay, const std::string& userId, bool closeDays,
                              const std::optional<std::string>& ended, const std::string& outcome,
                              const std::string& reason) {
    SqliteTransaction t(*m_db);
    m_db->prepare(
            "UPDATE run SET first_day = ?, last_day = ?, user_id = ?, close_days = ?, ended = ?, "
            "outcome = ?, reason = ? WHERE id = ?")
        .bind(1, IsoDay(firstDay))
        .bind(2, IsoDay(lastDay))
        .bind(3, userId)
        .bind(4, closeDays ? 1LL : 0LL)
        .bind(5, ended)
        .bind(6, outcome)
        .bind(7, nonEmpty(reason))
        .bind(8, runId)
        .run();
    t.commit();
}

long long SendJournal::beginExchange(std::optional<long long> runId, const std::string& kind,
                                     const std::string& day, const std::string& requestFile,
                                     const std::string& bodyHash,
                                     const std::vector<SentStay>& stays, const LocalTime& at) {
    SqliteTransaction t(*m_db);
    m_db->prepare(
            "INSERT INTO exchange(run_id, kind, day, request_file, sent_at, stays, body_hash) "
            "VALUES(?, ?, ?, ?, ?, ?, ?)")
        .bind(1, runId)
        .bind(2, kind)
        .bind(3, day.empty() ? std::nullopt : std::optional(IsoDay(day)))
        .bind(4, nonEmpty(requestFile))
        .bind(5, JournalTime(at))
        .bind(6, static_cast<long long>(stays.size()))
        .bind(7, nonEmpty(bodyHash))
        .run();
    const long long id = m_db->lastInsertRowId();
    SqliteStatement insert = m_db->prepare(
        "INSERT INTO stay(exchange_id, day, kind, source_database, numero_progressivo, guest_id, "
        "stay_hash, guest_hash) VALUES(?, ?, ?, ?, ?, ?, ?, ?)");
    for (const SentStay& s : stays) {
        insert.bind(1, id)
            .bind(2, s.day)
            .bind(3, s.kind)
            .bind(4, s.database)
            .bind(5, s.numeroProgressivo)
            .bind(6, s.guestId)
            .bind(7, s.stayHash)
            .bind(8, s.guestHash);
        insert.run();
        insert.reset();
    }
    t.commit();
    return id;
}

void SendJournal::completeExchange(long long id, const std::string& answerFile,
                                   std::optional<long long> status, const std::string& failure,
                                   const std::optional<std::string>& verdict, const LocalTime& at) {
    SqliteTransaction t(*m_db);
    m_db->prepare(
            "UPDATE exchange SET answer_file = ?, answered_at = ?, http_status = ?, failure = ?, "
            "verdict = ? WHERE id = ?")
        .bind(1, nonEmpty(answerFile))
        .bind(2, JournalTime(at))
        .bind(3, status)
        .bind(4, nonEmpty(failure))
        .bind(5, verdict)
        .bind(6, id)
        .run();
    t.commit();
}

void SendJournal::recordEmpty(std::optional<long long> runId, const std::string& kind,
                              const std::string& day, const LocalTime& at) {
    SqliteTransaction t(*m_db);
    m_db->prepare(
            "INSERT INTO exchange(run_id, kind, day, sent_at, answered_at, verdict, stays) "
            "VALUES(?, ?, ?, ?, ?, ?, 0)")
        .bind(1, runId)
        .bind(2, kind)
        .bind(3, IsoDay(day))
        .bind(4, JournalTime(at))
        .bind(5, JournalTime(at))
        .bind(6, kVerdictEmpty)
        .run();
    t.commit();
}

std::vector<JournalRun> SendJournal::runs() const {
    std::vector<JournalRun> out;
    if (!m_db) return out;
    SqliteStatement s = m_db->prepare(
        "SELECT id, started, ended, user_id, first_day, last_day, close_days, outcome, reason "
        "FROM run ORDER BY id");
    while (s.step()) {
        JournalRun r;
        r.id = s.integer(0);
        r.started = s.text(1);
        r.ended = s.optionalText(2);
        r.userId = s.text(3);
        r.firstDay = s.text(4);
        r.lastDay = s.text(5);
        r.closeDays = s.integer(6) != 0;
        r.outcome = s.optionalText(7);
        r.reason = s.optionalText(8);
        out.push_back(std::move(r));
    }
    return out;
}

std::vector<JournalExchange> SendJournal::exchanges(const std::string& firstDay,
                                                    const std::string& lastDay) const {
    std::vector<JournalExchange> out;
    if (!m_db) return out;
    SqliteStatement s = m_db->prepare(std::string("SELECT ") + kExchangeColumns +
                                      " FROM exchange WHERE day BETWEEN ? AND ? ORDER BY id");
    s.bind(1, firstDay).bind(2, lastDay);
    while (s.step()) out.push_back(readExchange(s));
    return out;
}

std::vector<JournalExchange> SendJournal::allExchanges() const {
    std::vector<JournalExchange> out;
    if (!m_db) return out;
    SqliteStatement s =
        m_db->prepare(std::string("SELECT ") + kExchangeColumns + " FROM exchange ORDER BY id");
    while (s.step()) out.push_back(readExchange(s));
    return out;
}

std::vector<SentStay> SendJournal::staysOf(long long exchangeId) const {
    std::vector<SentStay> out;
    if (!m_db) return out;
    SqliteStatement s = m_db->prepare(
        "SELECT day, kind, source_database, numero_progressivo, guest_id, stay_hash, guest_hash "
        "FROM stay WHERE exchange_id = ? ORDER BY rowid");
    s.bind(1, exchangeId);
    while (s.step()) {
        SentStay r;
        r.day = s.text(0);
        r.kind = s.text(1);
        r.database = s.text(2);
        r.numeroProgressivo = s.optionalInteger(3);
        r.guestId = s.text(4);
        r.stayHash = s.text(5);
        r.guestHash = s.text(6);
        out.push_back(std::move(r));
    }
    return out;
}

}  // namespace velmora
