#pragma once

// Writing a tree as an mtree manifest in the form libarchive writes, so that libarchive
// (bsdtar), NetBSD's mtree and Dirwise itself read it back.

#include "CompareHost.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dirwise {

struct SnapshotOptions {
    bool digests = false; // a sha256digest for every regular file (its contents are read)
};

struct SnapshotSummary {
    std::int64_t entries = 0;        // entries written, the root included
    std::vector<Diagnostic> notRead; // folders not listed, files not read for a digest
    bool stopped = false;            // a yield asked to stop
    int writeError = 0;              // errno of a failed write to the output
};

// Writes the manifest of the directory `root` to `out` (which stays the caller's): the line
// "#mtree", then one line per entry with its full path ("." for the root, "./a/b" below it,
// bytes outside printable ASCII and blank, "#", "=", "\" as "\ooo"), its type, a regular
// file's size, the modification time with nanoseconds, a link's target, and with
// `options.digests` a regular file's sha256digest. Entries come in the walk's order: a
// folder's line, then its entries that are no folders in byte order, then its folders in
// byte order, each followed by its own contents. Links are written as links, never
// followed. A folder that cannot be listed, or a file that cannot be read for its digest,
// is written without what is missing, reported to the host as a diagnostic (on the master
// side, `root` its root) and kept in the summary. Yields after every entry and every 16 MiB
// digested (Phase::Listing, `listed` counting entries) and stops when a yield asks, leaving
// the manifest cut off after a whole line. Lines reach `out` every 256 KiB or 50 ms,
// whichever comes first. Stops at the first failed write. Without digests, workers list and
// stat whole folders ahead of the writing thread (SnapshotAhead.h); the manifest is the same.
SnapshotSummary WriteSnapshot(const std::string &root, int out, const SnapshotOptions &options,
                              CompareHost &host);

} // namespace dirwise
