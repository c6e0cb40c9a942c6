// The engine, its databases and record sets, and the two caches behind them:
// parsed criteria by text, and tables by file and table name.
#include "jet/JetEngine.h"

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "core/RunError.h"
#include "jet/CriteriaError.h"
#include "jet/JetFile.h"
#include "jet/MdbReader.h"
#include "jet/SelectQuery.h"
#include "jet/TableSearch.h"
#include "jet/TextFold.h"

namespace velmora {

namespace fs = std::filesystem;
using jet::CriteriaError;
using jet::MdbFileError;

namespace {

// Distinct criteria texts kept parsed before the store starts afresh.
constexpr std::size_t kMaxParsedCriteria = 1024;
// Reads of a table that keeps changing under the reader before giving up.
constexpr int kMaxReadAttempts = 3;

struct FoldedLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const {
        return jet::compareFolded(a, b) < 0;
    }
};

// "Errore nel database Comuni.mdb, tabella CodiciVari: <what>"
RunError engineError(const std::string& database, const std::string& table, const std::string& what,
                     std::string detail) {
    std::string message = "Errore nel database " + database;
    if (!table.empty()) message += ", tabella " + table;
    message += ": " + what;
    return RunError(std::move(message), std::move(detail));
}

RunError fileError(const MdbFileError& e, const std::string& database, const std::string& table,
                   const std::string& path) {
    switch (e.kind()) {
        case MdbFileError::Kind::Missing:
            return engineError(database, {}, "file non trovato", path);
        case MdbFileError::Kind::NoSuchTable:
            return engineError(database, table, "tabella inesistente", path);
        case MdbFileError::Kind::Inconsistent:
            return RunError("Il file " + database + " è danneggiato: " + e.detail() +
                                ". Ripararlo (compatta e ripristina) prima di inviare.",
                            path);
        case MdbFileError::Kind::Changed:
            return RunError("Il file " + database + " è stato modificato durante la lettura (" +
                                e.detail() + "): ripetere l'operazione.",
                            path);
        case MdbFileError::Kind::Damaged:
            break;
    }
    return engineError(database, table, "file non leggibile o danneggiato",
                       path + ": " + e.detail());
}

}  // namespace

struct JetEngine::State {
    std::string directory;
    bool useCache = true;
    std::shared_ptr<const FileAccess> access;
    std::size_t reads = 0;
    std::map<std::string, std::shared_ptr<const jet::Criteria>, std::less<>> parsed;

    // keepOnlyColumns and holdInMemory: per table, the columns read and the
    // columns held in memory.
    std::vector<std::pair<std::string, std::vector<std::string>>> kept;
    std::vector<std::pair<std::string, std::vector<std::string>>> held;

    // Bumped by beginDocument: a file whose identity was checked in the
    // current generation is taken as unchanged without looking at it.
    unsigned generation = 1;

    struct FileEntry {
        FileStamp stamp;
        unsigned checkedIn = 0;  // generation of the last identity check
        std::map<std::string, std::shared_ptr<jet::TableSearch>, FoldedLess> tables;
    };
    std::map<std::string, FileEntry, std::less<>> files;

    std::string pathOf(std::string_view name) const {
        if (directory.empty() || directory == ".") return std::string(name);
        return (fs::path(directory) / fs::path(name)).string();
    }

    // Throws CriteriaError.
    std::shared_ptr<const jet::Criteria> parse(const std::string& text) {
        auto it = parsed.find(text);
        if (it != parsed.end()) return it->second;
        auto criteria = jet::Criteria::parse(text);
        if (parsed.size() >= kMaxParsedCriteria) parsed.clear();
        parsed.emplace(text, criteria);
        return criteria;
    }

