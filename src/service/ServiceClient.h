// The regional service client: the two HTTP routines and the four messages of
// an export run (login, movements, end of day, logout). Each shows what it
// sends in Text2(0) and what comes back in Text2(1) and keeps both as
// exchange log files. A failure that must stop the run raises RunError.
#pragma once

#include <string>

#include "service/HttpExchange.h"

namespace velmora {

// Logs in at LoginUrl and sets LoginToken from the answer. Raises RunError
// (after showing the answer, when one came) when the exchange fails, the
// status is not 2xx, or the answer has no token; LoginToken is then empty.
// A session the service opened but whose log file cannot be written is
// logged out before the RunError goes on.
void DoLogin(ServiceContext& ctx);

// Logs out at LogoutUrl. Returns true when it marked an error: no answer (the
// failure is shown in Text2(1)) or a status that is not 2xx.
bool DoLogout(ServiceContext& ctx);

// Posts the XML declaration and the stays document to ArrivalsUrl when kind is
// exactly "A", otherwise to DeparturesUrl. Returns true when it appended
// "Sono presenti errori!": the answer contains "Erro" or its status is not
// 2xx. No answer at all raises RunError; the request's log file stays.
bool SendMovements(ServiceContext& ctx, const std::string& document, const std::string& kind);

// Posts the end-of-day message for day ("DD/MM/YYYY") to CloseDayUrl. Returns
// true when the status is not 2xx (then "Sono presenti errori!" is appended).
// No answer at all raises RunError; the request's log file stays.
bool CloseDay(ServiceContext& ctx, const std::string& day);

}  // namespace velmora
