// The capture server on POSIX sockets: one thread, one connection at a time,
// every wait bounded so that stopping never blocks.
#include "CaptureServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace velmora::test {

namespace {

int listenOnLoopback(int& port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) throw std::runtime_error("socket");
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 8) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        ::close(fd);
        throw std::runtime_error("bind/listen on 127.0.0.1");
    }
    port = ntohs(addr.sin_port);
    return fd;
}

bool readable(int fd, int ms) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, ms) > 0;
}

std::string lowerAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// Content-Length of a header block; 0 when absent.
std::size_t contentLength(const std::string& head) {
    std::string lower = lowerAscii(head);
    std::size_t at = lower.find("\r\ncontent-length:");
    if (at == std::string::npos) return 0;
    return std::stoul(head.substr(at + 17));
}

const char* reason(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 401:
            return "Unauthorized";
        case 500:
            return "Internal Server Error";
        default:
            return "Status";
    }
}

}  // namespace

CaptureServer::CaptureServer() : m_listen(listenOnLoopback(m_port)) {
    m_thread = std::thread([this] { serve(); });
}

CaptureServer::~CaptureServer() {
    m_stop = true;
    m_thread.join();
    ::close(m_listen);
}

std::string CaptureServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

void CaptureServer::script(std::vector<Reply> replies) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_script.assign(replies.begin(), replies.end());
}

std::vector<std::string> CaptureServer::requests() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

void CaptureServer::serve() {
    while (!m_stop) {
        if (!readable(m_listen, 20)) continue;
        int fd = accept(m_listen, nullptr, nullptr);
        if (fd < 0) continue;
        handle(fd);
        ::close(fd);
    }
}

void CaptureServer::handle(int fd) {
    // Read the head, then as many body bytes as it announces (5 s at most).
    std::string raw;
    std::size_t expected = std::string::npos;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!m_stop && std::chrono::steady_clock::now() < deadline) {
        if (expected != std::string::npos && raw.size() >= expected) break;
        if (!readable(fd, 20)) continue;
        char chunk[4096];
        ssize_t n = recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0) break;
        raw.append(chunk, static_cast<std::size_t>(n));
        if (raw[0] < 'A' || raw[0] > 'Z') break;  // not HTTP (a TLS hello): answer now
        std::size_t headEnd = raw.find("\r\n\r\n");
        if (expected == std::string::npos && headEnd != std::string::npos)
            expected = headEnd + 4 + contentLength(raw.substr(0, headEnd + 2));
    }
    Reply reply;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requests.push_back(raw);
        if (!m_script.empty()) {
            reply = m_script.front();
            m_script.pop_front();
        }
    }
    switch (reply.action) {
        case Reply::Action::Close:
            return;
        case Reply::Action::Hang:
            // Until the client gives up or the server stops.
            while (!m_stop) {
                if (!readable(fd, 20)) continue;
                char byte;
                if (recv(fd, &byte, 1, 0) <= 0) return;
            }
            return;
        case Reply::Action::Answer: {
            std::string out = "HTTP/1.1 " + std::to_string(reply.status) + " " +
                              reason(reply.status) +
                              "\r\nContent-Length: " + std::to_string(reply.body.size()) +
                              "\r\nConnection: close\r\n\r\n" + reply.body;
            std::size_t sent = 0;
            while (sent < out.size()) {
                ssize_t n = send(fd, out.data() + sent, out.size() - sent, MSG_NOSIGNAL);
                if (n <= 0) return;
                sent += static_cast<std::size_t>(n);
            }
            return;
        }
    }
}

RawRequest parseRawRequest(const std::string& raw) {
    RawRequest request;
    std::size_t headEnd = raw.find("\r\n\r\n");
    std::string head = raw.substr(0, headEnd);
    request.body = headEnd == std::string::npos ? "" : raw.substr(headEnd + 4);
    std::size_t start = 0;
    bool first = true;
    while (start <= head.size()) {
        std::size_t end = head.find("\r\n", start);
        if (end == std::string::npos) end = head.size();
        std::string line = head.substr(start, end - start);
        if (first) {
            request.requestLine = line;
            first = false;
        } else {
            request.headers.push_back(line);
        }
        start = end + 2;
    }
    return request;
}

int closedPort() {
    int port = 0;
    int fd = listenOnLoopback(port);
    ::close(fd);
    return port;
}

}  // namespace velmora::test
