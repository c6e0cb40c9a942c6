// Owner of one open database: opened by bare file name, closed by close() or,
// when an error leaves the routine early, by the destructor.
#pragma once

#include <memory>
#include <string>

#include "jet/DBEngine.h"

namespace velmora {

class OpenedDatabase {
public:
    OpenedDatabase(DBEngine& engine, const std::string& name)
        : m_db(engine.OpenDatabase(name)), m_name(name) {}
    ~OpenedDatabase() {
        // Only reached open when an error is already on its way out.
        if (m_db) {
            try {
                m_db->Close();
            } catch (...) {
            }
        }
    }
    OpenedDatabase(const OpenedDatabase&) = delete;
    OpenedDatabase& operator=(const OpenedDatabase&) = delete;

    Database* operator->() const { return m_db.get(); }
    const std::string& name() const { return m_name; }

    // Closes the database; recordsets opened on it must be released first.
    void close() {
        if (!m_db) return;
        auto db = std::move(m_db);
        db->Close();
    }

private:
    std::unique_ptr<Database> m_db;
    std::string m_name;
};

}  // namespace velmora
