// The demo hotel's expected documents, from the text tables alone, and the
// posted documents read back with pugixml.
#include "DemoOracle.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <pugixml.hpp>
#include <set>
#include <stdexcept>

#include "E2eSupport.h"
#include "jetwrite/JetWriter.h"

namespace velmora::e2e {

namespace {

// One row of a guest table, by column name.
class Row {
public:
    Row(const jetwrite::Table& table, std::size_t index) : m_table(&table), m_index(index) {}
    // The cell's text; "" for Null.
    std::string operator[](const std::string& column) const {
        for (std::size_t c = 0; c < m_table->columns.size(); ++c)
            if (m_table->columns[c].name == column)
                return m_table->rows[m_index][c].value_or(std::string());
        throw std::runtime_error("no column " + column + " in " + m_table->name);
    }
    long number(const std::string& column) const {
        const std::string text = (*this)[column];
        return text.empty() ? 0 : std::stol(text);
    }

private:
    const jetwrite::Table* m_table;
    std::size_t m_index;
};

struct Database {
    jetwrite::Table table;
    bool history;
};

const std::vector<Database>& demoDatabases() {
    static const std::vector<Database> dbs = {
        {jetwrite::readTextTable(sourceFile("demo/SchedaStoricoClienti.txt"), "Scheda_Cliente"),
         true},
        {jetwrite::readTextTable(sourceFile("demo/Scheda_Cliente.txt"), "Scheda_Cliente"), false},
    };
    return dbs;
}

const std::set<std::string>& knownStates() {
    static const std::set<std::string> states = [] {
        std::set<std::string> out;
        jetwrite::Table codes = jetwrite::parseTextTable(demoCodesTable(), "CodiciVari");
        for (std::size_t i = 0; i < codes.rows.size(); ++i) {
            Row r(codes, i);
            if (r["Tipo"] == "0" && !r["Sigla"].empty()) out.insert(r["Sigla"]);
        }
        return out;
    }();
    return states;
}

// "DD/MM/YYYY" to YYYYMMDD.
std::string storedDay(const std::string& day) {
    return day.substr(6, 4) + day.substr(3, 2) + day.substr(0, 2);
}

std::string initialDate() {
    std::ifstream in(sourceFile("demo/QLBDataI.txt"));
    std::string line;
    std::getline(in, line);
    return storedDay(line);
}

std::string padded(long n, int width) {
    char text[32];
    std::snprintf(text, sizeof text, "%0*ld", width, n);
    return text;
}

DocGuest guestOf(const Row& r, bool history) {
    DocGuest g;
    const long np = r.number("NumeroProgressivo");
    g.guestId = history ? padded(np, 8) : r["DataArrivo"].substr(2, 2) + padded(np, 6);
    g.room = r["NumeroCamera"];
    const std::string state = r["Stato"];
    g.rejected = state != " " && knownStates().count(state) == 0;
    return g;
}

}  // namespace

std::size_t StaysDoc::guestCount() const {
    std::size_t n = 0;
    for (const DocStay& s : stays) n += s.guests.size();
    return n;
}

std::string StaysDoc::outline() const {
    std::string out;
    for (const DocStay& s : stays) {
        if (!out.empty()) out += ' ';
        out += s.stayId + "(";
        for (std::size_t i = 0; i < s.guests.size(); ++i)
            out += (i ? " " : "") + s.guests[i].guestId;
        out += ")";
    }
    return out;
}

std::vector<std::string> StaysDoc::rejectedGuests() const {
    std::vector<std::string> out;
    for (const DocStay& s : stays)
        for (const DocGuest& g : s.guests)
            if (g.rejected) out.push_back(g.guestId);
    return out;
}

StaysDoc expectedDemoDocument(const std::string& day, bool arrivals) {
    const std::string date = storedDay(day);
    const std::string initial = initialDate();
    StaysDoc doc;
    for (const Database& db : demoDatabases()) {
        std::vector<Row> heads, members;
        for (std::size_t i = 0; i < db.table.rows.size(); ++i) {
            Row r(db.table, i);
            const bool inWindow = r.number("NumeroHotel") == 1 && r["DataArrivo"] >= initial &&
                                  (arrivals ? r["DataArrivo"] : r["DataPartenzaReale"]) == date;
            if (!inWindow) continue;
            if (r["CapoFamiglia"] == "U" || r["CapoFamiglia"] == "S" || r["CapoGruppo"] == "S")
                heads.push_back(r);
            if (r.number("CodiceCapoFamiglia") > 0 || r.number("CodiceCapoGruppo") > 0)
                members.push_back(r);
        }
        const auto byArrivalAndRoom = [](const Row& a, const Row& b) {
            return std::make_pair(a["DataArrivo"], a.number("NumeroCamera")) <
                   std::make_pair(b["DataArrivo"], b.number("NumeroCamera"));
        };
        std::stable_sort(heads.begin(), heads.end(), byArrivalAndRoom);
        std::stable_sort(members.begin(), members.end(), byArrivalAndRoom);

        for (const Row& head : heads) {
            if (db.history && (head["NomeCliente"] == "*** p***" ||
                               !(head["DataArrivo"] < head["DataPartenzaReale"])))
                continue;
            DocStay stay;
            const long np = head.number("NumeroProgressivo");
            stay.stayId =
                std::string(kUser) +
                (db.history ? padded(np, 8) : head["DataArrivo"].substr(2, 2) + padded(np, 6));
            stay.guests.push_back(guestOf(head, db.history));
            // History members refer to the head by the last six digits of its number.
            const long key = db.history ? np % 1000000 : np;
            const char* link = head["CapoFamiglia"] == "S" ? "CodiceCapoFamiglia"
                               : head["CapoGruppo"] == "S" ? "CodiceCapoGruppo"
                                                           : nullptr;
            if (link) {
                for (const Row& m : members) {
                    if (m.number(link) != key) continue;
                    if (db.history && m["NomeCliente"] == "*** p**") continue;
                    stay.guests.push_back(guestOf(m, db.history));
                }
            }
            doc.stays.push_back(std::move(stay));
        }
    }
    return doc;
}

StaysDoc parsePostedDocument(const std::string& body, std::string& error) {
    StaysDoc doc;
    pugi::xml_document xml;
    const pugi::xml_parse_result parsed = xml.load_buffer(
        body.data(), body.size(), pugi::parse_default | pugi::parse_ws_pcdata, pugi::encoding_utf8);
    if (!parsed) {
        error = std::string(parsed.description()) + " at " + std::to_string(parsed.offset);
        return doc;
    }
    const pugi::xml_node root = xml.document_element();
    if (std::string(root.name()) != "StaysPmsDTO") {
        error = std::string("root <") + root.name() + ">";
        return doc;
    }
    for (const pugi::xml_node stay : root.children("Stay")) {
        DocStay s;
        s.stayId = stay.child("StayId").child_value();
        const std::string hotel = stay.child("HotelCode").child_value();
        for (const pugi::xml_node guest : stay.child("Guests").children("Guest")) {
            DocGuest g;
            g.guestId = guest.child("GuestId").child_value();
            g.room = guest.child("Rooms").child("Room").child("RoomId").child_value();
            g.checkout = guest.child("Checkout").child_value();
            g.nationalityCode = guest.child("NationalityCode").child_value();
            g.hotelCode = hotel;
            s.guests.push_back(std::move(g));
        }
        doc.stays.push_back(std::move(s));
    }
    return doc;
}

}  // namespace velmora::e2e
