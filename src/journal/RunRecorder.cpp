// The run's journal entries: one row per run, one per exchange (an empty
// document's included), one per guest of a posted document.
#include "journal/RunRecorder.h"

#include "core/RunError.h"
#include "stays/PostedDocument.h"

namespace velmora {

namespace {

const char* storedKind(ExchangeKind kind) {
    switch (kind) {
        case ExchangeKind::Login:
            return kJournalLogin;
        case ExchangeKind::Arrivals:
            return kJournalArrivals;
        case ExchangeKind::Departures:
            return kJournalDepartures;
        case ExchangeKind::Closing:
            return kJournalClosing;
        case ExchangeKind::Logout:
            break;
    }
    return kJournalLogout;
}

std::optional<std::string> storedVerdict(Verdict verdict) {
    switch (verdict) {
        case Verdict::Accepted:
            return kVerdictAccepted;
        case Verdict::Errors:
            return kVerdictErrors;
        case Verdict::Refused:
            return kVerdictRefused;
        case Verdict::NotDelivered:
            return kVerdictNoAnswer;
        case Verdict::Unknown:
            break;
    }
    return std::nullopt;
}

std::string exchangeWords(const ExchangeNote& note) {
    switch (note.kind) {
        case ExchangeKind::Login:
            return "l'accesso al servizio";
        case ExchangeKind::Arrivals:
            return "il documento degli arrivi del " + note.day + " (" + note.requestFile + ")";
        case ExchangeKind::Departures:
            return "il documento delle partenze del " + note.day + " (" + note.requestFile + ")";
        case ExchangeKind::Closing:
            return "la chiusura della giornata " + note.day;
        case ExchangeKind::Logout:
            break;
    }
    return "la disconnessione";
}

}  // namespace

void GuestCollector::guestWritten(const WrittenGuest& g) {
    SentStay stay;
    stay.day = g.day;
    stay.kind = m_kind;
    stay.database = g.guest.database;
    stay.numeroProgressivo = g.guest.numeroProgressivo;
    stay.guestId = g.guestId;
    stay.guestHash = g.fingerprint;
    m_guests.push_back(std::move(stay));
}

void GuestCollector::stayWritten(const std::string& fingerprint) {
    for (std::size_t i = m_stayStart; i < m_guests.size(); ++i) m_guests[i].stayHash = fingerprint;
    m_stayStart = m_guests.size();
}

void RunRecorder::catchUp() {
    while (!m_waiting.empty()) {
        m_waiting.front().record();
        m_waiting.erase(m_waiting.begin());
    }
}

void RunRecorder::runStarted(const std::string& userId, const std::string& firstDay,
                             const std::string& lastDay, bool closeDays) {
    m_runId = m_journal.beginRun(m_clock.now(), userId, firstDay, lastDay, closeDays);
}

void RunRecorder::documentBuilt(const std::string& day, const std::string& kind,
                                std::vector<SentStay> guests) {
    m_documentDay = day;
    m_documentKind = kind;
    m_documentGuests = std::move(guests);
    if (!m_documentGuests.empty()) return;
    catchUp();
    m_journal.recordEmpty(m_runId, kind == "A" ? kJournalArrivals : kJournalDepartures, day,
                          m_clock.now());
}

void RunRecorder::requestWritten(const ExchangeNote& note) {
    catchUp();
    const bool movements =
        note.kind == ExchangeKind::Arrivals || note.kind == ExchangeKind::Departures;
    const char* kind = storedKind(note.kind);
    // The guests are those of the document built last for this day and kind.
    const bool ours = movements && m_documentDay == note.day && m_documentKind == kind;
    m_openExchange.reset();
    m_openExchange =
        m_journal.beginExchange(m_runId, kind, note.day, note.requestFile,
                                note.body.empty() ? std::string() : Fnv1a64(note.body),
                                ours ? m_documentGuests : std::vector<SentStay>{}, m_clock.now());
}

void RunRecorder::answerReceived(const ExchangeNote& note, const std::string& answerFile,
                                 std::optional<long> status, const std::string& failure,
                                 Verdict verdict) {
    const LocalTime at = m_clock.now();
    const std::optional<long long> httpStatus =
        status ? std::optional<long long>(*status) : std::nullopt;
    const std::optional<std::string> stored = storedVerdict(verdict);
    std::function<void()> record;
    if (note.kind == ExchangeKind::Logout || !m_openExchange) {
        // Sent without a row before it: the whole exchange now.
        const char* kind = storedKind(note.kind);
        record = [this, run = m_runId, kind, day = note.day, request = note.requestFile, answerFile,
                  httpStatus, failure, stored, at] {
            const long long id = m_journal.beginExchange(run, kind, day, request, {}, {}, at);
            m_journal.completeExchange(id, answerFile, httpStatus, failure, stored, at);
        };
    } else {
        const long long id = *m_openExchange;
        record = [this, id, answerFile, httpStatus, failure, stored, at] {
            m_journal.completeExchange(id, answerFile, httpStatus, failure, stored, at);
        };
    }
    m_openExchange.reset();
    m_waiting.push_back(
        {std::move(record), exchangeWords(note) + ": " + (stored ? *stored : "esito sconosciuto")});
    try {
        catchUp();
    } catch (const RunError&) {
        // Recorded at the next step that can.
    }
}

std::string RunRecorder::runEnded(const std::string& outcome, const std::string& reason) {
    std::string problem;
    try {
        catchUp();
        if (m_runId) m_journal.endRun(*m_runId, m_clock.now(), outcome, reason);
        return {};
    } catch (const RunError& e) {
        problem = e.fullText();
    }
    std::string text = "Il registro degli invii non ha potuto annotare la fine dell'esportazione";
    if (!m_waiting.empty()) {
        text += ", né come sono finiti questi scambi:";
        for (const Waiting& w : m_waiting) text += "\r\n- " + w.what;
        text +=
            "\r\nI file di Velmora/ ci sono: \"velmora stato --ricostruisci\" rifà il registro "
            "da essi";
    }
    return text + ".\r\n" + problem;
}

}  // namespace velmora
