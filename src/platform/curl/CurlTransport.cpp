// libcurl implementation of the HTTP seam. The request goes out with curl's
// Host and Accept, the caller's headers in order and, for a body, its
// Content-Length; every other header curl would add of its own is switched off.
#include "platform/curl/CurlTransport.h"

#include <curl/curl.h>

#include <new>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/curl/CurlHandles.h"
#ifdef _WIN32
#include "platform/curl/ServerCertificate.h"
#endif

namespace velmora {

namespace {

using Kind = HttpFailure::Kind;

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// A header name is an HTTP token; a value may hold anything but line breaks
// and NUL, which would end the header early and let its text forge others.
bool validHeaderName(std::string_view name) {
    if (name.empty()) return false;
    for (char c : name) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u <= 32 || u >= 127 || c == ':' || c == ';') return false;
    }
    return true;
}

bool validHeaderValue(std::string_view value) {
    return value.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

Kind kindOf(CURLcode code) {
    switch (code) {
        case CURLE_COULDNT_CONNECT:
            return Kind::Refused;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return Kind::Unresolved;
        case CURLE_OPERATION_TIMEDOUT:
            return Kind::Timeout;
        case CURLE_ABORTED_BY_CALLBACK:
            return Kind::Stopped;
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ENGINE_NOTFOUND:
        case CURLE_SSL_ENGINE_SETFAILED:
        case CURLE_SSL_ENGINE_INITFAILED:
        case CURLE_USE_SSL_FAILED:
        case CURLE_SSL_SHUTDOWN_FAILED:
        case CURLE_SSL_CRL_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS:
        case CURLE_SSL_CLIENTCERT:
            return Kind::Tls;
        default:
            return Kind::Other;
    }
}

struct AnswerSink {
    std::string body;
    std::size_t limit = 0;
    bool overflow = false;
};

// CURLOPT_XFERINFOFUNCTION: called about once a second or more often while an
// exchange runs (https://curl.se/libcurl/c/CURLOPT_XFERINFOFUNCTION.html);
// returning 0 lets it go on, anything else aborts it with
// CURLE_ABORTED_BY_CALLBACK.
int velmoraCurlProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* options = static_cast<const CurlTransport::Options*>(user);
    return options->stop && options->stop->abandonsExchange() ? 1 : 0;
}

// CURLOPT_WRITEFUNCTION: returning less than given makes curl stop with
// CURLE_WRITE_ERROR (https://curl.se/libcurl/c/CURLOPT_WRITEFUNCTION.html).
std::size_t velmoraCurlWrite(char* data, std::size_t size, std::size_t count, void* user) {
    auto* sink = static_cast<AnswerSink*>(user);
    std::size_t n = size * count;
    if (n > sink->limit - sink->body.size()) {
        sink->overflow = true;
        return 0;
    }
    try {
        sink->body.append(data, n);
    } catch (const std::bad_alloc&) {
        sink->overflow = true;
        return 0;
    }
    return n;
}

#ifdef _WIN32
// What CURLOPT_PREREQFUNCTION found wrong with the server's certificate.
struct CertificateCheck {
    CURL* handle = nullptr;
    std::string problem;
};

// CURLOPT_PREREQFUNCTION: called once the connection stands, before the
// request is sent; anything but CURL_PREREQFUNC_OK abandons the exchange
// with CURLE_ABORTED_BY_CALLBACK
// (https://curl.se/libcurl/c/CURLOPT_PREREQFUNCTION.html).
int velmoraCurlPrereq(void* user, char*, char*, int, int) {
    auto* check = static_cast<CertificateCheck*>(user);
    try {
        check->problem = untrustedServerCertificate(check->handle);
    } catch (...) {
        check->problem = "verifica del certificato non riuscita";
    }
    return check->problem.empty() ? CURL_PREREQFUNC_OK : CURL_PREREQFUNC_ABORT;
}
#endif

HttpAnswer failed(Kind kind, std::string message) {
    HttpAnswer answer;
    answer.failure.kind = kind;
    answer.failure.message = std::move(message);
    return answer;
}

// What one exchange's callbacks fill while curl runs it.
struct Transfer {
    char errorBuffer[CURL_ERROR_SIZE] = {};
    AnswerSink sink;
#ifdef _WIN32
    CertificateCheck certificateCheck;
#endif
};

class CurlRequest : public HttpRequest {
public:
    explicit CurlRequest(const CurlTransport::Options& options) : m_options(options) {}

    void open(const std::string& method, const std::string& url) override {
        m_method = method;
        m_url = url;
        m_headers.clear();
    }

    void setRequestHeader(const std::string& name, const std::string& value) override {
        m_headers.emplace_back(name, value);
    }

    HttpAnswer send(const std::string& body) override;

private:
    // The header lines of the request; the failure when one cannot be sent.
    std::optional<HttpAnswer> headerLines(CurlHeaderList& headers) const;
    // Every option of the exchange on h; the first error of curl_easy_setopt.
    CURLcode setOptions(CURL* h, const CurlHeaderList& headers, Transfer& transfer,
                        const std::string& body) const;

    CurlTransport::Options m_options;
    std::string m_method;
    std::string m_url;
    std::vector<std::pair<std::string, std::string>> m_headers;
};

