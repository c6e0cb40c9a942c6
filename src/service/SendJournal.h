// The send journal Velmora/Velmora.sqlite: an index over the exchange log
// files of Velmora/, never a second copy of them. It records each run, each
// exchange (with the files it wrote) and each stay a posted document held,
// and it can be rebuilt from the log files alone.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/LocalTime.h"
#include "platform/Clock.h"

namespace velmora {

class SqliteDatabase;

inline constexpr const char* kJournalFile = "Velmora.sqlite";
inline constexpr int kJournalSchemaVersion = 1;

// Exchange kinds as stored.
inline constexpr const char* kJournalLogin = "login";
inline constexpr const char* kJournalArrivals = "A";
inline constexpr const char* kJournalDepartures = "P";
inline constexpr const char* kJournalClosing = "chiusura";
inline constexpr const char* kJournalLogout = "logout";

// Verdicts as stored; no verdict (NULL) means the answer never arrived.
inline constexpr const char* kVerdictAccepted = "accettato";
inline constexpr const char* kVerdictErrors = "errori";      // 2xx with "Erro" in the answer
inline constexpr const char* kVerdictRefused = "rifiutato";  // status not 2xx
inline constexpr const char* kVerdictNoAnswer = "nessuna risposta";  // transport failure
inline constexpr const char* kVerdictEmpty = "vuoto";                // nothing to post that day

// Run outcomes as stored; none (NULL) means the run never reached its end.
inline constexpr const char* kOutcomeCompleted = "completata";
inline constexpr const char* kOutcomeWithErrors = "completata con errori";
inline constexpr const char* kOutcomeInterrupted = "interrotta";

// One guest of a posted stays document.
struct SentStay {
    std::string day;       // YYYY-MM-DD: arrival date (A) or departure date (P)
    std::string kind;      // "A" or "P"
    std::string database;  // "Scheda_Cliente.mdb" or "SchedaStoricoClienti.mdb"
    std::optional<long long> numeroProgressivo;
    std::string guestId;
    std::string stayHash;   // of the Stay element the guest is in
    std::string guestHash;  // of the Guest element
};

// The guests of a posted body (XML declaration and stays document) of kind
// "A" or "P", in document order. A body that does not parse gives none.
std::vector<SentStay> ParseSentStays(std::string_view body, std::string_view kind);

// The Guest element with guestId in body as (element name, text) pairs of its
// children, nested elements flattened as "Rooms/Room/RoomId".
std::vector<std::pair<std::string, std::string>> GuestFields(std::string_view body,
                                                             std::string_view guestId);

// 64-bit FNV-1a of text as 16 lower-case hex digits.
std::string Fnv1a64(std::string_view text);

// "DD/MM/YYYY" to "YYYY-MM-DD" (by position) and back.
std::string IsoDay(std::string_view day);
std::string DisplayDay(std::string_view isoDay);

struct JournalExchange {
    long long id = 0;
    std::optional<long long> runId;
    std::string kind;
    std::optional<std::string> day;  // YYYY-MM-DD; none for login and logout
    std::optional<std::string> requestFile;
    std::optional<std::string> answerFile;
    std::string sentAt;
    std::optional<std::string> answeredAt;
    std::optional<long long> httpStatus;
    std::optional<std::string> failure;
    std::optional<std::string> verdict;
    long long stays = 0;
    std::optional<std::string> bodyHash;
};

struct JournalRun {
    long long id = 0;
    std::string started;
    std::optional<std::string> ended;
    std::string userId;
    std::string firstDay;  // YYYY-MM-DD
    std::string lastDay;
    bool closeDays = false;
    std::optional<std::string> outcome;
    std::optional<std::string> reason;
};

class SendJournal {
public:
    // Opens the journal at path. Writable: created when missing, an older
    // schema is migrated. Read-only: a missing file reads as empty. A journal
    // of a newer schema raises RunError naming the file.
    SendJournal(const std::string& path, bool readOnly);
    ~SendJournal();
    SendJournal(const SendJournal&) = delete;
    SendJournal& operator=(const SendJournal&) = delete;

    const std::string& path() const { return m_path; }

    // The clock that stamps the rows the export run records (none: midnight
    // of 1/1/2000).
    void setClock(const Clock* clock) { m_clock = clock; }
    LocalTime now() const { return m_clock ? m_clock->now() : LocalTime{}; }

    // Records the start of a run; later exchanges belong to it.
    void beginRun(const LocalTime& at, const std::string& userId, const std::string& firstDay,
                  const std::string& lastDay, bool closeDays);
    void endRun(const LocalTime& at, const std::string& outcome, const std::string& reason);

    // Records an exchange whose request is about to be sent (requestFile may
    // be "" when the request has no file); for "A" and "P" body's guests are
    // recorded too. Returns the exchange's id for completeExchange.
    long long beginExchange(const std::string& kind, const std::optional<std::string>& day,
                            const std::string& requestFile, std::string_view body,
                            const LocalTime& at);
    // The answer (file may be "") with its status, or the transport failure.
    void completeExchange(long long id, const std::string& answerFile,
                          std::optional<long long> status, const std::string& failure,
                          const std::string& verdict, const LocalTime& at);
    // A document of the day with no stay: nothing was posted.
    void recordEmpty(const std::string& kind, const std::string& day, const LocalTime& at);

    // Reading. Days are YYYY-MM-DD.
    std::vector<JournalRun> runs() const;
    std::vector<JournalExchange> exchanges(const std::string& firstDay,
                                           const std::string& lastDay) const;
    std::vector<JournalExchange> allExchanges() const;
    std::vector<SentStay> staysOf(long long exchangeId) const;

    // Rebuilds a journal at path from the log files in directory (the files
    // of Velmora/), replacing nothing: path must not exist. Returns the
    // number of exchanges found.
    static int Rebuild(const std::string& directory, const std::string& path);

private:
    void open(bool readOnly);
    void insertStays(long long exchangeId, const std::vector<SentStay>& stays);

    std::string m_path;
    std::unique_ptr<SqliteDatabase> m_db;
    std::optional<long long> m_runId;
    const Clock* m_clock = nullptr;
};

// The verdict a movements or closing answer gets.
const char* VerdictOf(std::optional<long long> status, bool reportsErrors);

// "YYYY-MM-DD hh:mm:ss".
std::string JournalTime(const LocalTime& t);

}  // namespace velmora
