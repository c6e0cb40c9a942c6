// The export's lock and journal: the lock file Velmora/Velmora.lock says who
// holds it; a journal lost while the files remain is rebuilt, not read as
// empty, so that no day the files show as sent is sent again unasked.
#include "journal/ExportJournal.h"

#include <filesystem>
#include <optional>

#include "core/RunError.h"
#include "journal/JournalRebuild.h"
#include "service/ExchangeLog.h"

namespace velmora {

namespace fs = std::filesystem;

namespace {

bool holdsExchangeFiles(const std::string& directory) {
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(directory, ec))
        if (ParseExchangeLogName(entry.path().filename().string())) return true;
    return false;
}

std::string when(const LocalTime& t) {
    char out[32];
    std::snprintf(out, sizeof out, "%02d/%02d/%04d alle %02d:%02d", t.day, t.month, t.year, t.hour,
                  t.minute);
    return out;
}

// Whether the journal at path is missing or empty (0 bytes) while the folder
// holds exchange files: then it has been lost, not never made.
std::optional<bool> lost(const JournalLocation& where) {
    std::error_code ec;
    const std::string path = where.journal();
    const auto size = fs::file_size(path, ec);
    const bool missing = ec && !fs::exists(fs::symlink_status(path, ec));
    if (!(missing || (!ec && size == 0)) || !holdsExchangeFiles(where.logDirectory))
        return std::nullopt;
    return missing;
}

}  // namespace

std::unique_ptr<SendJournal> ReadJournal(const JournalLocation& where) {
    if (const std::optional<bool> missing = lost(where))
        throw RunError("Il registro degli invii " + where.journal() +
                       (*missing ? " manca" : " è vuoto") + " ma " + where.logDirectory +
                       " contiene i file degli scambi: non dice cosa è stato inviato. "
                       "Ricostruirlo con \"velmora stato --ricostruisci\" (lo fa anche la "
                       "prossima esportazione).");
    return std::make_unique<SendJournal>(where.journal(), JournalOpen::Read);
}

std::unique_ptr<FileLock> LockHotelFolder(const JournalLocation& where, const std::string& who,
                                          const Clock& clock) {
    std::string holder;
    std::unique_ptr<FileLock> lock =
        LockFile(where.lock(), who + ", avviata il " + when(clock.now()), kExportLockWait, holder);
    if (lock) return lock;
    if (holder.empty()) holder = "non identificata";
    throw RunError("Un'altra esportazione è in corso in questa cartella (" + holder +
                       "): attendere che finisca, poi ripetere.",
                   "file di blocco " + where.lock());
}

std::unique_ptr<ExportJournal> ExportJournal::Open(const JournalLocation& where, const Clock& clock,
                                                   const std::string& who, int busyMilliseconds) {
    std::unique_ptr<ExportJournal> j(new ExportJournal);
    j->m_lock = LockHotelFolder(where, who, clock);
    j->m_notice = j->m_lock->note();
    const std::string path = where.journal();
    if (const std::optional<bool> missing = lost(where)) {
        const int count = RebuildJournal(where);
        j->m_notice += std::string(j->m_notice.empty() ? "" : "\r\n") + "Il registro degli invii " +
                       path + (*missing ? " mancava" : " era vuoto") +
                       ": è stato ricostruito dai file di " + where.logDirectory + " (" +
                       std::to_string(count) + " scambi) prima di inviare.";
    }
    j->m_journal = std::make_unique<SendJournal>(path, JournalOpen::Write, busyMilliseconds);
    j->m_recorder = std::make_unique<RunRecorder>(*j->m_journal, clock);
    return j;
}

}  // namespace velmora
