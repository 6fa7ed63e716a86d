#pragma once

// The roots dwc compares: a folder, a snapshot file (an mtree manifest), or a folder on
// another machine ([user@]host:PATH) read as the snapshot its dwc streams back, opened by
// the engine (OpenRoot.h) and their troubles told in dwc's words.

#include "CliOptions.h"
#include "OpenRoot.h"

#include <string>

namespace dirwise::cli {

// Opens `given` as a root of `o`'s run: by rsync's rule a remote root (its first bytes
// waited for); a regular file that begins as a manifest a snapshot (read on a thread of its
// own from now on: see CheckRoots); anything else a folder, which must pass CheckRoot.
// `which` is "master" or "compare". Returns 0, or 2 after telling why on standard error.
[[nodiscard]] int OpenRoot(const std::string &given, const char *which, const CliOptions &o,
                           OpenedRoot &out);

// Waits until snapshot files being read are read whole, and returns why one of the two roots
// cannot serve the run (a snapshot broken, or without the digests --verify needs or the
// times --date needs), or "" when both can. Asked before the first file is compared.
[[nodiscard]] std::string CheckRoots(OpenedRoot &master, const std::string &masterGiven,
                                     OpenedRoot &compare, const std::string &compareGiven);

// Why `p` keeps the root `given` (the master or the compare root) from the run, in dwc's words.
[[nodiscard]] std::string RootProblemText(const RootProblem &p, const std::string &given,
                                          bool master);

// For a remote root, after the run: waits until the stream is read and the transport has
// ended. Returns "" when it delivered the whole snapshot, else what went wrong (the
// transport's own words, or the line where the stream broke). "" for other roots.
[[nodiscard]] std::string FinishRoot(OpenedRoot &root);

} // namespace dirwise::cli
