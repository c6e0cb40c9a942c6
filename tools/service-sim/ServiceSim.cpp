// The loopback service: routing by the last path segment, the login tokens it
// issued, the answers of each address, the fault options and the numbered raw
// request files.
#include "ServiceSim.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <stdexcept>

#include "RawServer.h"
#include "SimChecks.h"

namespace velmora::sim {

namespace {

const char* const kTextType = "text/plain; charset=utf-8";

std::string lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// The last segment of a path or request target, without query or trailing '/'.
std::string lastSegment(std::string path) {
    path = path.substr(0, path.find('?'));
    while (!path.empty() && path.back() == '/') path.pop_back();
    return path.substr(path.find_last_of('/') == std::string::npos ? 0
                                                                   : path.find_last_of('/') + 1);
}

bool containsAny(const std::string& path, const std::vector<std::string>& parts) {
    for (const auto& part : parts)
        if (!part.empty() && path.find(part) != std::string::npos) return true;
    return false;
}

// A file-name piece made of letters, digits, '-' and '_' only.
std::string fileSafe(const std::string& text, const char* fallback) {
    std::string out;
    for (char c : text) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                  c == '-' || c == '_';
        out += ok ? c : '_';
        if (out.size() == 40) break;
    }
    return out.empty() ? fallback : out;
}

}  // namespace

Endpoint EndpointOf(const std::string& path) {
    const std::string segment = lower(lastSegment(path));
    struct Keyword {
        const char* word;
        Endpoint endpoint;
    };
    static const Keyword keywords[] = {
        {"logout", Endpoint::Logout},        {"login", Endpoint::Login},
        {"arrival", Endpoint::Arrivals},     {"arrivi", Endpoint::Arrivals},
        {"departure", Endpoint::Departures}, {"partenze", Endpoint::Departures},
        {"close", Endpoint::CloseDay},       {"chiusura", Endpoint::CloseDay},
    };
    for (const auto& k : keywords)
        if (segment.find(k.word) != std::string::npos) return k.endpoint;
    return Endpoint::Unknown;
}

ServiceSim::ServiceSim(ServiceSimOptions options) : m_options(std::move(options)) {}

ServiceSim::~ServiceSim() { stop(); }

int ServiceSim::start() {
    if (m_server) return m_port;
    if (!m_options.requestsDir.empty()) std::filesystem::create_directories(m_options.requestsDir);

    m_server = std::make_unique<RawServer>();
    m_server->set_payload_max_length(64u * 1024u * 1024u);
    m_server->setRequestSink([this](const std::string& raw) {
        const std::size_t number = writeRequest(raw);
        if (m_options.received) m_options.received(number);
    });
    m_server->setExchangeDone([this] {
        std::size_t number;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            number = ++m_answered;
        }
        if (m_options.answered) m_options.answered(number);
    });
    auto handler = [this](const httplib::Request& req, httplib::Response& res) {
        m_server->recordCurrentRequest();
        if (containsAny(req.path, m_options.close)) {
            RawServer::dropCurrentConnection();
            res.status = 200;
            return;
        }
        if (containsAny(req.path, m_options.hang)) {
            hangUntilStopped();
            RawServer::dropCurrentConnection();
            res.status = 200;
            return;
        }
        Reply reply{500, "Errore: errore interno simulato"};
        if (!containsAny(req.path, m_options.fail500))
            reply = answer(req.method, req.path, req.get_header_value("UserId"),
                           req.get_header_value("Password"), req.get_header_value("Authorization"),
                           req.body);
        res.status = reply.status;
        res.set_content(reply.body, kTextType);
    };
    m_server->Get(".*", handler);
    m_server->Post(".*", handler);
    m_server->Put(".*", handler);
    m_server->Delete(".*", handler);

    int port = m_options.port;
    if (port == 0) {
        port = m_server->bind_to_any_port("127.0.0.1");
    } else if (!m_server->bind_to_port("127.0.0.1", port)) {
        port = -1;
    }
    if (port <= 0) {
        m_server.reset();
        throw std::runtime_error("porta " + std::to_string(m_options.port) +
                                 " su 127.0.0.1 non disponibile");
    }
    m_port = port;
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    // stop() only reaches a server that already runs its accept loop.
    for (int i = 0; i < 5000 && !m_server->is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return m_port;
}

