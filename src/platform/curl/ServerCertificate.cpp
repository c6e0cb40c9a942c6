// The service's certificate through the Windows certificate API: the
// Schannel security context that curl hands out (CURLINFO_TLS_SSL_PTR,
// https://curl.se/libcurl/c/CURLINFO_TLS_SSL_PTR.html) gives the server's
// certificate (SECPKG_ATTR_REMOTE_CERT_CONTEXT); its chain is built against
// the user's and the machine's stores and checked with the SSL policy
// (https://learn.microsoft.com/windows/win32/api/wincrypt/nf-wincrypt-certverifycertificatechainpolicy).
#include "platform/curl/ServerCertificate.h"

#include <windows.h>
// (after windows.h, which they need)
#include <wincrypt.h>
#define SECURITY_WIN32
#include <schannel.h>
#include <security.h>

#include <cstdio>

#include "platform/windows/WindowsText.h"

namespace velmora {

namespace {

// The host of the address curl connected to.
std::string hostOf(CURL* handle) {
    char* url = nullptr;
    if (curl_easy_getinfo(handle, CURLINFO_EFFECTIVE_URL, &url) != CURLE_OK || !url) return {};
    CURLU* parsed = curl_url();
    char* host = nullptr;
    std::string out;
    if (parsed && curl_url_set(parsed, CURLUPART_URL, url, 0) == CURLUE_OK &&
        curl_url_get(parsed, CURLUPART_HOST, &host, 0) == CURLUE_OK)
        out = host;
    curl_free(host);
    curl_url_cleanup(parsed);
    // An IPv6 address comes in brackets.
    if (out.size() > 2 && out.front() == '[' && out.back() == ']')
        out = out.substr(1, out.size() - 2);
    return out;
}

// What a chain policy error means, in Italian whatever the language of
// Windows, with its code for whoever looks it up.
std::string policyError(DWORD code) {
    const char* what = nullptr;
    switch (static_cast<HRESULT>(code)) {
        case CERT_E_UNTRUSTEDROOT:
        case CERT_E_CHAINING:
            what = "emesso da un'autorità non riconosciuta da Windows";
            break;
        case CERT_E_CN_NO_MATCH:
            what = "rilasciato per un nome diverso da quello dell'indirizzo";
            break;
        case CERT_E_EXPIRED:
            what = "scaduto o non ancora valido";
            break;
        case CERT_E_REVOKED:
            what = "revocato";
            break;
        case CERT_E_WRONG_USAGE:
            what = "non rilasciato per un servizio web";
            break;
        default:
            return systemErrorText(code);
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(code));
    return std::string(what) + " (" + hex + ")";
}

}  // namespace

std::string untrustedServerCertificate(CURL* handle) {
    curl_tlssessioninfo* session = nullptr;
    if (curl_easy_getinfo(handle, CURLINFO_TLS_SSL_PTR, &session) != CURLE_OK || !session ||
        session->backend != CURLSSLBACKEND_SCHANNEL || !session->internals)
        return {};  // plain HTTP
    auto* context = static_cast<CtxtHandle*>(session->internals);
    PCCERT_CONTEXT certificate = nullptr;
    if (QueryContextAttributesW(context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &certificate) !=
            SEC_E_OK ||
        !certificate)
        return "il servizio non ha presentato un certificato";

    LPSTR serverUsage[] = {const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH)};
    CERT_CHAIN_PARA chainPara{};
    chainPara.cbSize = sizeof chainPara;
    chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
    chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
    chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = serverUsage;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    std::string problem;
    if (!CertGetCertificateChain(nullptr, certificate, nullptr, certificate->hCertStore, &chainPara,
                                 0, nullptr, &chain)) {
        problem = "catena del certificato non verificabile: " + systemErrorText(GetLastError());
    } else {
        std::wstring host = wideOf(hostOf(handle));
        SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
        ssl.cbSize = sizeof ssl;
        ssl.dwAuthType = AUTHTYPE_SERVER;
        ssl.pwszServerName = host.data();
        CERT_CHAIN_POLICY_PARA policy{};
        policy.cbSize = sizeof policy;
        policy.pvExtraPolicyPara = &ssl;
        CERT_CHAIN_POLICY_STATUS status{};
        status.cbSize = sizeof status;
        if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status))
            problem = "certificato non verificabile: " + systemErrorText(GetLastError());
        else if (status.dwError != 0)
            problem = "certificato del servizio " + policyError(status.dwError);
        CertFreeCertificateChain(chain);
    }
    CertFreeCertificateContext(certificate);
    return problem;
}

}  // namespace velmora
