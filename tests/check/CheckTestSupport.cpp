// Helpers of the check tests.
#include "CheckTestSupport.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "jetwrite/JetWriter.h"

#ifndef _WIN32
#include <sys/wait.h>
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

std::string sourceFile(const std::string& relative) {
    return std::string(VELMORA_SOURCE_DIR) + "/" + relative;
}

void writeGuests(const TempDir& dir, const std::string& database, const char* header,
                 const std::string& rows) {
    jetwrite::writeDatabase(dir / database,
                            {jetwrite::parseTextTable(header + rows, "Scheda_Cliente")});
}

int exitStatus(int raw) {
#ifdef _WIN32
    return raw;
#else
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
}

}  // namespace

void writeSettings(const TempDir& dir, const std::string& base) {
    std::string text;
    for (const std::string& line :
         {std::string(kUser), std::string(kPassword), base + "/login", base + "/logout",
          base + "/arrivi", base + "/partenze", base + "/chiusura"})
        text += line + "\r\n";
    dir.write("QLBSetup.txt", text);
}

void writeCheckHotel(const TempDir& dir, const std::string& registerRows,
                     const std::string& historyRows) {
    writeSettings(dir, "http://127.0.0.1:9/istat");
    dir.write("QLBDataI.txt", "01/01/2026\r\n");
    jetwrite::writeDatabase(dir / "Comuni.mdb",
                            {jetwrite::readTextTable(
                                std::string(VELMORA_TEST_DATA) + "/data/codes.txt", "CodiciVari")});
    writeGuests(dir, "Scheda_Cliente.mdb", kRegisterHeader, registerRows);
    writeGuests(dir, "SchedaStoricoClienti.mdb", kHistoryHeader, historyRows);
}

void writeDemoHotel(const TempDir& dir) {
    TempDir scratch;
    const std::string codes = scratch / "CodiciVari.txt";
    const std::string command = "'" + sourceFile("tools/codes/make-codes-table") + "' '" +
                                sourceFile("demo/codes/comuni.csv") + "' '" +
                                sourceFile("demo/codes/stati.csv") + "' '" +
                                sourceFile("demo/codes/sigle-stati.csv") + "' '" +
                                sourceFile("demo/codes/province.csv") + "' > '" + codes + "'";
    if (exitStatus(std::system(command.c_str())) != 0)
        throw std::runtime_error("make-codes-table failed");
    jetwrite::writeDatabase(dir / "Comuni.mdb", {jetwrite::readTextTable(codes, "CodiciVari")});
    jetwrite::writeDatabase(
        dir / "Scheda_Cliente.mdb",
        {jetwrite::readTextTable(sourceFile("demo/Scheda_Cliente.txt"), "Scheda_Cliente")});
    jetwrite::writeDatabase(
        dir / "SchedaStoricoClienti.mdb",
        {jetwrite::readTextTable(sourceFile("demo/SchedaStoricoClienti.txt"), "Scheda_Cliente")});
    fs::copy_file(sourceFile("demo/QLBDataI.txt"), dir / "QLBDataI.txt");
}

LoopbackService::LoopbackService() {
    sim::ServiceSimOptions options;
    options.userId = kUser;
    options.password = kPassword;
    options.requestsDir = m_requests.path();
    m_sim = std::make_unique<sim::ServiceSim>(options);
    m_sim->start();
}

LoopbackService::~LoopbackService() { m_sim->stop(); }

std::string LoopbackService::base() const {
    return "http://127.0.0.1:" + std::to_string(m_sim->port()) + "/istat";
}

std::vector<std::string> LoopbackService::postedDocuments() const {
    std::vector<std::string> bodies;
    for (const std::string& name : filesBelow(m_requests.path())) {
        if (name.find("-POST-arrivi") == std::string::npos &&
            name.find("-POST-partenze") == std::string::npos)
            continue;
        const std::string raw = m_requests.read(name);
        const auto end = raw.find("\r\n\r\n");
        bodies.push_back(end == std::string::npos ? std::string() : raw.substr(end + 4));
    }
    return bodies;
}

ProgramResult runVelmora(const std::string& cwd, const std::string& args) {
    TempDir capture;
    const std::string command = "cd '" + cwd + "' && timeout 60 '" + VELMORA_BUILD_DIR +
                                "/velmora' " + args + " >'" + (capture / "out") + "' 2>'" +
                                (capture / "err") + "'";
    ProgramResult r;
    r.status = exitStatus(std::system(command.c_str()));
    r.out = capture.read("out");
    r.err = capture.read("err");
    return r;
}

std::vector<std::string> filesBelow(const std::string& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::end(it);
         it.increment(ec)) {
        if (it->is_regular_file()) names.push_back(fs::relative(it->path(), dir).generic_string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace velmora::test
