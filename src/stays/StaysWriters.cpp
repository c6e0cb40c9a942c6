// One writer for both guest databases, with the history's differences as a
// profile. Heads come from one query, members from another opened beside it
// and searched per head with FindFirst / FindNext; each line is written as
// soon as its value is known, code lookups in between.
#include "stays/StaysWriters.h"

#include <cmath>
#include <functional>
#include <memory>

#include "core/FileNames.h"
#include "core/RunError.h"
#include "core/Text.h"
#include "core/Utf8.h"
#include "jet/JetEngine.h"
#include "stays/CodeLookups.h"
#include "stays/OpenedDatabase.h"
#include "stays/PostedDocument.h"
#include "stays/SplitPlace.h"
#include "stays/StayValues.h"
#include "stays/StaysObserver.h"

namespace velmora {

namespace {

struct Profile {
    const char* database;
    bool history;
    const char* timeSuffix;
};

constexpr Profile kRegister{kRegisterDatabase, false, kRegisterTimeSuffix};
constexpr Profile kHistory{kHistoryDatabase, true, kHistoryTimeSuffix};

constexpr const char* kHeadMarker = "*** p***";
constexpr const char* kMemberMarker = "*** p**";
constexpr const char* kEveryRecord = "NumeroHotel = 1";

// The columns a guest's ids, age and skip rules need, with their Null.
struct GuestKeys {
    FieldValue numero;
    FieldValue dataArrivo;
    FieldValue dataNascita;
    FieldValue dataPartenzaReale;
    FieldValue nomeCliente;  // history only
    GuestNote note;
};

GuestKeys readGuestKeys(const Recordset& rs, const std::string& database, bool history,
                        bool isHead, std::optional<long long> head) {
    GuestKeys k;
    k.numero = rs.Fields("NumeroProgressivo");
    k.dataArrivo = rs.Fields("DataArrivo");
    k.dataNascita = rs.Fields("DataNascita");
    k.dataPartenzaReale = rs.Fields("DataPartenzaReale");
    if (history) k.nomeCliente = rs.Fields("NomeCliente");

    GuestNote& n = k.note;
    n.database = database;
    n.isHead = isHead;
    n.numeroProgressivo = NumeroProgressivoOf(k.numero);
    n.headNumeroProgressivo = head;
    n.room = rs.Fields("NumeroCamera").asText();
    if (!k.nomeCliente.isNull()) n.nomeCliente = k.nomeCliente.asText();
    n.dataArrivo = k.dataArrivo.asText();
    n.dataPartenzaReale = k.dataPartenzaReale.asText();
    n.dataNascita = k.dataNascita.asText();
    n.capoFamiglia = rs.Fields("CapoFamiglia").asText();
    n.capoGruppo = rs.Fields("CapoGruppo").asText();
    n.codiceCapoFamiglia = rs.Fields("CodiceCapoFamiglia").asNumber();
    n.codiceCapoGruppo = rs.Fields("CodiceCapoGruppo").asNumber();
    return k;
}

// One record of Scheda_Cliente as the writer uses it. Text columns read Null
// as empty text; the columns the ids and the age need keep their Null.
struct GuestRecord : GuestKeys {
    std::string dataPartenza;  // register only
    std::string partito;       // register only
    std::string luogoNascita;
    std::string stato;
    std::string residenza;
    std::string sesso;

    long long numeroProgressivo() const { return note.numeroProgressivo.value_or(0); }
};

class StayWriter {
public:
    StayWriter(StaysContext& ctx, const Profile& profile, LineSink& out, const std::string& kind)
        : m_ctx(ctx), m_profile(profile), m_out(out), m_kind(kind) {}

    void run(const std::string& fromDay, const std::string& toDay) {
        const StaysQueries queries = staysQueries(m_ctx.state.InitialDate, fromDay, toDay, m_kind);
        OpenedDatabase db(m_ctx.engine, m_profile.database);
        auto heads = db->OpenRecordset(queries.heads, dbOpenDynaset);
        auto members = db->OpenRecordset(queries.members, dbOpenDynaset);

        heads->FindFirst(kEveryRecord);
        while (!heads->NoMatch()) {
            writeStay(*heads, *members);
            heads->FindNext(kEveryRecord);
        }
        if (m_ctx.observer) {
            members->FindFirst(kEveryRecord);
            while (!members->NoMatch()) {
                m_ctx.observer->memberSelected(
                    readGuestKeys(*members, m_profile.database, m_profile.history, false, {}).note);
                members->FindNext(kEveryRecord);
            }
        }
        members.reset();
        heads.reset();
        db.close();
    }

private:
    GuestRecord read(const Recordset& rs, bool isHead, std::optional<long long> head) const {
        auto text = [&rs](const char* column) { return rs.Fields(column).asText(); };
        GuestRecord r;
        static_cast<GuestKeys&>(r) =
            readGuestKeys(rs, m_profile.database, m_profile.history, isHead, head);
        if (!m_profile.history) {
            r.dataPartenza = text("DataPartenza");
            r.partito = text("Partito");
        }
        r.luogoNascita = text("LuogoNascita");
        r.stato = text("Stato");
        r.residenza = text("Residenza");
        r.sesso = text("Sesso");
        return r;
    }

