// Texts of the check's findings. Each names the column and the value that
// cause the problem, so that the receptionist can find them in the hotel's
// program, and says what to change there.
#include "check/CheckExplain.h"

#include "core/FileNames.h"
#include "core/Text.h"
#include "stays/CodeLookups.h"
#include "stays/StayValues.h"

namespace velmora {

namespace {

constexpr const char* kPlaceFormat =
    "comune, sigla della provincia e sigla dello stato, es. 'CATANIA CT I'";

std::string quoted(const std::string& text) { return "'" + text + "'"; }

bool isBlank(const std::string& text) { return trimBlanks(text).empty(); }

// "riga valida dal 01/01/1900" or "riga valida dal 01/01/1934 al 31/12/1983".
std::string validity(const std::string& dataDal, const std::string& dataFinoA) {
    std::string out = "riga valida dal " + shownDate(dataDal);
    if (!isBlank(dataFinoA)) out += " al " + shownDate(dataFinoA);
    return out;
}

// What the steps of a place lookup that ended in nine blanks found.
std::string placeReason(const CodeLookupNote& lookup, const std::optional<NamedCodesRow>& named) {
    const bool atDate = lookup.routine == "PlaceCodeAtDate";
    const std::string name = quoted(lookup.text);
    const std::string when = atDate ? "alla data di nascita " + shownDate(lookup.date) : "oggi";
    const auto& steps = lookup.trace.steps;
    const LookupTrace::Step* step2 = steps.size() > 1 ? &steps[1] : nullptr;
    if (!step2 || !step2->found) {
        if (named) {
            return name + " è in " + kCodesDatabase + " ma non è valido " + when + " (" +
                   validity(named->dataDal, named->dataFinoA) + ")";
        }
        return "nessun comune o stato di nome " + name + " in " + kCodesDatabase;
    }
    std::string reason = "il comune " + name + " non ha in " + kCodesDatabase +
                         " una riga valida " + when + " (la prima trovata è la " +
                         validity(step2->dataDal, step2->dataFinoA) + ", provincia " +
                         quoted(step2->provincia) + ")";
    const LookupTrace::Step* step3 = steps.size() > 2 ? &steps[2] : nullptr;
    if (!step3 || !step3->found) {
        return reason + " e nessuna provincia ha la sigla " + quoted(step2->provincia) +
               ", quindi manca anche il ripiego sul comune della provincia";
    }
    return reason +
           " e il ripiego sulla provincia non trova un comune o stato valido oggi di nome " +
           quoted(trimBlanks(step3->descrizione));
}

}  // namespace

std::string GuestElementName(const std::string& path) {
    static const struct {
        const char* path;
        const char* name;
    } kNames[] = {
        {"GuestId", "codice dell'ospite"},
        {"Age", "età"},
        {"NationalityCode", "cittadinanza"},
        {"BirthPlaceCode", "luogo di nascita"},
        {"ResidencePlaceCode", "residenza"},
        {"Type", "tipo di alloggiato"},
        {"Gender", "sesso"},
        {"ArrivalDate", "data di arrivo"},
        {"DepartureDate", "data di partenza"},
        {"Checkout", "partenza avvenuta"},
        {"BedOccupancy", "occupazione del letto"},
        {"Rooms/Room/RoomId", "camera"},
        {"Rooms/Room/StartDate", "inizio in camera"},
        {"Rooms/Room/EndDate", "fine in camera"},
    };
    for (const auto& n : kNames) {
        if (path != n.path) continue;
        const std::size_t slash = path.rfind('/');
        return std::string(n.name) + " (" +
               (slash == std::string::npos ? path : path.substr(slash + 1)) + ")";
    }
    return path;
}

std::string shownDate(const std::string& stored) {
    if (isBlank(stored)) return "vuota";
    if (formsDate(stored))
        return stored.substr(6, 2) + "/" + stored.substr(4, 2) + "/" + stored.substr(0, 4);
    return quoted(stored);
}

bool lookupFails(const CodeLookupNote& lookup) {
    if (lookup.result == kNoCode) return true;
    return lookup.element == "BirthPlaceCode" && lookup.column == "LuogoNascita" &&
           isBlank(lookup.text);
}

FindingText explainLookup(const std::vector<std::string>& elements, const CodeLookupNote& lookup,
                          const std::optional<NamedCodesRow>& namedRow) {
    std::vector<std::string> names;
    for (const std::string& e : elements) names.push_back(GuestElementName(e));
    const std::string subject = "Codice di " + joinAnd(names) +
                                (names.size() > 1 ? " vuoti" : " vuoto") + " (nove spazi): ";
    const std::string column = " (colonna " + lookup.column + ")";

    if (lookup.routine == "StateCode") {
        if (isBlank(lookup.text))
            return {subject + "lo stato" + column + " è vuoto.",
                    "indicare nella scheda la sigla dello stato ('I' per l'Italia)."};
        if (lookup.trace.nullCode)
            return {subject + "lo stato " + quoted(lookup.text) + " è in " + kCodesDatabase +
                        " senza CodicePS.",
                    "completare il codice dello stato in " + std::string(kCodesDatabase) + "."};
        return {subject + "nessuno stato con la sigla " + quoted(lookup.text) + column + " in " +
                    kCodesDatabase + ".",
                "correggere la sigla dello stato nella scheda."};
    }

    if (isBlank(lookup.text)) {
        if (lookup.column == "LuogoNascita") {
            const std::string stored = trimBlanks(lookup.storedText);
            if (stored.empty())
                return {subject + "il luogo di nascita (colonna LuogoNascita) è vuoto.",
                        "indicare il luogo di nascita nella scheda (" + std::string(kPlaceFormat) +
                            ")."};
            if (stored == "***")
                return {subject + "il luogo di nascita è sconosciuto ('***').",
                        "indicare il luogo di nascita nella scheda (" + std::string(kPlaceFormat) +
                            ")."};
            return {subject + "dal luogo di nascita " + quoted(lookup.storedText) +
                        " non resta alcun nome: dopo il comune mancano la provincia e lo stato.",
                    "scrivere il luogo di nascita come " + std::string(kPlaceFormat) + "."};
        }
        return {subject + "la colonna " + lookup.column + " è vuota.",
                "indicare il comune di residenza nella scheda."};
    }

    std::string looked = lookup.column == "LuogoNascita" && lookup.storedText != lookup.text
                             ? " (ricavato dal luogo di nascita " + quoted(lookup.storedText) + ")"
                             : column;
    if (lookup.trace.nullCode)
        return {subject + "la riga di " + kCodesDatabase + " scelta per " + quoted(lookup.text) +
                    looked + " non ha CodicePS.",
                "completare il codice in " + std::string(kCodesDatabase) + "."};

    const std::string reason = placeReason(lookup, namedRow);
    const bool unknownName = lookup.trace.steps.size() < 2 || !lookup.trace.steps[1].found;
    std::string fix;
    if (unknownName && !namedRow) {
        fix = lookup.column == "LuogoNascita"
                  ? "correggere il luogo di nascita nella scheda (" + std::string(kPlaceFormat) +
                        ", con il nome del comune scritto come in " + kCodesDatabase + ")."
                  : "correggere nella scheda il nome del luogo (colonna " + lookup.column +
                        ") come è scritto in " + kCodesDatabase + ".";
    } else if (lookup.routine == "PlaceCodeAtDate") {
        fix =
            "verificare nella scheda la data di nascita e il luogo di nascita; se sono giusti, "
            "aggiornare " +
            std::string(kCodesDatabase) + ".";
    } else {
        fix = "scrivere nella scheda il comune attuale al posto di quello cessato, o aggiornare " +
              std::string(kCodesDatabase) + ".";
    }
    return {subject + reason + looked + ".", fix};
}

FindingText explainBlocking(const GuestNote& guest, const std::string& column,
                            const std::string& message) {
    std::string problem = message;
    if (column == "DataArrivo") problem += " (" + shownDate(guest.dataArrivo) + ")";
    if (column == "DataNascita") problem += " (" + shownDate(guest.dataNascita) + ")";
    problem +=
        ". L'esportazione si fermerebbe qui: questo documento e quelli dei giorni seguenti non "
        "verrebbero inviati. Non verificate in questo documento: ";
    problem += guest.database == kHistoryDatabase
                   ? "le schede seguenti di " + std::string(kHistoryDatabase) +
                         " e tutte quelle di Scheda_Cliente.mdb."
                   : "le schede seguenti di " + guest.database + ".";
    std::string fix;
    if (column == "NumeroProgressivo")
        fix = "assegnare alla scheda il suo numero progressivo.";
    else if (column == "DataArrivo")
        fix = "correggere la data di arrivo nella scheda.";
    else
        fix = "correggere la data di nascita nella scheda.";
    return {problem, fix};
}

FindingText explainSkip(const GuestNote& guest, GuestDecision decision) {
    const std::string withMembers = guest.isHead ? ", con gli eventuali componenti" : "";
    switch (decision) {
        case GuestDecision::SkippedNameMarker:
            return {std::string("Scheda annullata nello storico (NomeCliente '") +
                        (guest.isHead ? "*** p***" : "*** p**") + "'): non viene inviata" +
                        withMembers + ".",
                    "nulla, se la scheda è davvero annullata."};
        case GuestDecision::SkippedNoLaterDeparture: {
            std::string why;
            if (isBlank(guest.dataPartenzaReale))
                why = "manca la data di partenza reale";
            else if (guest.dataPartenzaReale == guest.dataArrivo)
                why = "arrivo e partenza reale nello stesso giorno (" +
                      shownDate(guest.dataArrivo) + ")";
            else
                why = "la partenza reale (" + shownDate(guest.dataPartenzaReale) +
                      ") non viene dopo l'arrivo (" + shownDate(guest.dataArrivo) + ")";
            return {
                "Soggiorno dello storico senza pernottamento: " + why + "; non viene inviato" +
                    withMembers + ".",
                "se l'ospite ha pernottato, correggere la data di partenza reale nella scheda."};
        }
        case GuestDecision::Written:
            break;
    }
    return {"Scheda esclusa.", "nulla."};
}

FindingText explainSkippedWithHead(long long head, GuestDecision headDecision) {
    std::string why;
    switch (headDecision) {
        case GuestDecision::SkippedNameMarker:
            why = "scheda annullata";
            break;
        case GuestDecision::SkippedNoLaterDeparture:
            why = "soggiorno senza pernottamento";
            break;
        case GuestDecision::Written:
            why = "esclusa";
            break;
    }
    return {"Componente escluso insieme al suo capo, la scheda " + std::to_string(head) + " (" +
                why + ").",
            "nulla, se il capo è escluso a ragione; altrimenti correggere la scheda del capo."};
}

FindingText explainBeforeInitialDate(const std::string& dataArrivo,
                                     const std::string& initialDate) {
    return {"Arrivo " + shownDate(dataArrivo) + " prima della data iniziale " +
                shownDate(initialDate) + " di QLBDataI.txt: la scheda non viene inviata.",
            "nulla, se il soggiorno è già stato inviato; altrimenti anticipare la data iniziale in "
            "QLBDataI.txt."};
}

FindingText explainNoRole(const std::string& dataArrivo, const std::string& capoFamiglia,
                          const std::string& capoGruppo) {
    if (!formsDate(dataArrivo))
        return {"Data di arrivo " + shownDate(dataArrivo) +
                    ": la scheda non entra in nessun documento.",
                "correggere la data di arrivo nella scheda."};
    return {"La scheda non è segnata né come capo (CapoFamiglia " + quoted(capoFamiglia) +
                ", CapoGruppo " + quoted(capoGruppo) +
                ") né come componente (CodiceCapoFamiglia e CodiceCapoGruppo a 0): non entra in "
                "nessun documento.",
            "segnare la scheda come ospite singolo, capofamiglia, capogruppo o componente."};
}

FindingText explainMemberLoss(const MemberLoss& loss) {
    const bool arrivals = loss.kind == "A";
    const std::string ref = std::to_string(loss.reference);
    const std::string link = loss.viaFamily ? "CodiceCapoFamiglia" : "CodiceCapoGruppo";
    const std::string whose = loss.viaFamily ? "del nucleo familiare" : "del gruppo";
    if (loss.headInWindow) {
        const HeadSeen& h = *loss.headInWindow;
        std::string why;
        if (h.capoFamiglia == "S" && !loss.viaFamily)
            why = "è capofamiglia e i suoi componenti si cercano per CodiceCapoFamiglia";
        else if (h.capoFamiglia != "S" && h.capoGruppo == "S" && loss.viaFamily)
            why = "è capogruppo e i suoi componenti si cercano per CodiceCapoGruppo";
        else
            why = "ha CapoFamiglia " + quoted(h.capoFamiglia) + " e CapoGruppo " +
                  quoted(h.capoGruppo) + ", quindi i suoi componenti non vengono cercati";
        return {"Componente " + whose + " " + ref + " (" + link + "), ma la scheda " +
                    std::to_string(h.numeroProgressivo) + " " + why +
                    ": questa scheda non entra in nessun documento.",
                "correggere il collegamento al capo nella scheda (CodiceCapoFamiglia o "
                "CodiceCapoGruppo) oppure CapoFamiglia / CapoGruppo nella scheda del capo."};
    }
    std::string problem = "Componente " + whose + " " + ref + " (" + link +
                          "), ma il capo non è tra " + (arrivals ? "gli arrivi" : "le partenze") +
                          " di questo giorno";
    if (loss.headElsewhere) {
        const auto& [arrival, departure] = *loss.headElsewhere;
        problem += " (la scheda " + ref + " arriva il " + shownDate(arrival);
        if (!arrivals) {
            problem += isBlank(departure) ? " e non ha ancora la data di partenza reale"
                                          : " e parte il " + shownDate(departure);
        }
        problem += ")";
    } else if (loss.searchedElsewhere) {
        problem += " (nessuna scheda con numero " + ref + " nell'archivio)";
    }
    problem += ": questa scheda non entra in nessun documento.";
    return {problem,
            arrivals
                ? "allineare la data di arrivo del componente a quella del suo capo, o "
                  "collegarlo al capo giusto."
                : "allineare la data di partenza reale del componente a quella del suo capo, o "
                  "collegarlo al capo giusto."};
}

std::optional<FindingText> explainDates(const WrittenGuest& guest) {
    const std::string& departure = guest.departureDate;
    const std::string column = guest.departureColumn;
    const std::string what =
        column == "DataPartenza" ? "data di partenza prevista" : "data di partenza reale";
    if (!formsDate(departure))
        return FindingText{"La " + what + " (colonna " + column + ") è " +
                               (isBlank(departure) ? "vuota" : "non valida: " + quoted(departure)) +
                               ": il servizio rifiuta la data di partenza.",
                           "correggere la " + what + " nella scheda."};
    if (departure < guest.arrivalDate)
        return FindingText{"La " + what + " " + shownDate(departure) + " (colonna " + column +
                               ") viene prima dell'arrivo " + shownDate(guest.arrivalDate) + ".",
                           "correggere la data di partenza o quella di arrivo nella scheda."};
    return std::nullopt;
}

std::optional<FindingText> explainAge(const WrittenGuest& guest) {
    if (guest.age >= 0 && guest.age <= 120) return std::nullopt;
    return FindingText{"Età calcolata " + std::to_string(guest.age) + " anni (nascita " +
                           shownDate(guest.guest.dataNascita) + ", arrivo " +
                           shownDate(guest.arrivalDate) + "): il servizio accetta da 0 a 120.",
                       "correggere la data di nascita nella scheda."};
}

}  // namespace velmora
