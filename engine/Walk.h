#pragma once

// The walk: a tree's folders in byte order, depth first, each folder's files before its
// subfolders, whichever source lists them. It decides the order, the loops and which folders
// are entered (see WalkEnters); the source only lists.

#include "CompareHost.h"
#include "ScanState.h"
#include "TreeSource.h"

#include <string>
#include <vector>

namespace dirwise {

class WorkerPool;

// How a walk goes: into subfolders or not, through links to folders or not, the phase its
// yields report, the tree it walks (for the diagnostics), and what it leaves out.
struct ScanRules {
    bool recursive = true;
    bool followLinks = true;
    Phase phase = Phase::Listing;
    Side side = Side::Master;
    WalkFilter *filter = nullptr; // none: nothing is left out
};

// Lists the files of `source` that match the patterns (see MatchPattern), and with
// `rules.recursive` those of every subfolder, depth first: a folder's files come grouped by
// pattern (a file matching two patterns is listed twice), each group in byte order of the
// names, before its subfolders are entered in byte order. Only "." and ".." are passed over;
// hidden files and special files are listed. A folder already on the walk (a loop) is passed
// over, and so is one the filter skips, before the source is asked for it. The walk needs no
// recursion, so any depth is safe. A folder that cannot be listed becomes a diagnostic (the
// state's and the host's) and the walk goes on, unless the source's root has gone (asked
// when a listing fails or is empty, see TreeSource::RootGone): then one Problem::RootGone
// diagnostic names the root and the walk ends, keeping what it listed. Yields (with `rules.phase`)
// after every entry of every pass and after every subfolder, and returns as soon as a yield asks to
// stop, keeping what was listed and setting Stopped. `state` should be fresh; the walk appends.
void Walk(TreeSource &source, WorkerPool &pool, ScanState &state, CompareHost &host,
          const std::vector<std::string> &patterns, const ScanRules &rules);

} // namespace dirwise
