// What the loopback service checks in the documents it receives: the stays
// document of an arrivals or departures request, stay by stay and guest by
// guest, and the end-of-day message. Pure functions over the request body.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velmora::sim {

struct StaysVerdict {
    // Empty when the body is a well-formed StaysPmsDTO document; otherwise
    // what is wrong with it (parser message and offset, or the root's name).
    std::string malformed;
    int guests = 0;
    int accepted = 0;
    // One line per rejected guest: "Errore: ospite <GuestId>: <reasons>".
    std::vector<std::string> errors;
};

// Checks every Stay: HotelCode equal to userId; per Guest a GuestId, 9-digit
// NationalityCode, BirthPlaceCode and ResidencePlaceCode, date-times of the
// form 2024-03-15T10:00:00.000Z (or .00Z) in ArrivalDate, DepartureDate,
// StartDate and EndDate, a departure not before the arrival, and Checkout
// "false" for arrivals, "true" for departures.
StaysVerdict checkStaysDocument(std::string_view body, std::string_view userId, bool arrivals);

struct EndDayVerdict {
    std::string malformed;  // as in StaysVerdict
    std::string problem;    // a well-formed message with wrong content
    std::string date;       // YYYY-MM-DD of CurrentDate when all is fine
};

// Checks an EndDayPmsDTO message: HotelCode equal to userId, CurrentDate a
// date-time of the document's form.
EndDayVerdict checkEndDayMessage(std::string_view body, std::string_view userId);

// Whether text is YYYY-MM-DDThh:mm:ss.ddZ or .dddZ with a real calendar date.
bool isDocumentDateTime(std::string_view text);

}  // namespace velmora::sim
