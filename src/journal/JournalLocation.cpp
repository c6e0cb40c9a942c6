// The journal's file names below a hotel folder.
#include "journal/JournalLocation.h"

#include <filesystem>

#include "core/FileNames.h"
#include "journal/SendJournal.h"

namespace velmora {

namespace {

std::string in(const std::string& directory, const std::string& name) {
    return (std::filesystem::path(directory) / name).make_preferred().string();
}

}  // namespace

std::string JournalLocation::journal() const { return in(logDirectory, kJournalFile); }
std::string JournalLocation::backup() const {
    return in(logDirectory, std::string(kJournalFile) + ".bak");
}
std::string JournalLocation::lock() const { return in(logDirectory, "Velmora.lock"); }

JournalLocation JournalLocationIn(const std::string& workDir) {
    if (workDir.empty() || workDir == ".") return {kLogDirectory};
    return {in(workDir, kLogDirectory)};
}

}  // namespace velmora
