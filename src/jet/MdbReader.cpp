// Reading tables of Jet 3 and Jet 4 files with libmdb.
//
// libmdb decodes pages, table definitions, usage maps and row layouts; the
// walk over the rows is ours, because libmdb 1.0's own walk (mdb_fetch_row)
// has the row flags reversed: it returns deleted rows and drops rows that an
// update moved to another page. Here a slot flagged 0x8000 is deleted and
// skipped, and a slot flagged 0x4000 holds a pointer (row in the low byte,
// page above it) to where its row now lives; the row is read from there, in
// the pointer's place, and not a second time where it lies.
// Numbers are decoded from the raw bytes (libmdb prints them through the C
// locale and with too few digits); so are texts (libmdb's iconv reads Jet 4
// as UCS-2, without surrogate pairs, and how it reads Jet 3 depends on how it
// was built), except Jet 3 text in a code page other than 1252.
#include "jet/MdbReader.h"

#include <sys/stat.h>
#include <unistd.h>
#include <glib.h>
// glib first: mdbtools.h uses its types.
#include <mdbtools.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <unordered_set>
#include <vector>

#include "jet/JetText.h"
#include "jet/TextFold.h"

namespace velmora::jet {

namespace fs = std::filesystem;

namespace {

constexpr unsigned kDeletedFlag = 0x8000;
constexpr unsigned kPointerFlag = 0x4000;
constexpr unsigned kOffsetMask = 0x1FFF;
constexpr unsigned kMaxColumns = 255;
constexpr unsigned kMaxIndexes = 1000;
constexpr std::size_t kMaxMemoBytes = 16u << 20;

[[noreturn]] void damaged(const std::string& detail) {
    throw MdbFileError(MdbFileError::Kind::Damaged, detail);
}

// A table whose pages disagree with what it declares.
[[noreturn]] void inconsistent(const std::string& detail) {
    throw MdbFileError(MdbFileError::Kind::Inconsistent, detail);
}

struct HandleCloser {
    void operator()(MdbHandle* h) const { mdb_close(h); }
};
using HandlePtr = std::unique_ptr<MdbHandle, HandleCloser>;

struct TableDefFree {
    void operator()(MdbTableDef* t) const { mdb_free_tabledef(t); }
};
using TableDefPtr = std::unique_ptr<MdbTableDef, TableDefFree>;

struct GFree {
    void operator()(char* p) const { g_free(p); }
};
using GString = std::unique_ptr<char, GFree>;

std::uint32_t get16(const unsigned char* p) { return p[0] | (p[1] << 8); }
std::uint32_t get32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// The validated header of an open file.
struct FileShape {
    std::size_t pageSize = 0;
    std::uint32_t pageCount = 0;
};

FileShape readShape(const std::string& path) {
    std::error_code ec;
    auto status = fs::status(path, ec);
    if (ec || !fs::exists(status))
        throw MdbFileError(MdbFileError::Kind::Missing, "file non trovato: " + path);
    if (!fs::is_regular_file(status)) damaged("non è un file: " + path);
    std::uintmax_t size = fs::file_size(path, ec);
    if (ec) damaged("dimensione non leggibile: " + path);

    unsigned char head[0x20] = {};
    std::ifstream in(path, std::ios::binary);
    if (!in) damaged("file non apribile: " + path);
    in.read(reinterpret_cast<char*>(head), sizeof head);
    if (in.gcount() < static_cast<std::streamsize>(sizeof head)) {
        damaged("file troppo corto (" + std::to_string(size) + " byte)");
    }
    static const unsigned char kMagic[4] = {0x00, 0x01, 0x00, 0x00};
    if (std::memcmp(head, kMagic, 4) != 0 || (std::memcmp(head + 4, "Standard Jet DB", 15) != 0 &&
                                              std::memcmp(head + 4, "Standard ACE DB", 15) != 0)) {
        damaged("intestazione Jet mancante");
    }
    // Jet 3 (Access 97), Jet 4 (Access 2000-2003), and the ACE versions of
    // Access 2007, 2010, 2013, 2016 and 2019, which keep Jet 4's pages.
    unsigned version = head[0x14];
    if (version > MDB_VER_ACCDB_2019)
        damaged("versione del formato sconosciuta (" + std::to_string(version) + ")");
    FileShape shape;
    shape.pageSize = version == MDB_VER_JET3 ? 2048 : 4096;
    if (size % shape.pageSize != 0) {
        damaged("dimensione " + std::to_string(size) +
                " byte: non è un numero intero di pagine da " + std::to_string(shape.pageSize) +
                " (file troncato?)");
    }
    if (size / shape.pageSize < 3) damaged("file troppo corto (" + std::to_string(size) + " byte)");
    if (size / shape.pageSize > 0xFFFFFFu) damaged("file troppo grande");
    shape.pageCount = static_cast<std::uint32_t>(size / shape.pageSize);
    return shape;
}

enum class Decode : std::uint8_t {
    Text,
    Guid,
    Bool,
    Byte,
    Int16,
    Int32,
    Single,
    Double,
    Money,
    Unsupported
};

Decode decodeOf(int colType) {
    switch (colType) {
        case MDB_TEXT:
        case MDB_MEMO:
            return Decode::Text;
        case MDB_REPID:
            return Decode::Guid;
        case MDB_BOOL:
            return Decode::Bool;
        case MDB_BYTE:
            return Decode::Byte;
        case MDB_INT:
            return Decode::Int16;
        case MDB_LONGINT:
        case MDB_COMPLEX:
            return Decode::Int32;
        case MDB_FLOAT:
            return Decode::Single;
        case MDB_DOUBLE:
        case MDB_DATETIME:
            return Decode::Double;
        case MDB_MONEY:
            return Decode::Money;
        default:
            return Decode::Unsupported;
    }
}

std::size_t fixedSize(Decode d) {
    switch (d) {
        case Decode::Byte:
            return 1;
        case Decode::Int16:
            return 2;
        case Decode::Int32:
        case Decode::Single:
            return 4;
        case Decode::Double:
        case Decode::Money:
            return 8;
        case Decode::Guid:
            return 16;
        default:
            return 0;
    }
}

// One open file: libmdb's handle plus the checks around every page it reads.
class MdbFile {
public:
    explicit MdbFile(const std::string& path) : m_shape(readShape(path)) {
        m_handle.reset(mdb_open(path.c_str(), MDB_NOFLAGS));
        if (!m_handle) damaged("libmdb non riesce ad aprire il file");
        if (static_cast<std::size_t>(m_handle->fmt->pg_size) != m_shape.pageSize) {
            damaged("dimensione di pagina incoerente");
        }
    }

