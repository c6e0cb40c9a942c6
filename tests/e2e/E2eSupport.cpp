// Helpers of the end-to-end tests. POSIX only: the program is started with
// posix_spawn and waited for with a deadline, so a hanging run fails its test
// instead of stalling the suite.
#include "E2eSupport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "jetwrite/JetWriter.h"

extern char** environ;

namespace velmora::e2e {

namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

const char* const kDatabases[] = {"Comuni.mdb", "Scheda_Cliente.mdb", "SchedaStoricoClienti.mdb"};

// The demo databases, written once into a directory that lives as long as
// the process.
const test::TempDir& demoDatabases() {
    static const test::TempDir* dir = [] {
        auto* d = new test::TempDir;
        jetwrite::writeDatabase(*d / "Comuni.mdb",
                                {jetwrite::parseTextTable(demoCodesTable(), "CodiciVari")});
        jetwrite::writeDatabase(
            *d / "Scheda_Cliente.mdb",
            {jetwrite::readTextTable(sourceFile("demo/Scheda_Cliente.txt"), "Scheda_Cliente")});
        jetwrite::writeDatabase(
            *d / "SchedaStoricoClienti.mdb",
            {jetwrite::readTextTable(sourceFile("demo/SchedaStoricoClienti.txt"),
                                     "Scheda_Cliente")});
        return d;
    }();
    return *dir;
}

}  // namespace

std::string sourceFile(const std::string& relative) {
    return std::string(VELMORA_SOURCE_DIR) + "/" + relative;
}

const std::string& demoCodesTable() {
    static const std::string text = [] {
        std::string command = "'" + sourceFile("tools/codes/make-codes-table") + "'";
        for (const char* csv : {"comuni", "stati", "sigle-stati", "province"})
            command += " '" + sourceFile(std::string("demo/codes/") + csv + ".csv") + "'";
        std::FILE* pipe = ::popen(command.c_str(), "r");
        if (!pipe) throw std::runtime_error("cannot run " + command);
        std::string out;
        char buffer[65536];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            out.append(buffer, n);
        if (::pclose(pipe) != 0 || out.empty())
            throw std::runtime_error("make-codes-table failed: " + command);
        return out;
    }();
    return text;
}

void writeDemoHotel(const test::TempDir& dir) {
    for (const char* db : kDatabases)
        fs::copy_file(demoDatabases() / db, dir / db, fs::copy_options::overwrite_existing);
    fs::copy_file(sourceFile("demo/QLBDataI.txt"), dir / "QLBDataI.txt",
                  fs::copy_options::overwrite_existing);
}

void writeSettings(const test::TempDir& dir, const std::string& base, const std::string& password) {
    std::string text;
    for (const std::string& line : {std::string(kUser), password, base + "/login", base + "/logout",
                                    base + "/arrivi", base + "/partenze", base + "/chiusura"})
        text += line + "\r\n";
    dir.write("QLBSetup.txt", text);
}

std::string RawRequest::header(const std::string& name) const {
    for (const auto& [n, v] : headers)
        if (n == name) return v;
    return {};
}

RawRequest parseRawRequest(const std::string& raw) {
    RawRequest r;
    const std::size_t end = raw.find("\r\n\r\n");
    const std::string head = raw.substr(0, end);
    r.body = end == std::string::npos ? std::string() : raw.substr(end + 4);
    std::istringstream lines(head);
    std::string line;
    std::getline(lines, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream requestLine(line);
    requestLine >> r.method >> r.target;
    std::string path = r.target.substr(0, r.target.find('?'));
    r.segment = path.substr(path.find_last_of('/') + 1);
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(' '));
        r.headers.emplace_back(line.substr(0, colon), value);
    }
    const std::string length = r.header("Content-Length");
    r.complete = end != std::string::npos &&
                 (length.empty() ? r.body.empty() : std::to_string(r.body.size()) == length);
    return r;
}

LoopbackService::LoopbackService(const std::function<void(sim::ServiceSimOptions&)>& configure) {
    sim::ServiceSimOptions options;
    options.userId = kUser;
    options.password = kPassword;
    options.requestsDir = m_dir / "requests";
    if (configure) configure(options);
    m_sim = std::make_unique<sim::ServiceSim>(options);
    m_sim->start();
}

LoopbackService::~LoopbackService() { stop(); }

void LoopbackService::stop() { m_sim->stop(); }

std::string LoopbackService::base() const {
    return "http://127.0.0.1:" + std::to_string(m_sim->port()) + "/istat";
}

std::vector<RawRequest> LoopbackService::requests() const {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(m_dir / "requests"))
        files.push_back(entry.path());
    std::sort(files.begin(), files.end());  // NNNN- prefix: order received
    std::vector<RawRequest> out;
    for (const auto& f : files) out.push_back(parseRawRequest(readFile(f)));
    return out;
}

std::vector<std::string> LoopbackService::requestLines() const {
    std::vector<std::string> out;
    for (const RawRequest& r : requests()) out.push_back(r.method + " " + r.segment);
    return out;
}

int unusedPort() {
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0) throw std::runtime_error("socket");
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        ::close(s);
        throw std::runtime_error("bind");
    }
    ::close(s);  // bound but never listening, and now closed: connections are refused
    return ntohs(addr.sin_port);
}

