// What the demo hotel's documents must hold, worked out from the text tables
// in demo/ without any of the program's code: which heads a day and kind
// select (by DataArrivo or DataPartenzaReale, DataArrivo not before the date
// of QLBDataI.txt, the history's skip tests), which members join them, and
// which guests the service must reject (a state abbreviation the codes lack).
// Posted documents are read with pugixml into the same shape for comparison.
#pragma once

#include <string>
#include <vector>

namespace velmora::e2e {

struct DocGuest {
    std::string guestId;
    std::string room;
    std::string checkout;  // "true"/"false" as posted; empty in the oracle
    std::string hotelCode;
    std::string nationalityCode;
    bool rejected = false;  // oracle only: the service must refuse this guest
};

struct DocStay {
    std::string stayId;
    std::vector<DocGuest> guests;
};

struct StaysDoc {
    std::vector<DocStay> stays;

    std::size_t guestCount() const;
    // "StayId(GuestId GuestId) StayId(GuestId)"
    std::string outline() const;
    // GuestIds the service must reject, in document order.
    std::vector<std::string> rejectedGuests() const;
};

// The expected document of the demo hotel for day ("DD/MM/YYYY") and kind.
StaysDoc expectedDemoDocument(const std::string& day, bool arrivals);

// Reads a posted body (declaration and document) with pugixml, keeping
// whitespace-only values (nine blanks stay nine blanks). Sets error and
// returns an empty document when it is not well-formed or its root is not
// StaysPmsDTO.
StaysDoc parsePostedDocument(const std::string& body, std::string& error);

}  // namespace velmora::e2e