    MdbHandle* mdb() const { return m_handle.get(); }
    const FileShape& shape() const { return m_shape; }

    // Loads a page into libmdb's page buffer.
    const unsigned char* loadPage(std::uint32_t page) const {
        if (page >= m_shape.pageCount)
            damaged("pagina " + std::to_string(page) + " oltre la fine del file");
        MdbHandle* mdb = m_handle.get();
        if (page != 0 && mdb->f->db_key == 0) {
            // One pread per page: libmdb's own read looks at the file's size
            // and seeks before every page (three system calls a page, 140,000
            // for a month over a large history). Encrypted files, and page 0,
            // still go through libmdb, which decrypts them.
            if (mdb->cur_pg == page) return mdb->pg_buf;
            const auto offset = static_cast<off_t>(page) * static_cast<off_t>(m_shape.pageSize);
            if (::pread(fileno(mdb->f->stream), mdb->pg_buf, m_shape.pageSize, offset) !=
                static_cast<ssize_t>(m_shape.pageSize)) {
                mdb->cur_pg = 0;
                damaged("pagina " + std::to_string(page) + " non leggibile");
            }
            mdb->cur_pg = page;
            mdb->cur_pos = 0;
            return mdb->pg_buf;
        }
        if (mdb_read_pg(mdb, page) != static_cast<ssize_t>(m_shape.pageSize)) {
            damaged("pagina " + std::to_string(page) + " non leggibile");
        }
        return mdb->pg_buf;
    }

    // Opens the definition of the table whose definition page is `page`.
    struct OpenTable {
        std::unique_ptr<MdbCatalogEntry> entry;  // libmdb keeps a pointer to it
        TableDefPtr def;
    };
    OpenTable openTable(std::uint32_t page, std::string_view name) const {
        const unsigned char* p = loadPage(page);
        if (p[0] != MDB_PAGE_TABLE || p[1] != 0x01)
            damaged("pagina " + std::to_string(page) + ": definizione di tabella attesa");
        const MdbFormatConstants* fmt = m_handle->fmt;
        // The live columns, and how many columns and variable-length columns
        // rows may hold: in Jet 4 both counts keep the columns deleted since
        // the last compaction (a table edited in design view holds more
        // variable-length slots than live columns), in Jet 3 the variable
        // count is the live one. Jet allows 255 columns a table, deleted
        // ones included, until the file is compacted.
        unsigned columns = get16(p + fmt->tab_num_cols_offset);
        unsigned varColumns = get16(p + fmt->tab_num_cols_offset - 2);
        unsigned rowColumns = get16(p + fmt->tab_num_cols_offset - 4);
        std::uint32_t indexes = get32(p + fmt->tab_num_idxs_offset);
        std::uint32_t realIndexes = get32(p + fmt->tab_num_ridxs_offset);
        if (columns == 0 || rowColumns > kMaxColumns || columns > rowColumns ||
            varColumns > rowColumns || indexes > kMaxIndexes || realIndexes > kMaxIndexes) {
            damaged("definizione della tabella " + std::string(name) + " non valida");
        }
        // libmdb takes the page maps from the rows these point at without
        // looking at the page that holds them.
        checkMapRow(get32(p + fmt->tab_usage_map_offset), name);
        checkMapRow(get32(p + fmt->tab_free_map_offset), name);
        loadPage(page);

        OpenTable t;
        t.entry = std::make_unique<MdbCatalogEntry>();
        std::memset(t.entry.get(), 0, sizeof(MdbCatalogEntry));
        t.entry->mdb = m_handle.get();
        std::snprintf(t.entry->object_name, sizeof t.entry->object_name, "%.*s",
                      static_cast<int>(std::min<std::size_t>(name.size(), MDB_MAX_OBJ_NAME - 1)),
                      name.data());
        t.entry->object_type = MDB_TABLE;
        t.entry->table_pg = page;
        t.def.reset(mdb_read_table(t.entry.get()));
        if (!t.def) damaged("definizione della tabella " + std::string(name) + " non leggibile");
        if (!mdb_read_columns(t.def.get()) || t.def->columns->len != t.def->num_cols) {
            damaged("colonne della tabella " + std::string(name) + " non leggibili");
        }
        return t;
    }

