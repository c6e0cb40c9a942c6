// The run-wide state of Velmora: the settings record read from "QLBSetup.txt"
// and the few values that live for the whole program. The application owns the
// one instance and hands it by reference to the routines that read or change it.
#pragma once

#include <cstdint>
#include <string>

namespace velmora {

struct RunState {
    // The settings record, the seven lines of "QLBSetup.txt" in file order.
    std::string UserId;
    std::string Password;
    std::string LoginUrl;
    std::string LogoutUrl;
    std::string ArrivalsUrl;
    std::string DeparturesUrl;
    std::string CloseDayUrl;

    // Set by the login; "Authorization" header of every POST.
    std::string LoginToken;
    // YYYYMMDD, refreshed from "QLBDataI.txt" before every stays document.
    std::string InitialDate;
    // 1 when the stays document just written holds at least one stay.
    std::int16_t StaysWritten = 0;
};

}  // namespace velmora
