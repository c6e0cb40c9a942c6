// The HTTP seam: one request object per exchange with the regional service.
// open, setRequestHeader in order, send; the answer carries the status and the
// body whatever the status, and a transport failure comes back as a value.
#pragma once

#include <memory>
#include <string>

namespace velmora {

// Why an exchange produced no answer at all. None when an answer arrived.
struct HttpFailure {
    // Stopped: abandoned at the operator's request before the answer came.
    enum class Kind { None, Refused, Unresolved, Tls, Timeout, Stopped, Other } kind = Kind::None;
    // The transport's own words, e.g. "Failed to connect to 127.0.0.1 port 1".
    std::string message;
    explicit operator bool() const { return kind != Kind::None; }
};

// status 0 and an empty body when failure is set.
struct HttpAnswer {
    long status = 0;
    std::string body;
    HttpFailure failure;
};

class HttpRequest {
public:
    virtual ~HttpRequest() = default;
    // Starts a request; forgets the headers of any earlier one.
    virtual void open(const std::string& method, const std::string& url) = 0;
    // Adds a header; headers go out in the order they were set, and an empty
    // value still sends the header.
    virtual void setRequestHeader(const std::string& name, const std::string& value) = 0;
    // Sends the request and waits for the whole answer. A GET sends no body;
    // other methods send exactly the bytes of body with their Content-Length.
    virtual HttpAnswer send(const std::string& body) = 0;
};

class HttpTransport {
public:
    virtual ~HttpTransport() = default;
    // A new request object; one per exchange.
    virtual std::unique_ptr<HttpRequest> createRequest() = 0;
};

}  // namespace velmora
