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
    std::size_t pageSize, rowCountOffset;
};
class JetVersions : public testing::TestWithParam<Version> {
public:
    // Writes Ospiti.mdb holding table T, edits its bytes, and reads column
    // `column` of every row (Id order) joined by "|", or the error message
    // with its detail.
    std::string read(const std::string& text, const std::string& column,
                     const std::function<void(std::string&)>& edit = nullptr) {
        jetwrite::writeDatabase(dir / "Ospiti.mdb", {jetwrite::parseTextTable(text, "T")},
                                GetParam().version);
        if (edit) {
            std::string bytes = dir.read("Ospiti.mdb");
            edit(bytes);
            dir.write("Ospiti.mdb", bytes);
        }
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

    // The long-value pages of a file, in file order, and where the first
    // row of page p starts.
    std::vector<std::size_t> longValuePages(const std::string& b) const {
        std::vector<std::size_t> out;
        for (std::size_t p = 1; p < b.size() / GetParam().pageSize; ++p)
            if (b[p * GetParam().pageSize] == 1 && b.compare(p * GetParam().pageSize + 4, 4, "LVAL") == 0)
                out.push_back(p);
        return out;
    }
    std::size_t firstRow(const std::string& b, std::size_t page) const {
        const std::size_t slot = page * GetParam().pageSize + GetParam().rowCountOffset + 2;
        return page * GetParam().pageSize +
               ((static_cast<unsigned char>(b[slot]) | static_cast<unsigned char>(b[slot + 1]) << 8) &
                0x1FFF);
    }
    static void put32(std::string& b, std::size_t at, std::uint32_t v) {
        for (int k = 0; k < 4; ++k) b[at + k] = static_cast<char>(v >> (8 * k));
    }

    TempDir dir;
};

INSTANTIATE_TEST_SUITE_P(Files, JetVersions,
                         testing::Values(Version{"Jet4", JetVersion::Jet4, 4096, 12},
                                         Version{"Jet3", JetVersion::Jet3, 2048, 8}),
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
                                                "colonna inesistente",
                                                0),
              0u);
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
    std::size_t pages = 0;
    EXPECT_EQ(read(memoTable(), "Nota", [&](std::string& b) { pages = longValuePages(b).size(); }),
              expected);
    EXPECT_GE(pages, 4u);  // the single value's page and the chain's
}

// A damaged chain: the first (page 1) or second (page 2) of its long-value
// rows points elsewhere.
struct ChainEdit {
    const char* rule;
    std::size_t page;
    enum { TableData, ChainStart, Nowhere, BeyondTheFile } target;
    const char* reason;
};

TEST_P(JetVersions, DamagedMemoChainsAreRefused) {
    const ChainEdit edits[] = {
        {"chain pointing at a data page", 1, ChainEdit::TableData, "non è di valori lunghi"},
        {"chain coming back to its start", 2, ChainEdit::ChainStart, "catena circolare"},
        {"chain cut short", 1, ChainEdit::Nowhere, "valore troncato"},
        {"chain beyond the file", 1, ChainEdit::BeyondTheFile, "pagina fuori dal file"},
    };
    const std::size_t size = GetParam().pageSize;
    for (const ChainEdit& e : edits) {
        const std::string got = read(memoTable(), "Nota", [&](std::string& b) {
            const auto lv = longValuePages(b);  // the single value's, then the chain's
            std::size_t data = 1;  // T's first data page: its definition is on page 3
            while (b[data * size] != 1 || b[data * size + 4] != 3) ++data;
            const std::uint32_t to[] = {static_cast<std::uint32_t>(data << 8),
                                        static_cast<std::uint32_t>(lv.at(1) << 8), 0, 0xFFFFFF00u};
            put32(b, firstRow(b, lv.at(e.page)), to[e.target]);
        });
        EXPECT_EQ(got.rfind("Errore nel database Ospiti.mdb, tabella T: file non leggibile o "
                            "danneggiato / ",
                            0),
                  0u)
            << e.rule << ": " << got;
        EXPECT_NE(got.find(e.reason), std::string::npos) << e.rule << ": " << got;
    }
}

}  // namespace
}  // namespace velmora::test