std::optional<HttpAnswer> CurlRequest::headerLines(CurlHeaderList& headers) const {
    // "Name;" is curl's form for a header with an empty value: "Name:" alone
    // would remove the header instead of sending it
    // (https://curl.se/libcurl/c/CURLOPT_HTTPHEADER.html).
    bool hasContentType = false;
    for (const auto& [name, value] : m_headers) {
        if (!validHeaderName(name))
            return failed(Kind::Other, "nome di intestazione non valido: \"" + name + "\"");
        if (!validHeaderValue(value))
            return failed(Kind::Other, "l'intestazione " + name + " contiene un a capo");
        if (equalsNoCase(name, "Content-Type")) hasContentType = true;
        std::string line = value.empty() ? name + ";" : name + ": " + value;
        if (!headers.append(line.c_str())) return failed(Kind::Other, "memoria insufficiente");
    }
    // No "Expect: 100-continue" round trip, and no form Content-Type of curl's own.
    if (!headers.append("Expect:")) return failed(Kind::Other, "memoria insufficiente");
    if (m_method != "GET" && !hasContentType && !headers.append("Content-Type:"))
        return failed(Kind::Other, "memoria insufficiente");
    return std::nullopt;
}

CURLcode CurlRequest::setOptions(CURL* h, const CurlHeaderList& headers, Transfer& transfer,
                                 const std::string& body) const {
    CURLcode set = CURLE_OK;
    auto opt = [&](CURLoption option, auto value) {
        if (set == CURLE_OK) set = curl_easy_setopt(h, option, value);
    };
    opt(CURLOPT_ERRORBUFFER, transfer.errorBuffer);
    opt(CURLOPT_URL, m_url.c_str());
#if LIBCURL_VERSION_NUM >= 0x075500
    opt(CURLOPT_PROTOCOLS_STR, "http,https");
#else
    opt(CURLOPT_PROTOCOLS, static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS));
#endif
    // Header names travel with their letter case as set; HTTP/2 would send
    // them in lower case.
    opt(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    opt(CURLOPT_NOSIGNAL, 1L);
    // The settings file is the only configuration: no proxy from the
    // environment (an empty string disables it,
    // https://curl.se/libcurl/c/CURLOPT_PROXY.html).
    opt(CURLOPT_PROXY, "");
#ifdef _WIN32
    // Schannel verifies the certificate against Windows' store and asks
    // whether it was revoked; a revocation list that cannot be fetched (an
    // office firewall) must not fail every exchange, a revoked certificate
    // still does (https://curl.se/libcurl/c/CURLOPT_SSL_OPTIONS.html).
    opt(CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_REVOKE_BEST_EFFORT));
    transfer.certificateCheck.handle = h;
    opt(CURLOPT_PREREQFUNCTION, &velmoraCurlPrereq);
    opt(CURLOPT_PREREQDATA, static_cast<void*>(&transfer.certificateCheck));
#endif
    if (m_options.stop) {
        opt(CURLOPT_XFERINFOFUNCTION, &velmoraCurlProgress);
        opt(CURLOPT_XFERINFODATA, const_cast<void*>(static_cast<const void*>(&m_options)));
        opt(CURLOPT_NOPROGRESS, 0L);
    }
    opt(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(m_options.connectTimeout.count()));
    opt(CURLOPT_TIMEOUT_MS, static_cast<long>(m_options.totalTimeout.count()));
    opt(CURLOPT_HTTPHEADER, headers.get());
    opt(CURLOPT_WRITEFUNCTION, &velmoraCurlWrite);
    opt(CURLOPT_WRITEDATA, static_cast<void*>(&transfer.sink));
    if (m_method == "GET") {
        opt(CURLOPT_HTTPGET, 1L);
    } else {
        if (m_method == "POST") {
            opt(CURLOPT_POST, 1L);
        } else {
            opt(CURLOPT_CUSTOMREQUEST, m_method.c_str());
        }
        // Exactly these bytes, with their Content-Length (also 0).
        opt(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
        opt(CURLOPT_POSTFIELDS, body.data());
    }
    return set;
}

HttpAnswer CurlRequest::send(const std::string& body) {
    if (m_method.empty()) return failed(Kind::Other, "richiesta non aperta");
    CurlHeaderList headers;
    if (std::optional<HttpAnswer> refused = headerLines(headers)) return std::move(*refused);

    CurlEasy easy;
    if (!easy) return failed(Kind::Other, "libcurl non inizializzata");
    Transfer transfer;
    transfer.sink.limit = m_options.maxAnswerBytes;
    const CURLcode set = setOptions(easy.get(), headers, transfer, body);
    if (set != CURLE_OK) return failed(Kind::Other, curl_easy_strerror(set));

    const CURLcode code = curl_easy_perform(easy.get());
    if (code != CURLE_OK) {
        if (transfer.sink.overflow)
            return failed(Kind::Other,
                          "risposta oltre " + std::to_string(transfer.sink.limit) + " byte");
#ifdef _WIN32
        if (code == CURLE_ABORTED_BY_CALLBACK && !transfer.certificateCheck.problem.empty())
            return failed(Kind::Tls, transfer.certificateCheck.problem);
#endif
        if (code == CURLE_ABORTED_BY_CALLBACK)
            return failed(Kind::Stopped, "scambio abbandonato su richiesta dell'operatore");
        std::string message =
            transfer.errorBuffer[0] ? transfer.errorBuffer : curl_easy_strerror(code);
        return failed(kindOf(code), std::move(message));
    }

    HttpAnswer answer;
    curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &answer.status);
    answer.body = std::move(transfer.sink.body);
    return answer;
}

}  // namespace

std::unique_ptr<HttpRequest> CurlTransport::createRequest() {
    return std::make_unique<CurlRequest>(m_options);
}

}  // namespace velmora
