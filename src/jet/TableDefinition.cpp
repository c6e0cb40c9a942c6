// Reading table definitions.
//
// A definition starts on a page of kind 2 and may go on over further such
// pages (each names the next at 4; the continuation pages' data starts
// after their 8-byte header). It holds a fixed header, an entry per real
// index, an entry per live column, then the columns' names (Jet 3: a length
// byte and code page 1252; Jet 4: a 2-byte length and UTF-16), then the
// indexes, which the engine does not use.
#include "jet/TableDefinition.h"

#include <algorithm>

#include "jet/JetText.h"

namespace velmora::jet {

namespace {

// Jet allows 255 columns a table, deleted ones included until the file is
// compacted; the index bound is generous.
constexpr unsigned kMaxColumns = 255;
constexpr std::uint32_t kMaxIndexes = 1000;
// A definition of 255 columns and 1,000 indexes fits in far fewer pages.
constexpr std::uint32_t kMaxDefinitionPages = 512;

std::string invalid(std::string_view name) {
    return "definizione della tabella " + std::string(name) + " non valida";
}

// The definition as one byte stream: at least its first page (page 0, the
// database's header, is refused as any other page of another kind).
PageBuffer definitionBytes(const JetFile& file, std::uint32_t page, std::string_view name) {
    PageBuffer out, buffer;
    for (std::uint32_t next = page, hops = 0;; ++hops) {
        if (hops == kMaxDefinitionPages) damaged(invalid(name));
        file.read(next, buffer);
        if (buffer[0] != kPageDefinition || buffer[1] != 0x01)
            damaged("pagina " + std::to_string(next) + ": definizione di tabella attesa");
        out.insert(out.end(), buffer.begin() + (hops == 0 ? 0 : 8), buffer.end());
        next = get32(buffer.data() + 4);
        if (next == 0) return out;
    }
}

// The column entries and names from `at`; false when they do not fit.
bool readColumns(const JetFormat& f, const PageBuffer& d, std::size_t at, unsigned count,
                 std::vector<ColumnDef>& out) {
    if (at + f.columnEntry * count > d.size()) return false;
    for (unsigned i = 0; i < count; ++i, at += f.columnEntry) {
        const unsigned char* e = d.data() + at;
        ColumnDef c;
        c.type = e[0];
        c.number = get16(e + f.colNumber);
        c.varIndex = get16(e + f.colVarIndex);
        c.fixed = (e[f.colFlags] & 0x01) != 0;
        c.calculated = f.colExtFlags != 0 && (e[f.colExtFlags] & 0xC0) != 0;
        c.fixedOffset = static_cast<std::uint16_t>(get16(e + f.colFixedOffset));
        c.length = static_cast<std::uint16_t>(get16(e + f.colLength));
        out.push_back(std::move(c));
    }
    for (ColumnDef& c : out) {
        const std::size_t lengthSize = f.jet3 ? 1 : 2;
        if (at + lengthSize > d.size()) return false;
        const std::size_t length = f.jet3 ? d[at] : get16(d.data() + at);
        at += lengthSize;
        if (at + length > d.size()) return false;
        c.name = jetTextToUtf8(
            std::string_view(reinterpret_cast<const char*>(d.data()) + at, length),
            f.jet3 ? JetTextForm::Jet3Cp1252 : JetTextForm::Jet4);
        at += length;
    }
    return true;
}

// Whether each column has a place a row can hold, and a number of its own.
bool placesValid(const JetFormat& f, unsigned rowColumns, const std::vector<ColumnDef>& columns) {
    std::vector<bool> taken(kMaxColumns + 1, false);
    for (const ColumnDef& c : columns) {
        if (c.number >= rowColumns || taken[c.number] || c.name.empty()) return false;
        taken[c.number] = true;
        if (c.fixed ? c.fixedOffset + c.length > f.pageSize : c.varIndex >= rowColumns)
            return false;
    }
    return true;
}

}  // namespace

TableDef readTableDef(const JetFile& file, std::uint32_t page, std::string_view name) {
    const JetFormat& f = file.format();
    const PageBuffer d = definitionBytes(file, page, name);
    const unsigned char* p = d.data();
    // d holds at least one page, more than the header.
    TableDef def;
    def.name = std::string(name);
    def.page = page;
    def.rowCount = get32(p + f.defRowCount);
    const unsigned rowColumns = get16(p + f.defRowColumns);
    const unsigned columns = get16(p + f.defColumns);
    const std::uint32_t realIndexes = get32(p + f.defRealIndexes);
    def.varColumns = get16(p + f.defVarColumns);
    def.usedMap = get32(p + f.defUsedMap);
    def.freeMap = get32(p + f.defFreeMap);
    if (columns == 0 || rowColumns > kMaxColumns || columns > rowColumns ||
        def.varColumns > rowColumns || get32(p + f.defIndexes) > kMaxIndexes ||
        realIndexes > kMaxIndexes) {
        damaged(invalid(name));
    }
    const std::size_t entries = f.defFirstEntry + f.realIndexEntry * realIndexes;
    if (!readColumns(f, d, entries, columns, def.columns))
        damaged("colonne della tabella " + std::string(name) + " non leggibili");
    if (!placesValid(f, rowColumns, def.columns)) damaged(invalid(name));
    std::stable_sort(def.columns.begin(), def.columns.end(),
                     [](const ColumnDef& a, const ColumnDef& b) { return a.number < b.number; });
    return def;
}

}  // namespace velmora::jet
