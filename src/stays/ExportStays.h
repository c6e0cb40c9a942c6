// One stays document of a window of days and a kind of movement: InitialDate
// refreshed from "QLBDataI.txt", the root element around the history's and the
// register's stays, kept as "Velmora/Istat-<stamp>[-n].xml" and returned as
// the one line that is submitted.
#pragma once

#include <string>
#include <string_view>

#include "stays/LineSink.h"
#include "stays/StaysContext.h"

namespace velmora {

// Writes the stays file and returns its one line (lines joined without line
// ends, every "&" a blank), or "" when no stay was written; the file is kept
// either way and never replaces an existing one. RunError for a missing or
// empty "QLBDataI.txt", a record that cannot be written, or a file or database
// failure; no stays file is written then, so none is ever incomplete.
std::string ExportStays(StaysContext& ctx, const std::string& firstDay, const std::string& lastDay,
                        const std::string& kind);

// What every document starts with: InitialDate from the first line of
// "QLBDataI.txt" (DD/MM/YYYY taken apart by position into YYYYMMDD) and
// StaysWritten cleared.
void beginStaysDocument(StaysContext& ctx);

// The document's lines: " <StaysPmsDTO>", the history's stays, the register's
// stays, " </StaysPmsDTO>".
void writeStaysDocument(StaysContext& ctx, const std::string& firstDay, const std::string& lastDay,
                        const std::string& kind, LineSink& out);

// beginStaysDocument then writeStaysDocument: exactly the lines ExportStays
// writes, into any sink and without touching a file. joinStaysDocument of
// those lines (MemoryLineSink::text) is the text ExportStays returns when
// StaysWritten is 1.
void buildStaysDocument(StaysContext& ctx, const std::string& firstDay, const std::string& lastDay,
                        const std::string& kind, LineSink& out);

// The lines of a stays file joined without their line ends, every "&" a blank.
std::string joinStaysDocument(std::string_view fileText);

}  // namespace velmora
