// Reader of the text table format (see JetWriter.h): the header of typed
// columns, then one row a line with '|' between fields, escapes and \N for
// Null. Used whole by parseTextTable and row by row by the command.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>

#include "CellEncoding.h"
#include "jetwrite/JetWriter.h"

namespace velmora::jetwrite {

namespace {

[[noreturn]] void fail(const std::string& what) { throw std::runtime_error(what); }

ColumnType parseType(std::string_view type, int& size) {
    size = 255;
    if (type == "Long") return ColumnType::Long;
    if (type == "Integer") return ColumnType::Integer;
    if (type == "Double") return ColumnType::Double;
    if (type == "Memo") return ColumnType::Memo;
    constexpr std::string_view kText = "Text(";
    if (type.size() > kText.size() + 1 && type.substr(0, kText.size()) == kText &&
        type.back() == ')') {
        std::string_view digits = type.substr(kText.size(), type.size() - kText.size() - 1);
        if (digits.size() <= 3 && std::all_of(digits.begin(), digits.end(),
                                              [](char c) { return c >= '0' && c <= '9'; })) {
            size = std::stoi(std::string(digits));
            if (size >= 1 && size <= 255) return ColumnType::Text;
        }
        fail("bad text size in \"" + std::string(type) + "\" (Text(n), n from 1 to 255)");
    }
    fail("bad column type \"" + std::string(type) + "\" (Text(n), Memo, Long, Integer or Double)");
}

std::string foldCase(std::string_view name) {
    std::string folded(name);
    for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return folded;
}

std::vector<Column> parseHeader(std::string_view line) {
    std::vector<Column> columns;
    std::set<std::string> seen;
    std::size_t start = 0;
    while (true) {
        std::size_t bar = line.find('|', start);
        std::string_view item =
            line.substr(start, bar == std::string_view::npos ? bar : bar - start);
        std::size_t colon = item.rfind(':');
        if (colon == std::string_view::npos) {
            fail("header item \"" + std::string(item) + "\" is not Name:Type");
        }
        Column column;
        column.deleted = !item.empty() && item.front() == '~';
        column.name = std::string(item.substr(column.deleted ? 1 : 0, colon - column.deleted));
        column.type = parseType(item.substr(colon + 1), column.size);
        detail::checkColumn(column);
        if (!column.deleted && !seen.insert(foldCase(column.name)).second) {
            fail("column " + column.name + " appears twice");
        }
        columns.push_back(std::move(column));
        if (bar == std::string_view::npos) break;
        start = bar + 1;
    }
    if (columns.size() > 255) fail("more than 255 columns");
    return columns;
}

// Escapes: the character after the backslash, and what it stands for.
constexpr std::string_view kEscapes = "|\\trn#";
constexpr std::string_view kEscaped = "|\\\t\r\n#";

// Splits one row line into cells, resolving escapes; the row ends before its
// first absent field.
void parseRow(std::string_view line, const std::vector<Column>& columns, std::vector<Cell>& row) {
    row.resize(columns.size());
    std::size_t field = 0;
    std::size_t fieldStart = 0;
    std::size_t held = columns.size();
    std::string value;
    auto finishField = [&](std::size_t end) {
        if (field < columns.size()) {
            std::string_view raw = line.substr(fieldStart, end - fieldStart);
            if (raw == "\\A") {
                held = std::min(held, field);
            } else if (held < field) {
                fail("\\A fields must end the row");
            } else if (raw == "\\N") {
                row[field].reset();
            } else if (value.empty() && columns[field].type != ColumnType::Text &&
                       columns[field].type != ColumnType::Memo) {
                row[field].reset();
            } else {
                row[field] = value;
            }
        }
        ++field;
        value.clear();
    };
    for (std::size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (c == '|') {
            finishField(i);
            fieldStart = i + 1;
        } else if (c == '\\') {
            if (i + 1 == line.size()) fail("a lone backslash ends the line");
            const char e = line[++i];
            if (e == 'N' || e == 'A') {
                if (i - 1 != fieldStart || (i + 1 != line.size() && line[i + 1] != '|')) {
                    fail(std::string("\\") + e + " must stand alone in its field");
                }
                continue;
            }
            const std::size_t known = kEscapes.find(e);
            if (known == std::string_view::npos) fail(std::string("unknown escape \\") + e);
            value += kEscaped[known];
        } else {
            value += c;
        }
    }
    finishField(line.size());
    if (field != columns.size()) {
        fail(std::to_string(field) + " fields where the header has " +
             std::to_string(columns.size()));
    }
    if (held == 0) fail("a row holds at least its first column");
    row.resize(held);
}

// A text table read line by line from text it may own.
class TextTableSource final : public RowSource {
public:
    TextTableSource(std::string ownedText, std::string_view text, std::string tableName,
                    std::string sourceName)
        : m_owned(std::move(ownedText)),
          m_text(m_owned.empty() ? text : std::string_view(m_owned)),
          m_tableName(std::move(tableName)),
          m_sourceName(std::move(sourceName)) {
        constexpr std::string_view kBom = "\xEF\xBB\xBF";
        if (m_text.substr(0, kBom.size()) == kBom) m_text.remove_prefix(kBom.size());
        std::string_view line;
        if (!nextLine(line)) fail(m_sourceName + ": no header line");
        try {
            m_columns = parseHeader(line);
        } catch (const std::runtime_error& e) {
            fail(where() + ": " + e.what());
        }
    }
    TextTableSource(const TextTableSource&) = delete;
    TextTableSource& operator=(const TextTableSource&) = delete;

