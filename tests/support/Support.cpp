// Helpers of every test program. Programs are started (posix_spawn, or
// CreateProcessW on Windows) and waited for with a deadline, so a hanging run
// fails its test instead of stalling the suite.
#include "support/Support.h"

#ifdef _WIN32
#include <windows.h>
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "jetwrite/JetWriter.h"
#ifdef _WIN32
#include "platform/windows/WindowsText.h"
#endif

#ifndef _WIN32
extern char** environ;
#endif

namespace velmora::test {

namespace fs = std::filesystem;

const char* const kRegisterHeader =
    "NumeroHotel:Long|NumeroProgressivo:Long|CapoFamiglia:Text(1)|CapoGruppo:Text(1)|"
    "CodiceCapoFamiglia:Long|CodiceCapoGruppo:Long|DataArrivo:Text(8)|DataPartenza:Text(8)|"
    "DataPartenzaReale:Text(8)|Partito:Text(1)|DataNascita:Text(8)|LuogoNascita:Text(60)|"
    "Stato:Text(5)|Residenza:Text(50)|Sesso:Text(1)|NumeroCamera:Integer\n";
const char* const kHistoryHeader =
    "NumeroHotel:Long|NumeroProgressivo:Long|NomeCliente:Text(60)|CapoFamiglia:Text(1)|"
    "CapoGruppo:Text(1)|CodiceCapoFamiglia:Long|CodiceCapoGruppo:Long|DataArrivo:Text(8)|"
    "DataPartenza:Text(8)|DataPartenzaReale:Text(8)|Partito:Text(1)|DataNascita:Text(8)|"
    "LuogoNascita:Text(60)|Stato:Text(5)|Residenza:Text(50)|Sesso:Text(1)|"
    "NumeroCamera:Integer\n";

namespace {

// A file of the source tree ("demo/Scheda_Cliente.txt").
std::string sourceFile(const std::string& relative) {
    return std::string(VELMORA_SOURCE_DIR) + "/" + relative;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

const char* const kDatabases[] = {"Comuni.mdb", "Scheda_Cliente.mdb", "SchedaStoricoClienti.mdb"};

#ifdef _WIN32
// The demo databases, made once into a directory that lives as long as the
// process by velmora-jetwrite.exe, from the codes table the build made on
// the host (tools/codes/make-codes-table is a shell script).
const TempDir& demoDatabases() {
    static const TempDir* dir = [] {
        auto* d = new TempDir;
        const auto jetwrite = [d](const std::string& db, const std::string& table,
                                  const std::string& text) {
            const ProgramResult r =
                runVelmora(d->path(), {db, table + "=" + text}, std::chrono::seconds(60),
                           Stdout::Captured, "velmora-jetwrite");
            if (r.status != 0) throw std::runtime_error("velmora-jetwrite " + db + ": " + r.err);
        };
        jetwrite("Comuni.mdb", "CodiciVari",
                 std::string(VELMORA_BUILD_DIR) + "/tests/CodiciVari.txt");
        jetwrite("Scheda_Cliente.mdb", "Scheda_Cliente", sourceFile("demo/Scheda_Cliente.txt"));
        jetwrite("SchedaStoricoClienti.mdb", "Scheda_Cliente",
                 sourceFile("demo/SchedaStoricoClienti.txt"));
        return d;
    }();
    return *dir;
}
#else
void shell(const std::string& command) {
    if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
}

// The demo databases, made once into a directory that lives as long as the
// process, the way scripts/demo makes them.
const TempDir& demoDatabases() {
    static const TempDir* dir = [] {
        auto* d = new TempDir;
        const std::string jetwrite = "'" + std::string(VELMORA_BUILD_DIR) + "/velmora-jetwrite' '";
        std::string codes = "'" + sourceFile("tools/codes/make-codes-table") + "'";
        for (const char* csv : {"comuni", "stati", "sigle-stati", "province"})
            codes += " '" + sourceFile(std::string("demo/codes/") + csv + ".csv") + "'";
        shell(codes + " > '" + (*d / "CodiciVari.txt") + "'");
        shell(jetwrite + (*d / "Comuni.mdb") + "' CodiciVari='" + (*d / "CodiciVari.txt") + "'");
        shell(jetwrite + (*d / "Scheda_Cliente.mdb") + "' Scheda_Cliente='" +
              sourceFile("demo/Scheda_Cliente.txt") + "'");
        shell(jetwrite + (*d / "SchedaStoricoClienti.mdb") + "' Scheda_Cliente='" +
              sourceFile("demo/SchedaStoricoClienti.txt") + "'");
        return d;
    }();
    return *dir;
}
#endif

RawRequest parseRawRequest(const std::string& raw) {
    RawRequest r;
    const std::size_t end = raw.find("\r\n\r\n");
    r.head = raw.substr(0, end);
    r.body = end == std::string::npos ? std::string() : raw.substr(end + 4);
    std::istringstream lines(r.head);
    std::string line, target;
    std::getline(lines, line);
    std::istringstream(line) >> r.method >> target;
    target = target.substr(0, target.find('?'));
    r.segment = target.substr(target.find_last_of('/') + 1);
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

}  // namespace

std::string testFile(const std::string& relative) {
    const fs::path path = sourceFile("tests/" + relative);
    if (!fs::exists(path)) throw std::runtime_error("missing test file " + path.string());
    return readFile(path);
}

void writeTables(const std::string& path,
                 const std::vector<std::pair<std::string, std::string>>& tables) {
    std::vector<jetwrite::Table> parsed;
    for (const auto& [name, text] : tables) parsed.push_back(jetwrite::parseTextTable(text, name));
    jetwrite::writeDatabase(path, parsed);
}

void writeDemoHotel(const TempDir& dir) {
    for (const char* db : kDatabases)
        fs::copy_file(demoDatabases() / db, dir / db, fs::copy_options::overwrite_existing);
    fs::copy_file(sourceFile("demo/QLBDataI.txt"), dir / "QLBDataI.txt",
                  fs::copy_options::overwrite_existing);
}

void writeSettings(const TempDir& dir, const std::string& base, const std::string& password) {
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
    if (fs::is_directory(m_dir / "requests"))
        for (const auto& entry : fs::directory_iterator(m_dir / "requests"))
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());  // NNNN- prefix: order received
    std::vector<RawRequest> out;
    for (const auto& f : files) out.push_back(parseRawRequest(readFile(f)));
    return out;
}

std::vector<std::string> LoopbackService::requestLines() const {
    std::vector<std::string> lines;
    for (const RawRequest& r : requests()) lines.push_back(r.method + " " + r.segment);
    return lines;
}

#ifdef _WIN32
namespace {

// One argument as the C runtime's command-line parser reads it back: in
// quotes, each quote escaped, backslashes doubled before a quote.
std::wstring quoted(const std::wstring& arg) {
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

using Handle = std::unique_ptr<void, decltype(&CloseHandle)>;

// A file the child inherits as one of its standard streams.
Handle inheritableFile(const std::string& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    return Handle(CreateFileW(wideOf(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                              disposition, FILE_ATTRIBUTE_NORMAL, nullptr),
                  &CloseHandle);
}

}  // namespace

int unusedPort() {
    static const int winsock = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data);
    }();
    (void)winsock;
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int len = sizeof addr;
    if (s == INVALID_SOCKET || ::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        throw std::runtime_error("no free port");
    ::closesocket(s);  // bound but never listening, and now closed: connections are refused
    return ntohs(addr.sin_port);
}

ProgramResult runVelmora(const std::string& cwd, const std::vector<std::string>& args,
                         std::chrono::milliseconds limit, Stdout stdoutTo, const std::string& name,
                         const std::function<void(int pid)>& whileRunning) {
    TempDir capture;
    const std::wstring program = wideOf(std::string(VELMORA_BUILD_DIR) + "/" + name + ".exe");
    std::wstring commandLine = quoted(program);
    for (const std::string& a : args) commandLine += L" " + quoted(wideOf(a));

    Handle in = inheritableFile("NUL", GENERIC_READ, OPEN_EXISTING);
    Handle out(nullptr, &CloseHandle);
    if (stdoutTo == Stdout::ClosedPipe) {
        SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
        HANDLE reader = nullptr, writer = nullptr;
        if (!CreatePipe(&reader, &writer, &sa, 0)) throw std::runtime_error("CreatePipe");
        CloseHandle(reader);  // no reader, ever: every write fails
        out.reset(writer);
    } else {
        out = inheritableFile(capture / "out", GENERIC_WRITE, CREATE_ALWAYS);
    }
    Handle err = inheritableFile(capture / "err", GENERIC_WRITE, CREATE_ALWAYS);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in.get();
    startup.hStdOutput = out.get();
    startup.hStdError = err.get();
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                        0, nullptr, wideOf(cwd).c_str(), &startup, &process);
    ProgramResult result;
    if (!started) {
        result.err = "CreateProcessW failed: " + std::to_string(GetLastError());
        return result;
    }
    CloseHandle(process.hThread);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (WaitForSingleObject(process.hProcess, 2) == WAIT_TIMEOUT) {
        if (whileRunning) whileRunning(static_cast<int>(process.dwProcessId));
        if (std::chrono::steady_clock::now() >= deadline) {
            TerminateProcess(process.hProcess, 1);
            WaitForSingleObject(process.hProcess, INFINITE);
            result.timedOut = true;
            break;
        }
    }
    // An NTSTATUS (0xC...) is an end by the system, a crash or a termination,
    // as a signal is elsewhere: -1.
    DWORD code = 0;
    if (!result.timedOut && GetExitCodeProcess(process.hProcess, &code) && code < 0xC0000000)
        result.status = static_cast<int>(code);
    CloseHandle(process.hProcess);
    out.reset();
    err.reset();
    result.out = capture.read("out");
    result.err = capture.read("err");
    return result;
}
#else
int unusedPort() {
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (s < 0 || ::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        throw std::runtime_error("no free port");
    ::close(s);  // bound but never listening, and now closed: connections are refused
    return ntohs(addr.sin_port);
}

ProgramResult runVelmora(const std::string& cwd, const std::vector<std::string>& args,
                         std::chrono::milliseconds limit, Stdout stdoutTo, const std::string& name,
                         const std::function<void(int pid)>& whileRunning) {
    TempDir capture;
    const std::string program = std::string(VELMORA_BUILD_DIR) + "/" + name;
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
    // The default signal actions a shell gives, whatever this process ignores.
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
    while (::waitpid(pid, &raw, WNOHANG) != pid) {
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
#endif

std::vector<Exchange> exchangesOf(const std::string& out) {
    std::vector<Exchange> exchanges;
    std::string* text = nullptr;
    bool open = false;
    std::size_t start = 0;
    while (start < out.size()) {
        std::size_t nl = out.find('\n', start);
        if (nl == std::string::npos) nl = out.size();
        const std::string line = out.substr(start, nl - start);
        start = nl + 1;
        if (line == ">>> inviato") {
            text = &exchanges.emplace_back().sent;
        } else if (line == "<<< risposta") {
            if (exchanges.empty()) exchanges.emplace_back();
            text = &exchanges.back().answers.emplace_back();
        } else if (text) {
            if (open) *text += '\n';
            *text += line;
            open = true;
            continue;
        }
        open = false;
    }
    return exchanges;
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); !from.empty() && at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::string withLineFeeds(const std::string& text) { return replaceAll(text, "\r\n", "\n"); }

std::string systemNames(const std::string& text) {
#ifdef _WIN32
    return replaceAll(text, "Velmora/", "Velmora\\");
#else
    return text;
#endif
}

std::map<std::string, std::vector<std::string>> velmoraFiles(const std::string& workDir) {
    static const std::regex form(R"(([A-Za-z]+)-(\d{12}|\d{14})(?:-([2-9]|[1-9]\d+))?\.xml)");
    std::map<std::string, std::vector<std::pair<std::pair<std::string, long>, std::string>>> found;
    const fs::path dir = fs::path(workDir) / "Velmora";
    if (fs::is_directory(dir)) {
        for (const auto& entry : fs::directory_iterator(dir)) {
            const std::string name = entry.path().filename().string();
            // The send journal (with its -wal and -shm) and the export's
            // lock are no log files.
            if (name.rfind("Velmora.sqlite", 0) == 0 || name == "Velmora.lock") continue;
            std::smatch m;
            const bool ok = std::regex_match(name, m, form);
            const long n = ok && m[3].matched ? std::stol(m[3].str()) : 1;
            found[ok ? m[1].str() : "?"].push_back(
                {{ok ? m[2].str() : name, n}, readFile(entry.path())});
        }
    }
    std::map<std::string, std::vector<std::string>> out;
    for (auto& [prefix, entries] : found) {
        std::sort(entries.begin(), entries.end());
        for (auto& e : entries) out[prefix].push_back(std::move(e.second));
    }
    return out;
}

std::map<std::string, std::size_t> fileCounts(const std::string& workDir) {
    std::map<std::string, std::size_t> counts;
    for (const auto& [prefix, list] : velmoraFiles(workDir)) counts[prefix] = list.size();
    return counts;
}

}  // namespace velmora::test
