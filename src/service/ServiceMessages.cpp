// Declaration, end-of-day message, token rule and failure messages.
#include "service/ServiceMessages.h"

#include "core/Text.h"
#include "core/Utf8.h"

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

std::optional<std::string> TokenFromAnswer(std::string_view answer) {
    if (answer.empty()) return std::nullopt;
    // The first and the last character go, whatever their length in bytes.
    std::size_t head = decodeUtf8(answer, 0).length;
    if (head >= answer.size()) return std::nullopt;
    std::string_view rest = answer.substr(head);
    std::size_t tail = decodeUtf8Before(rest, rest.size()).length;
    return std::string(rest.substr(0, rest.size() - tail));
}

std::string DocumentName(const std::string& kind, const std::string& day, const std::string& file) {
    std::string name = kind == "A" ? "il documento degli arrivi" : "il documento delle partenze";
    if (!day.empty()) name += " del " + day;
    if (!file.empty()) name += " (" + file + ")";
    return name;
}

std::string TransportFailureMessage(const std::string& url, const HttpFailure& failure,
                                    int settingsLine) {
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
    std::string text = what + url + ".";
    // A stop asked by the operator needs no remedy.
    if (failure.kind != HttpFailure::Kind::Stopped) {
        text += " Controllare la connessione";
        if (settingsLine > 0)
            text += " e l'indirizzo alla riga " + std::to_string(settingsLine) + " di QLBSetup.txt";
        text += ".";
    }
    return text + " (" + failure.message + ")";
}

}  // namespace velmora
