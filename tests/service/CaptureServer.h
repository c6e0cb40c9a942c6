// A loopback HTTP server for the tests that keeps the raw bytes of every
// request and answers from a script: a status and body, no answer at all
// (hang until the client gives up), or a connection closed without answer.
#pragma once

#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace velmora::test {

class CaptureServer {
public:
    struct Reply {
        enum class Action { Answer, Hang, Close } action = Action::Answer;
        int status = 200;
        std::string body;
    };
    static Reply answer(int status, std::string body) {
        return {Reply::Action::Answer, status, std::move(body)};
    }
    static Reply hang() { return {Reply::Action::Hang, 0, {}}; }
    static Reply close() { return {Reply::Action::Close, 0, {}}; }

    // Listens on 127.0.0.1, on a port of its own choosing.
    CaptureServer();
    ~CaptureServer();
    CaptureServer(const CaptureServer&) = delete;
    CaptureServer& operator=(const CaptureServer&) = delete;

    int port() const { return m_port; }
    // "http://127.0.0.1:<port>" + path.
    std::string url(const std::string& path) const;

    // Replies for the next requests, in order; when none is left: 200, "".
    void script(std::vector<Reply> replies);
    // Raw bytes of every request received so far, in order.
    std::vector<std::string> requests() const;

private:
    void serve();
    void handle(int fd);

    int m_port = 0;  // set while m_listen is made: declared first
    int m_listen = -1;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::deque<Reply> m_script;
    std::vector<std::string> m_requests;
    std::thread m_thread;
};

// A raw request taken apart: request line, header lines in order, body.
struct RawRequest {
    std::string requestLine;
    std::vector<std::string> headers;
    std::string body;
};
RawRequest parseRawRequest(const std::string& raw);

// A port on 127.0.0.1 where nothing listens (bound once, then released).
int closedPort();

}  // namespace velmora::test
