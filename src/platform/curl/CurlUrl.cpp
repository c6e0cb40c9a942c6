// The address check over curl_url_set (https://curl.se/libcurl/c/curl_url_set.html).
// Blanks at the ends and control characters are named before curl is asked,
// since curl's own words for them ("Malformed input") would not help.
#include "platform/curl/CurlUrl.h"

#include <curl/curl.h>

#include <memory>
#include <string_view>

namespace velmora {

namespace {

struct UrlFree {
    void operator()(CURLU* h) const { curl_url_cleanup(h); }
};
struct CharFree {
    void operator()(char* p) const { curl_free(p); }
};

bool startsNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::string addressProblem(const std::string& url) {
    if (url.empty()) return "è vuoto";
    if (isBlank(url.front())) return "comincia con uno spazio";
    if (isBlank(url.back())) return "finisce con uno spazio";
    for (char c : url) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) return "contiene un carattere di controllo";
        if (c == ' ') return "contiene uno spazio";
    }
    if (!startsNoCase(url, "http://") && !startsNoCase(url, "https://"))
        return "non comincia con http:// o https://";
    // curl reads "http:///istat" as the host "istat"; the address names none.
    const std::size_t authority = url.find("://") + 3;
    if (authority >= url.size() || url[authority] == '/') return "non indica il server";

    std::unique_ptr<CURLU, UrlFree> handle(curl_url());
    if (!handle) return "non verificabile (memoria insufficiente)";
    const CURLUcode parsed = curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), 0);
    if (parsed != CURLUE_OK) {
#if LIBCURL_VERSION_NUM >= 0x075000
        return std::string("non è un indirizzo valido (") + curl_url_strerror(parsed) + ")";
#else
        return "non è un indirizzo valido (errore " + std::to_string(parsed) + ")";
#endif
    }
    char* host = nullptr;
    const CURLUcode got = curl_url_get(handle.get(), CURLUPART_HOST, &host, 0);
    std::unique_ptr<char, CharFree> owned(host);
    if (got != CURLUE_OK || !host || !*host) return "non indica il server";
    return {};
}

}  // namespace velmora
