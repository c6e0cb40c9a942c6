// velmora-service-sim: runs the loopback regional service until SIGTERM,
// SIGINT or the given number of seconds, printing "PORT <n>" once it listens.
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>

#include "ServiceSim.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

extern "C" void onSignal(int) { g_stop = 1; }

const char* const kUsage = R"(usage: velmora-service-sim --user ID --password PW [options]

A loopback stand-in for the regional statistics service. Listens on
127.0.0.1 and prints "PORT <n>" on a line of its own once it accepts
requests. Stops cleanly on SIGTERM or SIGINT.

Options:
  --user ID            the one user id (also the hotel code of the documents)
  --password PW        its password
  --port N             port to listen on; 0 (default) picks a free one
  --requests-dir DIR   write every request received, raw (request line,
                       headers as received, blank line, body), to
                       DIR/NNNN-METHOD-segment.txt, e.g. 0001-GET-login.txt
  --seconds N          stop by itself after N seconds
  --fail-500 PART      answer 500 to every path containing PART
  --hang PART          never answer a path containing PART (until stopped)
  --close PART         close the connection without an answer for a path
                       containing PART
  --help               this text
The three fault options may be given more than once.

Addresses: any prefix works; the last path segment decides (letter case
ignored): "login" (GET), "logout" (POST), "arrivals" or "arrivi" (POST),
"departures" or "partenze" (POST), "close" or "chiusura" (POST), e.g.
  http://127.0.0.1:PORT/istat/login      http://127.0.0.1:PORT/istat/logout
  http://127.0.0.1:PORT/istat/arrivi     http://127.0.0.1:PORT/istat/partenze
  http://127.0.0.1:PORT/istat/chiusura

Answers:
  login      headers UserId and Password right: 200 and a new token between
             double quotes; wrong: 401 "Errore: ..."
  arrivals, departures
             header UserId right and Authorization a token it issued, else
             401; a body that is not a well-formed StaysPmsDTO document: 400
             "Errore: documento non valido: ..."; otherwise 200 with one line
             "Errore: ospite <GuestId>: ..." per rejected guest and a last line
             "Ricevute N presenze, accettate M". A guest is rejected when its
             stay's HotelCode is not the user id, a code element is not 9
             digits, a date-time is not of the form 2024-03-15T10:00:00.000Z
             (or .00Z), the departure is before the arrival, or Checkout is
             not "false" at arrivals / "true" at departures.
  close      authorized as above; EndDayPmsDTO with the user's HotelCode and a
             CurrentDate of the same form: 200 "Giornata YYYY-MM-DD chiusa"
  logout     200; the token it carried stops being valid
  other      404
)";

bool readNumber(const std::string& text, long& out) {
    if (text.empty() || text.size() > 9) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    out = std::stol(text);
    return true;
}

int usageError(const std::string& what) {
    std::cerr << "velmora-service-sim: " << what << "\n(--help for usage)\n";
    return 64;
}

}  // namespace

int main(int argc, char** argv) {
    velmora::sim::ServiceSimOptions options;
    long seconds = 0;
    bool haveUser = false, havePassword = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (i + 1 >= argc) return usageError("missing value after " + arg);
        const std::string value = argv[++i];
        long n = 0;
        if (arg == "--user") {
            options.userId = value;
            haveUser = true;
        } else if (arg == "--password") {
            options.password = value;
            havePassword = true;
        } else if (arg == "--port") {
            if (!readNumber(value, n) || n > 65535) return usageError("bad port: " + value);
            options.port = static_cast<int>(n);
        } else if (arg == "--requests-dir") {
            options.requestsDir = value;
        } else if (arg == "--seconds") {
            if (!readNumber(value, n)) return usageError("bad number of seconds: " + value);
            seconds = n;
        } else if (arg == "--fail-500") {
            options.fail500.push_back(value);
        } else if (arg == "--hang") {
            options.hang.push_back(value);
        } else if (arg == "--close") {
            options.close.push_back(value);
        } else {
            return usageError("unknown option " + arg);
        }
    }
    if (!haveUser || !havePassword) return usageError("--user and --password are required");

    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);

    velmora::sim::ServiceSim sim(options);
    try {
        sim.start();
    } catch (const std::exception& e) {
        std::cerr << "velmora-service-sim: " << e.what() << "\n";
        return 1;
    }
    std::cout << "PORT " << sim.port() << std::endl;

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!g_stop && (seconds == 0 || std::chrono::steady_clock::now() < deadline))
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    sim.stop();
    return 0;
}
