// The fixed names of the files Velmora reads and writes, relative to the
// working directory. Everything else (exchange and stays files) lives in
// kLogDirectory under names made from a prefix and a time stamp.
#pragma once

namespace velmora {

inline constexpr const char* kSettingsFile = "QLBSetup.txt";
inline constexpr const char* kDataFile = "QLBDataI.txt";
inline constexpr const char* kRegisterDatabase = "Scheda_Cliente.mdb";
inline constexpr const char* kHistoryDatabase = "SchedaStoricoClienti.mdb";
inline constexpr const char* kCodesDatabase = "Comuni.mdb";
inline constexpr const char* kLogDirectory = "Velmora";

// The three databases in the order their absence is named.
inline constexpr const char* kDatabases[] = {kRegisterDatabase, kHistoryDatabase, kCodesDatabase};

}  // namespace velmora