    GuestDecision headDecision(const GuestRecord& head) const {
        if (!m_profile.history) return GuestDecision::Written;
        // A Null name reads as empty text: it is not the marker.
        if (head.nomeCliente.asText() == kHeadMarker) return GuestDecision::SkippedNameMarker;
        // Text comparison of the stored dates; a Null on either side fails it.
        if (head.dataArrivo.isNull() || head.dataPartenzaReale.isNull() ||
            !(head.dataArrivo.asText() < head.dataPartenzaReale.asText()))
            return GuestDecision::SkippedNoLaterDeparture;
        return GuestDecision::Written;
    }

    GuestDecision memberDecision(const GuestRecord& member) const {
        if (!m_profile.history) return GuestDecision::Written;
        if (member.nomeCliente.asText() == kMemberMarker) return GuestDecision::SkippedNameMarker;
        return GuestDecision::Written;
    }

    // Stops the run when the record lacks what its ids and age are made from.
    void checkWritable(const GuestRecord& r) const {
        if (!r.note.numeroProgressivo) {
            reject(r, "NumeroProgressivo", r.numero.isNull() ? "vuoto" : "non valido", r.numero);
        }
        checkDate(r, "DataArrivo", r.dataArrivo);
        checkDate(r, "DataNascita", r.dataNascita);
    }

    void checkDate(const GuestRecord& r, const char* column, const FieldValue& value) const {
        if (formsDate(value.asText())) return;
        const bool empty = value.isNull() || trimBlanks(value.asText()).empty();
        reject(r, column, empty ? "vuota" : "non valida", value);
    }

    [[noreturn]] void reject(const GuestRecord& r, const std::string& column, const char* what,
                             const FieldValue& value) const {
        std::string message = std::string("Dati non validi in ") + m_profile.database;
        if (r.note.numeroProgressivo)
            message += ", scheda " + std::to_string(*r.note.numeroProgressivo);
        message += ": " + column + " " + what;
        const std::string detail =
            "Tabella Scheda_Cliente, colonna " + column + ": " +
            (value.isNull() ? std::string("Null") : "'" + value.asText() + "'");
        if (m_ctx.observer) m_ctx.observer->recordRejected(r.note, column, message);
        throw RunError(message, detail);
    }

    void line(const std::string& text) {
        m_out.writeLine(text);
        if (!m_ctx.observer) return;
        // Fingerprints are taken of what is posted: the lines joined.
        m_stayText += text;
        m_guestText += text;
    }

    void writeStay(const Recordset& heads, Recordset& members) {
        const GuestRecord head = read(heads, true, std::nullopt);
        const GuestDecision decision = headDecision(head);
        if (m_ctx.observer) m_ctx.observer->guestConsidered(head.note, decision);
        if (decision != GuestDecision::Written) return;
        checkWritable(head);

        m_ctx.state.StaysWritten = 1;
        const long long number = head.numeroProgressivo();
        const std::string stayId =
            m_profile.history ? m_ctx.state.UserId + zeroFilled(number, 8)
                              : m_ctx.state.UserId + midCharacters(head.dataArrivo.asText(), 3, 2) +
                                    zeroFilled(number, 6);
        if (m_ctx.observer) m_stayText.clear();
        line("  <Stay>");
        line("   <HotelCode>" + xmlSafe(m_ctx.state.UserId) + "</HotelCode>");
        line("   <StayId>" + xmlSafe(stayId) + "</StayId>");
        line("   <Guests>");
        writeGuest(head);

        if (const auto link = MembersOf(head.note, m_profile.history)) {
            const std::string criterion = MemberCriterion(*link);
            members.FindFirst(criterion);
            while (!members.NoMatch()) {
                const GuestRecord member = read(members, false, number);
                const GuestDecision d = memberDecision(member);
                if (m_ctx.observer) m_ctx.observer->guestConsidered(member.note, d);
                if (d == GuestDecision::Written) {
                    checkWritable(member);
                    writeGuest(member);
                }
                members.FindNext(criterion);
            }
        }
        line("   </Guests>");
        line("  </Stay>");
        if (m_ctx.observer) m_ctx.observer->stayWritten(ElementFingerprint(m_stayText));
    }

