// An httplib server that keeps the raw bytes of every request it receives and
// can close a connection without answering. It serves one request per
// connection (each answer says "Connection: close"), which is how the client
// under test talks to it.
#pragma once

#include <httplib.h>

#include <functional>
#include <string>

namespace velmora::sim {

class RawServer : public httplib::Server {
public:
    // Receives the raw bytes of a request: from a handler through
    // recordCurrentRequest(), or after the exchange for requests no handler saw.
    using RequestSink = std::function<void(const std::string& raw)>;
    void setRequestSink(RequestSink sink) { m_sink = std::move(sink); }
    // Called once a connection's exchange is over: its answer written (or
    // dropped) and the connection closed.
    void setExchangeDone(std::function<void()> done) { m_done = std::move(done); }

    // From inside a handler: hands the bytes received so far on this
    // connection (the whole request) to the sink, once.
    void recordCurrentRequest();
    // From inside a handler: close the connection without any answer.
    static void dropCurrentConnection();

private:
    bool process_and_close_socket(socket_t sock) override;

    RequestSink m_sink;
    std::function<void()> m_done;
};

}  // namespace velmora::sim
