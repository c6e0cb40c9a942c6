// The HTTP seam over libcurl: each request is one easy handle, HTTP/1.1, TLS
// certificates verified, bounded by a connect and a whole-exchange time-out.
// CURLcode and curl's error buffer become an HttpFailure here and nowhere else.
#pragma once

#include <chrono>
#include <cstddef>

#include "platform/Http.h"
#include "platform/StopRequest.h"

namespace velmora {

class CurlTransport : public HttpTransport {
public:
    struct Options {
        std::chrono::milliseconds connectTimeout{30'000};
        // The whole exchange, connection and answer included.
        std::chrono::milliseconds totalTimeout{120'000};
        // Answers larger than this end the exchange with a failure.
        std::size_t maxAnswerBytes = 32u * 1024u * 1024u;
        // When it asks to abandon exchanges, the one waiting ends at once with
        // an HttpFailure of kind Stopped.
        const StopRequest* stop = nullptr;
    };

    CurlTransport() = default;
    explicit CurlTransport(Options options) : m_options(std::move(options)) {}

    std::unique_ptr<HttpRequest> createRequest() override;

    const Options& options() const { return m_options; }

private:
    Options m_options;
};

}  // namespace velmora