    // The numbers (deleted columns included) of the calculated columns of
    // the table whose definition starts on `page`: Jet 4 marks them in the
    // column entry's second flag byte (offset 16); Jet 3 has none.
    std::vector<int> calculatedColumns(std::uint32_t page) const {
        std::vector<int> out;
        if (IS_JET3(m_handle.get())) return out;
        constexpr std::size_t kEntry = 25, kFirstEntry = 63, kRealIndex = 12;
        std::vector<unsigned char> def;
        for (std::uint32_t next = page, hops = 0; next != 0; ++hops) {
            const unsigned char* p = loadPage(next);
            if (hops > m_shape.pageCount || p[0] != MDB_PAGE_TABLE)
                damaged("pagina " + std::to_string(next) + ": definizione di tabella attesa");
            def.insert(def.end(), p + (hops == 0 ? 0 : 8), p + m_shape.pageSize);
            next = get32(p + 4);
        }
        const unsigned columns = get16(def.data() + 45);
        const std::size_t first = kFirstEntry + kRealIndex * get32(def.data() + 51);
        if (first + kEntry * columns > def.size()) damaged("definizione di tabella troncata");
        for (unsigned i = 0; i < columns; ++i) {
            const unsigned char* entry = def.data() + first + kEntry * i;
            if (entry[16] & 0xC0) out.push_back(static_cast<int>(get16(entry + 5)));
        }
        return out;
    }

private:
    // A page map lives in a row (page << 8 | row) of a data page.
    void checkMapRow(std::uint32_t pageRow, std::string_view table) const {
        std::uint32_t page = pageRow >> 8, row = pageRow & 0xFF;
        MdbHandle* mdb = m_handle.get();
        if (page == 0 || page >= m_shape.pageCount ||
            mdb_read_alt_pg(mdb, page) != static_cast<ssize_t>(m_shape.pageSize) ||
            mdb->alt_pg_buf[0] != MDB_PAGE_DATA ||
            row >= get16(mdb->alt_pg_buf + mdb->fmt->row_count_offset)) {
            damaged("mappa delle pagine della tabella " + std::string(table) +
                    " non valida (pagina " + std::to_string(page) + ")");
        }
    }

    FileShape m_shape;
    HandlePtr m_handle;
};

// Where a row lies, for messages.
struct RowPlace {
    std::uint32_t page, row;
    std::string text() const {
        return "pagina " + std::to_string(page) + ", riga " + std::to_string(row);
    }
};

// Walks the rows of one table in the file's order and hands each to a sink.
class RowWalker {
public:
    // With `countChecked`, the rows found must be at least as many as the
    // definition declares: a deleted row counts for nothing, a moved row once
    // (where its pointer stands).
    RowWalker(const MdbFile& file, MdbTableDef* table, std::uint32_t tablePage,
              std::string_view name, bool countChecked)
        : m_file(file),
          m_table(table),
          m_tablePage(tablePage),
          m_name(name),
          m_countChecked(countChecked) {}

    // Calls sink(fields, place) for every live row; fields[i] is column i.
    // Two passes over the pages, holding one page's slots at a time: the
    // first finds the targets of moved rows, the second reads the rows.
    template <class Sink>
    void walk(Sink&& sink) {
        const std::vector<std::uint32_t> pages = mappedPages();
        std::unordered_set<std::uint64_t> movedTargets;
        std::vector<Slot> slots;
        for (std::uint32_t page : pages) {
            pageSlots(page, slots);
            for (const Slot& s : slots) {
                if (s.pointer) movedTargets.insert(key(s.targetPage, s.targetRow));
            }
        }
        std::vector<MdbField> fields(m_table->num_cols);
        std::size_t found = 0;
        for (std::uint32_t dataPage : pages) {
            // The page's slots are taken before any row is read: a moved
            // row's page replaces this one in libmdb's buffer.
            pageSlots(dataPage, slots);
            for (const Slot& s : slots) {
                std::uint32_t page = s.page, row = s.row;
                if (s.pointer) {
                    page = s.targetPage;
                    row = s.targetRow;
                } else if (movedTargets.count(key(page, row))) {
                    continue;  // read through its pointer
                }
                const unsigned char* p = m_file.loadPage(page);
                if (s.pointer) checkDataPage(page, p, true);
                int start = 0;
                std::size_t length = 0;
                unsigned rows = get16(p + m_file.mdb()->fmt->row_count_offset);
                if (row >= rows ||
                    mdb_find_row(m_file.mdb(), static_cast<int>(row), &start, &length) != 0) {
                    damaged(where(page, row) + ": posizione della riga non valida");
                }
                // The target of a pointer may carry the deleted flag, which hides it
                // from scans; a pointer to a pointer is not followed.
                if (s.pointer && (start & kPointerFlag)) {
                    damaged(where(page, row) + ": il rimando porta a un altro rimando");
                }
                if (s.pointer) checkRowPlace(page, row, rows, start);
                int fieldCount = mdb_crack_row(m_table, start & kOffsetMask, length, fields.data());
                if (fieldCount < 0) damaged(where(page, row) + ": riga non decodificabile");
                sink(fields, RowPlace{page, row});
                ++found;
            }
        }
        // Fewer rows than declared is damage: a page lost or emptied, or rows
        // flagged deleted by garbage. More is not: Access lets the count lag
        // behind the rows it inserts (its system tables and small user tables
        // are found so), and a row read at all passed every check of its page.
        if (m_countChecked && found < m_table->num_rows) {
            inconsistent("la tabella " + m_name + " dichiara " + std::to_string(m_table->num_rows) +
                         " schede, se ne leggono " + std::to_string(found));
        }
    }

private:
    struct Slot {
        std::uint32_t page, row;
        bool pointer;
        std::uint32_t targetPage, targetRow;
    };
    static std::uint64_t key(std::uint32_t page, std::uint32_t row) {
        return (static_cast<std::uint64_t>(page) << 16) | row;
    }
    static std::string where(std::uint32_t page, std::uint32_t row) {
        return RowPlace{page, row}.text();
    }

