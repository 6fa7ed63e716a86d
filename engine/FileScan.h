#pragma once

#include "CompareHost.h"
#include "ScanState.h"
#include "TreeSource.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace dirwise {

// Whether `name` matches the wildcard `pattern`: "*" matches any run of bytes (also none,
// also a leading "."), "?" one character (one UTF-8 sequence, or one byte that is not
// valid UTF-8), ASCII letters match without regard to case, and "*.*" matches every name.
[[nodiscard]] bool MatchPattern(std::string_view pattern, std::string_view name);

// How a walk goes: into subdirectories or not, through links to directories or not, and the
// phase its yields report.
struct ScanRules {
    bool recursive = true;
    bool followLinks = true;
    Phase phase = Phase::Listing;
    Side side = Side::Master; // the tree walked, for the diagnostics
    // What the walk leaves out (none: nothing). Asked once for each file of an entered
    // folder and for each subfolder before it is entered; a skipped folder is never opened,
    // and the read-ahead then lists only the folders the walk has let through.
    WalkFilter *filter = nullptr;
};

// Lists the files of directory `path` (with or without a trailing "/") that match the
// patterns, and with `rules.recursive` those of every subdirectory, depth first: a directory's
// files come grouped by pattern (a file matching two patterns is listed twice), each group
// in byte order of the names, before its subdirectories are entered in byte order. Only
// "." and ".." are passed over. Hidden files and special files (FIFOs, sockets, devices)
// are listed; nothing is ever opened but directories. Symlinked directories are entered
// (with `rules.followLinks`) unless the target is already an ancestor on the current walk or
// lies on a pseudo file system (IsPseudoFileSystem); without followLinks they are passed
// over. The walk needs no
// recursion and holds a bounded number of descriptors, so any depth is safe. Worker threads
// list the directories the walk will enter next, a bounded number ahead (see Listing.h);
// the names, the yields and the host's calls stay on the caller's thread. A directory
// that cannot be listed becomes a diagnostic (state and host) and the walk goes on; the
// empty path is such a directory, never the file system's root.
// Yields (with `rules.phase`) after every entry of every pass and after every subdirectory, and
// returns as soon as a yield asks to stop, keeping what was listed and setting Stopped.
// `state` should be fresh; the scan appends to it.
void ScanDirectory(ScanState &state, CompareHost &host, const std::string &path,
                   const std::vector<std::string> &patterns, const ScanRules &rules);

// Whether the open directory `fd` lies on one of the kernel's own file systems (proc,
// sysfs, devtmpfs, cgroup, debugfs, tracefs and the like), which a walk must never enter
// through a link: /proc alone leads to the root of every process.
[[nodiscard]] bool IsPseudoFileSystem(int fd);

// True when `path` names a regular file (after symlinks) that this user may read. Nothing
// is opened, so a FIFO or a device never blocks; the empty path, a directory and a missing
// file give false.
[[nodiscard]] bool FileExists(const std::string &path);

} // namespace dirwise
