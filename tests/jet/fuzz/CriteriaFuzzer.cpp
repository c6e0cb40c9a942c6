// libFuzzer entry for the criteria and SELECT parsers and the evaluator:
// every input must parse and evaluate, or be refused with CriteriaError.
// Built only with -DVELMORA_FUZZ=ON and Clang; see tests/jet/CMakeLists.txt.
#include <cstddef>
#include <cstdint>
#include <string>

#include "jet/Criteria.h"
#include "jet/CriteriaError.h"
#include "jet/SelectQuery.h"
#include "jet/TableSearch.h"

namespace {

std::shared_ptr<const velmora::jet::Table> fuzzTable() {
    using velmora::jet::ColumnKind;
    velmora::jet::TableBuilder b("Prova");
    b.addColumn("Tipo", ColumnKind::Number);
    b.addColumn("Sigla", ColumnKind::Text);
    b.addColumn("Descrizione", ColumnKind::Text);
    const char* texts[][2] = {{"I", "ITALIA"}, {"CT", " CATANIA "}, {"ct", "città"}};
    for (int r = 0; r < 3; ++r) {
        b.addRow();
        b.setNumber(0, r * 1.5);
        b.setText(1, texts[r][0]);
        b.setText(2, texts[r][1]);
    }
    b.addRow();
    return b.finish();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static auto table = fuzzTable();
    static velmora::jet::TableSearch search(table, true);
    std::string text(reinterpret_cast<const char*>(data), size);
    try {
        std::shared_ptr<const velmora::jet::Criteria> criteria;
        std::vector<velmora::jet::OrderKey> order;
        if (velmora::jet::SelectQuery::isQuery(text)) {
            auto q = velmora::jet::SelectQuery::parse(text);
            criteria = q.where;
            order = q.orderBy;
        } else {
            criteria = velmora::jet::Criteria::parse(text);
        }
        std::shared_ptr<const velmora::jet::BoundCriteria> bound;
        if (criteria) bound = search.bind(text, criteria);
        auto rows = search.select(bound.get());
        search.sort(rows, order);
        if (bound) search.findFrom(*bound, 0);
    } catch (const velmora::jet::CriteriaError&) {
    }
    return 0;
}