    // The table, from the cache while the file is unchanged. Throws
    // MdbFileError.
    std::shared_ptr<jet::TableSearch> table(const std::string& path, const std::string& name) {
        if (!useCache) {
            if (!access->stamp(path)) throw MdbFileError(MdbFileError::Kind::Missing, path);
            return std::make_shared<jet::TableSearch>(read(path, name), false);
        }
        FileEntry& entry = checkedFile(path);
        if (auto it = entry.tables.find(name); it != entry.tables.end()) return it->second;

        // A file rewritten while it was read is read again.
        std::shared_ptr<const jet::Table> loaded;
        for (int attempt = 0; attempt < kMaxReadAttempts; ++attempt) {
            loaded = read(path, name);
            auto after = access->stamp(path);
            if (after && *after == entry.stamp) break;
            entry.tables.clear();
            if (!after) throw MdbFileError(MdbFileError::Kind::Missing, path);
            entry.stamp = *after;
            if (attempt + 1 == kMaxReadAttempts) {
                // Still changing: use this reading once, keep nothing.
                return std::make_shared<jet::TableSearch>(loaded, false);
            }
        }
        auto search = std::make_shared<jet::TableSearch>(loaded, true);
        entry.tables.emplace(name, search);
        return search;
    }

    // The cache entry of a file whose identity was checked in this
    // generation: at most one look at the file per document. A changed file
    // loses its tables and has its first page checked again.
    FileEntry& checkedFile(const std::string& path) {
        FileEntry& entry = files[path];
        if (entry.checkedIn == generation) return entry;
        auto stamp = access->stamp(path);
        if (!stamp) throw MdbFileError(MdbFileError::Kind::Missing, path);
        if (!(entry.stamp == *stamp) || entry.checkedIn == 0) {
            entry.tables.clear();
            jet::checkDatabaseFile(*access, path);
            entry.stamp = *stamp;
        }
        entry.checkedIn = generation;
        return entry;
    }

    // The table as read from the file; whole: every column read is held.
    std::shared_ptr<const jet::Table> read(const std::string& path, const std::string& name,
                                           bool whole = false) {
        ++reads;
        auto listed = [&name](const auto& lists) -> const std::vector<std::string>* {
            for (const auto& [table, columns] : lists)
                if (jet::equalFolded(table, name)) return &columns;
            return nullptr;
        };
        auto among = [](const std::vector<std::string>* columns) {
            std::function<bool(std::string_view)> in;
            if (columns) {
                in = [columns](std::string_view column) {
                    for (const std::string& c : *columns)
                        if (jet::equalFolded(c, column)) return true;
                    return false;
                };
            }
            return in;
        };
        try {
            return jet::readMdbTable(path, name, among(listed(kept)),
                                     whole ? std::function<bool(std::string_view)>()
                                           : among(listed(held)),
                                     *access);
        } catch (const MdbFileError&) {
            throw;
        } catch (const std::exception& e) {
            // Out of memory or a table beyond the in-memory limits.
            throw MdbFileError(MdbFileError::Kind::Damaged,
                               std::string("lettura interrotta: ") + e.what());
        }
    }

    // f(search), and when it fails on a column search's table left in its
    // file, f again over the table read whole, which search then names.
    template <class F>
    auto withWholeOnDemand(const std::string& path, std::shared_ptr<jet::TableSearch>& search,
                           F&& f) {
        try {
            return f(search);
        } catch (const CriteriaError& e) {
            const jet::Table& table = search->table();
            if (!table.source() || e.unknownColumn().empty() ||
                !table.source()->findColumn(e.unknownColumn())) {
                throw;
            }
            search = whole(path, search);
            return f(search);
        }
    }

    // The table `partial` (read with columns left in the file) read again
    // with every column held, for a criteria or an order on such a column.
    // The rows must be those of partial, or the file changed in between.
    std::shared_ptr<jet::TableSearch> whole(const std::string& path,
                                            const std::shared_ptr<jet::TableSearch>& partial) {
        const jet::Table& before = partial->table();
        auto table = read(path, before.name(), true);
        if (!sameRows(before, *table))
            throw MdbFileError(MdbFileError::Kind::Changed, "tabella " + before.name());
        auto search = std::make_shared<jet::TableSearch>(table, useCache);
        if (useCache) {
            for (auto& [file, entry] : files) {
                for (auto& [tableName, cached] : entry.tables)
                    if (cached == partial) cached = search;
            }
        }
        return search;
    }

