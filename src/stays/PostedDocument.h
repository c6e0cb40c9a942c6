// A posted stays document read back: which guests it held, the elements of
// one of them, and the fingerprints the journal keeps of each Guest and Stay
// element. It is the writers' reverse and lives beside them, sharing their
// formats (StaysWriters.h); a round-trip test keeps the two in step.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmora {

struct PostedGuest {
    std::string day;       // YYYY-MM-DD: its arrival (kind "A") or departure
    std::string database;  // kRegisterDatabase or kHistoryDatabase
    std::optional<long long> numeroProgressivo;
    std::string guestId;
    std::string fingerprint;      // of its Guest element
    std::string stayFingerprint;  // of the Stay element it is in
};

// The guests of a posted body (XML declaration and stays document) of kind
// "A" or any other (departures), in document order; none when it does not
// parse.
std::vector<PostedGuest> ReadPostedGuests(std::string_view body, std::string_view kind);

// The elements of the Guest guestId in body as (name, text) pairs in document
// order, nested ones named by their path ("Rooms/Room/RoomId"); none when
// there is no such guest.
std::vector<std::pair<std::string, std::string>> PostedGuestElements(std::string_view body,
                                                                     std::string_view guestId);

// The fingerprint of one element as the document posts it, from its lines
// joined ("&" becomes a blank, as in the document): FNV-1a over the element
// as the XML parser prints it back, so that the writer's lines and a parsed
// document give the same 16 hex digits.
std::string ElementFingerprint(std::string_view elementText);

// 64-bit FNV-1a of text as 16 lower-case hex digits.
std::string Fnv1a64(std::string_view text);

}  // namespace velmora
