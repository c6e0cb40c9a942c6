// The database engine over real Jet (.mdb) files: OpenDatabase by file name
// in a directory, record sets on a table or a SELECT text, finds by criteria.
// Tables are read once and kept, keyed by file and table, until the file's
// identity (size, modification time, and where the system tells it, device
// and i-node) changes; it is checked once per document built (beginDocument),
// so reopening is otherwise free.
// One engine per program, used from one thread.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/FileAccess.h"
#include "jet/DBEngine.h"

namespace velmora {

class JetEngine : public DBEngine {
public:
    // directory: where OpenDatabase looks for files ("." is the working
    // directory, taken at each open). useCache false reads the table from its
    // file at every OpenRecordset and builds no indexes. files: how files are
    // read and told apart (the engine's portable way when not given; the
    // program passes the system's, which also tells a file replaced by a
    // copy of the same size and time).
    explicit JetEngine(std::string directory = ".", bool useCache = true,
                       std::shared_ptr<const FileAccess> files = nullptr);
    ~JetEngine() override;
    JetEngine(const JetEngine&) = delete;
    JetEngine& operator=(const JetEngine&) = delete;

    // Throws RunError when the file is missing or is not a readable Jet file.
    std::unique_ptr<Database> OpenDatabase(std::string_view name) override;
    void beginDocument() override;

    // Holds only these columns of every table named table (letters compared
    // without regard to case); other tables keep all their columns. A column
    // left out reads as a column that does not exist. Call before the first
    // read of the table.
    void keepOnlyColumns(std::string table, std::vector<std::string> columns);

    // Of the columns read of every table named table, holds only these in
    // memory; the others stay in the file and are read a row at a time when
    // a record set asks for them. A criteria or an Order by that names a
    // column left in the file has the table read again, whole.
    void holdInMemory(std::string table, std::vector<std::string> columns);

    // How many times a table has been read from a file so far.
    std::size_t tableReads() const;
    // Bytes held by the cached tables' cells, dictionaries and indexes.
    std::size_t cachedTableBytes() const;

    struct State;

private:
    std::shared_ptr<State> m_state;
};

}  // namespace velmora
