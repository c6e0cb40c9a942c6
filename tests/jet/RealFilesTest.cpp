// Databases saved by Microsoft Access itself (Jet 3, Jet 4, ACE), kept outside
// the project in ../shared/data/realmdb: every table of every file reads
// through the engine as the program reads it, none refused, and where the
// folder holds the expected values (expected/FILE/TABLE.tsv) every row and
// value matches in table order. Skipped, saying why, where the folder is
// absent.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "core/RunError.h"
#include "jet/JetEngine.h"
#include "jet/MdbReader.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

const fs::path kRoot = VELMORA_REAL_MDB_DIR;

std::vector<std::string> splitTabs(const std::string& line) {
    std::vector<std::string> out(1);
    for (char c : line) {
        if (c == '\t')
            out.emplace_back();
        else
            out.back() += c;
    }
    return out;
}

// One line of manifest.tsv: format, file, table, rows, note.
struct ManifestLine {
    std::string format, file, table, rows, note;
};

std::vector<ManifestLine> manifest() {
    std::vector<ManifestLine> lines;
    std::ifstream in(kRoot / "manifest.tsv");
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        auto f = splitTabs(line);
        if (f.size() >= 5) lines.push_back({f[0], f[1], f[2], f[3], f[4]});
    }
    return lines;
}

// The files of the manifest, each with its folder, in manifest order.
std::vector<std::string> files() {
    std::vector<std::string> out;
    std::set<std::string> seen;
    for (const ManifestLine& m : manifest())
        if (seen.insert(m.file).second) out.push_back(m.format + "/" + m.file);
    return out;
}

// A cell of an expected file: "\N" Null, "\U" unsupported, else the text.
std::string unescape(const std::string& cell) {
    std::string out;
    for (std::size_t i = 0; i < cell.size(); ++i) {
        if (cell[i] != '\\' || i + 1 == cell.size()) {
            out += cell[i];
            continue;
        }
        const char c = cell[++i];
        out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
    }
    return out;
}

// What reading a field gave: "\N", "\U" (its "tipo non gestito" error) or the
// escaped text, as the expected files write it; any other error is refused.
std::string cellAsRead(const Recordset& rs, const std::string& column) {
    try {
        const FieldValue v = rs.Fields(column);
        if (v.isNull()) return "\\N";
        return v.asText();
    } catch (const RunError& e) {
        if (e.message().find("colonna di tipo non gestito") != std::string::npos) return "\\U";
        throw;
    }
}

// Every record of a table in table order, as cells of the named columns.
std::vector<std::vector<std::string>> readAll(Database& db, const std::string& table,
                                              const std::vector<std::string>& columns) {
    auto rs = db.OpenRecordset(table, dbOpenDynaset);
    std::vector<std::vector<std::string>> rows;
    const char* const kEvery = "1 = 1";
    for (rs->FindFirst(kEvery); !rs->NoMatch(); rs->FindNext(kEvery)) {
        rows.emplace_back();
        for (const std::string& c : columns) rows.back().push_back(cellAsRead(*rs, c));
    }
    return rows;
}

// Names of the tables (type 1) the file's catalog lists.
std::vector<std::string> catalogTables(Database& db) {
    std::vector<std::string> names;
    auto rs = db.OpenRecordset("MSysObjects", dbOpenDynaset);
    for (rs->FindFirst("Type = 1"); !rs->NoMatch(); rs->FindNext("Type = 1"))
        names.push_back(rs->Fields("Name").asText());
    return names;
}

// Values the manifest's notes give for tables without an expected file:
// the columns named, then each row's cells joined by blanks, rows by "/".
const std::map<std::string, std::pair<std::vector<std::string>, std::string>> kKnownValues = {
    // LastFirst is calculated ([LastName] & ", " & [FirstName]); the
    // calculated number columns are not read.
    {"calcFieldTestV2010.accdb/Table1",
     {{"ID", "FirstName", "LastName", "City", "LastFirst", "MonthlySalary"},
      "1 Bruce Wayne Gotham Wayne, Bruce \\U/2 Bart Simpson Springfield Simpson, Bart \\U/"
      "3 John Doe Nowhere Doe, John \\U/4 Test User Hockessin User, Test \\U"}},
};