    // Whether a page listed in the usage map (or, `required`, holding a moved
    // row) is a data page of this table. A page that is no page at all is
    // damaged, and so is a data page whose owner is no table definition. A
    // well formed page of another table or kind is passed over: a page freed
    // and taken by another table may keep its bit (libmdb has met such maps in
    // large files); the row count still finds any row it took away.
    bool checkDataPage(std::uint32_t page, const unsigned char* p, bool required) const {
        if (p[0] == MDB_PAGE_DATA && get32(p + 4) == m_tablePage) return true;
        bool wellFormed = p[0] >= MDB_PAGE_DATA && p[0] <= MDB_PAGE_MAP && p[1] == 0x01 &&
                          (p[0] != MDB_PAGE_DATA || get32(p + 4) < m_file.shape().pageCount);
        if (required || !wellFormed) {
            damaged("pagina " + std::to_string(page) + ": pagina di dati della tabella attesa");
        }
        if (p[0] == MDB_PAGE_DATA) {
            MdbHandle* mdb = m_file.mdb();
            const std::uint32_t owner = get32(p + 4);
            if (owner == 0 ||
                mdb_read_alt_pg(mdb, owner) != static_cast<ssize_t>(m_file.shape().pageSize) ||
                mdb->alt_pg_buf[0] != MDB_PAGE_TABLE) {
                inconsistent("la pagina " + std::to_string(page) + " elencata dalla tabella " +
                             m_name + " non appartiene ad alcuna tabella");
            }
        }
        return false;
    }

    // Checks that a live row lies after the slot table of its page (rows fill
    // the page from its end; libmdb checks the end and the order).
    void checkRowPlace(std::uint32_t page, unsigned row, unsigned rows, int start) const {
        const std::size_t rco = static_cast<std::size_t>(m_file.mdb()->fmt->row_count_offset);
        const std::size_t offset = static_cast<unsigned>(start) & kOffsetMask;
        if (offset < rco + 2 + 2 * static_cast<std::size_t>(rows)) {
            inconsistent("la tabella " + m_name + " ha una scheda fuori posto (" +
                         where(page, row) + ")");
        }
    }

    // Pages of the usage map, checked to be in the file and increasing; the
    // bitmap pages of a large table's map checked to be bitmap pages.
    std::vector<std::uint32_t> mappedPages() const {
        const unsigned char* map = m_table->usage_map;
        std::size_t mapSize = m_table->map_sz;
        if (!map || mapSize < 1) damaged("mappa delle pagine mancante");
        MdbHandle* mdb = m_file.mdb();
        std::vector<std::uint32_t> pages;
        std::uint32_t current = 0;
        auto take = [&](std::int64_t next) {
            if (next <= static_cast<std::int64_t>(current) ||
                next >= static_cast<std::int64_t>(m_file.shape().pageCount)) {
                damaged("mappa delle pagine non valida");
            }
            current = static_cast<std::uint32_t>(next);
            pages.push_back(current);
        };
        if (map[0] == 1) {
            // A large table's map names bitmap pages; each is read once here
            // (libmdb's own walk reads the bitmap page again for every page
            // it finds). Bit i of map page k is page k * bits + i.
            const std::size_t bits = (m_file.shape().pageSize - 4) * 8;
            for (std::size_t k = 0; 1 + 4 * k + 4 <= mapSize; ++k) {
                std::uint32_t mapPage = get32(map + 1 + 4 * k);
                if (mapPage == 0) continue;
                if (mapPage >= m_file.shape().pageCount ||
                    mdb_read_alt_pg(mdb, mapPage) !=
                        static_cast<ssize_t>(m_file.shape().pageSize) ||
                    mdb->alt_pg_buf[0] != MDB_PAGE_MAP) {
                    damaged("pagina " + std::to_string(mapPage) + " della mappa non valida");
                }
                const unsigned char* bitmap = mdb->alt_pg_buf + 4;
                for (std::size_t i = 0; i < bits; ++i) {
                    if (k == 0 && i == 0) continue;  // page 0 is never a data page
                    if (bitmap[i / 8] & (1u << (i % 8)))
                        take(static_cast<std::int64_t>(k * bits + i));
                }
            }
            return pages;
        }
        if (map[0] != 0) damaged("mappa delle pagine di tipo sconosciuto");
        for (;;) {
            gint32 next = mdb_map_find_next(mdb, const_cast<unsigned char*>(map),
                                            static_cast<unsigned>(mapSize), current);
            if (next == 0) break;
            take(next);
        }
        return pages;
    }

