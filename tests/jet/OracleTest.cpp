// The engine's reading checked against mdbtools' libmdb, kept for this test
// alone (Linux): random jetwrite databases, Jet 3 and Jet 4, and every file
// of ../shared/data/realmdb are read with both and compared where libmdb is
// known to be right: the catalog's pages, table definitions, usage maps, the
// split of each row into fields (bytes, not values: libmdb prints numbers
// through the C locale) and the text of Text and Memo values (not where
// libmdb reads it wrong: characters beyond U+FFFF, a NUL, code page 1252
// bytes without a character). Rows are walked by the engine (libmdb 1.0 has
// deleted and moved rows wrong) and each is handed to both. The case
// folding is checked against GLib's, which the engine used before.
#include <gtest/gtest.h>
#include <glib.h>
// glib first: mdbtools.h uses its types.
#include <mdbtools.h>

#include <filesystem>
#include <random>
#include <sstream>

#include "jet/Catalog.h"
#include "jet/FieldDecoder.h"
#include "jet/PortableFiles.h"
#include "jet/TextFold.h"
#include "jet/UsageMap.h"
#include "jetwrite/JetWriter.h"
#include "support/Support.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;
using namespace jet;

// The case folding the engine had through GLib.
char32_t glibFold(char32_t c) {
    if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 32 : c;
    if (c < 0x100) {
        if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
        return c == 0xFF ? 0x178 : c == 0xB5 ? 0x39C : c;
    }
    const auto folded = static_cast<char32_t>(g_unichar_toupper(g_unichar_tolower(c)));
    return folded < 0x80 ? c : folded;
}

TEST(Oracle, CaseFoldingAgreesWithGlibForEveryCodePoint) {
    std::size_t differ = 0;
    char32_t first = 0;
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        if (foldCase(c) != glibFold(c) && differ++ == 0) first = c;
    }
    EXPECT_EQ(differ, 0u) << "first at U+" << std::hex << static_cast<unsigned>(first);
}

struct MdbCloser {
    void operator()(MdbHandle* h) const { mdb_close(h); }
};
struct DefFree {
    void operator()(MdbTableDef* t) const { mdb_free_tabledef(t); }
};

// Whether libmdb reads this text right (see the top of the file).
bool libmdbReadsRight(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b == 0 || b >= 0xF0 || (b == 0xED && i + 1 < text.size() && (text[i + 1] & 0x20)))
            return false;
        if (b == 0xC2 && i + 1 < text.size()) {
            const auto c = static_cast<unsigned char>(text[i + 1]);
            if (c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D) return false;
        }
    }
    return true;
}

// Each row of the table cracked and decoded by both.
void compareRows(std::ostream& out, const JetFile& file, const TableDef& def, MdbHandle* mdb,
                 MdbTableDef* t) {
    RowCracker cracker(file.format(), def);
    FieldDecoder decoder(file);
    std::vector<MdbField> theirs(def.columns.size());
    RowWalker(file, def, false).walk([&](const PageBuffer& page, const RowSpan& row,
                                         const RowPlace& at) {
        mdb_read_pg(mdb, at.page);
        if (!cracker.crack(page.data() + row.start, row.size()) ||
            mdb_crack_row(t, static_cast<int>(row.start), row.size(), theirs.data()) < 0) {
            out << def.name << ", " << at.text() << ": cracked by one only\n";
            return;
        }
        for (std::size_t c = 0; c < def.columns.size(); ++c) {
            const Field& ours = cracker.fields()[c];
            const ColumnDef& col = def.columns[c];
            const bool same = ours.null == (theirs[c].is_null != 0) &&
                              (ours.null || col.type == kTypeBool ||
                               (row.start + ours.start == static_cast<std::size_t>(theirs[c].start) &&
                                ours.size == static_cast<std::size_t>(theirs[c].siz)));
            if (!same) out << def.name << "." << col.name << ", " << at.text() << ": field\n";
            if (!same || ours.null || col.calculated ||
                (col.type != kTypeText && col.type != kTypeMemo)) {
                continue;
            }
            const Decoded v = decoder.decode(col, decodeOf(col), page.data() + row.start, ours, at);
            char* text = mdb_col_to_string(mdb, mdb->pg_buf, theirs[c].start,
                                           static_cast<int>(col.type), theirs[c].siz);
            if (libmdbReadsRight(v.text) && (!text || v.text != text))
                out << def.name << "." << col.name << ", " << at.text() << ": text\n";
            g_free(text);
        }
    });
}

// The pages of a usage map as libmdb finds them.
std::vector<std::uint32_t> libmdbPages(MdbHandle* mdb, MdbTableDef* t) {
    std::vector<std::uint32_t> pages;
    for (gint32 p = 0; (p = mdb_map_find_next(mdb, t->usage_map, t->map_sz, p)) > 0;)
        pages.push_back(static_cast<std::uint32_t>(p));
    return pages;
}

// The definition of one table read by both; what differs, a line each.
bool sameDefinition(std::ostream& out, const TableDef& def, MdbTableDef* t) {
    if (def.rowCount != t->num_rows || def.varColumns != t->num_var_cols ||
        def.columns.size() != t->num_cols) {
        out << def.name << ": definition counts\n";
        return false;
    }
    for (std::size_t c = 0; c < def.columns.size(); ++c) {
        const auto* col = static_cast<MdbColumn*>(g_ptr_array_index(t->columns, c));
        const ColumnDef& ours = def.columns[c];
        if (ours.name != col->name || ours.type != static_cast<unsigned>(col->col_type) ||
            ours.fixed != (col->is_fixed != 0) ||
            (ours.type != kTypeBool && ours.length != col->col_size) ||  // libmdb: 0 for Yes/No
            (ours.fixed ? ours.fixedOffset != col->fixed_offset : ours.varIndex != col->var_col_num)) {
            out << def.name << "." << ours.name << ": column\n";
            return false;
        }
    }
    return true;
}

