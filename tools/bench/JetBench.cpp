// Measurements of the Jet engine on databases of realistic size (not a test):
// reading a 200,000-row, 40-column guest table, the memory it takes, a code
// lookup with and without the table cache, and a month of the stay writers'
// queries. Run: build/velmora-jet-bench [rows]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/RunError.h"
#include "jetwrite/JetWriter.h"
#include "jet/JetEngine.h"
#include "platform/LocalFileAccess.h"

using namespace velmora;
using Clock = std::chrono::steady_clock;

namespace {

double msSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

// A line of /proc/self/status in kB: "VmRSS:" now, "VmHWM:" at the peak.
long statusKb(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::strlen(key));
    }
    return 0;
}

void run(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
}

std::string day(int d) {
    char buf[9];
    std::snprintf(buf, sizeof buf, "202603%02d", d);
    return buf;
}

// A scratch directory, removed at the end.
struct ScratchDir {
    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "velmora-bench-XXXXXX");
        if (!mkdtemp(pattern.data())) throw std::runtime_error("no scratch directory");
        m_path = pattern;
    }
    ~ScratchDir() { std::filesystem::remove_all(m_path); }
    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }
    std::string m_path;
};

}  // namespace

int main(int argc, char** argv) {
    const int rows = argc > 1 ? std::atoi(argv[1]) : 200000;
    const std::string src = VELMORA_SOURCE_DIR;
    ScratchDir dir;

    auto t = Clock::now();
    run(src + "/tools/bench/make-hotel history " + std::to_string(rows) + " 7 > " +
        dir / "hist.txt");
    run(src + "/tools/codes/make-codes-table " + src + "/demo/codes/comuni.csv " + src +
        "/demo/codes/stati.csv " + src + "/demo/codes/sigle-stati.csv " + src +
        "/demo/codes/province.csv > " + dir / "codes.txt");
    {
        auto hist = jetwrite::openTextTable(dir / "hist.txt", "Scheda_Cliente");
        jetwrite::writeDatabaseFromSources(dir / "SchedaStoricoClienti.mdb", {hist.get()});
        auto codes = jetwrite::openTextTable(dir / "codes.txt", "CodiciVari");
        jetwrite::writeDatabaseFromSources(dir / "Comuni.mdb", {codes.get()});
    }
    std::printf("fixtures written in %.0f ms\n", msSince(t));

    // Reading the big table once.
    // The system's file access, as the program has it.
    const auto files = std::make_shared<LocalFileAccess>();
    JetEngine cached(dir.path(), true, files);
    long rssBefore = statusKb("VmRSS:");
    t = Clock::now();
    {
        auto db = cached.OpenDatabase("SchedaStoricoClienti.mdb");
        db->OpenRecordset("Scheda_Cliente", dbOpenDynaset);
        db->Close();
    }
    double loadMs = msSince(t);
    std::printf("read %d x 40 table: %.0f ms; table %.1f MB; process grew %.1f MB (peak %.1f MB)\n",
                rows, loadMs, cached.cachedTableBytes() / 1048576.0,
                (statusKb("VmRSS:") - rssBefore) / 1024.0, statusKb("VmHWM:") / 1024.0);

    // A full scan: a criteria no index can serve.
    t = Clock::now();
    {
        auto db = cached.OpenDatabase("SchedaStoricoClienti.mdb");
        auto rs = db->OpenRecordset(
            "Select * From Scheda_Cliente Where Sesso = 'X' or Nome = 'NESSUNO';", dbOpenDynaset);
        rs->FindFirst("NumeroHotel = 1");
    }
    std::printf("full scan of %d rows with a two-term criteria: %.1f ms\n", rows, msSince(t));

    // A month of the stay writers' queries (arrivals and departures, heads
    // and members, members found per head).
    t = Clock::now();
    long heads = 0, members = 0;
    for (int d = 1; d <= 31; ++d) {
        for (const char* column : {"DataArrivo", "DataPartenzaReale"}) {
            std::string window = std::string("' and ") + column + " >= '" + day(d) + "' and " +
                                 column + " <= '" + day(d);
            auto db = cached.OpenDatabase("SchedaStoricoClienti.mdb");
            auto h = db->OpenRecordset(
                "Select * From Scheda_Cliente Where (CapoFamiglia = 'U' or CapoFamiglia = 'S' or "
                "CapoGruppo = 'S') "
                "and NumeroHotel = 1 and DataArrivo >= '20100101" +
                    window + "' Order by DataArrivo,NumeroCamera;",
                dbOpenDynaset);
            auto m = db->OpenRecordset(
                "Select * From Scheda_Cliente Where (CodiceCapoFamiglia > 0 or CodiceCapoGruppo > "
                "0) and NumeroHotel = 1 "
                "and DataArrivo >= '20100101" +
                    window + "' Order by DataArrivo,NumeroCamera;",
                dbOpenDynaset);
            for (h->FindFirst("NumeroHotel = 1"); !h->NoMatch(); h->FindNext("NumeroHotel = 1")) {
                ++heads;
                std::string key = h->Fields("NumeroProgressivo").asText();
                key = std::to_string(
                    std::atol(key.substr(key.size() > 6 ? key.size() - 6 : 0).c_str()));
                std::string c = "NumeroHotel = 1 and CodiceCapoFamiglia = " + key;
                for (m->FindFirst(c); !m->NoMatch(); m->FindNext(c)) ++members;
            }
            db->Close();
        }
    }
    double monthMs = msSince(t);
    std::printf(
        "month of queries (31 days x A/P, heads and members): %.0f ms, %ld heads, %ld member "
        "finds\n",
        monthMs, heads, members);

    // Code lookups: open, record set, FindFirst over the codes table, close.
    const char* places[] = {"CATANIA", "PALERMO", "MESSINA", "SANT'AGATA DI MILITELLO",
                            "FORLI'",  "ROMA",    "NESSUNO"};
    auto lookups = [&](JetEngine& engine, int count) {
        auto start = Clock::now();
        for (int i = 0; i < count; ++i) {
            std::string name = places[i % 7];
            std::string quoted;
            for (char ch : name) quoted += ch == '\'' ? std::string("''") : std::string(1, ch);
            auto db = engine.OpenDatabase("Comuni.mdb");
            auto rs = db->OpenRecordset("CodiciVari", dbOpenDynaset);
            rs->FindFirst("(Tipo = 0 or Tipo = 3) and Trim(Descrizione) = '" + quoted +
                          "' and DataFinoA = ' '");
            if (!rs->NoMatch()) rs->Fields("CodicePS");
            db->Close();
        }
        return msSince(start) * 1000.0 / count;
    };
    JetEngine uncached(dir.path(), false, files);
    lookups(cached, 1);  // first read and index build
    std::printf("code lookup with cache: %.1f us; without cache: %.0f us\n", lookups(cached, 20000),
                lookups(uncached, 200));
    return 0;
}
