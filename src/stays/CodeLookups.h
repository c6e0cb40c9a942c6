// State and place codes from the table "CodiciVari" of the codes database
// "Comuni.mdb": a state abbreviation, a place valid today or a place valid at
// a birth date become the row's CodicePS, or nine blanks when no row decides.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "jet/DBEngine.h"

namespace velmora {

// The result of a lookup that settles on no row.
inline constexpr const char* kNoCode = "         ";

// What one lookup did, step by step, for whoever needs to explain a result
// (nine blanks in particular). Filling it does not change the result.
struct LookupTrace {
    struct Step {
        int number = 0;         // 1 to 4
        std::string criterion;  // exactly as passed to FindFirst
        bool found = false;
        // Columns of the row found (empty when not found):
        std::optional<std::string> codicePS;  // nullopt for a Null CodicePS
        std::string descrizione;
        std::string provincia;
        std::string dataDal;
        std::string dataFinoA;
    };
    std::vector<Step> steps;
    // The deciding row had a Null CodicePS, so the result is nine blanks.
    bool nullCode = false;
};

// Criterion "Tipo = 0 and Sigla = '<abbreviation>'", the abbreviation as
// passed (not trimmed).
std::string StateCode(DBEngine& engine, const std::string& abbreviation,
                      LookupTrace* trace = nullptr);

// A state or municipality of that name (outer blanks removed) valid today;
// for a municipality that has only ended rows, the valid state or municipality
// named like the province of the first of them.
std::string PlaceCode(DBEngine& engine, const std::string& name, LookupTrace* trace = nullptr);

// As PlaceCode, but the first step asks for a row valid at `date` (YYYYMMDD,
// both ends of the validity window included); the province fall-back still
// asks for a row valid today.
std::string PlaceCodeAtDate(DBEngine& engine, const std::string& name, const std::string& date,
                            LookupTrace* trace = nullptr);

// A text as it goes between the single quotes of a criterion: every single
// quote doubled ("SANT'AGATA" → "SANT''AGATA").
std::string quoteCriterionText(const std::string& text);

// Every column of CodiciVari the lookups and the check read.
const std::vector<std::string>& codesColumnsRead();

// Every state or municipality row named name (compared with the trimmed
// Descrizione), whatever its validity; the lookups add their date bounds.
std::string namedPlaceCriterion(const std::string& name);

}  // namespace velmora