ProgramResult runVelmora(const std::string& cwd, const std::vector<std::string>& args,
                         std::chrono::milliseconds limit, Stdout stdoutTo,
                         const std::function<void(int pid)>& whileRunning) {
    test::TempDir capture;
    const std::string program = std::string(VELMORA_BUILD_DIR) + "/velmora";
    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    int pipeEnds[2] = {-1, -1};
    if (stdoutTo == Stdout::ClosedPipe) {
        if (::pipe(pipeEnds) != 0) throw std::runtime_error("pipe");
        ::close(pipeEnds[0]);  // no reader, ever: every write fails
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
        posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, (capture / "out").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    posix_spawn_file_actions_addopen(&actions, 2, (capture / "err").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    // The program starts with the default signal actions a shell gives it,
    // whatever this process ignores (the loopback service ignores SIGPIPE).
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    const int spawned =
        posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (pipeEnds[1] >= 0) ::close(pipeEnds[1]);
    ProgramResult result;
    if (spawned != 0) {
        result.err = "posix_spawn failed";
        return result;
    }

    const auto deadline = std::chrono::steady_clock::now() + limit;
    int raw = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &raw, WNOHANG);
        if (done == pid) break;
        if (whileRunning) whileRunning(pid);
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &raw, 0);
            result.timedOut = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (!result.timedOut && WIFEXITED(raw)) result.status = WEXITSTATUS(raw);
    result.out = capture.read("out");
    result.err = capture.read("err");
    return result;
}

std::vector<MonitorAppend> parseBatchOutput(const std::string& out) {
    std::vector<MonitorAppend> appends;
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < out.size()) {
        std::size_t nl = out.find('\n', start);
        if (nl == std::string::npos) nl = out.size();
        lines.push_back(out.substr(start, nl - start));
        start = nl + 1;
    }
    bool open = false;
    for (const std::string& line : lines) {
        if (line == ">>> inviato" || line == "<<< risposta") {
            appends.push_back({line == ">>> inviato" ? 0 : 1, {}});
            open = false;
            continue;
        }
        if (appends.empty()) continue;  // nothing printed before a marker belongs to the monitor
        std::string& text = appends.back().text;
        if (open) text += '\n';
        text += line;
        open = true;
    }
    return appends;
}

std::array<std::string, 2> monitorModel(const std::vector<MonitorAppend>& appends) {
    std::array<std::string, 2> boxes;
    for (const MonitorAppend& a : appends) boxes[a.box] += "\r\n" + a.text;
    return boxes;
}

std::vector<Exchange> exchangesOf(const std::vector<MonitorAppend>& appends) {
    std::vector<Exchange> out;
    for (const MonitorAppend& a : appends) {
        if (a.box == 0) {
            out.push_back({a.text, {}});
        } else if (!out.empty()) {
            out.back().answers.push_back(a.text);
        } else {
            out.push_back({{}, {a.text}});
        }
    }
    return out;
}

std::vector<std::string> daysOf(const std::string& first, const std::string& last) {
    using namespace std::chrono;
    const auto serial = [](const std::string& d) {
        return sys_days(year_month_day(year(std::stoi(d.substr(6, 4))),
                                       month(static_cast<unsigned>(std::stoi(d.substr(3, 2)))),
                                       day(static_cast<unsigned>(std::stoi(d.substr(0, 2))))));
    };
    std::vector<std::string> out;
    for (sys_days d = serial(first); d <= serial(last); d += days(1)) {
        const year_month_day ymd(d);
        char text[16];
        std::snprintf(text, sizeof text, "%02u/%02u/%04d", static_cast<unsigned>(ymd.day()),
                      static_cast<unsigned>(ymd.month()), static_cast<int>(ymd.year()));
        out.push_back(text);
    }
    return out;
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    if (from.empty()) return text;
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::string withLineFeeds(const std::string& text) { return replaceAll(text, "\r\n", "\n"); }

namespace {

// Splits "Prefix-STAMP.xml" and "Prefix-STAMP-n.xml" (n from 2 on, STAMP of
// 12 or 14 digits); false for any other name.
bool splitLogName(const std::string& name, std::string& prefix, std::string& stamp, long& number) {
    static const std::regex form(R"(([A-Za-z]+)-(\d{12}|\d{14})(?:-([1-9]\d*))?\.xml)");
    std::smatch m;
    if (!std::regex_match(name, m, form)) return false;
    number = m[3].matched ? std::stol(m[3].str()) : 1;
    if (m[3].matched && number < 2) return false;
    prefix = m[1].str();
    stamp = m[2].str();
    return true;
}

}  // namespace

std::map<std::string, std::vector<LogFile>> velmoraFiles(const std::string& workDir) {
    struct Entry {
        std::string stamp;
        long number;
        LogFile file;
    };
    std::map<std::string, std::vector<Entry>> byPrefix;
    const fs::path dir = fs::path(workDir) / "Velmora";
    if (fs::is_directory(dir)) {
        for (const auto& entry : fs::directory_iterator(dir)) {
            const std::string name = entry.path().filename().string();
            // The send journal indexes the log files; tests/journal reads it.
            if (name.rfind("Velmora.sqlite", 0) == 0) continue;  // with its -wal and -shm
            std::string prefix = "?", stamp;
            long number = 0;
            splitLogName(name, prefix, stamp, number);
            byPrefix[prefix].push_back({stamp, number, {name, readFile(entry.path())}});
        }
    }
    std::map<std::string, std::vector<LogFile>> out;
    for (auto& [prefix, entries] : byPrefix) {
        std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
            return std::tie(a.stamp, a.number) < std::tie(b.stamp, b.number);
        });
        for (Entry& e : entries) out[prefix].push_back(std::move(e.file));
    }
    return out;
}

std::map<std::string, std::size_t> fileCounts(
    const std::map<std::string, std::vector<LogFile>>& files) {
    std::map<std::string, std::size_t> counts;
    for (const auto& [prefix, list] : files) counts[prefix] = list.size();
    return counts;
}

}  // namespace velmora::e2e
