// The code lookups. Every call opens "Comuni.mdb" and "CodiciVari", runs its
// searches in order until one decides, and closes the database again; the
// engine's table cache makes the reopening cheap.
#include "stays/CodeLookups.h"

#include <memory>

#include "core/FileNames.h"
#include "core/Text.h"
#include "stays/OpenedDatabase.h"

namespace velmora {

namespace {

constexpr const char* kCodesTable = "CodiciVari";

// The codes table of one lookup, open from construction to close().
class CodesTable {
public:
    CodesTable(DBEngine& engine, LookupTrace* trace)
        : m_db(engine, kCodesDatabase),
          m_codes(m_db->OpenRecordset(kCodesTable, dbOpenDynaset)),
          m_trace(trace) {}

    // FindFirst with the criterion; whether a row was found.
    bool find(int step, const std::string& criterion) {
        m_codes->FindFirst(criterion);
        const bool found = !m_codes->NoMatch();
        if (m_trace) {
            LookupTrace::Step s;
            s.number = step;
            s.criterion = criterion;
            s.found = found;
            if (found) {
                FieldValue code = m_codes->Fields("CodicePS");
                if (!code.isNull()) s.codicePS = code.asText();
                s.descrizione = m_codes->Fields("Descrizione").asText();
                s.provincia = m_codes->Fields("Provincia").asText();
                s.dataDal = m_codes->Fields("DataDal").asText();
                s.dataFinoA = m_codes->Fields("DataFinoA").asText();
            }
            m_trace->steps.push_back(std::move(s));
        }
        return found;
    }

    // A text column of the row found last; Null reads as empty text.
    std::string field(const char* column) const { return m_codes->Fields(column).asText(); }

    // CodicePS of the deciding row; a Null code gives nine blanks.
    std::string decidingCode() const {
        FieldValue code = m_codes->Fields("CodicePS");
        if (code.isNull()) {
            if (m_trace) m_trace->nullCode = true;
            return kNoCode;
        }
        return code.asText();
    }

    void close() {
        m_codes.reset();
        m_db.close();
    }

private:
    OpenedDatabase m_db;
    std::unique_ptr<Recordset> m_codes;
    LookupTrace* m_trace;
};

std::string validNameCriterion(const std::string& name) {
    return namedPlaceCriterion(name) + " and DataFinoA = ' '";
}

// Steps 2 to 4, shared by PlaceCode and PlaceCodeAtDate: the first
// municipality row of the name, its province, and the place valid today that
// is named like that province.
std::string provinceFallBack(CodesTable& codes, const std::string& name) {
    if (!codes.find(2, "Tipo = 3 and Trim(Descrizione) = '" + quoteCriterionText(name) + "'"))
        return kNoCode;
    const std::string province = codes.field("Provincia");
    if (!codes.find(3, "Tipo = 2 and Sigla = '" + quoteCriterionText(province) + "'"))
        return kNoCode;
    // Compared with Trim(Descrizione), so the province name goes in trimmed
    // too: a padded name could never match otherwise.
    const std::string provinceName = trimBlanks(codes.field("Descrizione"));
    if (!codes.find(4, validNameCriterion(provinceName))) return kNoCode;
    return codes.decidingCode();
}

}  // namespace

std::string quoteCriterionText(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 2);
    for (char c : text) {
        out += c;
        if (c == '\'') out += '\'';
    }
    return out;
}

const std::vector<std::string>& codesColumnsRead() {
    static const std::vector<std::string> columns{"Tipo",     "Sigla",     "Descrizione", "Provincia",
                                                  "CodicePS", "DataDal", "DataFinoA"};
    return columns;
}

std::string namedPlaceCriterion(const std::string& name) {
    return "(Tipo = 0 or Tipo = 3) and Trim(Descrizione) = '" + quoteCriterionText(name) + "'";
}

std::string StateCode(DBEngine& engine, const std::string& abbreviation, LookupTrace* trace) {
    CodesTable codes(engine, trace);
    std::string result = kNoCode;
    if (codes.find(1, "Tipo = 0 and Sigla = '" + quoteCriterionText(abbreviation) + "'"))
        result = codes.decidingCode();
    codes.close();
    return result;
}

std::string PlaceCode(DBEngine& engine, const std::string& name, LookupTrace* trace) {
    const std::string n = trimBlanks(name);
    CodesTable codes(engine, trace);
    std::string result =
        codes.find(1, validNameCriterion(n)) ? codes.decidingCode() : provinceFallBack(codes, n);
    codes.close();
    return result;
}

std::string PlaceCodeAtDate(DBEngine& engine, const std::string& name, const std::string& date,
                            LookupTrace* trace) {
    const std::string n = trimBlanks(name);
    const std::string d = quoteCriterionText(date);
    CodesTable codes(engine, trace);
    const std::string atDate = namedPlaceCriterion(n) + " and DataDal <= '" + d +
                               "' and (DataFinoA = ' ' or DataFinoA >= '" + d + "')";
    std::string result = codes.find(1, atDate) ? codes.decidingCode() : provinceFallBack(codes, n);
    codes.close();
    return result;
}

}  // namespace velmora