// Every table of the file read with both: what differs, a line each.
std::string compareFile(const std::string& path) {
    std::ostringstream out;
    std::unique_ptr<MdbHandle, MdbCloser> mdb(mdb_open(path.c_str(), MDB_NOFLAGS));
    if (!mdb || !mdb_read_catalog(mdb.get(), MDB_TABLE)) return "libmdb cannot open " + path;
    mdb_set_bind_size(mdb.get(), 64u << 20);
    const JetFile file(portableFiles(), path);
    for (unsigned i = 0; i < mdb->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        const std::string name = entry->object_name;
        const auto page = static_cast<std::uint32_t>(entry->table_pg);
        const auto pages = findTablePages(file, name);
        if (std::find(pages.begin(), pages.end(), page) == pages.end()) {
            out << name << ": not in the catalog at page " << page << "\n";
            continue;
        }
        std::unique_ptr<MdbTableDef, DefFree> t(mdb_read_table(entry));
        if (!t || !mdb_read_columns(t.get())) continue;  // nothing of libmdb's to compare
        const TableDef def = readTableDef(file, page, name);
        if (!sameDefinition(out, def, t.get())) continue;
        if (mappedPages(file, def.usedMap, name) != libmdbPages(mdb.get(), t.get()))
            out << name << ": usage map\n";
        compareRows(out, file, def, mdb.get(), t.get());
    }
    return out.str();
}

// A table of random columns (some deleted), rows (some written before the
// later columns) and values: text of every length and memo values of every
// placement.
jetwrite::Table randomTable(std::mt19937& rng, bool jet3, const std::string& name) {
    using jetwrite::ColumnType;
    const char* const alphabet[] = {"a", "Z", "7", " ", "'", "à", "È", "€", "ñ", "ß"};
    const char* const wide[] = {"Ω", "ж", "ł"};
    auto pick = [&](unsigned n) { return static_cast<unsigned>(rng() % n); };
    auto text = [&](std::size_t length) {
        std::string s;
        for (std::size_t i = 0; i < length; ++i)
            s += !jet3 && pick(8) == 0 ? wide[pick(3)] : alphabet[pick(10)];
        return s;
    };
    jetwrite::Table table{name, {}, {}};
    // Column 0 is live text (Jet 3 keeps deleted text only beside live
    // text). Deleted columns are variable-length ones: libmdb takes a fixed
    // column as held by a row that predates it when a deleted fixed column
    // comes before it (it counts the row's fixed columns).
    const unsigned columns = 1 + pick(10);
    for (unsigned c = 0; c < columns; ++c) {
        const auto type = c == 0 ? ColumnType::Text : static_cast<ColumnType>(pick(5));
        const bool variable = type == ColumnType::Text || type == ColumnType::Memo;
        table.columns.push_back({"C" + std::to_string(c), type,
                                 1 + static_cast<int>(pick(jet3 ? 170 : 150)),
                                 c > 0 && variable && pick(4) == 0});
    }
    const std::size_t memoLengths[] = {40, 1200, 6000};
    for (unsigned r = pick(150); r-- > 0;) {
        std::vector<jetwrite::Cell> row;
        const unsigned held = pick(8) == 0 ? 1 + pick(columns) : columns;
        for (unsigned c = 0; c < held; ++c) {
            const jetwrite::Column& col = table.columns[c];
            if (pick(5) == 0) {
                row.emplace_back();
            } else if (col.type == ColumnType::Text) {
                // Mostly long: Jet 3 rows then cross 256-byte boundaries.
                const auto size = static_cast<unsigned>(col.size);
                row.emplace_back(text(size - pick(size / 2 + 1)));
            } else if (col.type == ColumnType::Memo) {
                row.emplace_back(text(pick(static_cast<unsigned>(memoLengths[pick(3)]))));
            } else {
                row.emplace_back(std::to_string(static_cast<int>(pick(60000)) - 30000));
            }
        }
        table.rows.push_back(std::move(row));
    }
    return table;
}

TEST(Oracle, RandomDatabasesReadAsLibmdbReadsThem) {
    TempDir dir;
    for (unsigned seed = 1; seed <= 24; ++seed) {
        std::mt19937 rng(seed);
        const bool jet3 = seed % 2 == 0;
        const std::string path = dir / ("r" + std::to_string(seed) + ".mdb");
        // Every third database encoded, under a random key.
        jetwrite::writeDatabase(path, {randomTable(rng, jet3, "A"), randomTable(rng, jet3, "B")},
                                jet3 ? jetwrite::JetVersion::Jet3 : jetwrite::JetVersion::Jet4,
                                seed % 3 == 0 ? static_cast<std::uint32_t>(rng()) | 1 : 0);
        EXPECT_EQ(compareFile(path), "") << "seed " << seed;
    }
}

TEST(Oracle, AccessFilesReadAsLibmdbReadsThem) {
    const fs::path root = VELMORA_REAL_MDB_DIR;
    if (!fs::exists(root)) GTEST_SKIP() << "skipped: no Access-written databases at " << root;
    for (const char* format : {"jet3", "jet4", "ace"}) {
        for (const auto& entry : fs::directory_iterator(root / format))
            EXPECT_EQ(compareFile(entry.path().string()), "") << entry.path();
    }
}

}  // namespace
}  // namespace velmora::test
