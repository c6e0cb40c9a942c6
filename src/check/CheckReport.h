// How the check's findings are shown: as text lines for the answers monitor
// and standard output, grouped by day and kind, and as a self-contained HTML
// page a receptionist can open and print, one table per day.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "check/CheckFinding.h"
#include "core/LocalTime.h"

namespace velmora {

// "Verifica dal 02/03/2026 al 08/03/2026".
std::string checkTitle(const CheckReport& report);

// "bloccanti 0, respinti 1, mai inviati 1, esclusi 5", with "; verifica
// interrotta" when the check did not reach the last day.
std::string checkCountsText(const CheckReport& report);

// "Riepilogo: " and the counts: the last line of the printed check.
std::string checkCountsLine(const CheckReport& report);

// The heading of the check in the answers monitor: title and counts.
std::string checkHeading(const CheckReport& report);

// One finding on one line: severity, day, kind, database, record number,
// NomeCliente, room and the problem; then "    Da fare: " and the fix.
std::vector<std::string> findingLines(const CheckFinding& finding);

// The findings grouped by day and kind, each group under a line
// "== 04/03/2026 arrivi"; with documents, every group is shown and carries
// the document as it would be posted after a line ">>> da inviare" (or what
// would happen instead). The interruption, if any, closes the list.
std::vector<std::string> checkLines(const CheckReport& report, bool documents);

// The one shell of every printable page: the title, the styles (rows
// coloured by the check's severities and by the journal's status words, option
// names kept on one line), one heading, then body (HTML, lines ending CR LF).
std::string htmlPage(const std::string& title, const std::string& heading,
                     const std::string& body);

// The page: title, range, when it was made, the counts, a legend, then per
// day a table of its findings (document, outcome, database, record, room,
// name, problem, what to do) with rows coloured by severity. Lines end in
// CR LF.
std::string checkReportHtml(const CheckReport& report, const LocalTime& madeAt);

// Text with & < > " ' as HTML character references.
std::string htmlEscaped(std::string_view text);

}  // namespace velmora
