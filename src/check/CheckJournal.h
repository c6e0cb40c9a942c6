// The check against the send journal: for each day and kind the journal
// holds as sent, the guests of the document as it would be built now are
// compared with the guests recorded when it was sent.
#pragma once

#include "check/CheckFinding.h"
#include "platform/FileStore.h"
#include "journal/SendJournal.h"

namespace velmora {

// Whom the advice speaks to: the one who typed "velmora check" (a command to
// send the day again) or the window's operator (its date fields and Esporta).
enum class AdviceFor { Command, Window };

// Adds MODIFICATO DOPO L'INVIO findings to report for guests sent but changed
// since (naming the elements that differ in Italian, with the document's
// element in parentheses, read from the request file the journal names,
// through files), sent but no longer built, and built now but never sent.
// Guests are compared by database and NumeroProgressivo, with the
// fingerprints of their Guest elements. Documents the check could not build,
// and days the journal does not hold as answered, are not compared.
void AddJournalFindings(CheckReport& report, const SendJournal& journal, const FileStore& files,
                        AdviceFor advice = AdviceFor::Command);

}  // namespace velmora
