// A register-sized table (200,000 rows of 40 columns) streamed into the
// writer and read back whole through libmdb: every row in order, every value.
#include <glib.h>
#include <gtest/gtest.h>
// glib first: mdbtools.h relies on its types.
#include <mdbtools.h>

#include <charconv>
#include <chrono>
#include <string>
#include <vector>

#include "MdbReader.h"
#include "jetwrite/JetWriter.h"
#include "support/TempDir.h"

namespace velmora::jetwrite {
namespace {

constexpr int kRows = 200000;
constexpr int kTextColumns = 28;
constexpr int kLongColumns = 6;
constexpr int kIntegerColumns = 3;
constexpr int kDoubleColumns = 3;

// Column c of row r; some cells Null, some empty, some accented.
Cell cellOf(int r, int c) {
    if ((r + c) % 17 == 0) return std::nullopt;
    if (c < kTextColumns) {
        if ((r + c) % 23 == 0) return std::string();
        std::string text = "R" + std::to_string(r) + "C" + std::to_string(c);
        if (c % 4 == 1) text += " CITT\xC3\x80 D'ANGELO";
        return text;
    }
    c -= kTextColumns;
    if (c < kLongColumns) return std::to_string((r * 7919 + c) * (r % 2 ? -1 : 1));
    c -= kLongColumns;
    if (c < kIntegerColumns) return std::to_string((r + c) % 65536 - 32768);
    return std::to_string(r) + "." + std::to_string(c) + "25";
}

class GeneratedRows final : public RowSource {
public:
    GeneratedRows() {
        for (int c = 0; c < kTextColumns; ++c) {
            m_columns.push_back({"Testo" + std::to_string(c), ColumnType::Text, 40});
        }
        for (int c = 0; c < kLongColumns; ++c) {
            m_columns.push_back({"Lungo" + std::to_string(c), ColumnType::Long});
        }
        for (int c = 0; c < kIntegerColumns; ++c) {
            m_columns.push_back({"Intero" + std::to_string(c), ColumnType::Integer});
        }
        for (int c = 0; c < kDoubleColumns; ++c) {
            m_columns.push_back({"Doppio" + std::to_string(c), ColumnType::Double});
        }
        m_row.resize(m_columns.size());
    }
    const std::string& tableName() const override { return m_name; }
    const std::vector<Column>& columns() const override { return m_columns; }
    const std::vector<Cell>* next() override {
        if (m_next == kRows) return nullptr;
        for (std::size_t c = 0; c < m_columns.size(); ++c)
            m_row[c] = cellOf(m_next, static_cast<int>(c));
        ++m_next;
        return &m_row;
    }
    std::string where() const override { return "row " + std::to_string(m_next); }

private:
    std::string m_name = "Scheda_Cliente";
    std::vector<Column> m_columns;
    std::vector<Cell> m_row;
    int m_next = 0;
};

TEST(LargeTable, EveryRowReadsBackInOrder) {
    test::TempDir dir;
    GeneratedRows source;
    auto started = std::chrono::steady_clock::now();
    writeDatabaseFromSources(dir / "big.mdb", {&source});
    auto written = std::chrono::steady_clock::now();
    test::MdbTableContent content = test::readMdbTable(dir / "big.mdb", "Scheda_Cliente");
    auto read = std::chrono::steady_clock::now();
    auto ms = [](auto d) {
        return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
    };
    RecordProperty("write_ms", static_cast<int>(ms(written - started)));
    RecordProperty("libmdb_read_ms", static_cast<int>(ms(read - written)));

    EXPECT_EQ(content.usageMapType, 1);
    EXPECT_EQ(content.declaredRows, static_cast<unsigned>(kRows));
    ASSERT_EQ(content.rows.size(), static_cast<std::size_t>(kRows));
    int mismatches = 0;
    for (int r = 0; r < kRows && mismatches < 5; ++r) {
        for (int c = 0; c < static_cast<int>(content.columns.size()); ++c) {
            Cell expected = cellOf(r, c);
            if (expected && c >= kTextColumns + kLongColumns + kIntegerColumns) {
                double value = 0;
                std::from_chars(expected->data(), expected->data() + expected->size(), value);
                expected = test::canonicalDouble(value);
            }
            if (content.rows[r][c] != expected) {
                ADD_FAILURE() << "row " << r << " column " << content.columns[c].name;
                ++mismatches;
            }
        }
    }
}

}  // namespace
}  // namespace velmora::jetwrite
