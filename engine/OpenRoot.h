#pragma once

// Opening the root of a run, whatever it names: a folder on this machine, a snapshot file
// (an mtree manifest), or a folder on another machine ([user@]host:PATH) read as the
// snapshot its dwc streams back over ssh. dwc and the window open their roots here and word
// the troubles in their own language.

#include "RemoteRoot.h"
#include "SnapshotSource.h"
#include "SnapshotStream.h"

#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace dirwise {

// Why a root cannot serve a run.
enum class RootFault : std::uint8_t {
    None,
    RemoteInvalid,          // `detail`: why the remote root cannot be parsed
    TransportQuote,         // the transport command has an open quote
    TransportStart,         // `detail`: why the transport could not be started
    SnapshotBroken,         // `line` (0 when none applies) and `detail`: what is wrong
    SnapshotWithoutDigests, // a snapshot some of whose regular files have no digest
    SnapshotWithoutTimes,   // a snapshot some of whose entries have no time
    NotFolderOrSnapshot,    // a regular file that is no manifest
    FolderUnusable,         // `error`: CheckRoot's errno for the folder
    RemoteEnded,            // `status` of the transport, `detail` its last line (may be "")
};

struct RootProblem {
    RootFault fault = RootFault::None;
    std::string detail;
    std::int64_t line = 0;
    int error = 0;
    int status = 0;

    [[nodiscard]] explicit operator bool() const { return fault != RootFault::None; }
};

// What a run asks of its roots.
struct RootRequest {
    bool digests = false;               // --verify: a snapshot must have every digest
    bool times = false;                 // --date: a snapshot must have every time
    std::vector<std::string> transport; // the remote shell's words (see TransportWords)
    std::string remoteDwc = "dwc";      // dwc on the other machine
    bool loadInBackground = false;      // read a snapshot file on a thread too (see Ready)
    // The run walks this root (the master, or the compare one for extras): a remote root is
    // Ready only once it has arrived whole, since a walk lists its root only then.
    bool walked = false;
};

// The words of the remote shell: `rsh` (--rsh) when given, else the environment variable
// DWC_RSH when set and not empty, else "ssh". Empty when the chosen text has an open quote.
[[nodiscard]] std::vector<std::string> TransportWords(const std::string &rsh);

// One root, opened for a run. A remote root's stream is read on a thread of its own and
// asked as it arrives: a question waits only for the folder it needs. A snapshot file is
// read on a thread when the request asks for it (beside the walk of the other root), and
// the source's first question then waits until it is read and checked whole.
class OpenedRoot {
public:
    OpenedRoot() = default;
    ~OpenedRoot(); // stops a transport still running and waits for it and for the reader
    OpenedRoot(const OpenedRoot &) = delete;
    OpenedRoot &operator=(const OpenedRoot &) = delete;

    std::unique_ptr<TreeSource> source;
    bool live = false;   // a folder on this machine
    bool remote = false; // a folder on another machine

    // Whether the tree can be asked without a long wait: at once for a folder and for a
    // snapshot read in the foreground; once read and checked for a snapshot file read in the
    // background; once its root's line has come (or the transport ended) for a remote root,
    // or once it has all come (or broken off) for one the run walks (RootRequest::walked).
    // A host that must not block waits for this before the run.
    [[nodiscard]] bool Ready() const;
    // Once Ready(): what keeps the tree read in the background from serving the request: a
    // snapshot file that is broken or lacks digests or times it needs, or a remote stream
    // that broke off or ended before its root's line (the transport then is finished, see
    // Finish). None otherwise. Waits for a snapshot file still being read.
    [[nodiscard]] RootProblem Checked();
    // For a remote root, after the run: waits until the stream is read and the transport has
    // ended. None when it delivered the whole snapshot, else RemoteEnded (the transport's
    // status and last words) or SnapshotBroken (the line where the stream broke). None for
    // other roots.
    [[nodiscard]] RootProblem Finish();
    // Ends a remote root's transport and its stream now (the run was stopped): what has not
    // arrived answers EIO.
    void Stop();

private:
    friend RootProblem OpenRoot(const std::string &, const RootRequest &, OpenedRoot &);
    void startLoader(int fd); // a snapshot file (taken), read on a thread
    void startStream();       // the remote root's stream, asked as it arrives

    SnapshotSource::Loaded m_tree;
    bool m_background = false;
    RootRequest m_request;
    std::unique_ptr<RemoteSnapshot> m_remote;
    std::shared_ptr<SnapshotStream> m_stream; // a remote root's
    std::thread m_loader;
    RootProblem m_loadProblem;
    bool m_finished = false;
    RootProblem m_finishProblem;
};

// Opens `given` as a root: by rsync's rule a remote root (its transport started now and,
// without loadInBackground, its first bytes waited for: a transport that
// ends before it is RemoteEnded); a regular file that begins as a manifest a snapshot (read now, or
// on a thread with loadInBackground; read now, it is refused when the request needs digests or
// times it lacks); anything else a folder, which must pass CheckRoot. Returns None or why
// not.
[[nodiscard]] RootProblem OpenRoot(const std::string &given, const RootRequest &request,
                                   OpenedRoot &out);

} // namespace dirwise
