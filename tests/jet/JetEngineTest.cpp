// The engine through real .mdb files written by jetwrite: values as stored,
// record sets and finds, the table cache, and the errors an operator sees.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>

#include "core/RunError.h"
#include "jet/JetEngine.h"
#include "platform/LocalFileAccess.h"
#include "support/Support.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

const char* const kGuests =
    "NumeroProgressivo:Long|Nome:Text(40)|Nota:Text(20)|DataArrivo:Text(8)|NumeroCamera:Integer|"
    "Tariffa:Double\n"
    "4501|ROSSI|\\N|20240315|12|72.5\n"
    "4502|d'Angelo|| 2024031|9|0.3\n"
    "4503|Città di Castello|x|20240315||-1e-05\n"
    "4504|NIÑO|\\N|\\N|3|1e300\n"
    "4505|rossi|y|20240314|12|\n"
    "-2147483648|MIN|\\N|20240315|-32768|-0\n"
    "2147483647|MAX|\\N|20240315|32767|123456789.125\n";

const char* const kCodes =
    "Tipo:Integer|Sigla:Text(5)|Descrizione:Text(60)|Provincia:Text(2)|CodicePS:Text(9)|DataDal:"
    "Text(8)|DataFinoA:Text(8)\n"
    "0|I|ITALIA|ES|100000100|19000101| \n"
    "3||FORLI'|FO|408040012|19000101|19941231\n"
    "3||FORLI'|FC|408140012|19950101| \n"
    "3||SANT'AGATA DI MILITELLO|ME|419083082|19000101| \n"
    "2|CT|CATANIA||\\N|19000101| \n"
    "3|| CATANIA |CT|419087015|19000101| \n";

class JetEngineFiles : public ::testing::Test {
protected:
    void SetUp() override {
        writeTables(dir / "Ospiti.mdb", {{"Scheda_Cliente", kGuests}, {"CodiciVari", kCodes}});
    }
    TempDir dir;
};

std::vector<FieldValue> column(Recordset& rs, const std::string& criteria,
                               const std::string& field) {
    std::vector<FieldValue> values;
    for (rs.FindFirst(criteria); !rs.NoMatch(); rs.FindNext(criteria))
        values.push_back(rs.Fields(field));
    return values;
}

