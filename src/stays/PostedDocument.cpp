// Posted documents parsed with pugixml. The database of a guest is told by
// the time its dates were written with, its number by its GuestId: both as
// the writers make them.
#include "stays/PostedDocument.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <pugixml.hpp>
#include <sstream>

#include "core/FileNames.h"
#include "stays/StaysWriters.h"

namespace velmora {

namespace {

std::string printed(const pugi::xml_node& node) {
    std::ostringstream out;
    node.print(out, "", pugi::format_raw);
    return out.str();
}

bool load(pugi::xml_document& doc, std::string_view text) {
    return doc.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8);
}

}  // namespace

std::string Fnv1a64(std::string_view text) {
    std::uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    char out[17];
    std::snprintf(out, sizeof out, "%016llx", static_cast<unsigned long long>(hash));
    return out;
}

std::string ElementFingerprint(std::string_view elementText) {
    std::string text(elementText);
    std::replace(text.begin(), text.end(), '&', ' ');
    pugi::xml_document doc;
    if (!load(doc, text)) return Fnv1a64(text);
    return Fnv1a64(printed(doc.document_element()));
}

std::vector<PostedGuest> ReadPostedGuests(std::string_view body, std::string_view kind) {
    std::vector<PostedGuest> out;
    pugi::xml_document doc;
    if (!load(doc, body)) return out;
    const bool arrivals = kind == "A";
    const std::string historyTime = kHistoryTimeSuffix;
    for (pugi::xml_node stay : doc.child("StaysPmsDTO").children("Stay")) {
        const std::string stayFingerprint = Fnv1a64(printed(stay));
        for (pugi::xml_node guest : stay.child("Guests").children("Guest")) {
            PostedGuest g;
            const std::string date = guest.child_value(arrivals ? "ArrivalDate" : "DepartureDate");
            g.day = date.substr(0, 10);
            const bool history = date.ends_with(historyTime);
            g.database = history ? kHistoryDatabase : kRegisterDatabase;
            g.guestId = guest.child_value("GuestId");
            g.numeroProgressivo = NumeroProgressivoOfGuestId(g.guestId, history);
            g.fingerprint = Fnv1a64(printed(guest));
            g.stayFingerprint = stayFingerprint;
            out.push_back(std::move(g));
        }
    }
    return out;
}

std::vector<std::pair<std::string, std::string>> PostedGuestElements(std::string_view body,
                                                                     std::string_view guestId) {
    std::vector<std::pair<std::string, std::string>> out;
    pugi::xml_document doc;
    if (!load(doc, body)) return out;
    for (pugi::xml_node stay : doc.child("StaysPmsDTO").children("Stay")) {
        for (pugi::xml_node guest : stay.child("Guests").children("Guest")) {
            if (guestId != guest.child_value("GuestId")) continue;
            // Depth-first: every element with text, named by its path.
            std::vector<std::pair<pugi::xml_node, std::string>> todo;
            for (pugi::xml_node c = guest.last_child(); c; c = c.previous_sibling())
                todo.emplace_back(c, c.name());
            while (!todo.empty()) {
                auto [node, name] = todo.back();
                todo.pop_back();
                if (node.type() != pugi::node_element) continue;
                if (node.first_child() && node.first_child().type() == pugi::node_element) {
                    for (pugi::xml_node c = node.last_child(); c; c = c.previous_sibling())
                        todo.emplace_back(c, name + "/" + c.name());
                } else {
                    out.emplace_back(name, node.child_value());
                }
            }
            return out;
        }
    }
    return out;
}

}  // namespace velmora
