// Databases saved by Microsoft Access itself (Jet 3, Jet 4, ACE), kept outside
// the project in ../shared/data/realmdb: every table of every file reads
// through the engine as the program reads it, none refused, and where the
// folder holds the expected values (expected/FILE/TABLE.tsv) every row and
// value matches in table order. Skipped, saying why, where the folder is
// absent.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "core/RunError.h"
#include "jet/JetEngine.h"
#include "jet/MdbReader.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;
using Rows = std::vector<std::vector<std::string>>;

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

// manifest.tsv: format, file, table, rows, note; by "format/file", the rows
// of each table ("-" where not given).
std::map<std::string, std::map<std::string, std::string>> manifest() {
    std::map<std::string, std::map<std::string, std::string>> files;
    std::ifstream in(kRoot / "manifest.tsv");
    std::string line;
    for (std::getline(in, line); std::getline(in, line);) {
        const auto f = splitTabs(line);
        if (f.size() >= 4) files[f[0] + "/" + f[1]][f[2]] = f[3];
    }
    return files;
}

// A cell as the expected files write it: "\N" Null, "\U" a column whose
// type is not read ("tipo non gestito"), else the text with \\ \t \n \r.
std::string cellAsRead(const Recordset& rs, const std::string& column) {
    try {
        const FieldValue v = rs.Fields(column);
        if (v.isNull()) return "\\N";
        std::string out;
        for (char c : v.asText())
            out += c == '\\' ? "\\\\" : c == '\t' ? "\\t" : c == '\n' ? "\\n" : c == '\r' ? "\\r"
                                                                                      : std::string(1, c);
        return out;
    } catch (const RunError& e) {
        if (e.message().find("colonna di tipo non gestito") != std::string::npos) return "\\U";
        throw;
    }
}

// Every record of a table in table order, as cells of the named columns.
Rows readAll(Database& db, const std::string& table, const std::vector<std::string>& columns) {
    auto rs = db.OpenRecordset(table, dbOpenDynaset);
    Rows rows;
    for (rs->FindFirst("1 = 1"); !rs->NoMatch(); rs->FindNext("1 = 1")) {
        rows.emplace_back();
        for (const std::string& c : columns) rows.back().push_back(cellAsRead(*rs, c));
    }
    return rows;
}

// Values the manifest's notes give for a table without an expected file.
// LastFirst is calculated ([LastName] & ", " & [FirstName]); MonthlySalary,
// a calculated number, is not read.
const std::map<std::string, std::pair<std::vector<std::string>, Rows>> kKnownValues = {
    {"calcFieldTestV2010.accdb/Table1",
     {{"ID", "FirstName", "LastName", "City", "LastFirst", "MonthlySalary"},
      {{"1", "Bruce", "Wayne", "Gotham", "Wayne, Bruce", "\\U"},
       {"2", "Bart", "Simpson", "Springfield", "Simpson, Bart", "\\U"},
       {"3", "John", "Doe", "Nowhere", "Doe, John", "\\U"},
       {"4", "Test", "User", "Hockessin", "User, Test", "\\U"}}}},
};

// The table as read, compared with its expected file, its known values or
// the manifest's row count; every column is read.
void checkTable(Database& db, const fs::path& path, const std::string& table,
                std::map<std::string, std::string>& listed) {
    const std::string file = path.filename().string();
    std::ifstream in(kRoot / "expected" / file / (table + ".tsv"));
    std::string line;
    std::vector<std::string> columns;
    Rows expected;
    if (std::getline(in, line)) {
        columns = splitTabs(line);
        while (std::getline(in, line)) expected.push_back(splitTabs(line));
    } else {
        auto held = jet::readMdbTable(path.string(), table);
        for (std::size_t c = 0; c < held->columnCount(); ++c) columns.push_back(held->columnName(c));
    }
    const Rows read = readAll(db, table, columns);
    if (in.is_open()) {
        EXPECT_EQ(read, expected);
    }
    if (auto it = listed.find(table); it != listed.end() && it->second != "-") {
        EXPECT_EQ(std::to_string(read.size()), it->second);
    }
    if (auto known = kKnownValues.find(file + "/" + table); known != kKnownValues.end()) {
        EXPECT_EQ(readAll(db, table, known->second.first), known->second.second);
    }
    listed.erase(table);
}

class RealFiles : public testing::TestWithParam<std::string> {};

TEST(RealFilesFolder, IsPresentOrTheSuiteIsSkipped) {
    if (!fs::exists(kRoot / "manifest.tsv"))
        GTEST_SKIP() << "skipped: no Access-written databases at " << kRoot.string()
                     << " (the suite reads them there and never copies them)";
    EXPECT_EQ(manifest().size(), 31u);
}

TEST_P(RealFiles, EveryTableReadsWithTheExpectedValues) {
    const fs::path path = kRoot / GetParam();
    auto listed = manifest()[GetParam()];
    JetEngine engine(path.parent_path().string());
    try {
        auto db = engine.OpenDatabase(path.filename().string());
        auto rs = db->OpenRecordset("MSysObjects", dbOpenDynaset);
        for (rs->FindFirst("Type = 1"); !rs->NoMatch(); rs->FindNext("Type = 1")) {
            const std::string table = rs->Fields("Name").asText();
            SCOPED_TRACE(table);
            checkTable(*db, path, table, listed);
        }
    } catch (const RunError& e) {
        ADD_FAILURE() << e.message() << " / " << e.detail();
    } catch (const std::exception& e) {
        ADD_FAILURE() << e.what();
    }
    listed.erase("(MSysObjects)");
    for (const auto& [table, rows] : listed) ADD_FAILURE() << "not in the catalog: " << table;
}

std::vector<std::string> files() {
    std::vector<std::string> out;
    for (const auto& [file, tables] : manifest()) out.push_back(file);
    return out;
}

INSTANTIATE_TEST_SUITE_P(Access, RealFiles, testing::ValuesIn(files()), [](const auto& info) {
    std::string name;
    for (char c : info.param) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
});
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(RealFiles);

}  // namespace
}  // namespace velmora::test