// The same reads with every column held in memory, and with some left in
// the file (read a row at a time; a find on one has the table read whole).
struct Held {
    const char* name;
    std::vector<std::string> columns;  // empty: all
};
class HeldColumns : public JetEngineFiles, public ::testing::WithParamInterface<Held> {
protected:
    void hold(JetEngine& engine) {
        if (!GetParam().columns.empty()) engine.holdInMemory("scheda_cliente", GetParam().columns);
    }
};
INSTANTIATE_TEST_SUITE_P(
    Engine, HeldColumns,
    ::testing::Values(Held{"all", {}}, Held{"searched", {"NumeroProgressivo", "DataArrivo", "NumeroCamera"}},
                      Held{"one", {"NumeroCamera"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_P(HeldColumns, ValuesComeBackAsStored) {
    JetEngine engine(dir.path());
    hold(engine);
    auto db = engine.OpenDatabase("Ospiti.mdb");
    auto rs = db->OpenRecordset("Scheda_Cliente", dbOpenDynaset);
    auto text = FieldValue::text;
    auto num = FieldValue::number;
    EXPECT_EQ(column(*rs, "NumeroProgressivo <> 0", "Nome"),
              (std::vector<FieldValue>{text("ROSSI"), text("d'Angelo"), text("Città di Castello"),
                                       text("NIÑO"), text("rossi"), text("MIN"), text("MAX")}));
    EXPECT_EQ(column(*rs, "NumeroProgressivo <> 0", "Nota"),
              (std::vector<FieldValue>{FieldValue(), text(""), text("x"), FieldValue(), text("y"),
                                       FieldValue(), FieldValue()}));
    EXPECT_EQ(column(*rs, "NumeroProgressivo <> 0", "NumeroProgressivo"),
              (std::vector<FieldValue>{num(4501), num(4502), num(4503), num(4504), num(4505),
                                       num(-2147483648.0), num(2147483647)}));
    EXPECT_EQ(column(*rs, "NumeroProgressivo <> 0", "NumeroCamera"),
              (std::vector<FieldValue>{num(12), num(9), FieldValue(), num(3), num(12), num(-32768),
                                       num(32767)}));
    EXPECT_EQ(column(*rs, "NumeroProgressivo <> 0", "Tariffa"),
              (std::vector<FieldValue>{num(72.5), num(0.3), num(-1e-05), num(1e300), FieldValue(),
                                       num(-0.0), num(123456789.125)}));
    EXPECT_EQ(column(*rs, "NumeroProgressivo <> 0", "DataArrivo")[1], text(" 2024031"));
    db->Close();
}

TEST_P(HeldColumns, FindsFollowTheRecordSetOrder) {
    JetEngine engine(dir.path());
    hold(engine);
    auto db = engine.OpenDatabase("Ospiti.mdb");
    auto table = db->OpenRecordset("Scheda_Cliente", dbOpenDynaset);
    // Table order, letter case ignored, accents folded.
    EXPECT_EQ(column(*table, "Nome = 'ROSSI'", "NumeroProgressivo"),
              (std::vector<FieldValue>{FieldValue::number(4501), FieldValue::number(4505)}));
    EXPECT_EQ(column(*table, "Nome = 'CITTÀ DI CASTELLO'", "NumeroProgressivo"),
              (std::vector<FieldValue>{FieldValue::number(4503)}));
    EXPECT_EQ(column(*table, "Nome = 'D''ANGELO'", "NumeroProgressivo"),
              (std::vector<FieldValue>{FieldValue::number(4502)}));
    EXPECT_EQ(column(*table, "Nome = 'ni\xC3\xB1o'", "NumeroProgressivo"),
              (std::vector<FieldValue>{FieldValue::number(4504)}));

    // The query's order: DataArrivo (Null first), then NumeroCamera (Null
    // first), ties in table order.
    auto query = db->OpenRecordset(
        "Select * From Scheda_Cliente Where NumeroProgressivo > 0 Order by "
        "DataArrivo,NumeroCamera;",
        dbOpenDynaset);
    EXPECT_EQ(column(*query, "NumeroProgressivo > 0", "NumeroProgressivo"),
              (std::vector<FieldValue>{FieldValue::number(4504), FieldValue::number(4502),
                                       FieldValue::number(4505), FieldValue::number(4503),
                                       FieldValue::number(4501), FieldValue::number(2147483647)}));
    // FindNext continues after the current record; a later FindFirst restarts.
    query->FindFirst("NumeroCamera = 12");
    EXPECT_EQ(query->Fields("NumeroProgressivo"), FieldValue::number(4505));
    query->FindNext("NumeroCamera = 12");
    EXPECT_EQ(query->Fields("NumeroProgressivo"), FieldValue::number(4501));
    query->FindNext("NumeroCamera = 12");
    EXPECT_TRUE(query->NoMatch());
    query->FindFirst("NumeroCamera = 9");
    EXPECT_FALSE(query->NoMatch());
    EXPECT_EQ(query->Fields("nome"), FieldValue::text("d'Angelo"));
}

void setModified(const std::string& path, fs::file_time_type when) {
    fs::last_write_time(path, when);
}

TEST_F(JetEngineFiles, CacheReadsEachTableOnceUntilTheFileChanges) {
    // The system's file access, which tells a file by its device and i-node.
    JetEngine engine(dir.path(), true, std::make_shared<LocalFileAccess>());
    auto readName = [&] {
        auto db = engine.OpenDatabase("Ospiti.mdb");
        auto rs = db->OpenRecordset("Scheda_Cliente", dbOpenDynaset);
        rs->FindFirst("NumeroProgressivo = 4501");
        FieldValue v = rs->Fields("Nome");
        db->Close();
        return v;
    };
    EXPECT_EQ(readName(), FieldValue::text("ROSSI"));
    EXPECT_EQ(readName(), FieldValue::text("ROSSI"));
    EXPECT_EQ(engine.tableReads(), 1u);

    // Different content and size: seen from the next document on.
    const std::string path = dir / "Ospiti.mdb";
    auto before = fs::last_write_time(path);
    writeTables(path, {{"Scheda_Cliente", "NumeroProgressivo:Long|Nome:Text(40)\n4501|BIANCHI\n"}});
    setModified(path, before + std::chrono::seconds(5));
    EXPECT_EQ(readName(), FieldValue::text("ROSSI"));
    engine.beginDocument();
    EXPECT_EQ(readName(), FieldValue::text("BIANCHI"));
    EXPECT_EQ(engine.tableReads(), 2u);

    // Same size, only the modification time differs.
    writeTables(path, {{"Scheda_Cliente", "NumeroProgressivo:Long|Nome:Text(40)\n4501|VERDINI\n"}});
    setModified(path, before + std::chrono::seconds(10));
    engine.beginDocument();
    EXPECT_EQ(readName(), FieldValue::text("VERDINI"));
    EXPECT_EQ(engine.tableReads(), 3u);

    // Same size and time, another file (a copy put in its place).
    const std::string copy = dir / "copia.mdb";
    writeTables(copy, {{"Scheda_Cliente", "NumeroProgressivo:Long|Nome:Text(40)\n4501|MARRONI\n"}});
    setModified(copy, before + std::chrono::seconds(10));
    fs::rename(copy, path);
    engine.beginDocument();
    EXPECT_EQ(readName(), FieldValue::text("MARRONI"));
    engine.beginDocument();
    EXPECT_EQ(readName(), FieldValue::text("MARRONI"));
    EXPECT_EQ(engine.tableReads(), 4u);

    // A record set already open keeps the rows it was opened on.
    auto db = engine.OpenDatabase("Ospiti.mdb");
    auto open = db->OpenRecordset("Scheda_Cliente", dbOpenDynaset);
    writeTables(path, {{"Scheda_Cliente",
                        "NumeroProgressivo:Long|Nome:Text(40)\n4501|NERI\n4502|GIALLI\n"}});
    setModified(path, before + std::chrono::seconds(15));
    engine.beginDocument();
    open->FindFirst("NumeroProgressivo = 4501");
    EXPECT_EQ(open->Fields("Nome"), FieldValue::text("MARRONI"));
    EXPECT_EQ(readName(), FieldValue::text("NERI"));
    // Without the cache every record set reads its file.
    JetEngine uncached(dir.path(), false);
    for (int i = 0; i < 2; ++i)
        uncached.OpenDatabase("Ospiti.mdb")->OpenRecordset("Scheda_Cliente", dbOpenDynaset);
    EXPECT_EQ(uncached.tableReads(), 2u);
}

// The RunError of a failing call: message and detail.
template <class F>
std::pair<std::string, std::string> errorOf(F&& f) {
    try {
        f();
    } catch (const RunError& e) {
        return {e.message(), e.detail()};
    }
    return {"(nessun errore)", ""};
}

// A column left in the file is read from the row the table was read with, or
// not at all: a file written in between is an error, never a mixed record.
TEST_F(JetEngineFiles, RowsChangedInTheFileAreRefused) {
    const std::string path = dir / "Ospiti.mdb";
    const std::string changed =
        "Il file Ospiti.mdb è stato modificato durante la lettura (tabella Scheda_Cliente";
#ifdef _WIN32
    // MinGW's std::filesystem tells a file's time to the second, too coarse
    // for a rewrite of the same size within it: the program's own way of
    // reading files (LocalFileAccess, 100 ns and the file's index) sees it.
    JetEngine engine(dir.path(), true, std::make_shared<LocalFileAccess>());
#else
    JetEngine engine(dir.path());
#endif
    engine.holdInMemory("Scheda_Cliente", {"NumeroProgressivo"});
    auto db = engine.OpenDatabase("Ospiti.mdb");
    auto rs = db->OpenRecordset("Scheda_Cliente", dbOpenDynaset);
    rs->FindFirst("NumeroProgressivo = 4502");
    EXPECT_EQ(rs->Fields("Nome"), FieldValue::text("d'Angelo"));

    // Written over in place (the open file sees it): the same rows with other
    // numbers.
    std::string renumbered = kGuests;
    for (std::size_t at = 0; (at = renumbered.find("\n450", at)) != std::string::npos; at += 4)
        renumbered[at + 2] = '6';
    writeTables(dir / "nuovo.mdb", {{"Scheda_Cliente", renumbered}, {"CodiciVari", kCodes}});
    dir.write("Ospiti.mdb", dir.read("nuovo.mdb"));
    EXPECT_EQ(rs->Fields("Nome"), FieldValue::text("d'Angelo"));  // the record already read
    rs->FindNext("NumeroProgressivo > 0");
    EXPECT_EQ(rs->Fields("NumeroProgressivo"), FieldValue::number(4503));
    EXPECT_EQ(errorOf([&] { rs->Fields("Nome"); }).first.rfind(changed, 0), 0u);
    // A find on a column left in the file reads the table whole: its rows
    // must be those the record set holds.
    EXPECT_EQ(errorOf([&] { rs->FindFirst("Nome = 'ROSSI'"); }).first.rfind(changed, 0), 0u);
    // The next document reads the file as it is now.
    engine.beginDocument();
    auto now = engine.OpenDatabase("Ospiti.mdb")->OpenRecordset("Scheda_Cliente", dbOpenDynaset);
    now->FindFirst("Nome = 'ROSSI'");
    EXPECT_EQ(now->Fields("NumeroProgressivo"), FieldValue::number(4601));
}

TEST_F(JetEngineFiles, ErrorsNameTheDatabaseTheTableAndTheText) {
    JetEngine engine(dir.path());
    auto db = engine.OpenDatabase("Ospiti.mdb");
    auto rs = db->OpenRecordset("CodiciVari", dbOpenDynaset);
    struct Case {
        const char* what;
        std::function<void()> call;
        std::string message;
        std::string detail;  // empty: not compared
    };
    const Case cases[] = {
        {"missing file", [&] { engine.OpenDatabase("Comuni.mdb"); },
         "Errore nel database Comuni.mdb: file non trovato", dir / "Comuni.mdb"},
        {"unknown field",
         [&] {
             rs->FindFirst("Tipo = 0");
             rs->Fields("Regione");
         },
         "Errore nel database Ospiti.mdb, tabella CodiciVari: colonna inesistente", "Regione"},
    };
    for (const Case& c : cases) {
        auto [message, detail] = errorOf(c.call);
        EXPECT_EQ(message, c.message) << c.what;
        if (!c.detail.empty()) {
            EXPECT_EQ(detail, c.detail) << c.what;
        }
    }
    db->Close();
    EXPECT_EQ(errorOf([&] { db->OpenRecordset("CodiciVari", dbOpenDynaset); }).first,
              "Errore nel database Ospiti.mdb: database già chiuso");
}

}  // namespace
}  // namespace velmora::test
