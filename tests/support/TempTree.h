#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dirwise::test {

// A temporary directory tree for one test, removed (with everything below it) when the
// object goes away. Paths given to the builders are relative to the tree's root; parent
// directories are created as needed. Times are UTC seconds since the epoch.
class TempTree {
public:
    TempTree();
    ~TempTree();
    TempTree(const TempTree &) = delete;
    TempTree &operator=(const TempTree &) = delete;

    // The root, without a trailing "/".
    [[nodiscard]] const std::string &root() const { return m_root; }
    // root() + "/" + rel.
    [[nodiscard]] std::string path(const std::string &rel) const;

    void dir(const std::string &rel);
    // A file with `size` bytes of content ("x" repeated) and modification time `mtime`.
    void file(const std::string &rel, std::int64_t size = 0, std::int64_t mtime = 1000000000);
    // A sparse file of `size` bytes (no blocks written), for sizes over 4 GiB.
    void sparse(const std::string &rel, std::int64_t size, std::int64_t mtime = 1000000000);
    void symlink(const std::string &rel, const std::string &target);
    void fifo(const std::string &rel);
    void setTime(const std::string &rel, std::int64_t mtime);
    void remove(const std::string &rel);

private:
    void parents(const std::string &rel);
    std::string m_root;
};

// Reads a whole file into a string; empty when it cannot be read.
[[nodiscard]] std::string ReadFile(const std::string &path);
// Writes `content` to `path`, replacing it.
void WriteFile(const std::string &path, const std::string &content);

// Runs a program with arguments and optional standard input, waits at most
// `timeoutSeconds` (then kills it and reports status -1), and captures both outputs.
struct ProcessResult {
    int status = -1; // exit status, 128 + signal when killed by a signal, -1 on timeout
    std::string out;
    std::string err;
};
[[nodiscard]] ProcessResult RunProcess(const std::vector<std::string> &argv,
                                       int timeoutSeconds = 60,
                                       const std::vector<std::string> &extraEnv = {});

// True when the process runs as root, which ignores file modes.
[[nodiscard]] bool RunningAsRoot();

} // namespace dirwise::test
