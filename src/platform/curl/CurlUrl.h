// Addresses of the service checked before anything is sent: each is parsed
// with libcurl's URL API exactly as it stands in the settings file, so that an
// address curl would refuse is found before the login, not half way through.
#pragma once

#include <string>

namespace velmora {

// What makes url unusable for an exchange, in Italian ("è vuoto", "non
// inizia con http:// o https://", ...), or "" when libcurl takes it as an
// http or https address with a host. Nothing is sent and url is not changed.
std::string addressProblem(const std::string& url);

}  // namespace velmora