void ServiceSim::stop() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_stopped.notify_all();
    if (m_server) m_server->stop();
    if (m_thread.joinable()) m_thread.join();
}

std::size_t ServiceSim::requestCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

void ServiceSim::hangUntilStopped() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_stopped.wait(lock, [this] { return m_stopping; });
}

std::string ServiceSim::newToken() {
    static thread_local std::mt19937_64 generator{std::random_device{}()};
    char text[33];
    std::snprintf(text, sizeof text, "%016llx%016llx", static_cast<unsigned long long>(generator()),
                  static_cast<unsigned long long>(generator()));
    std::lock_guard<std::mutex> lock(m_mutex);
    m_tokens.insert(text);
    return text;
}

bool ServiceSim::authorized(const std::string& userIdHeader,
                            const std::string& authorization) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return userIdHeader == m_options.userId && m_tokens.count(authorization) == 1;
}

ServiceSim::Reply ServiceSim::answer(const std::string& method, const std::string& path,
                                     const std::string& userIdHeader,
                                     const std::string& passwordHeader,
                                     const std::string& authorization, const std::string& body) {
    const Endpoint endpoint = EndpointOf(path);
    if (endpoint == Endpoint::Unknown) return {404, "Errore: indirizzo sconosciuto " + path};
    const std::string expected = endpoint == Endpoint::Login ? "GET" : "POST";
    if (method != expected)
        return {405, "Errore: metodo " + method + " non ammesso, atteso " + expected};

    switch (endpoint) {
        case Endpoint::Login:
            if (userIdHeader == m_options.userId && passwordHeader == m_options.password)
                return {200, "\"" + newToken() + "\""};
            return {401, "Errore: utente o password non validi"};
        case Endpoint::Logout: {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_tokens.erase(authorization);
            return {200, "Disconnessione effettuata"};
        }
        case Endpoint::Arrivals:
        case Endpoint::Departures: {
            if (!authorized(userIdHeader, authorization))
                return {401, "Errore: autorizzazione non valida"};
            StaysVerdict v =
                CheckStaysDocument(body, m_options.userId, endpoint == Endpoint::Arrivals);
            if (!v.malformed.empty()) return {400, "Errore: documento non valido: " + v.malformed};
            std::string text;
            for (const auto& line : v.errors) text += line + "\r\n";
            text += "Ricevute " + std::to_string(v.guests) + " presenze, accettate " +
                    std::to_string(v.accepted);
            return {200, text};
        }
        case Endpoint::CloseDay: {
            if (!authorized(userIdHeader, authorization))
                return {401, "Errore: autorizzazione non valida"};
            EndDayVerdict v = CheckEndDayMessage(body, m_options.userId);
            if (!v.malformed.empty()) return {400, "Errore: documento non valido: " + v.malformed};
            if (!v.problem.empty()) return {400, "Errore: " + v.problem};
            return {200, "Giornata " + v.date + " chiusa"};
        }
        case Endpoint::Unknown:
            break;
    }
    return {404, "Errore: indirizzo sconosciuto " + path};
}

std::size_t ServiceSim::writeRequest(const std::string& raw) {
    std::size_t number;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        number = ++m_requests;
    }
    if (m_options.requestsDir.empty()) return number;
    // Request line: METHOD SP target SP version.
    const std::string line = raw.substr(0, raw.find("\r\n"));
    const std::size_t sp1 = line.find(' ');
    const std::string method = line.substr(0, sp1);
    const std::string target =
        sp1 == std::string::npos ? "" : line.substr(sp1 + 1, line.find(' ', sp1 + 1) - sp1 - 1);
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%04zu", number);
    const std::string name = std::string(prefix) + "-" + fileSafe(method, "X") + "-" +
                             fileSafe(lastSegment(target), "root") + ".txt";
    const auto path = std::filesystem::path(m_options.requestsDir) / name;
    std::ofstream out(path, std::ios::binary);
    out.write(raw.data(), static_cast<std::streamsize>(raw.size()));
    out.close();
    if (!out) std::cerr << "velmora-service-sim: cannot write " << path.string() << "\n";
    return number;
}

}  // namespace velmora::sim
