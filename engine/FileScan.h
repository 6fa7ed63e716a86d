#pragma once

// Listing one live folder tree on its own, outside a compare run (the compare run walks its
// sources itself, see Walk.h).

#include "CompareHost.h"
#include "FileSystem.h"
#include "ScanState.h"
#include "Walk.h"

#include <string>
#include <vector>

namespace dirwise {

// Walks the live folder `path` (with or without a trailing "/") as Walk does, with a worker
// pool of its own that lists the folders the walk will enter next (see ListingAhead.h):
// links to folders are entered by WalkEnters' rule, nothing is ever opened but folders, and a
// bounded number of descriptors is held, so any depth is safe. The names, the yields and the
// host's calls stay on the caller's thread. The empty path is a folder that cannot be listed
// (ENOENT), never the file system's root.
void ScanDirectory(ScanState &state, CompareHost &host, const std::string &path,
                   const std::vector<std::string> &patterns, const ScanRules &rules);

} // namespace dirwise
