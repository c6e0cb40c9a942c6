// The send journal rebuilt from the exchange log files of Velmora/ alone. The
// request bodies say which day and kind each document is; the files are
// taken in the order they were written: by the minute of their name and,
// within it, by the time the file system kept; files of one instant in the
// order of a run (login, days and their prefixes, logout). An answer pairs
// with the last unanswered request of its kind; each Login- file starts a
// run, a Logout- file completes it.
// Where the order cannot be told (files copied without their times, two runs
// in one minute) nothing is guessed in the journal's favour: answers that
// could be another request's are left out, so those requests read as
// without answer.
#pragma once

#include <functional>
#include <string>

#include "journal/JournalLocation.h"

namespace velmora {

// Writes a new journal at path (which must not exist) from the log files in
// logDirectory. Returns the number of exchanges found.
int RebuildJournalFile(const std::string& logDirectory, const std::string& path);

// Rebuilds the journal of where and puts it in place in one step: the new
// journal is made under a temporary name, the old one is copied to
// Velmora.sqlite.bak, and the new one is renamed over the old, so that the
// folder holds a journal at every moment. The caller holds the folder's
// export lock. RunError when it cannot (the old journal is then untouched).
// Returns the number of exchanges found. beforeReplacing is called just
// before the new journal takes the old one's place.
int RebuildJournal(const JournalLocation& where, const std::function<void()>& beforeReplacing = {});

}  // namespace velmora
