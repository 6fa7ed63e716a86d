#pragma once

// Roots on other machines: "[user@]host:PATH" read as the snapshot that `dwc --snapshot PATH`
// writes there, streamed back over ssh (or the command --rsh or DWC_RSH names).

#include <atomic>
#include <mutex>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace dirwise {

// Whether `root` names another machine, by rsync's rule: a colon comes before the first
// slash ("host:dir", "me@host:/dir", but not "./a:b" or "/x/a:b").
[[nodiscard]] bool IsRemoteRoot(std::string_view root);

struct RemoteRoot {
    std::string destination; // "host" or "user@host", as ssh takes it
    std::string path;        // as given; empty means the remote user's home
};

// Splits a remote root. False with `error` for an empty host, or a host (after "user@")
// that begins with "-", which ssh would take for an option.
[[nodiscard]] bool ParseRemoteRoot(std::string_view root, RemoteRoot &out, std::string &error);

// `text` quoted for a POSIX shell: inside single quotes, each "'" as '\''.
[[nodiscard]] std::string ShellQuote(std::string_view text);

// The command line the remote shell runs: `remoteDwc` -q --snapshot [--verify] -- PATH, every
// word quoted, except that a "~" or "~/" at the start of the path is left for the shell to
// expand to the remote user's home. An empty path is the home itself.
[[nodiscard]] std::string RemoteCommand(const std::string &remoteDwc, const std::string &path,
                                        bool digests);

// The words of an --rsh or DWC_RSH command, split at blanks as a shell would: single quotes
// keep everything, double quotes keep all but "\" before "\", '"', "$" and "`", and a
// backslash outside quotes keeps the next byte. False for an open quote or no words.
[[nodiscard]] bool SplitCommand(std::string_view text, std::vector<std::string> &words);

// One run of `rsh destination command`: its standard output is the snapshot stream, its
// standard error is kept (the last 64 KiB) to tell what went wrong.
class RemoteSnapshot {
public:
    // `rsh`: the transport's words ("ssh" and its options).
    RemoteSnapshot(std::vector<std::string> rsh, RemoteRoot root, std::string remoteDwc,
                   bool digests);
    ~RemoteSnapshot(); // stops and reaps a transport that still runs
    RemoteSnapshot(const RemoteSnapshot &) = delete;
    RemoteSnapshot &operator=(const RemoteSnapshot &) = delete;

    // Starts the transport. False with `error` when it cannot be started.
    [[nodiscard]] bool Start(std::string &error);
    // The stream to read the snapshot from (valid after Start).
    [[nodiscard]] int fd() const { return m_out; }
    // Ends the transport (SIGTERM), which closes the connection; the remote dwc then fails
    // its next write and ends too.
    void Stop();
    // Waits for the transport to end. Returns its exit status (0: the remote side wrote the
    // whole snapshot), 128 + a signal that ended it, or -1 when it could not be waited for;
    // `said` gets what it wrote on standard error. Asked again (from any thread), the same.
    int Finish(std::string &said);

private:
    std::vector<std::string> m_rsh;
    RemoteRoot m_root;
    std::string m_remoteDwc;
    bool m_digests;
    std::atomic<pid_t> m_pid{-1};
    std::mutex m_finishLock;
    bool m_finished = false;
    int m_status = -1;
    int m_out = -1;
    int m_err = -1;
    std::string m_said;
    std::thread m_errReader;
};

} // namespace dirwise
