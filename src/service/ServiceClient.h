// The regional service client: the two HTTP routines and the four messages of
// an export run (login, movements, end of day, logout). Each shows what it
// sends in Text2(0) and what comes back in Text2(1) and keeps both as
// exchange log files. A failure that must stop the run raises RunError.
#pragma once

#include <cstddef>
#include <string>

#include "service/HttpExchange.h"

namespace velmora {

// The longest login token taken; it travels as a header of every POST.
inline constexpr std::size_t kMaxTokenBytes = 64 * 1024;

// Each routine tells ctx.listener, when there is one, of its request before
// sending it (a RunError from the listener sends nothing) and of how the
// exchange ended; the logout only after it was sent.

// Logs in at LoginUrl and sets LoginToken from the answer. Raises RunError
// (after showing the answer, when one came) when the exchange fails, the
// status is not 2xx, or the answer has no token or one longer than
// kMaxTokenBytes; LoginToken is then empty.
// A session the service opened but whose log file or record cannot be
// written is logged out before the RunError goes on.
void DoLogin(ServiceContext& ctx);

// Logs out at LogoutUrl, before anything about it is written, so that no
// failure of a file or of the listener keeps the session open. Returns true
// when it marked an error: no answer (the failure is shown in Text2(1)) or a
// status that is not 2xx. Raises RunError, the logout sent, when its log file
// or the listener fails.
bool DoLogout(ServiceContext& ctx);

// Posts the XML declaration and the stays document of day ("DD/MM/YYYY") to
// ArrivalsUrl when kind is exactly "A", otherwise to DeparturesUrl. Returns
// true when it appended "Sono presenti errori!": the 2xx answer contains
// "Erro" (some guests refused, the rest taken). Raises RunError, the
// request's log file kept, when no answer came, when the status is not 2xx
// (the service took nothing: the day must not be closed), and when the
// answer's log file or the listener fails (the message says it was received).
bool SendMovements(ServiceContext& ctx, const std::string& document, const std::string& kind,
                   const std::string& day);

// Posts the end-of-day message for day ("DD/MM/YYYY") to CloseDayUrl. Returns
// true when the day was not closed: a status that is not 2xx or an answer
// with "Erro" (then "Sono presenti errori!" is appended). No answer at all
// raises RunError, the request's log file kept; so does an answer whose log
// file or record fails (the message says what the service answered).
bool CloseDay(ServiceContext& ctx, const std::string& day);

}  // namespace velmora
