// The walk over a table's rows in the file's order, with the checks that keep
// a damaged table from reading as a shorter one: every page of the usage map
// must be a well-formed page, a data page must belong to a table, a row must
// lie after its page's slot table, a moved row is read once (where its
// pointer stands), and the rows found must be at least as many as the
// definition declares.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "jet/JetFile.h"
#include "jet/TableDefinition.h"

namespace velmora::jet {

// Where a row lies, for messages.
struct RowPlace {
    std::uint32_t page = 0, row = 0;
    std::string text() const {
        return "pagina " + std::to_string(page) + ", riga " + std::to_string(row);
    }
};

class RowWalker {
public:
    // The row bytes are page[row.start, row.end), valid during the call.
    using Sink = std::function<void(const PageBuffer& page, const RowSpan& row, const RowPlace&)>;

    // With countChecked, the rows found must be at least as many as the
    // definition declares: a deleted row counts for nothing, a moved row
    // once. (Access lets the count lag behind the rows it inserts; a page
    // lost or emptied by damage leaves fewer.)
    RowWalker(const JetFile& file, const TableDef& table, bool countChecked)
        : m_file(file), m_table(table), m_countChecked(countChecked) {}

    // Calls sink for every live row. Two passes over the pages, holding one
    // page's slots at a time: the first finds the targets of moved rows, the
    // second reads the rows. Throws MdbFileError.
    void walk(const Sink& sink);

private:
    struct Slot {
        std::uint32_t page, row;
        bool pointer;
        std::uint32_t targetPage, targetRow;
    };

    bool isOwnDataPage(std::uint32_t page, const PageBuffer& p, bool required);
    void pageSlots(std::uint32_t page, std::vector<Slot>& slots);
    void checkRowPlace(std::uint32_t page, unsigned row, unsigned rows, const RowSpan& span) const;
    const RowSpan& movedRow(const Slot& s);

    const JetFile& m_file;
    const TableDef& m_table;
    bool m_countChecked;
    PageBuffer m_page, m_target, m_owner;
    RowSpan m_span;
};

}  // namespace velmora::jet
