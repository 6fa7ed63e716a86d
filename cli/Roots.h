#pragma once

// The roots dwc compares: a folder, a snapshot file (an mtree manifest), or a folder on
// another machine ([user@]host:PATH) read as the snapshot its dwc streams back.

#include "CliOptions.h"
#include "RemoteRoot.h"
#include "SnapshotSource.h"

#include <memory>
#include <string>
#include <thread>

namespace dirwise::cli {

// One root, opened for a run. A remote root's stream is read on a thread of its own while
// the run goes on.
class OpenedRoot {
public:
    OpenedRoot() = default;
    ~OpenedRoot(); // stops a transport still running and waits for it
    OpenedRoot(const OpenedRoot &) = delete;
    OpenedRoot &operator=(const OpenedRoot &) = delete;

    std::unique_ptr<TreeSource> source;
    bool live = false; // a folder on this machine

    // For a remote root, after the run: waits until the stream is read and the transport
    // has ended. Returns "" when it delivered the whole snapshot, else what went wrong
    // (the transport's own words, or the line where the stream broke).
    [[nodiscard]] std::string Finish();
    // Ends a remote root's transport now (the run was stopped).
    void Stop();

private:
    friend int OpenRoot(const std::string &, const char *, const CliOptions &, OpenedRoot &);
    std::unique_ptr<RemoteSnapshot> m_remote;
    std::thread m_loader;
    std::string m_loadError;
    bool m_finished = false;
    std::string m_finishError;
};

// Opens `given` as a root of `o`'s run: by rsync's rule a remote root; a regular file that
// begins as a manifest a snapshot (read whole now, and refused when --verify finds it
// without digests or --date without times); anything else a folder, which must pass
// CheckRoot. `which` is "master" or "compare". Returns 0, or 2 after telling why on
// standard error.
[[nodiscard]] int OpenRoot(const std::string &given, const char *which, const CliOptions &o,
                           OpenedRoot &out);

} // namespace dirwise::cli
