// Where a hotel folder keeps its send journal and the files beside it: all in
// its Velmora/ folder. The program's services say where that folder is; no
// code below them looks at the process's current folder.
#pragma once

#include <string>

namespace velmora {

struct JournalLocation {
    // The hotel folder's Velmora/ ("Velmora" when the program works in the
    // hotel folder itself).
    std::string logDirectory;

    std::string journal() const;  // Velmora/Velmora.sqlite
    std::string backup() const;   // Velmora/Velmora.sqlite.bak
    std::string lock() const;     // Velmora/Velmora.lock
};

// The location for the hotel folder workDir ("." or "" for the current one).
JournalLocation JournalLocationIn(const std::string& workDir);

}  // namespace velmora