    // Whether every row of a (its held columns) reads the same in b.
    static bool sameRows(const jet::Table& a, const jet::Table& b) {
        if (a.rowCount() != b.rowCount()) return false;
        for (std::size_t c = 0; c < a.columnCount(); ++c) {
            auto other = b.findColumn(a.columnName(c));
            if (!other) return false;
            for (std::size_t r = 0; r < a.rowCount(); ++r) {
                if (!jet::sameValue(a.value(r, c), b.value(r, *other))) return false;
            }
        }
        return true;
    }
};

namespace {

class JetRecordset : public Recordset {
public:
    JetRecordset(std::shared_ptr<JetEngine::State> state, std::shared_ptr<jet::TableSearch> search,
                 std::optional<std::vector<std::uint32_t>> rows, std::string database,
                 std::string path)
        : m_state(std::move(state)),
          m_search(std::move(search)),
          m_rows(std::move(rows)),
          m_database(std::move(database)),
          m_path(std::move(path)) {
        m_count = m_rows ? m_rows->size() : m_search->table().rowCount();
        if (m_count > 0) m_current = 0;
    }

    void FindFirst(std::string_view criteria) override { find(criteria, 0); }

    void FindNext(std::string_view criteria) override {
        find(criteria, m_current ? *m_current + 1 : 0);
    }

    bool NoMatch() const override { return m_noMatch; }

    FieldValue Fields(std::string_view name) const override {
        const jet::Table& table = m_search->table();
        if (!m_current || m_noMatch) {
            throw engineError(m_database, table.name(), "nessun record corrente",
                              "Campo " + std::string(name));
        }
        std::size_t row = m_rows ? (*m_rows)[*m_current] : *m_current;
        jet::Value v;
        if (auto col = table.findColumn(name)) {
            checkSupported(table.columnKind(*col), name);
            v = table.value(row, *col);
        } else if (auto fetched = table.source() ? table.source()->findColumn(name)
                                                 : std::nullopt) {
            checkSupported(table.source()->columnKind(*fetched), name);
            try {
                v = table.source()->fetch(table, row)[*fetched];
            } catch (const MdbFileError& e) {
                throw fileError(e, m_database, table.name(), m_path);
            }
            checkSupported(table.source()->columnKind(*fetched), name);
        } else {
            throw engineError(m_database, table.name(), "colonna inesistente", std::string(name));
        }
        switch (v.kind) {
            case jet::Value::Kind::Text:
                return FieldValue::text(std::string(v.text));
            case jet::Value::Kind::Number:
                return FieldValue::number(v.number);
            case jet::Value::Kind::Null:
                break;
        }
        return FieldValue();
    }

private:
    void checkSupported(jet::ColumnKind kind, std::string_view name) const {
        if (kind == jet::ColumnKind::Unsupported) {
            throw engineError(m_database, m_search->table().name(), "colonna di tipo non gestito",
                              std::string(name));
        }
    }

    void find(std::string_view criteriaText, std::size_t from) {
        std::string text(criteriaText);
        std::shared_ptr<const jet::BoundCriteria> bound;
        try {
            bound = m_state->withWholeOnDemand(m_path, m_search, [&](const auto& search) {
                return search->bind(text, m_state->parse(text));
            });
        } catch (const CriteriaError& e) {
            throw engineError(m_database, m_search->table().name(), "criterio non valido",
                              text + ": " + e.describe(text));
        } catch (const MdbFileError& e) {
            throw fileError(e, m_database, m_search->table().name(), m_path);
        }
        const jet::Table& table = m_search->table();
        std::optional<std::size_t> found;
        if (!m_rows) {
            found = m_search->findFrom(*bound, from);
        } else {
            for (std::size_t pos = from; pos < m_count; ++pos) {
                if (bound->matches(table, (*m_rows)[pos])) {
                    found = pos;
                    break;
                }
            }
        }
        m_noMatch = !found;
        if (found) m_current = *found;
    }

    std::shared_ptr<JetEngine::State> m_state;
    std::shared_ptr<jet::TableSearch> m_search;
    std::optional<std::vector<std::uint32_t>>
        m_rows;  // positions to table rows; none: the table itself
    std::string m_database;
    std::string m_path;
    std::size_t m_count = 0;
    std::optional<std::size_t> m_current;
    bool m_noMatch = false;
};

class JetDatabase : public Database {
public:
    JetDatabase(std::shared_ptr<JetEngine::State> state, std::string name, std::string path)
        : m_state(std::move(state)), m_name(std::move(name)), m_path(std::move(path)) {}

