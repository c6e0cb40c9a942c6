// The row walk. A slot flagged deleted is skipped; a slot flagged as a
// pointer holds (page << 8 | row) of where an update moved its row, which is
// read from there, in the pointer's place, and not a second time where it
// lies (there its slot may carry the deleted flag, which hides it from
// scans).
#include "jet/RowWalk.h"

#include <unordered_set>

#include "jet/UsageMap.h"

namespace velmora::jet {

namespace {

std::uint64_t key(std::uint32_t page, std::uint32_t row) {
    return (static_cast<std::uint64_t>(page) << 16) | row;
}

std::string where(std::uint32_t page, std::uint32_t row) { return RowPlace{page, row}.text(); }

}  // namespace

void RowWalker::walk(const Sink& sink) {
    checkMapRow(m_file, m_table.freeMap, m_table.name);
    const std::vector<std::uint32_t> pages = mappedPages(m_file, m_table.usedMap, m_table.name);
    std::unordered_set<std::uint64_t> movedTargets;
    std::vector<Slot> slots;
    for (std::uint32_t page : pages) {
        pageSlots(page, slots);
        for (const Slot& s : slots)
            if (s.pointer) movedTargets.insert(key(s.targetPage, s.targetRow));
    }
    std::size_t found = 0;
    for (std::uint32_t page : pages) {
        pageSlots(page, slots);  // m_page holds the page from here on
        for (const Slot& s : slots) {
            if (s.pointer) {
                const RowSpan& span = movedRow(s);
                sink(m_target, span, RowPlace{s.targetPage, s.targetRow});
            } else if (movedTargets.count(key(page, s.row))) {
                continue;  // read through its pointer
            } else {
                RowSpan span;
                rowSpan(m_file.format(), m_page, s.row, span);  // checked by pageSlots
                sink(m_page, span, RowPlace{page, s.row});
            }
            ++found;
        }
    }
    if (m_countChecked && found < m_table.rowCount) {
        inconsistent("la tabella " + m_table.name + " dichiara " +
                     std::to_string(m_table.rowCount) + " schede, se ne leggono " +
                     std::to_string(found));
    }
}

// Whether a page listed in the usage map (or, `required`, holding a moved
// row) is a data page of this table. A page that is no page at all is
// damaged, and so is a data page whose owner is no table definition. A well
// formed page of another table or kind is passed over: a page freed and
// taken by another table may keep its bit (such maps are met in large
// files); the row count still finds any row it took away.
bool RowWalker::isOwnDataPage(std::uint32_t page, const PageBuffer& p, bool required) {
    if (p[0] == kPageData && get32(p.data() + 4) == m_table.page) return true;
    const bool wellFormed = p[0] >= kPageData && p[0] <= kPageMap && p[1] == 0x01 &&
                            (p[0] != kPageData || get32(p.data() + 4) < m_file.pageCount());
    if (required || !wellFormed)
        damaged("pagina " + std::to_string(page) + ": pagina di dati della tabella attesa");
    if (p[0] == kPageData) {
        const std::uint32_t owner = get32(p.data() + 4);
        if (owner != 0) m_file.read(owner, m_owner);
        if (owner == 0 || m_owner[0] != kPageDefinition) {
            inconsistent("la pagina " + std::to_string(page) + " elencata dalla tabella " +
                         m_table.name + " non appartiene ad alcuna tabella");
        }
    }
    return false;
}

// The live slots of one page of the usage map (none for a page that is not
// this table's); the page stays in m_page.
void RowWalker::pageSlots(std::uint32_t page, std::vector<Slot>& slots) {
    slots.clear();
    m_file.read(page, m_page);
    if (!isOwnDataPage(page, m_page, false)) return;
    const JetFormat& f = m_file.format();
    unsigned rows = 0;
    if (!slotCount(f, m_page, rows))
        damaged("pagina " + std::to_string(page) + ": numero di righe non valido");
    for (unsigned row = 0; row < rows; ++row) {
        RowSpan span;
        if (get16(m_page.data() + f.rowCountOffset + 2 + 2 * row) & kDeletedFlag) continue;
        if (!rowSpan(f, m_page, row, span))
            damaged(where(page, row) + ": posizione della riga non valida");
        checkRowPlace(page, row, rows, span);
        if (span.flags & kPointerFlag) {
            if (span.size() < 4) damaged(where(page, row) + ": rimando non valido");
            const std::uint32_t target = get32(m_page.data() + span.start);
            slots.push_back({page, row, true, target >> 8, target & 0xFF});
        } else if (span.size() > 0) {
            slots.push_back({page, row, false, 0, 0});
        }
    }
}

// Checks that a live row lies after the slot table of its page (rows fill
// the page from its end).
void RowWalker::checkRowPlace(std::uint32_t page, unsigned row, unsigned rows,
                              const RowSpan& span) const {
    if (span.start < m_file.format().slotsEnd(rows)) {
        inconsistent("la tabella " + m_table.name + " ha una scheda fuori posto (" +
                     where(page, row) + ")");
    }
}

// The row a pointer names, read into m_target: a live row (not a further
// pointer) of a data page of this table.
const RowSpan& RowWalker::movedRow(const Slot& s) {
    const JetFormat& f = m_file.format();
    m_file.read(s.targetPage, m_target);
    isOwnDataPage(s.targetPage, m_target, true);
    unsigned rows = 0;
    if (!slotCount(f, m_target, rows) || s.targetRow >= rows ||
        !rowSpan(f, m_target, s.targetRow, m_span)) {
        damaged(where(s.targetPage, s.targetRow) + ": posizione della riga non valida");
    }
    if (m_span.flags & kPointerFlag)
        damaged(where(s.targetPage, s.targetRow) + ": il rimando porta a un altro rimando");
    checkRowPlace(s.targetPage, s.targetRow, rows, m_span);
    return m_span;
}

}  // namespace velmora::jet