    // The live slots of one page of the usage map (none for a page that is
    // not this table's).
    void pageSlots(std::uint32_t page, std::vector<Slot>& slots) const {
        slots.clear();
        const MdbFormatConstants* fmt = m_file.mdb()->fmt;
        const std::size_t pageSize = m_file.shape().pageSize;
        const unsigned char* p = m_file.loadPage(page);
        if (!checkDataPage(page, p, false)) return;
        unsigned rows = get16(p + fmt->row_count_offset);
        if (fmt->row_count_offset + 2 + 2 * static_cast<std::size_t>(rows) > pageSize) {
            damaged("pagina " + std::to_string(page) + ": numero di righe non valido");
        }
        for (unsigned row = 0; row < rows; ++row) {
            unsigned raw = get16(p + fmt->row_count_offset + 2 + 2 * row);
            if (raw & kDeletedFlag) continue;
            int start = 0;
            std::size_t length = 0;
            if (mdb_find_row(m_file.mdb(), static_cast<int>(row), &start, &length) != 0) {
                damaged(where(page, row) + ": posizione della riga non valida");
            }
            checkRowPlace(page, row, rows, start);
            if (raw & kPointerFlag) {
                if (length < 4) damaged(where(page, row) + ": rimando non valido");
                std::uint32_t target = get32(p + (start & kOffsetMask));
                slots.push_back({page, row, true, target >> 8, target & 0xFF});
            } else if (length > 0) {
                slots.push_back({page, row, false, 0, 0});
            }
        }
    }

