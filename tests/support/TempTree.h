#pragma once

// The POSIX and GoogleTest headers that every suite here needs come with this one.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

namespace dirwise::test {

// A temporary directory tree for one test, removed (with everything below it) when the
// object goes away. Paths given to the builders are relative to the tree's root; parent
// directories are created as needed. Times are UTC seconds since the epoch.
class TempTree {
public:
    // With `inMemory`, the tree lives in /dev/shm where that exists: trees of many thousand
    // directories are made and removed there without waiting on a disk journal.
    explicit TempTree(bool inMemory = false);
    ~TempTree();
    TempTree(const TempTree &) = delete;
    TempTree &operator=(const TempTree &) = delete;

    // The root, without a trailing "/".
    [[nodiscard]] const std::string &root() const { return m_root; }
    // root() + "/" + rel; the root itself when rel is empty.
    [[nodiscard]] std::string path(const std::string &rel) const;

    void dir(const std::string &rel);
    // A file with `size` bytes of content ("x" repeated) and modification time `mtime`.
    void file(const std::string &rel, std::int64_t size = 0, std::int64_t mtime = 1000000000);
    void symlink(const std::string &rel, const std::string &target);
    void fifo(const std::string &rel);
    void setTime(const std::string &rel, std::int64_t mtime, long nanoseconds = 0);
    // Removes `rel` with everything below it, also trees deeper than the system's path limit.
    void remove(const std::string &rel);
    // Builds `depth` nested directories named `dirName` below `rel` and a file `fileName`
    // of `size` (zero) bytes at the bottom. Works relative to directory descriptors, so the depth
    // is not limited by the system's path length. Returns false when a step failed.
    [[nodiscard]] bool deepFile(const std::string &rel, int depth, const std::string &dirName,
                                const std::string &fileName, std::int64_t size, std::int64_t mtime);

private:
    std::string m_root;
};

// Removal opens up the modes that a test took away (chmod) before it removes anything.

// Reads a whole file into a string; empty when it cannot be read.
[[nodiscard]] std::string ReadFile(const std::string &path);
// Writes `content` to `path`, replacing it.
void WriteFile(const std::string &path, const std::string &content);

// Runs a program with standard input from /dev/null, waits at most `timeoutSeconds`
// (then kills it and reports status -1), and captures both outputs.
struct ProcessResult {
    int status = -1; // exit status, 128 + signal when killed by a signal, -1 on timeout
    std::string out, err;
};
[[nodiscard]] ProcessResult RunProcess(const std::vector<std::string> &argv,
                                       int timeoutSeconds = 60);

// Starts a program with the given descriptors as its standard input, output and error
// (-1: /dev/null), none of them 0, 1 or 2. The caller keeps its descriptors. Returns the
// process id, or -1 when the fork failed. Programs get this process's environment.
[[nodiscard]] pid_t SpawnProcess(const std::vector<std::string> &argv, int in, int out, int err);
// Waits for `pid` at most `timeoutSeconds`; on timeout kills it and returns -1. Otherwise
// the exit status, or 128 + the signal that ended it.
[[nodiscard]] int WaitProcess(pid_t pid, int timeoutSeconds);

// Runs `body` in a forked child under a watchdog, so that a hang or a crash fails the
// calling test instead of the whole suite. The child's text `out` comes back in `out`;
// status is body's return value, 128 + signal when it died, -1 on timeout.
using ChildResult = ProcessResult;
[[nodiscard]] ChildResult RunInChild(const std::function<int(std::string &out)> &body,
                                     int timeoutSeconds = 60);

// In a child process only: gives up root for the user and group "nobody" (65534), so
// that file modes apply. Returns false when that failed. A no-op success when not root.
[[nodiscard]] bool DropRootInChild();

// Sets TZ for the rest of the process (and its children), so date texts are predictable.
void UseTimeZone(const char *tz);

// Makes the UTF-8 locale of `language` ("de_DE") usable by this process and the programs
// it starts: true when the system has it, or when it could be compiled into `dir` (with
// localedef, from the sources in Debian's "locales"), which LOCPATH then names for the rest
// of the process; other locales than C and POSIX are then found only there.
[[nodiscard]] bool UseLocale(const std::string &language, const std::string &dir);

// A bind mount of folder `source` on folder `target` (both must exist), so a test can take a
// tree away under a run as an unplugged drive would. Detached lazily when the object goes.
class BindMount {
public:
    BindMount(const std::string &source, const std::string &target);
    ~BindMount();
    BindMount(const BindMount &) = delete;
    BindMount &operator=(const BindMount &) = delete;
    // 0 when mounted; otherwise mount(2)'s errno (EPERM without the privilege).
    [[nodiscard]] int error() const { return m_error; }
    // Takes the mount away as `umount -l` does: descriptors open in it go on working, every
    // new lookup by path finds the folder beneath. Returns whether it was mounted.
    bool detach();

private:
    std::string m_target;
    int m_error = 0;
    bool m_mounted = false;
};

// Makes 1,000 folders of 20 one-byte files each below `rel` of `tree`: "g00/d00/f00" to
// "g49/d19/f19", all with time T. Two levels, so a walk keeps opening folders by their path
// from the root, long after it began.
void MakeThousandFolders(TempTree &tree, const std::string &rel, std::int64_t mtime);

} // namespace dirwise::test
