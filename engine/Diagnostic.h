#pragma once

// The one value for a place the compare could not look at, whichever source or pass found it.

#include <cstdint>
#include <string>
#include <utility>

namespace dirwise {

// Which tree a diagnostic (or a fact) belongs to.
enum class Side : std::uint8_t { Master, Compare };

// What kept a place from being compared.
enum class Problem : std::uint8_t {
    FolderNotListed, // a folder could not be opened or read (or only in part): its files are
                     // not compared (those read before the failure are)
    FactsNotRead,    // a file's facts could not be read (a loop of links, no permission)
    ContentsNotRead, // with verification, a file's bytes could not be read
    RulesNotRead,    // a master .gitignore file is there but could not be read: its folder
                     // was compared without its rules
    RootGone,        // the side's root went away or was replaced during the run: from then
                     // on nothing of that tree is compared (the root itself, or a file)
    WalkedAlready,   // a folder reached again (through a link) that the walk had entered
                     // already: passed over, `walkedAs` names its first place
};

// The one value for a place that was not compared, made the same way by every source and
// every pass: the summary keeps them, dwc prints them, the window lists them.
struct Diagnostic {
    Diagnostic() = default;
    Diagnostic(Side s, Problem p, std::string rootPath, std::string relativePath, int err,
               std::string firstPlace = {})
        : side(s), problem(p), root(std::move(rootPath)), relative(std::move(relativePath)),
          error(err), walkedAs(std::move(firstPlace)) {}

    Side side = Side::Master;
    Problem problem = Problem::FactsNotRead;
    std::string root;     // the side's root as the run uses it (normalised, see NormalizeRoot)
    std::string relative; // from the root: "" the root itself, "a/b/" a folder, "a/b/f" a file
    int error = 0;        // the errno that stopped it
    std::string walkedAs; // WalkedAlready: the first place's relative path ("a/b/")

    // The place as people read it: the root, one "/", the relative path; a folder ends in "/".
    // An empty root with an empty relative path stays empty.
    [[nodiscard]] std::string Path() const {
        if (root.empty() && relative.empty())
            return {};
        return root.empty() || root.back() != '/' ? root + '/' + relative : root + relative;
    }
    [[nodiscard]] bool Folder() const {
        return problem == Problem::FolderNotListed || problem == Problem::WalkedAlready;
    }

    friend bool operator==(const Diagnostic &, const Diagnostic &) = default;
};

} // namespace dirwise
