// Windows only: the service's certificate checked with Windows' own chain
// verification (CertGetCertificateChain, CertVerifyCertificateChainPolicy
// with the SSL policy and the host's name) after the TLS handshake and
// before any byte of the request leaves. Schannel verifies it already; this
// makes sure of it where a Schannel does not (Wine's accepts any
// certificate), with the same store and the same rules.
#pragma once

#include <curl/curl.h>

#include <string>

namespace velmora {

// Why the server's certificate on the connection of handle is not to be
// trusted for the address's host, or "" when it is (or the connection is
// not TLS over Schannel).
std::string untrustedServerCertificate(CURL* handle);

}  // namespace velmora