    // A code lookup, told to the observer when there is one.
    std::string lookup(const GuestRecord& r, const char* element, const char* routine,
                       const char* column, const std::string& stored, const std::string& text,
                       const std::string& date,
                       const std::function<std::string(LookupTrace*)>& call) const {
        if (!m_ctx.observer) return call(nullptr);
        CodeLookupNote note{element, routine, column, stored, text, date, {}, {}};
        note.result = call(&note.trace);
        m_ctx.observer->codeLookedUp(r.note, note);
        return note.result;
    }

    std::string stateCode(const GuestRecord& r, const char* element) const {
        return lookup(r, element, "StateCode", "Stato", r.stato, r.stato, {},
                      [&](LookupTrace* t) { return StateCode(m_ctx.engine, r.stato, t); });
    }

    std::string placeCode(const GuestRecord& r, const char* element, const char* column,
                          const std::string& stored, const std::string& name) const {
        return lookup(r, element, "PlaceCode", column, stored, name, {},
                      [&](LookupTrace* t) { return PlaceCode(m_ctx.engine, name, t); });
    }

    std::string placeCodeAtDate(const GuestRecord& r, const char* element, const char* column,
                                const std::string& stored, const std::string& name,
                                const std::string& date) const {
        return lookup(r, element, "PlaceCodeAtDate", column, stored, name, date,
                      [&](LookupTrace* t) { return PlaceCodeAtDate(m_ctx.engine, name, date, t); });
    }

    void writeGuest(const GuestRecord& r) {
        const long long number = r.numeroProgressivo();
        const std::string arrival = r.dataArrivo.asText();
        const std::string birth = r.dataNascita.asText();

        m_guestText.clear();
        line("         <Guest>");
        const std::string guestId = GuestIdOf(number, arrival, m_profile.history);
        line("           <GuestId>" + xmlSafe(guestId) + "</GuestId>");
        const int age = completedYears(birth, arrival);
        line("           <Age>" + std::to_string(age) + "</Age>");

        const std::string nationality = stateCode(r, "NationalityCode");
        line("           <NationalityCode>" + xmlSafe(nationality) + "</NationalityCode>");

        std::string birthPlace;
        if (m_profile.history && r.luogoNascita == "***")
            birthPlace =
                placeCodeAtDate(r, "BirthPlaceCode", "Residenza", r.residenza, r.residenza, birth);
        else
            birthPlace = placeCodeAtDate(r, "BirthPlaceCode", "LuogoNascita", r.luogoNascita,
                                         SplitPlace(r.luogoNascita, 3), birth);
        line("           <BirthPlaceCode>" + xmlSafe(birthPlace) + "</BirthPlaceCode>");

        const std::string residence =
            r.stato == "I" || r.stato == " "
                ? placeCode(r, "ResidencePlaceCode", "Residenza", r.residenza, r.residenza)
                : stateCode(r, "ResidencePlaceCode");
        line("           <ResidencePlaceCode>" + xmlSafe(residence) + "</ResidencePlaceCode>");

        line("            <Type>" +
             std::to_string(guestType(r.note.capoFamiglia, r.note.codiceCapoFamiglia,
                                      r.note.codiceCapoGruppo, r.note.capoGruppo)) +
             "</Type>");
        line(std::string("           <Gender>") + genderCode(r.sesso) + "</Gender>");

        const bool actualDeparture = m_profile.history || r.partito == "S";
        const std::string departure =
            actualDeparture ? r.dataPartenzaReale.asText() : r.dataPartenza;
        const std::string arrivalTime = xmlSafe(dateTimeText(arrival, m_profile.timeSuffix));
        const std::string departureTime = xmlSafe(dateTimeText(departure, m_profile.timeSuffix));
        line("           <ArrivalDate>" + arrivalTime + "</ArrivalDate>");
        line("           <DepartureDate>" + departureTime + "</DepartureDate>");
        line(std::string("           <Checkout>") + checkoutText(m_kind) + "</Checkout>");
        line("           <BedOccupancy>true</BedOccupancy>");
        line("           <Rooms>");
        line("            <Room>");
        line("              <RoomId>" + xmlSafe(r.note.room) + "</RoomId>");
        line("              <StartDate>" + arrivalTime + "</StartDate>");
        line("              <EndDate>" + departureTime + "</EndDate>");
        line("            </Room>");
        line("           </Rooms>");
        line("         </Guest>");

        if (m_ctx.observer)
            m_ctx.observer->guestWritten(
                WrittenGuest{r.note, guestId, age, arrival, departure,
                             actualDeparture ? "DataPartenzaReale" : "DataPartenza",
                             (m_kind == "A" ? arrivalTime : departureTime).substr(0, 10),
                             ElementFingerprint(m_guestText)});
    }