std::string joined(const std::vector<std::vector<std::string>>& rows,
                   const std::vector<std::string>& columns, const std::vector<std::string>& pick) {
    std::string out;
    for (const auto& row : rows) {
        if (!out.empty()) out += "/";
        for (std::size_t k = 0; k < pick.size(); ++k) {
            const auto at = std::find(columns.begin(), columns.end(), pick[k]) - columns.begin();
            if (k) out += " ";
            out += static_cast<std::size_t>(at) < row.size() ? row[at] : "?";
        }
    }
    return out;
}

class RealFiles : public testing::TestWithParam<std::string> {};

TEST(RealFilesFolder, IsPresentOrTheSuiteIsSkipped) {
    if (!fs::exists(kRoot / "manifest.tsv"))
        GTEST_SKIP() << "skipped: no Access-written databases at " << kRoot.string()
                     << " (the suite reads them there and never copies them)";
    EXPECT_FALSE(files().empty());
}

TEST_P(RealFiles, EveryTableReadsWithTheExpectedValues) {
    const fs::path path = kRoot / GetParam();
    const std::string file = path.filename().string();
    JetEngine engine(path.parent_path().string());
    std::unique_ptr<Database> db;
    ASSERT_NO_THROW(db = engine.OpenDatabase(file));

    std::map<std::string, ManifestLine> listed;
    for (const ManifestLine& m : manifest())
        if (m.file == file) listed[m.table] = m;

    std::vector<std::string> tables;
    ASSERT_NO_THROW(tables = catalogTables(*db));
    for (const std::string& table : tables) {
        SCOPED_TRACE(file + ", " + table);
        const fs::path expectedPath = kRoot / "expected" / file / (table + ".tsv");
        std::ifstream in(expectedPath);
        std::string line;
        if (in && std::getline(in, line)) {
            const std::vector<std::string> columns = splitTabs(line);
            std::vector<std::vector<std::string>> expected;
            while (std::getline(in, line)) {
                expected.push_back(splitTabs(line));
                for (std::string& cell : expected.back())
                    if (cell != "\\N" && cell != "\\U") cell = unescape(cell);
            }
            std::vector<std::vector<std::string>> read;
            try {
                read = readAll(*db, table, columns);
            } catch (const RunError& e) {
                ADD_FAILURE() << e.message() << " / " << e.detail();
                listed.erase(table);
                continue;
            }
            EXPECT_EQ(read.size(), expected.size());
            std::size_t wrong = 0;
            std::string first;
            for (std::size_t r = 0; r < std::min(read.size(), expected.size()); ++r) {
                for (std::size_t c = 0; c < columns.size(); ++c) {
                    const std::string want = c < expected[r].size() ? expected[r][c] : "(none)";
                    if (read[r][c] == want || wrong++ > 0) continue;
                    first = "row " + std::to_string(r) + ", " + columns[c] + ": read \"" +
                            read[r][c] + "\", expected \"" + want + "\"";
                }
            }
            EXPECT_EQ(wrong, 0u) << "values differ, the first at " << first;
        } else {
            // Without expected values the table must still read: every column
            // a value or "tipo non gestito", as many rows as the manifest says.
            try {
                std::vector<std::string> columns;
                auto held = jet::readMdbTable(path.string(), table);
                for (std::size_t c = 0; c < held->columnCount(); ++c)
                    columns.push_back(held->columnName(c));
                const auto read = readAll(*db, table, columns);
                if (auto it = listed.find(table); it != listed.end() && it->second.rows != "-") {
                    EXPECT_EQ(std::to_string(read.size()), it->second.rows);
                }
                if (auto known = kKnownValues.find(file + "/" + table); known != kKnownValues.end()) {
                    EXPECT_EQ(joined(read, columns, known->second.first), known->second.second);
                }
            } catch (const RunError& e) {
                ADD_FAILURE() << e.message() << " / " << e.detail();
            } catch (const std::exception& e) {
                ADD_FAILURE() << e.what();
            }
        }
        listed.erase(table);
    }
    for (const auto& [table, m] : listed)
        if (table != "(MSysObjects)") ADD_FAILURE() << "not in the catalog: " << table;
}

INSTANTIATE_TEST_SUITE_P(Access, RealFiles, testing::ValuesIn(files()),
                         [](const auto& info) {
                             std::string name;
                             for (char c : info.param)
                                 name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(RealFiles);

}  // namespace
}  // namespace velmora::test