    const std::string& tableName() const override { return m_tableName; }
    const std::vector<Column>& columns() const override { return m_columns; }

    const std::vector<Cell>* next() override {
        std::string_view line;
        if (!nextLine(line)) return nullptr;
        try {
            parseRow(line, m_columns, m_row);
        } catch (const std::runtime_error& e) {
            fail(where() + ": " + e.what());
        }
        return &m_row;
    }

    std::string where() const override { return m_sourceName + ":" + std::to_string(m_line); }

private:
    // The next line that is neither empty nor a comment, without its line end.
    bool nextLine(std::string_view& line) {
        while (m_pos < m_text.size()) {
            std::size_t end = m_text.find('\n', m_pos);
            if (end == std::string_view::npos) end = m_text.size();
            line = m_text.substr(m_pos, end - m_pos);
            m_pos = end + 1;
            ++m_line;
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            if (!line.empty() && line.front() != '#') return true;
        }
        return false;
    }

    std::string m_owned;
    std::string_view m_text;
    std::string m_tableName;
    std::string m_sourceName;
    std::vector<Column> m_columns;
    std::vector<Cell> m_row;
    std::size_t m_pos = 0;
    int m_line = 0;
};

std::string readFile(const std::string& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    if (!in) fail(path + ": cannot open the file");
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) fail(path + ": cannot read the file");
    return std::move(content).str();
}

}  // namespace

Table parseTextTable(std::string_view text, const std::string& tableName,
                     const std::string& sourceName) {
    TextTableSource source({}, text, tableName, sourceName.empty() ? tableName : sourceName);
    Table table{tableName, source.columns(), {}};
    while (const std::vector<Cell>* row = source.next()) {
        for (std::size_t i = 0; i < row->size(); ++i) {
            try {
                detail::checkCell(table.columns[i], (*row)[i]);
            } catch (const std::runtime_error& e) {
                fail(source.where() + ": " + e.what());
            }
        }
        table.rows.push_back(*row);
    }
    return table;
}

Table readTextTable(const std::string& path, const std::string& tableName) {
    return parseTextTable(readFile(path), tableName, path);
}

std::unique_ptr<RowSource> openTextTable(const std::string& path, const std::string& tableName) {
    std::string text = readFile(path);
    return std::make_unique<TextTableSource>(std::move(text), std::string_view(), tableName, path);
}

}  // namespace velmora::jetwrite
