// The send journal's side of one export in a hotel folder: the folder's lock,
// taken before the journal is read and held until the run ends, so that two
// exports (a window's, a command's, a daily job's) never send the same days
// at once; the journal checked, and rebuilt from the files when it was lost;
// and the recorder the run writes it through. "velmora check" and "stato"
// read the journal without the lock.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "journal/JournalLocation.h"
#include "journal/RunRecorder.h"
#include "journal/SendJournal.h"
#include "platform/Clock.h"
#include "platform/FileLock.h"

namespace velmora {

// How long an export waits for the one already running in its folder.
inline constexpr std::chrono::milliseconds kExportLockWait{5000};

// Takes the hotel folder's export lock for who ("velmora export", "la
// finestra", ...), waiting up to kExportLockWait; RunError naming the
// export that holds it.
std::unique_ptr<FileLock> LockHotelFolder(const JournalLocation& where, const std::string& who,
                                          const Clock& clock);

// Opens the journal of where to read it (no lock). A journal that is missing
// or empty while the folder holds exchange files raises RunError: it would
// read as if nothing had been sent.
std::unique_ptr<SendJournal> ReadJournal(const JournalLocation& where);

class ExportJournal {
public:
    // Takes the lock, then opens the journal for writing. A missing or empty
    // journal in a folder that holds exchange files is first rebuilt from
    // them, and notice() says so; a damaged one is refused (RunError).
    // busyMilliseconds: how long a write waits for another program that
    // holds the journal.
    static std::unique_ptr<ExportJournal> Open(const JournalLocation& where, const Clock& clock,
                                               const std::string& who,
                                               int busyMilliseconds = 10000);

    // What the operator is to be told before the run, or "".
    const std::string& notice() const { return m_notice; }
    const SendJournal& journal() const { return *m_journal; }
    SendJournal& journal() { return *m_journal; }
    RunRecorder& recorder() { return *m_recorder; }

private:
    ExportJournal() = default;

    std::unique_ptr<FileLock> m_lock;
    std::unique_ptr<SendJournal> m_journal;
    std::unique_ptr<RunRecorder> m_recorder;
    std::string m_notice;
};

}  // namespace velmora