    const MdbFile& m_file;
    MdbTableDef* m_table;
    std::uint32_t m_tablePage;
    std::string m_name;
    bool m_countChecked;
};

// The stored bytes of a memo value whose head (length and flags, then where
// its data lies) is at v, `size` bytes of the row: kept in the row itself, in
// one row of a long-value page, or in a chain of such rows, each starting
// with the page and row of the next. A long-value page is a data page whose
// owner reads "LVAL". The stored bytes must reach the length the head gives
// (bytes beyond it are not the value's), and a chain must not come back to a
// row it has been through. Reads only libmdb's second page buffer.
std::string memoBytes(const MdbFile& file, const unsigned char* v, std::size_t size,
                      const RowPlace& at) {
    const std::uint32_t head = get32(v);
    const std::size_t length = head & 0x3FFFFFFF;
    auto broken = [&](const std::string& why) {
        damaged(at.text() + ": promemoria non leggibile (" + why + ")");
    };
    if (head & 0x80000000u) {
        if (size - MDB_MEMO_OVERHEAD < length) broken("valore troncato");
        return std::string(reinterpret_cast<const char*>(v) + MDB_MEMO_OVERHEAD, length);
    }
    if ((head & 0xFF000000u) != 0 && !(head & 0x40000000u)) broken("intestazione non valida");
    const bool chained = !(head & 0x40000000u);
    MdbHandle* mdb = file.mdb();
    const std::size_t pageSize = file.shape().pageSize;
    const unsigned rco = static_cast<unsigned>(mdb->fmt->row_count_offset);
    std::string out;
    std::unordered_set<std::uint32_t> visited;
    std::uint32_t pageRow = get32(v + 4);
    for (;;) {
        const std::uint32_t page = pageRow >> 8, row = pageRow & 0xFF;
        if (!visited.insert(pageRow).second) broken("catena circolare");
        if (page == 0 || page >= file.shape().pageCount ||
            mdb_read_alt_pg(mdb, page) != static_cast<ssize_t>(pageSize)) {
            broken("pagina fuori dal file");
        }
        const unsigned char* p = mdb->alt_pg_buf;
        const unsigned rows = get16(p + rco);
        if (p[0] != MDB_PAGE_DATA || std::memcmp(p + 4, "LVAL", 4) != 0)
            broken("la pagina " + std::to_string(page) + " non è di valori lunghi");
        if (row >= rows || rco + 2 + 2 * rows > pageSize) broken("riga assente");
        const std::size_t start = get16(p + rco + 2 + 2 * row) & kOffsetMask;
        const std::size_t end =
            row == 0 ? pageSize : get16(p + rco + 2 + 2 * (row - 1)) & kOffsetMask;
        const std::size_t skip = chained ? 4 : 0;
        if (start < rco + 2 + 2 * rows || start > end || end > pageSize || end - start < skip)
            broken("riga fuori dalla pagina");
        out.append(reinterpret_cast<const char*>(p) + start + skip, end - start - skip);
        if (out.size() > kMaxMemoBytes) damaged(at.text() + ": promemoria troppo lungo");
        if (!chained || out.size() >= length) break;
        pageRow = get32(p + start);
        if (pageRow == 0) break;
    }
    if (out.size() < length) broken("valore troncato");
    out.resize(length);
    return out;
}

double readDouble(const unsigned char* p) {
    double d;
    std::memcpy(&d, p, 8);
    return d;
}

// Live rows of MSysObjects that describe a table of that name: their
// definition pages, in catalog order.
std::vector<std::uint32_t> findTablePages(const MdbFile& file, std::string_view tableName) {
    auto catalog = file.openTable(2, "MSysObjects");
    MdbTableDef* def = catalog.def.get();
    int idCol = -1, nameCol = -1, typeCol = -1;
    for (unsigned i = 0; i < def->num_cols; ++i) {
        auto* col = static_cast<MdbColumn*>(g_ptr_array_index(def->columns, i));
        if (equalFolded(col->name, "Id") && col->col_type == MDB_LONGINT)
            idCol = static_cast<int>(i);
        if (equalFolded(col->name, "Name") && col->col_type == MDB_TEXT)
            nameCol = static_cast<int>(i);
        if (equalFolded(col->name, "Type") && col->col_type == MDB_INT)
            typeCol = static_cast<int>(i);
    }
    if (idCol < 0 || nameCol < 0 || typeCol < 0) damaged("catalogo degli oggetti non leggibile");
    MdbHandle* mdb = file.mdb();
    const std::size_t pageSize = file.shape().pageSize;
    std::vector<std::uint32_t> pages;
    // The catalog's own count is not checked: a table missing from it is
    // reported as missing.
    RowWalker walker(file, def, 2, "MSysObjects", false);
    walker.walk([&](std::vector<MdbField>& f, const RowPlace& at) {
        const MdbField& id = f[idCol];
        const MdbField& name = f[nameCol];
        const MdbField& type = f[typeCol];
        if (id.is_null || name.is_null || type.is_null) return;
        if (id.siz != 4 || type.siz != 2 || id.start < 0 || type.start < 0 || name.start < 0 ||
            static_cast<std::size_t>(id.start) + 4 > pageSize ||
            static_cast<std::size_t>(type.start) + 2 > pageSize ||
            static_cast<std::size_t>(name.start) + static_cast<std::size_t>(name.siz) > pageSize) {
            damaged("catalogo, " + at.text() + ": voce non valida");
        }
        if ((get16(mdb->pg_buf + type.start) & 0x7F) != MDB_TABLE) return;
        GString text(mdb_col_to_string(mdb, mdb->pg_buf, name.start, MDB_TEXT, name.siz));
        if (text && equalFolded(text.get(), tableName))
            pages.push_back(get32(mdb->pg_buf + id.start) & 0xFFFFFF);
    });
    return pages;
}

}  // namespace

std::optional<FileStamp> stampOf(const std::string& path) {
    // One stat: size, time and identity together (checked once per document).
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    FileStamp stamp;
    stamp.size = static_cast<std::uintmax_t>(st.st_size);
    stamp.modified = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stamp.device = static_cast<std::uint64_t>(st.st_dev);
    stamp.inode = static_cast<std::uint64_t>(st.st_ino);
    return stamp;
}

std::size_t checkDatabaseFile(const std::string& path) { return readShape(path).pageSize; }

namespace {

// How one file column is decoded, and where its values go: its column in the
// table held in memory and in the row source (kNone where it has none).
constexpr std::size_t kNone = static_cast<std::size_t>(-1);
struct FileColumn {
    Decode decode;
    int type;
    bool calculated = false;
    std::size_t held = kNone;
    std::size_t fetched = kNone;
};

// A Replication ID as Access shows it: {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX},
// the first three groups stored little-endian, the last two as they lie.
std::string guidText(const unsigned char* v) {
    static const char kHex[] = "0123456789ABCDEF";
    static const int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    std::string out = "{";
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
        out += kHex[v[kOrder[i]] >> 4];
        out += kHex[v[kOrder[i]] & 0xF];
    }
    return out + "}";
}

// The number stored in the `size` bytes at v, or none when that is not the
// size of the column's kind.
std::optional<double> fixedNumber(Decode d, const unsigned char* v, std::size_t size) {
    if (size != fixedSize(d)) return std::nullopt;
    switch (d) {
        case Decode::Byte:
            return v[0];
        case Decode::Int16:
            return static_cast<std::int16_t>(get16(v));
        case Decode::Int32:
            return static_cast<std::int32_t>(get32(v));
        case Decode::Single: {
            float single;
            std::memcpy(&single, v, 4);
            return single;
        }
        case Decode::Double:
            return readDouble(v);
        case Decode::Money: {
            std::uint64_t bits = static_cast<std::uint64_t>(get32(v)) |
                                 (static_cast<std::uint64_t>(get32(v + 4)) << 32);
            return static_cast<double>(static_cast<std::int64_t>(bits)) / 10000.0;
        }
        default:
            return std::nullopt;
    }
}

// A calculated column (Access 2010 and later) keeps each value behind a
// header of its own: 16 bytes, the value's length (4 bytes), the value, and
// padding. Only text results are read: a number is kept in the type the
// expression gives, not the one the column declares (a Double column of
// Access's own test file holds Currency values, others Decimal ones, a Yes/No
// result one byte), so a calculated number column is unsupported, and so is
// a text value that does not fit its header (out.unreadable()).
template <class Out>
void decodeCalculated(const std::optional<JetTextForm>& textForm, const unsigned char* v,
                      std::size_t size, Out&& out) {
    constexpr std::size_t kHead = 20;
    if (!textForm || size < kHead || get32(v + 16) > size - kHead) return out.unreadable();
    out.text(jetTextToUtf8(std::string_view(reinterpret_cast<const char*>(v) + kHead,
                                            get32(v + 16)),
                           *textForm));
}

// Decodes one field of the row libmdb cracked in its page buffer and hands
// its value to out: out.text(view), out.number(double), or nothing for Null.
template <class Out>
void decodeField(const MdbFile& file, const FileColumn& c,
                 const std::optional<JetTextForm>& textForm, const MdbField& f,
                 const RowPlace& at, Out&& out) {
    MdbHandle* mdb = file.mdb();
    const Decode d = c.decode;
    if (d == Decode::Bool && !c.calculated) {
        // A Yes/No value lives in the null mask: set is Yes (-1).
        out.number(f.is_null ? 0 : -1);
        return;
    }
    if (f.is_null || d == Decode::Unsupported) return;
    if (f.start < 0 || f.siz < 0 ||
        static_cast<std::size_t>(f.start) + static_cast<std::size_t>(f.siz) >
            file.shape().pageSize) {
        damaged(at.text() + ": valore fuori dalla pagina");
    }
    const unsigned char* v = mdb->pg_buf + f.start;
    if (c.calculated) return decodeCalculated(textForm, v, static_cast<std::size_t>(f.siz), out);
    if (d == Decode::Guid) {
        if (f.siz != 16) damaged(at.text() + ": identificativo di replica di lunghezza errata");
        out.text(guidText(v));
        return;
    }
    if (d == Decode::Text) {
        if (f.siz == 0) {
            out.text("");
            return;
        }
        if (textForm && c.type == MDB_TEXT) {
            out.text(jetTextToUtf8(
                std::string_view(reinterpret_cast<const char*>(v), static_cast<std::size_t>(f.siz)),
                *textForm));
            return;
        }
        // libmdb writes at most bind_size bytes of UTF-8: room for every
        // character of this value, and no more.
        std::size_t stored = static_cast<std::size_t>(f.siz);
        if (c.type == MDB_MEMO) {
            if (f.siz < MDB_MEMO_OVERHEAD) damaged(at.text() + ": promemoria non valido");
            stored = get32(v) & 0x3FFFFFFF;
            if (stored > kMaxMemoBytes) damaged(at.text() + ": promemoria troppo lungo");
            if (textForm) {
                out.text(jetTextToUtf8(memoBytes(file, v, static_cast<std::size_t>(f.siz), at),
                                       *textForm));
                return;
            }
        }
        mdb_set_bind_size(mdb, 2 * stored + 64);
        GString text(mdb_col_to_string(mdb, mdb->pg_buf, f.start, c.type, f.siz));
        if (!text) damaged(at.text() + ": testo non leggibile");
        out.text(text.get());
        return;
    }
    auto number = fixedNumber(d, v, static_cast<std::size_t>(f.siz));
    if (!number) damaged(at.text() + ": valore numerico di lunghezza errata");
    out.number(*number);
}

ColumnKind kindOf(Decode d) {
    return d == Decode::Text || d == Decode::Guid ? ColumnKind::Text
           : d == Decode::Unsupported ? ColumnKind::Unsupported
                                      : ColumnKind::Number;
}

// A row's place in the file, as the table keeps it: page and row in 32 bits.
constexpr unsigned kPlaceRowBits = 11;  // a 4 KB page holds under 2,048 rows
std::uint32_t packPlace(const RowPlace& at) {
    if (at.page >= (1u << (32 - kPlaceRowBits)) || at.row >= (1u << kPlaceRowBits))
        damaged(at.text() + ": posizione oltre i limiti del lettore");
    return (at.page << kPlaceRowBits) | at.row;
}
RowPlace unpackPlace(std::uint32_t place) {
    return {place >> kPlaceRowBits, place & ((1u << kPlaceRowBits) - 1)};
}

// The columns of a table left in its file, read a row at a time through a
// file kept open for the purpose.
class MdbRowSource : public RowSource {
public:
    MdbRowSource(std::unique_ptr<MdbFile> file, MdbFile::OpenTable opened,
                 std::uint32_t tablePage, std::string tableName, std::vector<FileColumn> columns,
                 std::optional<JetTextForm> textForm, std::vector<std::string> names,
                 std::vector<ColumnKind> kinds)
        : RowSource(std::move(names), std::move(kinds)),
          m_file(std::move(file)),
          m_opened(std::move(opened)),
          m_tablePage(tablePage),
          m_name(std::move(tableName)),
          m_columns(std::move(columns)),
          m_textForm(textForm),
          m_fields(m_opened.def->num_cols) {}

