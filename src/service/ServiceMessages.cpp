// Declaration, end-of-day message, token rule and failure messages.
#include "service/ServiceMessages.h"

#include "core/Text.h"

namespace velmora {

std::string XmlDeclaration() {
    const std::string quote = "\"";
    return "<?xml version=" + quote + "1.0" + quote + " encoding=" + quote + "UTF-8" + quote + "?>";
}

std::string EndDayDate(std::string_view day) {
    return mid(day, 7, 4) + "-" + mid(day, 4, 2) + "-" + mid(day, 1, 2) + "T10:00:00.000Z";
}

std::string EndDayMessage(std::string_view hotelCode, std::string_view day) {
    std::string message = XmlDeclaration();
    message += "<EndDayPmsDTO>";
    message += "  <HotelCode>";
    message += hotelCode;
    message += "</HotelCode>";
    message += "  <CurrentDate>";
    message += EndDayDate(day);
    message += "</CurrentDate>";
    message += "</EndDayPmsDTO>";
    return message;
}

namespace {

bool isContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Length of the UTF-8 sequence that starts at text[0]; 1 for a byte that
// does not start a complete sequence.
std::size_t firstCharLength(std::string_view text) {
    unsigned char lead = static_cast<unsigned char>(text[0]);
    std::size_t n = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 1;
    if (lead >= 0xF5) n = 1;
    if (n > text.size()) return 1;
    for (std::size_t i = 1; i < n; ++i)
        if (!isContinuation(text[i])) return 1;
    return n;
}

// Length of the UTF-8 sequence that ends the text; 1 when the last bytes do
// not form one.
std::size_t lastCharLength(std::string_view text) {
    std::size_t start = text.size() - 1;
    while (start > 0 && text.size() - start < 4 && isContinuation(text[start])) --start;
    std::string_view tail = text.substr(start);
    return firstCharLength(tail) == tail.size() ? tail.size() : 1;
}

}  // namespace

std::optional<std::string> TokenFromAnswer(std::string_view answer) {
    if (answer.empty()) return std::nullopt;
    std::size_t head = firstCharLength(answer);
    if (head >= answer.size()) return std::nullopt;
    std::string_view rest = answer.substr(head);
    std::size_t tail = lastCharLength(rest);
    return std::string(rest.substr(0, rest.size() - tail));
}

std::string DocumentName(const std::string& kind, const std::string& day, const std::string& file) {
    std::string name = kind == "A" ? "il documento degli arrivi" : "il documento delle partenze";
    if (!day.empty()) name += " del " + day;
    if (!file.empty()) name += " (" + file + ")";
    return name;
}

std::string TransportFailureMessage(const std::string& url, const HttpFailure& failure) {
    std::string what;
    switch (failure.kind) {
        case HttpFailure::Kind::Refused:
            what = "Servizio non raggiungibile: ";
            break;
        case HttpFailure::Kind::Unresolved:
            what = "Indirizzo del servizio sconosciuto: ";
            break;
        case HttpFailure::Kind::Tls:
            what = "Connessione sicura con il servizio non riuscita: ";
            break;
        case HttpFailure::Kind::Timeout:
            what = "Il servizio non ha risposto in tempo: ";
            break;
        case HttpFailure::Kind::Stopped:
            what = "Risposta non attesa, interruzione richiesta: ";
            break;
        case HttpFailure::Kind::None:
        case HttpFailure::Kind::Other:
            what = "Scambio con il servizio non riuscito: ";
            break;
    }
    return what + url + " (" + failure.message + ")";
}

}  // namespace velmora
