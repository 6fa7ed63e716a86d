#pragma once

// The roots dwc compares: a folder, a snapshot file (an mtree manifest), or a folder on
// another machine ([user@]host:PATH) read as the snapshot its dwc streams back, opened by
// the engine (OpenRoot.h) and their troubles told in dwc's words.

#include "CliOptions.h"
#include "OpenRoot.h"

#include <string>

namespace dirwise::cli {

// Opens `given` as a root of `o`'s run: by rsync's rule a remote root; a regular file that
// begins as a manifest a snapshot (read whole now, and refused when --verify finds it
// without digests or --date without times); anything else a folder, which must pass
// CheckRoot. `which` is "master" or "compare". Returns 0, or 2 after telling why on
// standard error.
[[nodiscard]] int OpenRoot(const std::string &given, const char *which, const CliOptions &o,
                           OpenedRoot &out);

// For a remote root, after the run: waits until the stream is read and the transport has
// ended. Returns "" when it delivered the whole snapshot, else what went wrong (the
// transport's own words, or the line where the stream broke). "" for other roots.
[[nodiscard]] std::string FinishRoot(OpenedRoot &root);

} // namespace dirwise::cli
