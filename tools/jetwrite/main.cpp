// velmora-jetwrite: writes a Jet 4 (or Jet 3) database from text tables.
//   velmora-jetwrite [--jet3] OUT.mdb TABLE=FILE.txt [TABLE=FILE.txt ...]
// Exit status: 0 written, 1 error (message on stderr), 64 wrong usage.
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "jetwrite/JetWriter.h"

namespace {

constexpr int kExitError = 1;
constexpr int kExitUsage = 64;

int usage() {
    std::fputs(
        "usage: velmora-jetwrite [--jet3] OUT.mdb TABLE=FILE.txt [TABLE=FILE.txt ...]\n"
        "Writes a new Jet 4 database OUT.mdb (replacing it) holding one table for\n"
        "each TABLE=FILE.txt, read from the text table in FILE.txt; with --jet3,\n"
        "a Jet 3 (Access 97) database.\n",
        stderr);
    return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    int first = 1;
    auto version = velmora::jetwrite::JetVersion::Jet4;
    if (argc > 1 && std::string(argv[1]) == "--jet3") {
        version = velmora::jetwrite::JetVersion::Jet3;
        ++first;
    }
    if (argc < first + 2) return usage();
    const std::string out = argv[first];
    if (out.empty() || out[0] == '-') return usage();
    std::vector<std::pair<std::string, std::string>> specs;
    for (int i = first + 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const std::size_t eq = arg.find('=');
        if (eq == std::string::npos || eq == 0 || eq + 1 == arg.size()) return usage();
        specs.emplace_back(arg.substr(0, eq), arg.substr(eq + 1));
    }
    try {
        std::vector<std::unique_ptr<velmora::jetwrite::RowSource>> owned;
        std::vector<velmora::jetwrite::RowSource*> sources;
        for (const auto& [table, file] : specs) {
            owned.push_back(velmora::jetwrite::openTextTable(file, table));
            sources.push_back(owned.back().get());
        }
        velmora::jetwrite::writeDatabaseFromSources(out, sources, version);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velmora-jetwrite: %s\n", e.what());
        return kExitError;
    }
    return 0;
}
