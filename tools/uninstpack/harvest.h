// `uninstpack harvest`: the file and folder records of a staged folder, as its tree will stand
// in the installation folder, optionally put into a hand-written manifest.
#pragma once
#include <ostream>
#include <string>
#include <vector>

namespace uninstpack {

struct HarvestOptions {
    std::string dir;                 // the staged folder
    std::string installDir;          // where it will stand: absolute, "." or ".\NAME" below the uninstaller
    std::string output = "-";        // "-" is standard output
    std::string merge;               // a hand-written manifest to put the records into; empty: none
    std::vector<std::string> flags;  // "NAME=PATTERN", as --flag gives them
    std::vector<std::string> excludes;  // patterns of --exclude: what is left out (a folder with all it holds)
    bool force = false;              // replace a read-only output
};

// kExitClean, or kExitUnusable with nothing written: a bad option, a name Windows cannot hold,
// a record the uninstaller would refuse, an unreadable folder or manifest. Every one is named.
int RunHarvest(const HarvestOptions& options, std::ostream& out, std::ostream& err);

}  // namespace uninstpack
