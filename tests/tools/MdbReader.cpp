// libmdb reader for tests of the Jet writer (see MdbReader.h). Binding gives
// Null and empty text alike, so Null comes from mdb_crack_row's is_null, and
// numbers from the field bytes (libmdb prints them with the process locale).
#include "MdbReader.h"

#include <glib.h>
// glib first: mdbtools.h relies on its types.
#include <mdbtools.h>

#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace velmora::test {

namespace {

struct HandleCloser {
    void operator()(MdbHandle* mdb) const { mdb_close(mdb); }
};
struct TableFreer {
    void operator()(MdbTableDef* table) const { mdb_free_tabledef(table); }
};
using Handle = std::unique_ptr<MdbHandle, HandleCloser>;
using TableDef = std::unique_ptr<MdbTableDef, TableFreer>;

Handle open(const std::string& path) {
    Handle mdb(mdb_open(path.c_str(), MDB_NOFLAGS));
    if (!mdb) throw std::runtime_error("libmdb cannot open " + path);
    if (!mdb_read_catalog(mdb.get(), MDB_TABLE)) {
        throw std::runtime_error("libmdb cannot read the catalog of " + path);
    }
    return mdb;
}

std::uint64_t littleEndian(const void* at, int bytes) {
    const auto* p = static_cast<const unsigned char*>(at);
    std::uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = value << 8 | p[i];
    return value;
}

}  // namespace

std::string canonicalDouble(double value) {
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, end);
}

std::vector<std::string> mdbUserTables(const std::string& path) {
    Handle mdb = open(path);
    std::vector<std::string> names;
    for (unsigned i = 0; i < mdb->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (entry->object_type == MDB_TABLE && mdb_is_user_table(entry)) {
            names.emplace_back(entry->object_name);
        }
    }
    return names;
}

MdbTableContent readMdbTable(const std::string& path, const std::string& tableName,
                             int boundColumns) {
    Handle mdb = open(path);
    std::string name = tableName;
    TableDef table(mdb_read_table_by_name(mdb.get(), name.data(), MDB_TABLE));
    if (!table) throw std::runtime_error("libmdb finds no table " + tableName);
    if (!mdb_read_columns(table.get())) throw std::runtime_error("libmdb cannot read columns");

    // libmdb falls back to scanning every page when its usage map lists a
    // page of another table, which would hide a wrong map: check it here.
    for (gint32 page = mdb_map_find_next(mdb.get(), table->usage_map, table->map_sz, 0); page > 0;
         page = mdb_map_find_next(mdb.get(), table->usage_map, table->map_sz, page)) {
        if (mdb_read_pg(mdb.get(), page) <= 0 || mdb->pg_buf[0] != 0x01 ||
            static_cast<unsigned long>(mdb_get_int32(mdb->pg_buf, 4)) != table->entry->table_pg) {
            throw std::runtime_error("the usage map of " + tableName + " lists page " +
                                     std::to_string(page) + ", not one of its data pages");
        }
    }

    MdbTableContent content;
    content.usageMapType = table->map_sz > 0 ? table->usage_map[0] : -1;
    content.declaredRows = table->num_rows;
    const unsigned columnCount = table->num_cols;
    std::vector<std::vector<char>> buffers(columnCount);
    int bound = 0;
    for (unsigned i = 0; i < columnCount; ++i) {
        auto* column = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
        content.columns.push_back({column->name, column->col_type, column->col_size});
        if (column->col_type == MDB_TEXT && (boundColumns < 0 || bound < boundColumns)) {
            buffers[i].resize(mdb->bind_size);
            mdb_bind_column(table.get(), static_cast<int>(i + 1), buffers[i].data(), nullptr);
            ++bound;
        }
    }

    std::vector<MdbField> fields(columnCount);
    mdb_rewind_table(table.get());
    while (mdb_fetch_row(table.get())) {
        int start = 0;
        size_t length = 0;
        if (mdb_find_row(mdb.get(), static_cast<int>(table->cur_row) - 1, &start, &length) != 0 ||
            mdb_crack_row(table.get(), start & 0x1FFF, length, fields.data()) < 0) {
            throw std::runtime_error("libmdb cannot crack a row of " + tableName);
        }
        std::vector<std::optional<std::string>> row(columnCount);
        for (unsigned i = 0; i < columnCount; ++i) {
            const MdbField& field = fields[i];
            if (field.is_null) continue;
            switch (content.columns[i].type) {
                case MDB_TEXT:
                    if (!buffers[i].empty()) row[i] = std::string(buffers[i].data());
                    break;
                case MDB_INT:
                    row[i] =
                        std::to_string(static_cast<std::int16_t>(littleEndian(field.value, 2)));
                    break;
                case MDB_LONGINT:
                    row[i] =
                        std::to_string(static_cast<std::int32_t>(littleEndian(field.value, 4)));
                    break;
                case MDB_DOUBLE: {
                    std::uint64_t bits = littleEndian(field.value, 8);
                    double value = 0;
                    std::memcpy(&value, &bits, sizeof value);
                    row[i] = canonicalDouble(value);
                    break;
                }
                default:
                    throw std::runtime_error("unexpected column type");
            }
        }
        content.rows.push_back(std::move(row));
    }
    return content;
}

}  // namespace velmora::test
