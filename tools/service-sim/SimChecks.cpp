// Stays document and end-of-day checks of the loopback service, on pugixml.
#include "SimChecks.h"

#include <pugixml.hpp>
#include <utility>

namespace velmora::sim {

namespace {

bool allDigits(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

int number(std::string_view digits) {
    int n = 0;
    for (char c : digits) n = n * 10 + (c - '0');
    return n;
}

std::string parseProblem(const pugi::xml_parse_result& result) {
    return std::string(result.description()) + " (posizione " + std::to_string(result.offset) + ")";
}

// Parses body into doc; returns why it is not a well-formed document whose
// root is the named element, or "" when it is. Blank-only element text (a
// code of nine blanks) is kept.
std::string loadDocument(pugi::xml_document& doc, std::string_view body, const char* rootName) {
    pugi::xml_parse_result parsed =
        doc.load_buffer(body.data(), body.size(), pugi::parse_default | pugi::parse_ws_pcdata_single,
                        pugi::encoding_utf8);
    if (!parsed) return parseProblem(parsed);
    const char* name = doc.document_element().name();
    if (std::string_view(name) != rootName)
        return "radice <" + std::string(name) + "> invece di <" + rootName + ">";
    return {};
}

// Text of a child element; "" when missing.
std::string childText(const pugi::xml_node& node, const char* name) {
    return node.child(name).child_value();
}

void addReason(std::string& reasons, const std::string& reason) {
    if (!reasons.empty()) reasons += "; ";
    reasons += reason;
}

}  // namespace

bool isDocumentDateTime(std::string_view t) {
    // 2024-03-15T10:00:00.000Z or 2024-03-15T10:00:00.00Z
    if (t.size() != 23 && t.size() != 24) return false;
    std::size_t fraction = t.size() - 21;
    if (t[4] != '-' || t[7] != '-' || t[10] != 'T' || t[13] != ':' || t[16] != ':' ||
        t[19] != '.' || t.back() != 'Z')
        return false;
    if (!allDigits(t.substr(0, 4)) || !allDigits(t.substr(5, 2)) || !allDigits(t.substr(8, 2)) ||
        !allDigits(t.substr(11, 2)) || !allDigits(t.substr(14, 2)) || !allDigits(t.substr(17, 2)) ||
        !allDigits(t.substr(20, fraction)))
        return false;
    int year = number(t.substr(0, 4)), month = number(t.substr(5, 2)), day = number(t.substr(8, 2));
    if (month < 1 || month > 12 || day < 1) return false;
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    int last = days[month - 1] + (month == 2 && leap ? 1 : 0);
    return day <= last && number(t.substr(11, 2)) < 24 && number(t.substr(14, 2)) < 60 &&
           number(t.substr(17, 2)) < 60;
}

StaysVerdict checkStaysDocument(std::string_view body, std::string_view userId, bool arrivals) {
    StaysVerdict verdict;
    pugi::xml_document doc;
    verdict.malformed = loadDocument(doc, body, "StaysPmsDTO");
    if (!verdict.malformed.empty()) return verdict;
    pugi::xml_node root = doc.document_element();
    const std::string checkout = arrivals ? "false" : "true";
    for (pugi::xml_node stay : root.children("Stay")) {
        std::string hotel = childText(stay, "HotelCode");
        std::string stayReason;
        if (hotel != userId) stayReason = "HotelCode \"" + hotel + "\" diverso dall'utente";
        for (pugi::xml_node guest : stay.child("Guests").children("Guest")) {
            ++verdict.guests;
            std::string reasons = stayReason;
            std::string id = childText(guest, "GuestId");
            if (id.empty()) addReason(reasons, "GuestId mancante");
            for (const char* code : {"NationalityCode", "BirthPlaceCode", "ResidencePlaceCode"}) {
                std::string value = childText(guest, code);
                if (value.size() != 9 || !allDigits(value))
                    addReason(reasons, std::string(code) + " \"" + value + "\" non di 9 cifre");
            }
            pugi::xml_node room = guest.child("Rooms").child("Room");
            const std::pair<pugi::xml_node, const char*> dates[] = {{guest, "ArrivalDate"},
                                                                    {guest, "DepartureDate"},
                                                                    {room, "StartDate"},
                                                                    {room, "EndDate"}};
            bool datesOk = true;
            for (const auto& [parent, name] : dates) {
                std::string value = childText(parent, name);
                if (!isDocumentDateTime(value)) {
                    datesOk = false;
                    addReason(reasons, std::string(name) + " \"" + value + "\" non valida");
                }
            }
            if (datesOk && childText(guest, "DepartureDate").substr(0, 10) <
                               childText(guest, "ArrivalDate").substr(0, 10))
                addReason(reasons, "partenza prima dell'arrivo");
            std::string out = childText(guest, "Checkout");
            if (out != checkout)
                addReason(reasons, "Checkout \"" + out + "\" invece di \"" + checkout + "\"");
            if (reasons.empty()) {
                ++verdict.accepted;
            } else {
                verdict.errors.push_back("Errore: ospite " + (id.empty() ? "?" : id) + ": " +
                                         reasons);
            }
        }
    }
    return verdict;
}

EndDayVerdict checkEndDayMessage(std::string_view body, std::string_view userId) {
    EndDayVerdict verdict;
    pugi::xml_document doc;
    verdict.malformed = loadDocument(doc, body, "EndDayPmsDTO");
    if (!verdict.malformed.empty()) return verdict;
    pugi::xml_node root = doc.document_element();
    std::string hotel = childText(root, "HotelCode");
    std::string date = childText(root, "CurrentDate");
    if (hotel != userId) {
        verdict.problem = "HotelCode \"" + hotel + "\" diverso dall'utente";
    } else if (!isDocumentDateTime(date)) {
        verdict.problem = "CurrentDate \"" + date + "\" non valida";
    } else {
        verdict.date = date.substr(0, 10);
    }
    return verdict;
}

}  // namespace velmora::sim