    std::unique_ptr<Recordset> OpenRecordset(std::string_view source, int type) override {
        if (m_closed) throw engineError(m_name, {}, "database già chiuso", std::string(source));
        if (type != dbOpenDynaset) {
            throw engineError(m_name, {},
                              "tipo di recordset non gestito (" + std::to_string(type) + ")",
                              std::string(source));
        }
        std::string text(source);
        if (!jet::SelectQuery::isQuery(text))
            return std::make_unique<JetRecordset>(m_state, table(text), std::nullopt, m_name,
                                                  m_path);

        jet::SelectQuery query;
        try {
            query = jet::SelectQuery::parse(text);
        } catch (const CriteriaError& e) {
            throw engineError(m_name, {}, "interrogazione non valida",
                              text + ": " + e.describe(text));
        }
        auto search = table(query.table);
        try {
            return m_state->withWholeOnDemand(
                m_path, search, [&](const auto& s) { return select(query, s); });
        } catch (const CriteriaError& e) {
            throw engineError(m_name, search->table().name(), "interrogazione non valida",
                              text + ": " + e.describe(text));
        } catch (const MdbFileError& e) {
            throw fileError(e, m_name, search->table().name(), m_path);
        }
    }

    void Close() override { m_closed = true; }

private:
    std::unique_ptr<Recordset> select(const jet::SelectQuery& query,
                                      const std::shared_ptr<jet::TableSearch>& search) {
        std::optional<jet::BoundCriteria> where;
        if (query.where) where.emplace(query.where, search->table());
        std::vector<std::uint32_t> rows = search->select(where ? &*where : nullptr);
        search->sort(rows, query.orderBy);
        return std::make_unique<JetRecordset>(m_state, search, std::move(rows), m_name, m_path);
    }

    std::shared_ptr<jet::TableSearch> table(const std::string& name) {
        try {
            return m_state->table(m_path, name);
        } catch (const MdbFileError& e) {
            throw fileError(e, m_name, name, m_path);
        }
    }

    std::shared_ptr<JetEngine::State> m_state;
    std::string m_name;
    std::string m_path;
    bool m_closed = false;
};

}  // namespace

JetEngine::JetEngine(std::string directory, bool useCache, std::shared_ptr<const FileAccess> files)
    : m_state(std::make_shared<State>()) {
    m_state->directory = std::move(directory);
    m_state->useCache = useCache;
    m_state->access = files ? std::move(files)
                            : std::shared_ptr<const FileAccess>(&jet::portableFiles(),
                                                                [](const FileAccess*) {});
}

JetEngine::~JetEngine() = default;

std::unique_ptr<Database> JetEngine::OpenDatabase(std::string_view name) {
    std::string database(name);
    if (database.empty())
        throw engineError("(senza nome)", {}, "nome del file mancante", m_state->directory);
    std::string path = m_state->pathOf(name);
    try {
        if (m_state->useCache)
            m_state->checkedFile(path);
        else
            jet::checkDatabaseFile(*m_state->access, path);
    } catch (const MdbFileError& e) {
        throw fileError(e, database, {}, path);
    }
    return std::make_unique<JetDatabase>(m_state, database, path);
}

void JetEngine::beginDocument() { ++m_state->generation; }

void JetEngine::keepOnlyColumns(std::string table, std::vector<std::string> columns) {
    m_state->kept.emplace_back(std::move(table), std::move(columns));
}

void JetEngine::holdInMemory(std::string table, std::vector<std::string> columns) {
    m_state->held.emplace_back(std::move(table), std::move(columns));
}

std::size_t JetEngine::tableReads() const { return m_state->reads; }

std::size_t JetEngine::cachedTableBytes() const {
    std::size_t bytes = 0;
    for (const auto& [path, entry] : m_state->files) {
        for (const auto& [name, search] : entry.tables) bytes += search->memoryBytes();
    }
    return bytes;
}

}  // namespace velmora
