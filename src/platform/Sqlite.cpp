// SQLite handles owned once, their failures turned into RunError. See
// https://sqlite.org/c3ref/close.html: statements are finalized before their
// connection is closed, which the ownership here guarantees.
#include "platform/Sqlite.h"

#include <sqlite3.h>

#include <filesystem>
#include <utility>

#include "core/RunError.h"

namespace velmora {

namespace {

// Opens uri (a file: URI) with flags; the handle, or RunError naming path.
sqlite3* openUri(const std::string& uri, const std::string& path, int flags) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(uri.c_str(), &db, flags | SQLITE_OPEN_URI | SQLITE_OPEN_NOFOLLOW,
                        nullptr) != SQLITE_OK) {
        std::string detail = db ? sqlite3_errmsg(db) : "memoria esaurita";
        sqlite3_close(db);
        throw RunError("Impossibile aprire il registro degli invii " + path, detail);
    }
    return db;
}

// path as a file: URI (https://sqlite.org/uri.html): '%', '?' and '#' escaped.
std::string fileUri(const std::string& path) {
    std::string uri = "file:";
    for (char c : path) {
        if (c == '%' || c == '?' || c == '#') {
            static const char hex[] = "0123456789ABCDEF";
            uri += '%';
            uri += hex[static_cast<unsigned char>(c) >> 4];
            uri += hex[static_cast<unsigned char>(c) & 15];
        } else {
            uri += c;
        }
    }
    return uri;
}

// Whether the connection can read the file's schema.
bool readable(sqlite3* db) {
    return sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) ==
           SQLITE_OK;
}

}  // namespace

SqliteDatabase::SqliteDatabase(const std::string& path, SqliteOpen how, int busyMilliseconds)
    : m_path(path) {
    const std::string uri = fileUri(path);
    if (how != SqliteOpen::ReadOnly) {
        m_db =
            openUri(uri, path,
                    SQLITE_OPEN_READWRITE | (how == SqliteOpen::Create ? SQLITE_OPEN_CREATE : 0));
    } else {
        m_db = openUri(uri, path, SQLITE_OPEN_READONLY);
        std::error_code ec;
        const auto walSize = std::filesystem::file_size(path + "-wal", ec);
        if (!readable(m_db) && (ec || walSize == 0)) {
            // A WAL journal in a folder this process cannot write: with no
            // WAL content left, the file alone is the whole journal.
            sqlite3_close(m_db);
            m_db = openUri(uri + "?immutable=1", path, SQLITE_OPEN_READONLY);
        }
    }
    sqlite3_busy_timeout(m_db, busyMilliseconds);
}

SqliteDatabase::~SqliteDatabase() {
    if (m_db) sqlite3_close(m_db);
}

SqliteDatabase::SqliteDatabase(SqliteDatabase&& other) noexcept
    : m_db(std::exchange(other.m_db, nullptr)), m_path(std::move(other.m_path)) {}

SqliteDatabase& SqliteDatabase::operator=(SqliteDatabase&& other) noexcept {
    if (this != &other) {
        if (m_db) sqlite3_close(m_db);
        m_db = std::exchange(other.m_db, nullptr);
        m_path = std::move(other.m_path);
    }
    return *this;
}

void SqliteDatabase::fail(std::string_view what) const {
    throw RunError("Impossibile scrivere o leggere il registro degli invii " + m_path,
                   std::string(what) + ": " + (m_db ? sqlite3_errmsg(m_db) : "non aperto"));
}

bool SqliteDatabase::lastFailureIsDamage() const {
    const int code = m_db ? sqlite3_errcode(m_db) : SQLITE_OK;
    return code == SQLITE_CORRUPT || code == SQLITE_NOTADB;
}

void SqliteDatabase::exec(std::string_view sql) {
    char* message = nullptr;
    const std::string text(sql);
    if (sqlite3_exec(m_db, text.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        std::string detail = message ? message : sqlite3_errmsg(m_db);
        sqlite3_free(message);
        throw RunError("Impossibile scrivere o leggere il registro degli invii " + m_path, detail);
    }
}

SqliteStatement SqliteDatabase::prepare(std::string_view sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(m_db, sql.data(), static_cast<int>(sql.size()), &stmt, nullptr) !=
        SQLITE_OK)
        fail(sql);
    return SqliteStatement(*this, stmt);
}

long long SqliteDatabase::lastInsertRowId() const { return sqlite3_last_insert_rowid(m_db); }

SqliteStatement::~SqliteStatement() {
    if (m_stmt) sqlite3_finalize(m_stmt);
}

SqliteStatement::SqliteStatement(SqliteStatement&& other) noexcept
    : m_db(other.m_db), m_stmt(std::exchange(other.m_stmt, nullptr)) {}

SqliteStatement& SqliteStatement::operator=(SqliteStatement&& other) noexcept {
    if (this != &other) {
        if (m_stmt) sqlite3_finalize(m_stmt);
        m_db = other.m_db;
        m_stmt = std::exchange(other.m_stmt, nullptr);
    }
    return *this;
}

SqliteStatement& SqliteStatement::bind(int index, std::string_view text) {
    if (sqlite3_bind_text(m_stmt, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT) != SQLITE_OK)
        m_db->fail("bind");
    return *this;
}

SqliteStatement& SqliteStatement::bind(int index, long long value) {
    if (sqlite3_bind_int64(m_stmt, index, value) != SQLITE_OK) m_db->fail("bind");
    return *this;
}

SqliteStatement& SqliteStatement::bindNull(int index) {
    if (sqlite3_bind_null(m_stmt, index) != SQLITE_OK) m_db->fail("bind");
    return *this;
}

bool SqliteStatement::step() {
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    m_db->fail(sqlite3_sql(m_stmt));
}

void SqliteStatement::run() {
    while (step()) {
    }
}

void SqliteStatement::reset() {
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

bool SqliteStatement::isNull(int column) const {
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

std::string SqliteStatement::text(int column) const {
    const unsigned char* p = sqlite3_column_text(m_stmt, column);
    if (!p) return {};
    return std::string(reinterpret_cast<const char*>(p),
                       static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column)));
}

long long SqliteStatement::integer(int column) const {
    return sqlite3_column_int64(m_stmt, column);
}

std::optional<std::string> SqliteStatement::optionalText(int column) const {
    if (isNull(column)) return std::nullopt;
    return text(column);
}

std::optional<long long> SqliteStatement::optionalInteger(int column) const {
    if (isNull(column)) return std::nullopt;
    return integer(column);
}

SqliteTransaction::SqliteTransaction(SqliteDatabase& db) : m_db(db) {
    m_db.exec("BEGIN IMMEDIATE");
}

SqliteTransaction::~SqliteTransaction() {
    if (!m_open) return;
    try {
        m_db.exec("ROLLBACK");
    } catch (...) {
    }
}

void SqliteTransaction::commit() {
    m_db.exec("COMMIT");
    m_open = false;
}

}  // namespace velmora
