// How an export run writes the send journal: a small typed interface fed by
// the run (its start and end), by the writers' reports of the guests of each
// document built, and by the service client's notes on each exchange. A
// request is recorded before it is sent; an answer that cannot be recorded
// is kept and recorded at the next step that can, at the latest when the
// run ends, so that the logout and the rest of the run never wait on it.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "journal/SendJournal.h"
#include "platform/Clock.h"
#include "service/ExchangeListener.h"
#include "stays/StaysObserver.h"

namespace velmora {

// The guests the writers report while one document is built, as the journal
// keeps them.
class GuestCollector : public StaysObserver {
public:
    // kind: "A", or any other for departures (stored "P").
    explicit GuestCollector(const std::string& kind) : m_kind(kind == "A" ? "A" : "P") {}
    void guestWritten(const WrittenGuest& guest) override;
    void stayWritten(const std::string& fingerprint) override;
    std::vector<SentStay> take() { return std::move(m_guests); }

private:
    std::string m_kind;
    std::vector<SentStay> m_guests;
    std::size_t m_stayStart = 0;  // the first guest of the stay being written
};

class RunRecorder : public ExchangeListener {
public:
    RunRecorder(SendJournal& journal, const Clock& clock) : m_journal(journal), m_clock(clock) {}

    // The run's range and whether its days are closed; RunError when it
    // cannot be recorded (nothing has been sent).
    void runStarted(const std::string& userId, const std::string& firstDay,
                    const std::string& lastDay, bool closeDays);
    // The document of day ("DD/MM/YYYY") and kind is built with these guests;
    // none: it is empty and nothing is posted, which is recorded now.
    void documentBuilt(const std::string& day, const std::string& kind,
                       std::vector<SentStay> guests);
    // Records the request with its document's guests; RunError when it
    // cannot, and then nothing is sent.
    void requestWritten(const ExchangeNote& note) override;
    // Never throws: what cannot be recorded now waits for the next step.
    void answerReceived(const ExchangeNote& note, const std::string& answerFile,
                        std::optional<long> status, const std::string& failure,
                        Verdict verdict) override;
    // Records the end of the run with what was still waiting. Returns what
    // could not be recorded, for the operator, or "".
    std::string runEnded(const std::string& outcome, const std::string& reason);

private:
    // Records what waits; RunError when it still cannot.
    void catchUp();

    SendJournal& m_journal;
    const Clock& m_clock;
    std::optional<long long> m_runId;
    // The last document built, for its request.
    std::string m_documentDay, m_documentKind;
    std::vector<SentStay> m_documentGuests;
    // The request recorded last and not yet answered.
    std::optional<long long> m_openExchange;
    // Answers not recorded yet, with how the operator is told of each.
    struct Waiting {
        std::function<void()> record;
        std::string what;
    };
    std::vector<Waiting> m_waiting;
};

}  // namespace velmora