    StaysContext& m_ctx;
    const Profile& m_profile;
    LineSink& m_out;
    const std::string& m_kind;
    // With an observer: the lines of the stay and of the guest being written.
    std::string m_stayText;
    std::string m_guestText;
};

}  // namespace

StaysQueries staysQueries(const std::string& initialDate, const std::string& fromDay,
                          const std::string& toDay, const std::string& kind) {
    const std::string from = quoteCriterionText(storedDate(fromDay));
    const std::string to = quoteCriterionText(storedDate(toDay));
    const std::string window =
        kind == "A" ? "DataArrivo >= '" + from + "' and DataArrivo <= '" + to
                    : "DataPartenzaReale >= '" + from + "' and DataPartenzaReale <= '" + to;
    const std::string order = "' Order by DataArrivo,NumeroCamera;";
    const std::string bounds = " and NumeroHotel = 1 and DataArrivo >= '" +
                               quoteCriterionText(initialDate) + "' and " + window + order;
    return {
        "Select * From Scheda_Cliente Where (CapoFamiglia = 'U' or CapoFamiglia = 'S' or "
        "CapoGruppo = 'S')" +
            bounds,
        "Select * From Scheda_Cliente Where (CodiceCapoFamiglia > 0 or CodiceCapoGruppo > 0)" +
            bounds,
        "Select * From Scheda_Cliente Where NumeroHotel = 1 and " + window + order};
}

std::string GuestIdOf(long long numeroProgressivo, const std::string& dataArrivo, bool history) {
    return history ? zeroFilled(numeroProgressivo, 8)
                   : midCharacters(dataArrivo, 3, 2) + zeroFilled(numeroProgressivo, 6);
}

std::optional<long long> NumeroProgressivoOfGuestId(std::string_view guestId, bool history) {
    if (!history) guestId = guestId.size() < 3 ? std::string_view() : guestId.substr(2);
    if (guestId.empty() || guestId.size() > 18 ||
        guestId.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    return std::stoll(std::string(guestId));
}

GuestNote ReadGuestNote(const Recordset& rs, const std::string& database, bool history,
                        bool isHead) {
    return readGuestKeys(rs, database, history, isHead, std::nullopt).note;
}

const std::vector<std::string>& GuestColumnsRead() {
    static const std::vector<std::string> columns{
        "NumeroHotel",  "NumeroProgressivo",  "CapoFamiglia",     "CapoGruppo",
        "CodiceCapoFamiglia", "CodiceCapoGruppo", "DataArrivo",   "DataPartenza",
        "DataPartenzaReale",  "Partito",      "DataNascita",      "LuogoNascita",
        "Stato",        "Residenza",          "Sesso",            "NumeroCamera",
        "NomeCliente"};
    return columns;
}

const std::vector<std::string>& GuestColumnsSearched() {
    static const std::vector<std::string> columns{
        "NumeroHotel", "CapoFamiglia", "CapoGruppo", "CodiceCapoFamiglia", "CodiceCapoGruppo",
        "DataArrivo",  "DataPartenzaReale", "NumeroCamera"};
    return columns;
}

void ReadOnlyColumnsUsed(JetEngine& engine) {
    engine.keepOnlyColumns("Scheda_Cliente", GuestColumnsRead());
    engine.holdInMemory("Scheda_Cliente", GuestColumnsSearched());
    engine.keepOnlyColumns("CodiciVari", CodesColumnsRead());
}

long long MemberKey(long long numeroProgressivo, bool history) {
    return history ? historyMemberKey(numeroProgressivo) : numeroProgressivo;
}

std::optional<MemberLink> MembersOf(const GuestNote& head, bool history) {
    if (!head.numeroProgressivo) return std::nullopt;
    const long long key = MemberKey(*head.numeroProgressivo, history);
    if (key <= 0) return std::nullopt;
    if (head.capoFamiglia == "S") return MemberLink{"CodiceCapoFamiglia", key};
    if (head.capoGruppo == "S") return MemberLink{"CodiceCapoGruppo", key};
    return std::nullopt;
}

std::string MemberCriterion(const MemberLink& link) {
    return std::string("NumeroHotel = 1 and ") + link.column + " = " + std::to_string(link.key);
}

void WriteHistoryStays(StaysContext& ctx, const std::string& fromDay, const std::string& toDay,
                       LineSink& out, const std::string& kind) {
    StayWriter(ctx, kHistory, out, kind).run(fromDay, toDay);
}

void WriteRegisterStays(StaysContext& ctx, const std::string& fromDay, const std::string& toDay,
                        LineSink& out, const std::string& kind) {
    StayWriter(ctx, kRegister, out, kind).run(fromDay, toDay);
}

}  // namespace velmora
