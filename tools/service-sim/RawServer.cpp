// The connection handling of RawServer: a Stream over the accepted socket that
// buffers reads, keeps every byte received, honours the server's read and
// write time-outs, and discards the answer of a dropped connection.
#include "RawServer.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstring>

namespace velmora::sim {

namespace {

#ifdef _WIN32
int pollOne(socket_t s, short events, int ms) {
    WSAPOLLFD p{s, events, 0};
    return WSAPoll(&p, 1, ms);
}
void closeSocket(socket_t s) {
    shutdown(s, SD_BOTH);
    closesocket(s);
}
constexpr int kSendFlags = 0;
#else
int pollOne(socket_t s, short events, int ms) {
    pollfd p{s, events, 0};
    return poll(&p, 1, ms);
}
void closeSocket(socket_t s) {
    shutdown(s, SHUT_RDWR);
    close(s);
}
constexpr int kSendFlags = MSG_NOSIGNAL;
#endif

void addressOf(const sockaddr_storage& addr, std::string& ip, int& port) {
    char text[INET6_ADDRSTRLEN] = {};
    if (addr.ss_family == AF_INET) {
        const auto* a = reinterpret_cast<const sockaddr_in*>(&addr);
        inet_ntop(AF_INET, &a->sin_addr, text, sizeof text);
        port = ntohs(a->sin_port);
    } else if (addr.ss_family == AF_INET6) {
        const auto* a = reinterpret_cast<const sockaddr_in6*>(&addr);
        inet_ntop(AF_INET6, &a->sin6_addr, text, sizeof text);
        port = ntohs(a->sin6_port);
    }
    ip = text;
}

class RawStream : public httplib::Stream {
public:
    RawStream(socket_t sock, int readTimeoutMs, int writeTimeoutMs)
        : m_sock(sock), m_readMs(readTimeoutMs), m_writeMs(writeTimeoutMs) {}

    bool is_readable() const override {
        return m_pos < m_buffer.size() || pollOne(m_sock, POLLIN, m_readMs) > 0;
    }
    bool is_writable() const override {
        return !dropped && pollOne(m_sock, POLLOUT, m_writeMs) > 0;
    }

    ssize_t read(char* ptr, size_t size) override {
        if (m_pos == m_buffer.size()) {
            if (pollOne(m_sock, POLLIN, m_readMs) <= 0) return -1;
            char chunk[4096];
            auto n = recv(m_sock, chunk, sizeof chunk, 0);
            if (n <= 0) return n;
            m_buffer.assign(chunk, static_cast<size_t>(n));
            m_pos = 0;
            m_raw.append(chunk, static_cast<size_t>(n));
        }
        size_t n = std::min(size, m_buffer.size() - m_pos);
        std::memcpy(ptr, m_buffer.data() + m_pos, n);
        m_pos += n;
        return static_cast<ssize_t>(n);
    }

    ssize_t write(const char* ptr, size_t size) override {
        size_t sent = 0;
        while (sent < size) {
            if (!is_writable()) return -1;
            auto n = send(m_sock, ptr + sent, size - sent, kSendFlags);
            if (n <= 0) return -1;
            sent += static_cast<size_t>(n);
        }
        return static_cast<ssize_t>(sent);
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        sockaddr_storage addr{};
        socklen_t len = sizeof addr;
        if (getpeername(m_sock, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
            addressOf(addr, ip, port);
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        sockaddr_storage addr{};
        socklen_t len = sizeof addr;
        if (getsockname(m_sock, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
            addressOf(addr, ip, port);
    }
    socket_t socket() const override { return m_sock; }

    const std::string& raw() const { return m_raw; }
    bool recorded = false;
    bool dropped = false;

private:
    socket_t m_sock;
    int m_readMs;
    int m_writeMs;
    std::string m_buffer;
    size_t m_pos = 0;
    std::string m_raw;
};

// The connection the current worker thread serves; handlers run on it.
thread_local RawStream* t_stream = nullptr;

}  // namespace

void RawServer::recordCurrentRequest() {
    if (!t_stream || t_stream->recorded) return;
    t_stream->recorded = true;
    if (m_sink) m_sink(t_stream->raw());
}

void RawServer::dropCurrentConnection() {
    if (t_stream) t_stream->dropped = true;
}

bool RawServer::process_and_close_socket(socket_t sock) {
    RawStream stream(sock, static_cast<int>(read_timeout_sec_ * 1000 + read_timeout_usec_ / 1000),
                     static_cast<int>(write_timeout_sec_ * 1000 + write_timeout_usec_ / 1000));
    t_stream = &stream;
    bool connectionClosed = false;
    bool ok = process_request(stream, true, connectionClosed, {});
    t_stream = nullptr;
    if (!stream.recorded && !stream.raw().empty() && m_sink) m_sink(stream.raw());
    closeSocket(sock);
    if (m_done) m_done();
    return ok;
}

}  // namespace velmora::sim
