// The texts the service client builds and reads: the XML declaration, the
// end-of-day message, the login token taken out of the login answer, and the
// Italian messages for an exchange that failed.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/Http.h"

namespace velmora {

// Appended to Text2(1) under an answer that reports errors.
inline constexpr std::string_view kErrorsMark = "Sono presenti errori!";

// <?xml version="1.0" encoding="UTF-8"?>
std::string XmlDeclaration();

// The CurrentDate of the end-of-day message, by character position of the day
// text "DD/MM/YYYY" (separators ignored): "31/01/2025" gives
// "2025-01-31T10:00:00.000Z".
std::string EndDayDate(std::string_view day);

// The one-line EndDayPmsDTO message, XML declaration included.
std::string EndDayMessage(std::string_view hotelCode, std::string_view day);

// The login answer without its first and last character (a UTF-8 sequence
// counts as one character): "\"abc\"" gives "abc", "\"\"" gives "". Nothing
// when the answer has fewer than two characters.
std::optional<std::string> TokenFromAnswer(std::string_view answer);

// Whether an HTTP status reports success (2xx).
inline bool isSuccessStatus(long status) { return status >= 200 && status <= 299; }

// How messages name a movements document: "il documento degli arrivi del
// 03/03/2026 (Velmora/IstatDatiAInv-202603031200.xml)"; the day and the file
// are left out when empty.
std::string DocumentName(const std::string& kind, const std::string& day,
                         const std::string& file);

// The operator's message for an exchange with url that got no answer: the
// reason in Italian, what to do (naming settingsLine, the line of
// "QLBSetup.txt" that holds the address, when not 0), then the transport's
// own words in parentheses, e.g. "Servizio non raggiungibile:
// https://host/arrivi. Controllare la connessione e l'indirizzo alla riga 5
// di QLBSetup.txt. (Connection refused)".
std::string TransportFailureMessage(const std::string& url, const HttpFailure& failure,
                                    int settingsLine = 0);

// The login refused with 401 or 403: the user id or the password is wrong.
inline constexpr const char* kCredentialsRefused =
    "Utente o password rifiutati dal servizio: controllare le righe 1 e 2 di QLBSetup.txt.";

// The lines of "QLBSetup.txt" holding the service's addresses.
enum SettingsLine : int {
    kLoginLine = 3,
    kLogoutLine = 4,
    kArrivalsLine = 5,
    kDeparturesLine = 6,
    kCloseDayLine = 7
};

}  // namespace velmora
