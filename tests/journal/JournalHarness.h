// What the journal's tests share: the demo hotel with its loopback service,
// the journal's rows as comparable text, the status words of "velmora stato",
// what the service received, and a run killed at once.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "app/AppServices.h"
#include "app/BatchMode.h"
#include "app/CheckCommand.h"
#include "app/DateEntry.h"
#include "app/ExportRun.h"
#include "app/RealExportSteps.h"
#include "app/StatusCommand.h"
#include "app/VelmoraDT.h"
#include "core/Calendar.h"
#include "jet/JetEngine.h"
#include "jetwrite/JetWriter.h"
#include "journal/JournalDays.h"
#include "journal/JournalRebuild.h"
#include "journal/SendJournal.h"
#include "platform/Sqlite.h"
#include "platform/curl/CurlTransport.h"
#include "support/Fakes.h"
#include "support/Support.h"

namespace velmora::test::journal {

using test::operator<<;

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

// The journal's rows as comparable text, without the times (a rebuild knows
// only the minute).
struct Rows {
    std::set<std::string> exchanges;
    std::set<std::string> empty;  // "day kind" of the documents found empty
    std::set<std::string> stays;
    std::set<std::string> files;  // every file an exchange names
    std::vector<JournalRun> runs;
};

inline Rows rowsOf(const std::string& path) {
    Rows r;
    SendJournal j(path, JournalOpen::Read);
    r.runs = j.runs();
    for (const JournalExchange& e : j.allExchanges()) {
        if (e.verdict == std::optional<std::string>(kVerdictEmpty)) {
            r.empty.insert(e.day.value_or("") + " " + e.kind);
            continue;
        }
        for (const auto& f : {e.requestFile, e.answerFile})
            if (f) r.files.insert(fs::path(*f).filename().string());
        r.exchanges.insert(e.kind + "|" + e.day.value_or("") + "|" + e.requestFile.value_or("") +
                           "|" + e.answerFile.value_or("") + "|" + e.verdict.value_or("?") + "|" +
                           std::to_string(e.stays) + "|" + e.bodyHash.value_or(""));
        for (const SentStay& s : j.staysOf(e.id))
            r.stays.insert(e.requestFile.value_or("") + "|" + s.day + s.kind + s.database +
                           std::to_string(s.numeroProgressivo.value_or(-1)) + s.guestId +
                           s.stayHash + s.guestHash);
    }
    return r;
}

// The status word of each day line of "velmora stato".
inline std::map<std::string, std::string> statusWords(const std::string& out) {
    std::map<std::string, std::string> words;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        if (line.size() < 10 || line[2] != '/' || line[5] != '/') continue;
        for (const char* w : {kStatusSent, kStatusWithErrors, kStatusInterrupted, kStatusUnknown,
                              kStatusNotSent, kStatusNothingToSend})
            if (line.size() >= std::strlen(w) && line.ends_with(w)) words[line.substr(0, 10)] = w;
    }
    return words;
}

inline std::map<std::string, std::string> allDays(const std::vector<std::string>& days,
                                                  const char* word) {
    std::map<std::string, std::string> out;
    for (const std::string& d : days) out[d] = word;
    return out;
}

inline std::string journalOf(const test::TempDir& dir) { return dir / "Velmora/Velmora.sqlite"; }

// "02/03/2026 arrivi" -> how many times the service received it, from the
// bodies it kept (requests from the first'th on).
inline std::map<std::string, int> posted(const LoopbackService& service, std::size_t first = 0) {
    std::map<std::string, int> out;
    const std::vector<RawRequest> requests = service.requests();
    for (std::size_t i = first; i < requests.size(); ++i) {
        const RawRequest& r = requests[i];
        const char* tag = r.segment == "arrivi"     ? "<ArrivalDate>"
                          : r.segment == "partenze" ? "<DepartureDate>"
                          : r.segment == "chiusura" ? "<CurrentDate>"
                                                    : nullptr;
        const std::size_t at = tag ? r.body.find(tag) : std::string::npos;
        if (at == std::string::npos) continue;
        const std::string iso = r.body.substr(at + std::strlen(tag), 10);
        ++out[dayTextOfIso(iso) + " " + r.segment];
    }
    return out;
}

struct Hotel {
    explicit Hotel(const std::function<void(sim::ServiceSimOptions&)>& configure = nullptr)
        : service(configure) {
        writeDemoHotel(dir);
        writeSettings(dir, service.base());
    }
    ProgramResult velmora(const Lines& args,
                          std::chrono::milliseconds limit = std::chrono::seconds(60),
                          const std::function<void(int)>& whileRunning = nullptr) {
        return runVelmora(dir.path(), args, limit, Stdout::Captured, "velmora", whileRunning);
    }
    test::TempDir dir;
    LoopbackService service;
};

// Six plain days, 01/03 to 06/03/2026: one guest arrives each day and leaves
// the next, so every day but the first has one arrival and one departure.
// The guest arriving on badBirthDay has a birth date that is no date.
inline const Lines kSixDays = {"01/03/2026", "02/03/2026", "03/03/2026",
                               "04/03/2026", "05/03/2026", "06/03/2026"};

inline void writeSixDayHotel(const test::TempDir& dir, int badBirthDay = 0) {
    std::string table = kRegisterHeader;
    for (int d = 1; d <= 6; ++d) {
        char row[160];
        std::snprintf(row, sizeof row,
                      "1|%d|U|N|0|0|202603%02d|202603%02d|202603%02d|S|%s|CATANIA CT I|I|"
                      "CATANIA|M|%d\n",
                      7000 + d, d, d + 1, d + 1, d == badBirthDay ? "19801301" : "19800101",
                      100 + d);
        table += row;
    }
    writeTables(dir / "Scheda_Cliente.mdb", {{"Scheda_Cliente", table}});
    writeTables(dir / "SchedaStoricoClienti.mdb", {{"Scheda_Cliente", kHistoryHeader}});
    dir.write("QLBDataI.txt", "01/02/2026\r\n");
}

#ifdef _WIN32
// Windows sends no signal to another process: SIGKILL is TerminateProcess,
// waited for. (The stop signals are left to scripts/windows.)
inline constexpr int SIGKILL = 9;
inline int kill(int pid, int) {
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (!process) return -1;
    TerminateProcess(process, 0xC0000001);  // STATUS_UNSUCCESSFUL: no exit of its own
    WaitForSingleObject(process, INFINITE);
    CloseHandle(process);
    return 0;
}
#endif

// Ends the process now and waits until it is gone, so that nothing it would
// do after this moment happens.
inline void killNow(int pid) {
    kill(pid, SIGKILL);
    const std::string stat = "/proc/" + std::to_string(pid) + "/stat";
    for (int i = 0; i < 2000; ++i) {
        std::ifstream in(stat);
        std::string text((std::istreambuf_iterator<char>(in)), {});
        const std::size_t close = text.rfind(')');
        if (!in || close == std::string::npos || text.substr(close + 2, 1) == "Z") return;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

}  // namespace velmora::test::journal