    const std::vector<Value>& fetch(const Table& held, std::size_t row) override {
        if (row == m_row) return m_values;
        m_row = kNone;
        const RowPlace at = unpackPlace(held.place(row));
        MdbHandle* mdb = m_file->mdb();
        mdb->cur_pg = 0;  // the page as the file holds it now, checked below
        const unsigned char* p = m_file->loadPage(at.page);
        const unsigned rows = get16(p + mdb->fmt->row_count_offset);
        int start = 0;
        std::size_t length = 0;
        if (p[0] != MDB_PAGE_DATA || get32(p + 4) != m_tablePage || at.row >= rows ||
            mdb_find_row(mdb, static_cast<int>(at.row), &start, &length) != 0 ||
            (start & kPointerFlag) || length == 0 ||
            mdb_crack_row(m_opened.def.get(), start & kOffsetMask, length, m_fields.data()) < 0) {
            changed(at);
        }
        m_values.assign(columnCount(), Value::null());
        m_texts.assign(columnCount(), std::string());
        for (const MdbField& f : m_fields) {
            if (f.colnum < 0 || static_cast<std::size_t>(f.colnum) >= m_columns.size()) changed(at);
            const FileColumn& c = m_columns[static_cast<std::size_t>(f.colnum)];
            if (c.fetched == kNone) continue;
            struct Out {
                Value& value;
                std::string& storage;
                void text(std::string_view t) {
                    storage.assign(t);
                    value = Value::ofText(storage);
                }
                void number(double n) { value = Value::ofNumber(n); }
                void unreadable() { source.markUnsupported(column); }
                RowSource& source;
                std::size_t column;
            };
            decodeField(*m_file, c, m_textForm, f, at,
                        Out{m_values[c.fetched], m_texts[c.fetched], *this, c.fetched});
            if (c.held != kNone && !sameValue(held.value(row, c.held), m_values[c.fetched]))
                changed(at);
        }
        m_row = row;
        return m_values;
    }

private:
    // The row is no longer the one the table was read with.
    [[noreturn]] void changed(const RowPlace& at) const {
        throw MdbFileError(MdbFileError::Kind::Changed,
                           "tabella " + m_name + ", " + at.text());
    }

