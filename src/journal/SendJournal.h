// The send journal Velmora/Velmora.sqlite: an index over the exchange log
// files of Velmora/, never a second copy of them. It holds each run, each
// exchange (with the files it wrote) and each guest a posted document held;
// it can be rebuilt from the log files alone (JournalRebuild.h). Here: the
// schema and its migration, the reading, and the writing steps, each one
// short transaction, so that a run killed at any point leaves a journal that
// says what it knows.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/LocalTime.h"

namespace velmora {

class SqliteDatabase;

inline constexpr const char* kJournalFile = "Velmora.sqlite";
inline constexpr int kJournalSchemaVersion = 2;

// Exchange kinds as stored.
inline constexpr const char* kJournalLogin = "login";
inline constexpr const char* kJournalArrivals = "A";
inline constexpr const char* kJournalDepartures = "P";
inline constexpr const char* kJournalClosing = "chiusura";
inline constexpr const char* kJournalLogout = "logout";

// Verdicts as stored. No verdict (NULL) means no answer is known: none was
// recorded (the program was killed), or the service may hold the request
// though no answer came (time-out, dropped connection, abandoned exchange;
// the failure says which).
inline constexpr const char* kVerdictAccepted = "accettato";
inline constexpr const char* kVerdictErrors = "errori";      // 2xx with "Erro" in the answer
inline constexpr const char* kVerdictRefused = "rifiutato";  // not 2xx; a closing with "Erro"
// No answer, and the request never reached the service.
inline constexpr const char* kVerdictNoAnswer = "nessuna risposta";
inline constexpr const char* kVerdictEmpty = "vuoto";  // nothing to post that day

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
    std::string stayHash;   // ElementFingerprint of the Stay element the guest is in
    std::string guestHash;  // ElementFingerprint of the Guest element
};

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

// "DD/MM/YYYY" to "YYYY-MM-DD" (by position) and back.
std::string IsoDay(std::string_view day);
std::string DisplayDay(std::string_view isoDay);

// "YYYY-MM-DD hh:mm:ss".
std::string JournalTime(const LocalTime& t);

enum class JournalOpen {
    // Made when missing; an older schema is brought up to date.
    Write,
    // Nothing is changed, in the file or beside it; a missing file reads as
    // an empty journal.
    Read,
};

class SendJournal {
public:
    // Opens the journal at path. A journal of a newer schema, or a file that
    // is no journal, raises RunError naming the file. busyMilliseconds: how
    // long a write waits for another writer before it fails.
    SendJournal(const std::string& path, JournalOpen how, int busyMilliseconds = 10000);
    ~SendJournal();
    SendJournal(const SendJournal&) = delete;
    SendJournal& operator=(const SendJournal&) = delete;

    const std::string& path() const { return m_path; }

    // What PRAGMA integrity_check finds wrong (its first lines), or "".
    std::string damage() const;

    // Writing; each call is one transaction. Days are "DD/MM/YYYY", times
    // the clock's. Ids are the rows' own.
    long long beginRun(const LocalTime& at, const std::string& userId, const std::string& firstDay,
                       const std::string& lastDay, bool closeDays);
    void endRun(long long runId, const LocalTime& at, const std::string& outcome,
                const std::string& reason);
    // An exchange whose request is about to be sent, with the guests of its
    // document; day "" for login and logout; requestFile and bodyHash may be "".
    long long beginExchange(std::optional<long long> runId, const std::string& kind,
                            const std::string& day, const std::string& requestFile,
                            const std::string& bodyHash, const std::vector<SentStay>& stays,
                            const LocalTime& at);
    // How the exchange ended: the answer's file ("" none), its status (none
    // when no answer came), the transport's failure ("" none) and the
    // verdict (none: the outcome is unknown).
    void completeExchange(long long id, const std::string& answerFile,
                          std::optional<long long> status, const std::string& failure,
                          const std::optional<std::string>& verdict, const LocalTime& at);
    // A document of the day with no stay: nothing was posted.
    void recordEmpty(std::optional<long long> runId, const std::string& kind,
                     const std::string& day, const LocalTime& at);
    // Sets the first and last day, the closing flag, the end and the outcome
    // of a run at once (the rebuild, which learns them at the run's end).
    void describeRun(long long runId, const std::string& firstDay, const std::string& lastDay,
                     const std::string& userId, bool closeDays,
                     const std::optional<std::string>& ended, const std::string& outcome,
                     const std::string& reason);

    // Reading. Days are YYYY-MM-DD.
    std::vector<JournalRun> runs() const;
    std::vector<JournalExchange> exchanges(const std::string& firstDay,
                                           const std::string& lastDay) const;
    std::vector<JournalExchange> allExchanges() const;
    std::vector<SentStay> staysOf(long long exchangeId) const;

private:
    void open(JournalOpen how, int busyMilliseconds);
    void migrate(int found);

    std::string m_path;
    std::unique_ptr<SqliteDatabase> m_db;
};

}  // namespace velmora
