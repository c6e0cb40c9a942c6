// Damaged and edited .mdb files. Truncation, garbage, and a table whose pages
// disagree with its definition (row count, page owners, row places) are
// refused with the operator's message, never a crash; the edits ordinary use
// makes (deleted rows, moved rows, emptied and freed pages) read fine.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "core/RunError.h"
#include "jet/JetEngine.h"
#include "jetwrite/JetWriter.h"
#include "support/Support.h"

namespace velmora::test {
namespace {

using test::operator<<;

constexpr std::size_t kPage = 4096, kRowCount = 12, kSlots = 14;

// A written Jet 4 file and the edits a writer (or damage) makes to it.
struct JetFile {
    std::string b;
    unsigned get(std::size_t at, int n) const {
        unsigned v = 0;
        for (int k = n - 1; k >= 0; --k) v = v << 8 | static_cast<unsigned char>(b[at + k]);
        return v;
    }
    void put(std::size_t at, int n, unsigned v) {
        for (int k = 0; k < n; ++k) b[at + k] = static_cast<char>(v >> (8 * k));
    }
    // The user table's definition page and its data pages, in file order.
    std::size_t definition() const { return get(pages().front() * kPage + 4, 4); }
    std::vector<std::size_t> pages() const {
        std::vector<std::size_t> out;
        for (std::size_t p = 3; p < b.size() / kPage; ++p)
            if (b[p * kPage] == 1 && get(p * kPage + 4, 4) > 2) out.push_back(p);
        return out;
    }
    std::size_t slot(std::size_t page, unsigned row) const {
        return page * kPage + kSlots + 2 * row;
    }
    unsigned rows(std::size_t page) const { return get(page * kPage + kRowCount, 2); }
    void declare(int delta) {
        const std::size_t at = definition() * kPage + 16;
        put(at, 4, get(at, 4) + delta);
    }
    void flag(std::size_t page, unsigned row, unsigned flags) {
        put(slot(page, row), 2, get(slot(page, row), 2) | flags);
    }
    // Clears the page's bit in the table's inline usage map.
    void unmap(std::size_t page) {
        const unsigned mapRow = get(definition() * kPage + 55, 4);
        const std::size_t mapPage = mapRow >> 8;
        const std::size_t map =
            mapPage * kPage + get(mapPage * kPage + kSlots + 2 * (mapRow & 0xFF), 2);
        const std::size_t bit = page - get(map + 1, 4);
        b[map + 5 + bit / 8] = static_cast<char>(b[map + 5 + bit / 8] & ~(1 << (bit % 8)));
    }
};

// Names N1..N60 with a filler, three data pages; then the names read, or the
// error message.
std::string namesAfter(const std::function<void(JetFile&)>& edit) {
    TempDir dir;
    std::string text = "Nome:Text(8)|Riempitivo:Text(200)\n";
    for (int i = 1; i <= 60; ++i)
        text += "N" + std::to_string(i) + "|" + std::string(150, 'x') + "\n";
    jetwrite::writeDatabase(dir / "Ospiti.mdb", {jetwrite::parseTextTable(text, "Scheda_Cliente")});
    JetFile file{dir.read("Ospiti.mdb")};
    if (file.pages().size() != 3) return "expected three data pages";
    edit(file);
    dir.write("Ospiti.mdb", file.b);
    try {
        JetEngine engine(dir.path());
        auto rs = engine.OpenDatabase("Ospiti.mdb")->OpenRecordset("Scheda_Cliente", dbOpenDynaset);
        std::string names;
        for (rs->FindFirst("Nome > ''"); !rs->NoMatch(); rs->FindNext("Nome > ''"))
            names += rs->Fields("Nome").asText() + ",";
        return names;
    } catch (const RunError& e) {
        return e.message();
    }
}

// The names of rows first..last, as read.
std::string names(int first, int last) {
    std::string out;
    for (int i = first; i <= last; ++i) out += "N" + std::to_string(i) + ",";
    return out;
}

std::string damaged(const std::string& what) {
    return "Il file Ospiti.mdb è danneggiato: " + what +
           ". Ripararlo (compatta e ripristina) prima di inviare.";
}

struct Variant {
    const char* rule;
    std::function<std::string(JetFile&)> edit;  // returns what must be read
};

class TableDamageTest : public testing::TestWithParam<Variant> {};

TEST_P(TableDamageTest, ReadsOrRefuses) {
    std::string expected;
    const std::string read = namesAfter([&](JetFile& f) { expected = GetParam().edit(f); });
    EXPECT_EQ(read, expected);
}

// N1's slot becomes a pointer to the last row of the last page, as if an
// update had moved N1 there: that row is now N1's and no row of its own
// (flagged deleted or not), so one row less is declared.
std::string moveFirstRow(JetFile& f, unsigned targetFlags) {
    const std::size_t p0 = f.pages()[0], p2 = f.pages()[2];
    const unsigned target = f.rows(p2) - 1;
    f.flag(p0, 0, 0x4000);
    f.put(p0 * kPage + (f.get(f.slot(p0, 0), 2) & 0x1FFF), 4,
          static_cast<unsigned>(p2 << 8 | target));
    f.flag(p2, target, targetFlags);
    f.declare(-1);
    return "N60," + names(2, 59);
}

// The middle page's rows are gone (edit), and the count lowered by as many:
// the names of the other two pages.
std::string withoutMiddlePage(JetFile& f, const std::function<void(std::size_t)>& edit) {
    const std::size_t p = f.pages()[1];
    const int first = static_cast<int>(f.rows(f.pages()[0])), rows = static_cast<int>(f.rows(p));
    edit(p);
    f.declare(-rows);
    return names(1, first) + names(first + rows + 1, 60);
}

const std::string kDamaged =
    "Errore nel database Ospiti.mdb, tabella Scheda_Cliente: file non leggibile o danneggiato";
const std::string kDamagedFile = "Errore nel database Ospiti.mdb: file non leggibile o danneggiato";

std::string countMessage(int declared, int read) {
    return damaged("la tabella Scheda_Cliente dichiara " + std::to_string(declared) +
                   " schede, se ne leggono " + std::to_string(read));
}

const Variant kVariants[] = {
    {"untouched", [](JetFile&) { return names(1, 60); }},
    {"cut_inside_a_page",
     [](JetFile& f) {
         f.b.resize(f.b.size() - 100);
         return kDamagedFile;
     }},
    {"last_page_cut_off",
     [](JetFile& f) {
         f.b.resize(f.b.size() - kPage);
         return kDamaged;
     }},
    {"empty_file",
     [](JetFile& f) {
         f.b.clear();
         return kDamagedFile;
     }},
    {"not_a_jet_file",
     [](JetFile& f) {
         f.b.replace(4, 15, "Standard Xyz DB");
         return kDamagedFile;
     }},
    {"row_count_beyond_the_page",
     [](JetFile& f) {
         f.put(f.pages()[0] * kPage + kRowCount, 2, 3000);
         return kDamaged;
     }},
    {"catalog_naming_page_0_as_the_definition",
     [](JetFile& f) {
         // Row 1 of the catalog's data page is the table's; its Id comes first.
         std::size_t p = 3;
         while (f.b[p * kPage] != 1 || f.get(p * kPage + 4, 4) != 2) ++p;
         f.put(p * kPage + (f.get(f.slot(p, 1), 2) & 0x1FFF) + 2, 4, 0);
         return kDamaged;
     }},
    {"row_offset_outside_the_page",
     [](JetFile& f) {
         f.put(f.slot(f.pages()[0], 0), 2, 0x1FFF);
         return kDamaged;
     }},
    {"page_row_count_zeroed",
     [](JetFile& f) {
         const std::size_t p = f.pages()[1];
         const int lost = static_cast<int>(f.rows(p));
         f.put(p * kPage + kRowCount, 2, 0);
         return countMessage(60, 60 - lost);
     }},
    {"page_owner_zeroed",
     [](JetFile& f) {
         const std::size_t p = f.pages()[0];
         f.put(p * kPage + 4, 4, 0);
         return damaged("la pagina " + std::to_string(p) +
                        " elencata dalla tabella Scheda_Cliente non appartiene ad alcuna tabella");
     }},
    {"definition_copied_over_a_data_page",
     [](JetFile& f) {
         const std::size_t p = f.pages()[2];
         const int lost = static_cast<int>(f.rows(p));
         f.b.replace(p * kPage, kPage, f.b.substr(f.definition() * kPage, kPage));
         return countMessage(60, 60 - lost);
     }},
    {"row_inside_the_slot_table",
     [](JetFile& f) {
         const std::size_t p = f.pages()[0];
         const unsigned last = f.rows(p) - 1;
         f.put(f.slot(p, last), 2, kSlots);
         return damaged("la tabella Scheda_Cliente ha una scheda fuori posto (pagina " +
                        std::to_string(p) + ", riga " + std::to_string(last) + ")");
     }},
    {"deleted_flag_without_the_count",
     [](JetFile& f) {
         f.flag(f.pages()[0], 0, 0x8000);
         return countMessage(60, 59);
     }},
    {"more_rows_declared",
     [](JetFile& f) {
         f.declare(+1);
         return countMessage(61, 60);
     }},
    {"fewer_rows_declared_as_access_leaves_them",
     [](JetFile& f) {
         f.declare(-8);
         return names(1, 60);
     }},
    {"deleted_row_counted_out",
     [](JetFile& f) {
         f.flag(f.pages()[0], 1, 0x8000);
         f.declare(-1);
         return "N1," + names(3, 60);
     }},
    {"moved_row_read_in_its_place", [](JetFile& f) { return moveFirstRow(f, 0); }},
    {"moved_row_with_flagged_target", [](JetFile& f) { return moveFirstRow(f, 0x8000); }},
    {"moved_row_pointing_at_a_pointer",
     [](JetFile& f) { return moveFirstRow(f, 0x4000).empty() ? "" : kDamaged; }},
    {"page_emptied_by_deletes",
     [](JetFile& f) {
         return withoutMiddlePage(f, [&](std::size_t p) {
             for (unsigned r = 0; r < f.rows(p); ++r) f.flag(p, r, 0x8000);
         });
     }},
    {"emptied_page_taken_by_another_table",
     [](JetFile& f) {
         // Its map bit stays; the page now belongs to the catalog (page 2).
         return withoutMiddlePage(f, [&](std::size_t p) { f.put(p * kPage + 4, 4, 2); });
     }},
    {"emptied_page_freed",
     [](JetFile& f) {
         return withoutMiddlePage(f, [&](std::size_t p) {
             f.unmap(p);
             f.b.replace(p * kPage, kPage, std::string(kPage, '\0'));
         });
     }},
};

INSTANTIATE_TEST_SUITE_P(Files, TableDamageTest, testing::ValuesIn(kVariants), RuleName());

TEST(DamagedFiles, GarbageOverAnyPageIsRefused) {
    std::mt19937 rng(99);
    std::string noise(kPage, '\0');
    for (char& c : noise) c = static_cast<char>(rng());
    std::size_t pages = 0;
    namesAfter([&](JetFile& f) { pages = f.b.size() / kPage; });
    for (std::size_t p = 1; p < pages; ++p)
        EXPECT_EQ(namesAfter([&](JetFile& f) { f.b.replace(p * kPage, kPage, noise); }), kDamaged)
            << "page " << p;
}

}  // namespace
}  // namespace velmora::test
