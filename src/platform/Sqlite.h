// A thin owner of SQLite handles: one database connection and its prepared
// statements, each closed exactly once. Errors of the C API become RunError
// with the database's file name and SQLite's own message; nothing else of
// sqlite3 travels above this file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace velmora {

class SqliteStatement;

// How a database file is opened.
enum class SqliteOpen {
    Create,    // read-write, made when missing
    Existing,  // read-write, RunError when missing
    // Read only: the file is never written (SQLite may leave its empty -wal
    // and -shm beside it). In a folder where those cannot be made, a file
    // without WAL content is read as immutable
    // (https://sqlite.org/wal.html#readonly).
    ReadOnly,
};

class SqliteDatabase {
public:
    // Opens the file at path. busy: how long a statement waits for another
    // writer before it fails. (A read-write connection's close folds the WAL
    // file back in and removes it, https://sqlite.org/wal.html.)
    SqliteDatabase(const std::string& path, SqliteOpen how, int busyMilliseconds = 10000);
    ~SqliteDatabase();
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;
    SqliteDatabase(SqliteDatabase&& other) noexcept;
    SqliteDatabase& operator=(SqliteDatabase&& other) noexcept;

    // Runs one or more statements without results.
    void exec(std::string_view sql);
    SqliteStatement prepare(std::string_view sql);
    long long lastInsertRowId() const;
    const std::string& path() const { return m_path; }

    // Raises RunError for a failed call: message names the file, detail is
    // what SQLite says.
    [[noreturn]] void fail(std::string_view what) const;
    // Whether the last failed call found the file damaged or no database.
    bool lastFailureIsDamage() const;

private:
    sqlite3* m_db = nullptr;
    std::string m_path;
};

// One prepared statement: bind by 1-based index, step, read columns by
// 0-based index.
class SqliteStatement {
public:
    SqliteStatement(SqliteDatabase& db, sqlite3_stmt* stmt) : m_db(&db), m_stmt(stmt) {}
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;
    SqliteStatement(SqliteStatement&& other) noexcept;
    SqliteStatement& operator=(SqliteStatement&& other) noexcept;

    SqliteStatement& bind(int index, std::string_view text);
    SqliteStatement& bind(int index, const std::string& text) {
        return bind(index, std::string_view(text));
    }
    SqliteStatement& bind(int index, const char* text) {
        return bind(index, std::string_view(text));
    }
    SqliteStatement& bind(int index, long long value);
    SqliteStatement& bindNull(int index);
    SqliteStatement& bind(int index, const std::optional<std::string>& text) {
        return text ? bind(index, std::string_view(*text)) : bindNull(index);
    }
    SqliteStatement& bind(int index, const std::optional<long long>& value) {
        return value ? bind(index, *value) : bindNull(index);
    }

    // Steps once: true when a row is ready, false when done.
    bool step();
    // Steps to the end (for statements without results).
    void run();
    void reset();

    bool isNull(int column) const;
    std::string text(int column) const;
    long long integer(int column) const;
    std::optional<std::string> optionalText(int column) const;
    std::optional<long long> optionalInteger(int column) const;

private:
    SqliteDatabase* m_db;
    sqlite3_stmt* m_stmt;
};

// BEGIN IMMEDIATE on construction; ROLLBACK on destruction unless commit()
// was called. Immediate: the write lock is taken (waiting busy time) before
// anything is read, so two writers never dead-lock on an upgrade.
class SqliteTransaction {
public:
    explicit SqliteTransaction(SqliteDatabase& db);
    ~SqliteTransaction();
    SqliteTransaction(const SqliteTransaction&) = delete;
    SqliteTransaction& operator=(const SqliteTransaction&) = delete;
    void commit();

private:
    SqliteDatabase& m_db;
    bool m_open = true;
};

}  // namespace velmora