    std::unique_ptr<MdbFile> m_file;
    MdbFile::OpenTable m_opened;
    std::uint32_t m_tablePage;
    std::string m_name;
    std::vector<FileColumn> m_columns;
    std::optional<JetTextForm> m_textForm;
    std::vector<MdbField> m_fields;
    std::size_t m_row = kNone;
    std::vector<Value> m_values;
    std::vector<std::string> m_texts;
};

}  // namespace

std::shared_ptr<const Table> readMdbTable(const std::string& path, std::string_view tableName,
                                          const std::function<bool(std::string_view)>& keep,
                                          const std::function<bool(std::string_view)>& hold) {
    auto file = std::make_unique<MdbFile>(path);
    std::vector<std::uint32_t> pages = findTablePages(*file, tableName);
    if (pages.empty()) {
        throw MdbFileError(MdbFileError::Kind::NoSuchTable,
                           "tabella " + std::string(tableName) + " assente");
    }
    const std::uint32_t tablePage = pages.front();
    const std::vector<int> calculated = file->calculatedColumns(tablePage);
    auto opened = file->openTable(tablePage, tableName);
    MdbTableDef* def = opened.def.get();
    MdbHandle* mdb = file->mdb();

    // Columns kept but not held are fetched; with none, nothing is left in
    // the file and it is closed after the read.
    TableBuilder builder{std::string(tableName)};
    std::vector<FileColumn> columns;
    std::vector<std::string> fetchedNames;
    std::vector<ColumnKind> fetchedKinds;
    bool anyLeft = false;
    for (unsigned i = 0; i < def->num_cols; ++i) {
        auto* col = static_cast<MdbColumn*>(g_ptr_array_index(def->columns, i));
        FileColumn c{decodeOf(col->col_type), col->col_type};
        c.calculated = std::count(calculated.begin(), calculated.end(), col->row_col_num) > 0;
        if (c.calculated && col->col_type != MDB_TEXT) c.decode = Decode::Unsupported;
        const ColumnKind kind = kindOf(c.decode);
        if (!keep || keep(col->name)) {
            if (!hold || hold(col->name))
                c.held = builder.addColumn(col->name, kind);
            else
                anyLeft = true;
            c.fetched = fetchedNames.size();
            fetchedNames.emplace_back(col->name);
            fetchedKinds.push_back(kind);
        }
        columns.push_back(c);
    }

    // Text the reader decodes itself; other Jet 3 code pages are left to libmdb.
    std::optional<JetTextForm> textForm;
    if (!IS_JET3(mdb)) {
        textForm = JetTextForm::Jet4;
    } else if (mdb->f->code_page == 1252 || mdb->f->code_page == 0) {
        textForm = JetTextForm::Jet3Cp1252;
    }

    // Room for the rows the table declares, as far as the file can hold them.
    const std::size_t maxRows = static_cast<std::size_t>(file->shape().pageCount) * 256;
    builder.reserveRows(std::min<std::size_t>(def->num_rows, maxRows));
    if (anyLeft) builder.reservePlaces(std::min<std::size_t>(def->num_rows, maxRows));

    // A calculated column with a value the reader cannot decode is not
    // read at all: reading it is refused as a column of a type not handled.
    struct Into {
        TableBuilder& builder;
        FileColumn& column;
        void text(std::string_view t) { builder.setText(column.held, t); }
        void number(double n) { builder.setNumber(column.held, n); }
        void unreadable() {
            builder.markUnsupported(column.held);
            column.decode = Decode::Unsupported;
        }
    };
    RowWalker walker(*file, def, tablePage, tableName, true);
    walker.walk([&](std::vector<MdbField>& fields, const RowPlace& at) {
        builder.addRow();
        if (anyLeft) builder.setPlace(packPlace(at));
        for (const MdbField& f : fields) {
            if (f.colnum < 0 || static_cast<std::size_t>(f.colnum) >= columns.size()) {
                damaged(at.text() + ": colonna non valida");
            }
            FileColumn& c = columns[static_cast<std::size_t>(f.colnum)];
            if (c.held == kNone) continue;
            decodeField(*file, c, textForm, f, at, Into{builder, c});
        }
    });
    if (anyLeft) {
        builder.setSource(std::make_shared<MdbRowSource>(
            std::move(file), std::move(opened), tablePage, std::string(tableName),
            std::move(columns), textForm, std::move(fetchedNames), std::move(fetchedKinds)));
    }
    return builder.finish();
}

}  // namespace velmora::jet
