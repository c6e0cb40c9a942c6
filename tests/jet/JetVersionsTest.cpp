// The same tables written as Jet 4 and as Jet 3 by jetwrite and read through
// the engine: columns deleted and re-created in design view, memo values in
// the row, on one long-value page and chained over several, and damaged
// chains, which are refused and never followed for ever.
#include <gtest/gtest.h>

#include <functional>

#include "core/RunError.h"
#include "jet/JetEngine.h"
#include "jetwrite/JetWriter.h"
#include "support/Support.h"

namespace velmora::test {
namespace {

using jetwrite::JetVersion;
using test::operator<<;

struct Version {
    const char* rule;
    JetVersion version;
    std::size_t page, slots;  // page size; where the slot table starts
};
class JetVersions : public testing::TestWithParam<Version> {
protected:
    // Writes Ospiti.mdb holding table T, edits its bytes, and reads column
    // `column` of every row joined by "|", or the error message and detail.
    std::string read(const std::string& text, const std::string& column,
                     const std::function<void(std::string&)>& edit = nullptr) {
        jetwrite::writeDatabase(dir / "Ospiti.mdb", {jetwrite::parseTextTable(text, "T")},
                                GetParam().version);
        std::string bytes = dir.read("Ospiti.mdb");
        if (edit) edit(bytes);
        dir.write("Ospiti.mdb", bytes);
        try {
            JetEngine engine(dir.path());
            auto rs = engine.OpenDatabase("Ospiti.mdb")->OpenRecordset("T", dbOpenDynaset);
            std::string out;
            for (rs->FindFirst("Id > 0"); !rs->NoMatch(); rs->FindNext("Id > 0")) {
                const FieldValue v = rs->Fields(column);
                out += (v.isNull() ? "(null)" : v.asText()) + "|";
            }
            return out;
        } catch (const RunError& e) {
            return e.message() + " / " + e.detail();
        }
    }
    TempDir dir;
};

INSTANTIATE_TEST_SUITE_P(Files, JetVersions,
                         testing::Values(Version{"Jet4", JetVersion::Jet4, 4096, 14},
                                         Version{"Jet3", JetVersion::Jet3, 2048, 10}),
                         RuleName());

// Nota was deleted (its bytes stay in the rows) and created again; Camera
// and Via were deleted too, so in Jet 4 the definition counts more
// variable-length columns than live ones. Rows 1 and 2 were written before
// the new Nota existed, so they do not hold it.
const char* const kRedesigned =
    "Id:Long|~Nota:Text(20)|Nome:Text(30)|~Camera:Integer|~Via:Text(40)|Nota:Text(20)|"
    "Arrivo:Text(8)\n"
    "1|vecchia nota|ROSSI|12|Roma|\\A|\\A\n"
    "2|altra|BIANCHI|\\N|\\N|\\A|\\A\n"
    "3|\\N|VERDI|\\N|\\N|nuova|20240301\n"
    "4|\\N|Città|\\N|\\N|\\N|20240302\n";

TEST_P(JetVersions, DeletedAndRecreatedColumnsReadAsTheDefinitionSays) {
    EXPECT_EQ(read(kRedesigned, "Nota"), "(null)|(null)|nuova|(null)|");
    EXPECT_EQ(read(kRedesigned, "Nome"), "ROSSI|BIANCHI|VERDI|Città|");
    EXPECT_EQ(read(kRedesigned, "Arrivo"), "(null)|(null)|20240301|20240302|");
    EXPECT_EQ(read(kRedesigned, "Camera").rfind("Errore nel database Ospiti.mdb, tabella T: "
                                                "colonna inesistente", 0), 0u);
}

// Memo values of every placement: in the row, on one long-value page (in
// both versions), chained over several pages; Null and empty.
std::vector<std::string> memoValues() {
    std::string longer;
    for (int i = 0; i < 900; ++i) longer += "riga " + std::to_string(i) + " è lunga; ";
    return {"breve è", std::string(1500, 'x') + "é", longer, "\\N", ""};
}

std::string memoTable() {
    std::string text = "Id:Long|Nota:Memo\n";
    for (std::size_t i = 0; i < memoValues().size(); ++i)
        text += std::to_string(i + 1) + "|" + memoValues()[i] + "\n";
    return text;
}

TEST_P(JetVersions, MemoValuesReadInTheRowOnOnePageAndOverSeveral) {
    std::string expected;
    for (const std::string& v : memoValues()) expected += (v == "\\N" ? "(null)" : v) + "|";
    EXPECT_EQ(read(memoTable(), "Nota"), expected);
}

// A damaged chain: the first (1) or second (2) long-value page of the chain
// (page 0 holds the value kept on one page) points elsewhere.
TEST_P(JetVersions, DamagedMemoChainsAreRefused) {
    enum Target { TableData, ChainStart, Nowhere, BeyondTheFile };
    const struct {
        std::size_t page;
        Target target;
        const char* reason;
    } edits[] = {{1, TableData, "non è di valori lunghi"}, {2, ChainStart, "catena circolare"},
                 {1, Nowhere, "valore troncato"}, {1, BeyondTheFile, "pagina fuori dal file"}};
    const std::size_t size = GetParam().page;
    for (const auto& e : edits) {
        const std::string got = read(memoTable(), "Nota", [&](std::string& b) {
            std::vector<std::size_t> lv;  // long-value pages in file order
            std::size_t data = 0;         // T's first data page (its definition is page 3)
            for (std::size_t p = b.size() / size; --p > 0;) {
                if (b[p * size] != 1) continue;
                if (b.compare(p * size + 4, 4, "LVAL") == 0) lv.insert(lv.begin(), p);
                if (b[p * size + 4] == 3) data = p;
            }
            ASSERT_GE(lv.size(), 4u);
            const std::uint32_t to[] = {static_cast<std::uint32_t>(data << 8),
                                        static_cast<std::uint32_t>(lv[1] << 8), 0, 0xFFFFFF00u};
            const std::size_t slot = lv[e.page] * size + GetParam().slots;
            const std::size_t row = lv[e.page] * size + ((static_cast<unsigned char>(b[slot]) |
                                                          static_cast<unsigned char>(b[slot + 1]) << 8) &
                                                         0x1FFF);
            for (int k = 0; k < 4; ++k) b[row + k] = static_cast<char>(to[e.target] >> (8 * k));
        });
        EXPECT_EQ(got.rfind("Errore nel database Ospiti.mdb, tabella T: file non leggibile o "
                            "danneggiato / ", 0), 0u) << e.reason << ": " << got;
        EXPECT_NE(got.find(e.reason), std::string::npos) << e.reason << ": " << got;
    }
}

}  // namespace
}  // namespace velmora::test
