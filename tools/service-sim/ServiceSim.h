// A loopback stand-in for the regional statistics service, for the demo and
// the end-to-end tests: login with one user id and password, arrivals and
// departures checked stay by stay, end of day and logout, every request kept
// raw as a numbered file, and faults (500, hang, close) on chosen paths.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace velmora::sim {

class RawServer;

struct ServiceSimOptions {
    int port = 0;  // 0: any free port
    std::string userId;
    std::string password;
    // Where each received request is written raw as NNNN-METHOD-segment.txt;
    // empty: not written.
    std::string requestsDir;
    // Paths containing one of these parts answer 500, never answer, or have
    // their connection closed without an answer.
    std::vector<std::string> fail500;
    std::vector<std::string> hang;
    std::vector<std::string> close;
    // Called on a server thread with the request's number (from 1): when a
    // request has arrived, before it is answered; when an exchange is over,
    // its answer written and the connection closed.
    std::function<void(std::size_t number)> received;
    std::function<void(std::size_t number)> answered;
};

// Which service address a path stands for, by the keywords of its last
// segment (letter case ignored): login; logout; arrivals, arrivi;
// departures, partenze; close, chiusura. Any prefix before it works.
enum class Endpoint { Unknown, Login, Logout, Arrivals, Departures, CloseDay };
Endpoint EndpointOf(const std::string& path);

class ServiceSim {
public:
    explicit ServiceSim(ServiceSimOptions options);
    ~ServiceSim();
    ServiceSim(const ServiceSim&) = delete;
    ServiceSim& operator=(const ServiceSim&) = delete;

    // Listens on 127.0.0.1 and serves on a thread of its own; returns the
    // port. Throws std::runtime_error when the port cannot be bound.
    int start();
    // Stops serving; hung requests are released. Safe to call twice.
    void stop();

    int port() const { return m_port; }
    // Number of requests received so far.
    std::size_t requestCount() const;

private:
    struct Reply {
        int status;
        std::string body;
    };
    Reply answer(const std::string& method, const std::string& path,
                 const std::string& userIdHeader, const std::string& passwordHeader,
                 const std::string& authorization, const std::string& body);
    bool authorized(const std::string& userIdHeader, const std::string& authorization) const;
    std::string newToken();
    // Keeps a request; its number.
    std::size_t writeRequest(const std::string& raw);
    void hangUntilStopped();

    ServiceSimOptions m_options;
    std::unique_ptr<RawServer> m_server;
    std::thread m_thread;
    int m_port = 0;

    mutable std::mutex m_mutex;
    std::condition_variable m_stopped;
    bool m_stopping = false;
    std::set<std::string> m_tokens;
    std::size_t m_requests = 0;
    std::size_t m_answered = 0;
};

}  // namespace velmora::sim
