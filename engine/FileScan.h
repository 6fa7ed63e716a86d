#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace dirwise {

// A place the compare could not look at: a directory that could not be listed, or a listed
// file whose metadata could not be read. `error` is the errno value that stopped it.
struct Diagnostic {
    std::string path;
    int error = 0;
    bool directory = false;
};

// What the engine needs of whoever runs it: the window, the command line, or a test.
class CompareHost {
public:
    virtual ~CompareHost() = default;
    // Called after every directory entry, once per compared file, and at the few points
    // named in the scanner and the run. The window lets its event loop run here; a Stop
    // command handled here sets ScanState::StopRequested, which the engine tests right
    // after every yield.
    virtual void yield() = 0;
    // A place that could not be compared, as soon as it is found. The engine also keeps it.
    virtual void diagnostic(const Diagnostic &d) { (void)d; }
};

// One directory the scanner listed. The root's `name` is the root path with a trailing "/";
// every other directory's `name` is its own name with a trailing "/". Paths are built by
// following `parent` links, so a 10,000-deep tree costs memory in proportion to its size.
struct ScanDir {
    std::uint32_t parent = NoParent;
    std::string name;
    static constexpr std::uint32_t NoParent = 0xffffffffu;
};

// Where a run stands, for progress displays and for tests that act between the phases.
enum class ScanPhase { Idle, Scanning, Comparing, Done };

// The scanner's module state: reset at the start of every run, filled by ScanDirectory and
// read by the compare phase. Entry i of ScanFileNames and ScanFileDirs describe the same
// file; positions are 0-based, in the order the scanner found the files.
struct ScanState {
    bool StopRequested = false;              // set by the Stop command; tested after yields
    std::int64_t ScanFileCount = 0;          // files listed since ResetScan
    std::deque<std::string> ScanFileNames;   // a deque: growing never moves the names
    std::vector<std::uint32_t> ScanFileDirs; // index into ScanDirs of each file's directory
    std::vector<ScanDir> ScanDirs;
    std::vector<Diagnostic> Diagnostics; // directories that could not be listed
    std::int64_t ComparedCount = 0;      // files the compare phase has taken so far
    ScanPhase Phase = ScanPhase::Idle;

    // The full path of listed file i: its directory's path followed by its name.
    [[nodiscard]] std::string ScanFilePath(std::size_t i) const;
    // The full path of directory d, ending in "/".
    [[nodiscard]] std::string DirPath(std::uint32_t d) const;
    // Directory d relative to its scan root: "/" for the root, else "/a/b/".
    [[nodiscard]] std::string RelativeDir(std::uint32_t d) const;
};

// Clears StopRequested, the counts, the lists and the diagnostics.
void ResetScan(ScanState &state);

// Whether `name` matches the wildcard `pattern`: "*" matches any run of bytes (also none,
// also a leading "."), "?" one character (one UTF-8 sequence, or one byte that is not
// valid UTF-8), ASCII letters match without regard to case, and "*.*" matches every name.
[[nodiscard]] bool MatchPattern(std::string_view pattern, std::string_view name);

// Lists the files of directory `path` (with or without a trailing "/") that match the
// patterns, and with `recursive` those of every subdirectory, depth first: a directory's
// files come grouped by pattern (a file matching two patterns is listed twice), each group
// in byte order of the names, before its subdirectories are entered in byte order. Only
// "." and ".." are passed over. Hidden files and special files (FIFOs, sockets, devices)
// are listed; nothing is ever opened but directories. Symlinked directories are entered
// unless the target is already an ancestor on the current walk. The walk needs no
// recursion and holds a bounded number of descriptors, so any depth is safe. A directory
// that cannot be listed becomes a diagnostic (state and host) and the walk goes on; the
// empty path is such a directory, never the file system's root.
// Yields after every entry of every pass and after every subdirectory, and returns as soon
// as StopRequested is set after a yield, keeping what was listed.
void ScanDirectory(ScanState &state, CompareHost &host, const std::string &path,
                   const std::vector<std::string> &patterns, bool recursive);

// The path up to and including the "/" in front of its last part, ignoring one trailing
// "/": "/c/sub/a.txt" gives "/c/sub/", "/c/sub/" gives "/c/". A path without "/" gives "".
[[nodiscard]] std::string GetParentPath(std::string_view path);
// The last part of the path without separators: "/c/sub/a.txt" gives "a.txt", "/c/sub/"
// gives "sub". A path without "/" is returned whole (less one trailing "/").
[[nodiscard]] std::string GetLastPathPart(std::string_view path);

// True when `path` names a regular file (after symlinks) that this user may read. Nothing
// is opened, so a FIFO or a device never blocks; the empty path, a directory and a missing
// file give false.
[[nodiscard]] bool FileExists(const std::string &path);

} // namespace dirwise
