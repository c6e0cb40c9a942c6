// The send journal over SQLite: schema and its migration, the recording
// steps (each its own short transaction, so that a run killed at any point
// leaves a journal that says what it knows), the reading, and the rebuild
// from the log files. The guests of a document are read from the posted body
// by one parser, used both when recording and when rebuilding.
#include "service/SendJournal.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <pugixml.hpp>
#include <regex>
#include <sstream>
#include <thread>

#include "core/FileNames.h"
#include "core/RunError.h"
#include "core/Text.h"
#include "platform/Sqlite.h"

namespace velmora {

namespace fs = std::filesystem;

namespace {

// Version 1. A file with user_version 0 and none of these tables is a new
// (or pre-journal) file and gets them.
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

std::string elementText(const pugi::xml_node& node) {
    std::ostringstream out;
    node.print(out, "", pugi::format_raw);
    return out.str();
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

// The day of a posted document: the first guest's, or for the end-of-day
// message its CurrentDate.
std::optional<std::string> dayOfBody(std::string_view body, const std::string& kind,
                                     const std::vector<SentStay>& stays) {
    if (!stays.empty()) return stays.front().day;
    if (kind != kJournalClosing) return std::nullopt;
    const std::size_t at = body.find("<CurrentDate>");
    if (at == std::string_view::npos || body.size() < at + 13 + 10) return std::nullopt;
    return std::string(body.substr(at + 13, 10));
}

std::string withoutLineEnd(std::string text) {
    if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0)
        text.resize(text.size() - 2);
    return text;
}

}  // namespace

std::string Fnv1a64(std::string_view text) {
    std::uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    char out[17];
    std::snprintf(out, sizeof out, "%016llx", static_cast<unsigned long long>(hash));
    return out;
}

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

const char* VerdictOf(std::optional<long long> status, bool reportsErrors) {
    if (!status) return kVerdictNoAnswer;
    if (*status < 200 || *status > 299) return kVerdictRefused;
    return reportsErrors ? kVerdictErrors : kVerdictAccepted;
}

std::vector<SentStay> ParseSentStays(std::string_view body, std::string_view kind) {
    std::vector<SentStay> out;
    pugi::xml_document doc;
    if (!doc.load_buffer(body.data(), body.size(), pugi::parse_default, pugi::encoding_utf8))
        return out;
    const bool arrivals = kind == "A";
    for (pugi::xml_node stay : doc.child("StaysPmsDTO").children("Stay")) {
        const std::string stayHash = Fnv1a64(elementText(stay));
        for (pugi::xml_node guest : stay.child("Guests").children("Guest")) {
            SentStay s;
            s.kind = arrivals ? "A" : "P";
            const std::string date = guest.child_value(arrivals ? "ArrivalDate" : "DepartureDate");
            s.day = date.substr(0, 10);
            // The history writes hundredths, the register thousandths.
            const bool history = date.size() >= 4 && date.compare(date.size() - 4, 4, ".00Z") == 0;
            s.database = history ? kHistoryDatabase : kRegisterDatabase;
            s.guestId = guest.child_value("GuestId");
            // History: the 8-digit number; register: two digits of the
            // arrival, then the 6-digit number.
            const std::string digits =
                history || s.guestId.size() < 3 ? s.guestId : s.guestId.substr(2);
            if (!digits.empty() &&
                std::all_of(digits.begin(), digits.end(),
                            [](char c) { return c >= '0' && c <= '9'; }) &&
                digits.size() <= 18)
                s.numeroProgressivo = std::stoll(digits);
            s.stayHash = stayHash;
            s.guestHash = Fnv1a64(elementText(guest));
            out.push_back(std::move(s));
        }
    }
    return out;
}

std::vector<std::pair<std::string, std::string>> GuestFields(std::string_view body,
                                                             std::string_view guestId) {
    std::vector<std::pair<std::string, std::string>> out;
    pugi::xml_document doc;
    if (!doc.load_buffer(body.data(), body.size(), pugi::parse_default, pugi::encoding_utf8))
        return out;
    for (pugi::xml_node stay : doc.child("StaysPmsDTO").children("Stay")) {
        for (pugi::xml_node guest : stay.child("Guests").children("Guest")) {
            if (guestId != guest.child_value("GuestId")) continue;
            // Depth-first: every element with text, named by its path.
            std::vector<std::pair<pugi::xml_node, std::string>> todo;
            for (pugi::xml_node c = guest.last_child(); c; c = c.previous_sibling())
                todo.emplace_back(c, c.name());
            while (!todo.empty()) {
                auto [node, name] = todo.back();
                todo.pop_back();
                if (node.type() != pugi::node_element) continue;
                if (node.first_child() && node.first_child().type() == pugi::node_element) {
                    for (pugi::xml_node c = node.last_child(); c; c = c.previous_sibling())
                        todo.emplace_back(c, name + "/" + c.name());
                } else {
                    out.emplace_back(name, node.child_value());
                }
            }
            return out;
        }
    }
    return out;
}

SendJournal::SendJournal(const std::string& path, bool readOnly) : m_path(path) { open(readOnly); }

SendJournal::~SendJournal() = default;

void SendJournal::open(bool readOnly) {
    std::error_code ec;
    if (readOnly && !fs::exists(m_path, ec)) return;
    m_db = std::make_unique<SqliteDatabase>(m_path, readOnly);
    auto version = [this] {
        SqliteStatement s = m_db->prepare("PRAGMA user_version");
        s.step();
        return s.integer(0);
    };
    const long long found = version();
    if (found > kJournalSchemaVersion) {
        const std::string name = m_path;
        m_db.reset();
        throw RunError("Il registro degli invii " + name +
                           " è stato scritto da una versione più recente di Velmora: aggiornare "
                           "il programma (il registro non è stato modificato).",
                       "user_version " + std::to_string(found));
    }
    if (readOnly) {
        // Version 0 is a file another run is making right now (or an empty
        // one): nothing recorded yet.
        if (found == 0) m_db.reset();
        return;
    }
    if (found < kJournalSchemaVersion) {
        SqliteTransaction t(*m_db);
        // Another process may have migrated it meanwhile.
        if (version() < kJournalSchemaVersion) {
            m_db->exec(kSchema);
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

void SendJournal::beginRun(const LocalTime& at, const std::string& userId,
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
    m_runId = m_db->lastInsertRowId();
    t.commit();
}

void SendJournal::endRun(const LocalTime& at, const std::string& outcome,
                         const std::string& reason) {
    if (!m_runId) return;
    SqliteTransaction t(*m_db);
    m_db->prepare("UPDATE run SET ended = ?, outcome = ?, reason = ? WHERE id = ?")
        .bind(1, JournalTime(at))
        .bind(2, outcome)
        .bind(3, nonEmpty(reason))
        .bind(4, *m_runId)
        .run();
    t.commit();
}

void SendJournal::insertStays(long long exchangeId, const std::vector<SentStay>& stays) {
    SqliteStatement insert = m_db->prepare(
        "INSERT INTO stay(exchange_id, day, kind, source_database, numero_progressivo, guest_id, "
        "stay_hash, guest_hash) VALUES(?, ?, ?, ?, ?, ?, ?, ?)");
    for (const SentStay& s : stays) {
        insert.bind(1, exchangeId)
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
}

long long SendJournal::beginExchange(const std::string& kind, const std::optional<std::string>& day,
                                     const std::string& requestFile, std::string_view body,
                                     const LocalTime& at) {
    const bool movements = kind == kJournalArrivals || kind == kJournalDepartures;
    const std::vector<SentStay> stays =
        movements ? ParseSentStays(body, kind) : std::vector<SentStay>{};
    std::optional<std::string> dayIso = day ? std::optional(IsoDay(*day)) : std::nullopt;
    if (!dayIso) dayIso = dayOfBody(body, kind, stays);
    SqliteTransaction t(*m_db);
    m_db->prepare(
            "INSERT INTO exchange(run_id, kind, day, request_file, sent_at, stays, body_hash) "
            "VALUES(?, ?, ?, ?, ?, ?, ?)")
        .bind(1, m_runId)
        .bind(2, kind)
        .bind(3, dayIso)
        .bind(4, nonEmpty(requestFile))
        .bind(5, JournalTime(at))
        .bind(6, static_cast<long long>(stays.size()))
        .bind(7, body.empty() ? std::nullopt : std::optional(Fnv1a64(body)))
        .run();
    const long long id = m_db->lastInsertRowId();
    insertStays(id, stays);
    t.commit();
    return id;
}

void SendJournal::completeExchange(long long id, const std::string& answerFile,
                                   std::optional<long long> status, const std::string& failure,
                                   const std::string& verdict, const LocalTime& at) {
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

void SendJournal::recordEmpty(const std::string& kind, const std::string& day,
                              const LocalTime& at) {
    SqliteTransaction t(*m_db);
    m_db->prepare(
            "INSERT INTO exchange(run_id, kind, day, sent_at, answered_at, verdict, stays) "
            "VALUES(?, ?, ?, ?, ?, ?, 0)")
        .bind(1, m_runId)
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

int SendJournal::Rebuild(const std::string& directory, const std::string& path) {
    // One log file: its prefix, stamp and -n; sorted by stamp, then n, then
    // where the prefix comes in an exchange. Within one minute this is the
    // order of writing, except for a second login in the minute of a logout.
    struct LogName {
        std::string stamp;
        int n = 1;
        int rank = 0;
        std::string prefix;
        std::string file;  // as the run names it: Velmora/<name>
        fs::path path;
    };
    static const std::regex kName(
        R"(^(Login-|IstatDatiAInv-|IstatDatiAResp-|IstatDatiPInv-|IstatDatiPResp-|DateCloseI-|DateClose-|Logout-)(\d{12})(?:-(\d+))?\.xml$)");
    static const std::map<std::string, int> kRank{{"Login-", 0},          {"IstatDatiAInv-", 1},
                                                  {"IstatDatiAResp-", 2}, {"IstatDatiPInv-", 3},
                                                  {"IstatDatiPResp-", 4}, {"DateCloseI-", 5},
                                                  {"DateClose-", 6},      {"Logout-", 7}};
    std::vector<LogName> names;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(directory, ec)) {
        const std::string name = entry.path().filename().string();
        std::smatch m;
        if (!entry.is_regular_file(ec) || !std::regex_match(name, m, kName)) continue;
        LogName l;
        l.prefix = m[1];
        l.stamp = m[2];
        l.n = m[3].matched ? std::stoi(m[3]) : 1;
        l.rank = kRank.at(l.prefix);
        l.file = (fs::path(kLogDirectory) / name).make_preferred().string();
        l.path = entry.path();
        names.push_back(std::move(l));
    }
    if (ec) throw RunError("Impossibile leggere la cartella " + directory, ec.message());
    // A run's logout comes after everything of its minute: the -n of the
    // other prefixes counts the days done in that minute.
    std::sort(names.begin(), names.end(), [](const LogName& a, const LogName& b) {
        const bool aOut = a.prefix == "Logout-", bOut = b.prefix == "Logout-";
        return std::tie(a.stamp, aOut, a.n, a.rank) < std::tie(b.stamp, bOut, b.n, b.rank);
    });
    auto read = [](const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        if (!in) throw RunError("Impossibile leggere il file " + p.string());
        std::ostringstream ss;
        ss << in.rdbuf();
        return withoutLineEnd(ss.str());
    };
    auto timeOf = [](const std::string& stamp) {
        LocalTime t;
        t.year = std::stoi(stamp.substr(0, 4));
        t.month = std::stoi(stamp.substr(4, 2));
        t.day = std::stoi(stamp.substr(6, 2));
        t.hour = std::stoi(stamp.substr(8, 2));
        t.minute = std::stoi(stamp.substr(10, 2));
        return t;
    };

    SendJournal journal(path, false);
    SqliteDatabase& db = *journal.m_db;
    // A run: its exchanges so far, to set its range and outcome at its end.
    struct OpenRun {
        std::string first, last, userId;
        bool closeDays = false, errors = false;
    };
    std::optional<OpenRun> run;
    std::map<std::string, long long> pending;  // kind -> unanswered request
    int count = 0;
    // The end of a run: its logout, or (none) the next login or the last
    // file; without a logout it was interrupted and its end is unknown.
    auto finishRun = [&](const std::optional<LocalTime>& end) {
        if (!run) return;
        const char* outcome = !end          ? kOutcomeInterrupted
                              : run->errors ? kOutcomeWithErrors
                                            : kOutcomeCompleted;
        db.prepare(
              "UPDATE run SET first_day = ?, last_day = ?, user_id = ?, close_days = ?, "
              "ended = ?, outcome = ?, reason = ? WHERE id = ?")
            .bind(1, run->first)
            .bind(2, run->last)
            .bind(3, run->userId)
            .bind(4, run->closeDays ? 1LL : 0LL)
            .bind(5, end ? std::optional(JournalTime(*end)) : std::nullopt)
            .bind(6, outcome)
            .bind(7, end ? std::optional<std::string>()
                         : std::optional<std::string>("nessun file di logout"))
            .bind(8, *journal.m_runId)
            .run();
        run.reset();
        journal.m_runId.reset();
        pending.clear();
    };
    auto noteDay = [&](const std::optional<std::string>& day) {
        if (!run || !day) return;
        if (run->first.empty() || *day < run->first) run->first = *day;
        if (run->last.empty() || *day > run->last) run->last = *day;
    };

    for (const LogName& l : names) {
        const LocalTime at = timeOf(l.stamp);
        const std::string text = read(l.path);
        if (l.prefix == "Login-") {
            finishRun(std::nullopt);
            journal.beginRun(at, "", "", "", false);
            run = OpenRun{};
            const long long id = journal.beginExchange(kJournalLogin, std::nullopt, "", "", at);
            journal.completeExchange(id, l.file, std::nullopt, "", kVerdictAccepted, at);
            ++count;
        } else if (l.prefix == "Logout-") {
            const long long id = journal.beginExchange(kJournalLogout, std::nullopt, "", "", at);
            journal.completeExchange(id, l.file, std::nullopt, "", kVerdictAccepted, at);
            ++count;
            finishRun(at);
        } else if (l.rank % 2 == 1) {  // a request
            const std::string kind = l.prefix == "IstatDatiAInv-"   ? kJournalArrivals
                                     : l.prefix == "IstatDatiPInv-" ? kJournalDepartures
                                                                    : kJournalClosing;
            const long long id = journal.beginExchange(kind, std::nullopt, l.file, text, at);
            pending[kind] = id;
            ++count;
            if (run) {
                SqliteStatement s = db.prepare("SELECT day FROM exchange WHERE id = ?");
                s.bind(1, id);
                if (s.step()) noteDay(s.optionalText(0));
                if (kind == kJournalClosing) run->closeDays = true;
                const std::size_t code = text.find("<HotelCode>");
                if (run->userId.empty() && code != std::string::npos) {
                    const std::size_t end = text.find('<', code + 11);
                    run->userId = text.substr(code + 11, end - code - 11);
                }
            }
        } else {  // an answer, paired with the open request of its kind
            const std::string kind = l.prefix == "IstatDatiAResp-"   ? kJournalArrivals
                                     : l.prefix == "IstatDatiPResp-" ? kJournalDepartures
                                                                     : kJournalClosing;
            auto open = pending.find(kind);
            if (open == pending.end()) continue;
            const bool errors = kind != kJournalClosing && contains(text, "Erro");
            if (errors && run) run->errors = true;
            journal.completeExchange(open->second, l.file, std::nullopt, "",
                                     errors ? kVerdictErrors : kVerdictAccepted, at);
            pending.erase(open);
        }
    }
    finishRun(std::nullopt);
    return count;
}

}  // namespace velmora
