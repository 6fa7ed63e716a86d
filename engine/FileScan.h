#pragma once

#include "CompareHost.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace dirwise {

// One directory the scanner listed. The root's `name` is the root path with a trailing "/";
// every other directory's `name` is its own name with a trailing "/". Paths are built by
// following `parent` links, so a 10,000-deep tree costs memory in proportion to its size.
struct ScanDir {
    std::uint32_t parent = NoParent;
    std::string name;
    static constexpr std::uint32_t NoParent = 0xffffffffu;
};

// The names of the listed files, packed: each name's bytes and a terminating NUL go into
// large blocks that never move, so a million names cost little more than their bytes and
// an offset each, and growing copies nothing. Names hold no NUL (a file name cannot).
class ScanNames {
public:
    ScanNames() = default;
    ScanNames(ScanNames &&other) noexcept;
    ScanNames &operator=(ScanNames &&other) noexcept;
    ScanNames(const ScanNames &) = delete;
    ScanNames &operator=(const ScanNames &) = delete;
    ~ScanNames();

    // Appends a copy of `name` (at most a block's size, far beyond any file name).
    void push_back(std::string_view name);
    // Name i as a NUL-terminated string; valid while the list lives. i < size().
    [[nodiscard]] const char *operator[](std::size_t i) const {
        const std::uint64_t at = m_at[i >> ChunkBits][i & ChunkMask];
        return m_blocks[at >> OffsetBits] + (at & OffsetMask);
    }
    [[nodiscard]] std::string_view view(std::size_t i) const { return (*this)[i]; }
    [[nodiscard]] std::size_t size() const { return m_count; }
    [[nodiscard]] bool empty() const { return m_count == 0; }

private:
    static constexpr unsigned OffsetBits = 21; // 2 MiB blocks: one huge page each, if allowed
    static constexpr std::size_t BlockSize = std::size_t{1} << OffsetBits;
    static constexpr std::uint64_t OffsetMask = BlockSize - 1;
    static constexpr unsigned ChunkBits = 16; // offsets in chunks of 65,536
    static constexpr std::size_t ChunkMask = (std::size_t{1} << ChunkBits) - 1;
    void release();

    std::vector<char *> m_blocks;                       // owned, BlockSize bytes each
    std::size_t m_used = BlockSize;                     // bytes used in the last block
    std::vector<std::unique_ptr<std::uint64_t[]>> m_at; // block << OffsetBits | offset
    std::size_t m_count = 0;
};

// What the scanner found: the engine's own working state, never read or written by a host.
// Entry i of ScanFileNames and ScanFileDirs describe the same file; positions are 0-based,
// in the order the scanner found the files.
struct ScanState {
    std::int64_t ScanFileCount = 0;          // files listed
    ScanNames ScanFileNames;                 // growing never moves the names
    std::vector<std::uint32_t> ScanFileDirs; // index into ScanDirs of each file's directory
    std::vector<ScanDir> ScanDirs;
    std::vector<Diagnostic> Diagnostics; // directories that could not be listed
    bool Stopped = false;                // a yield asked the scan to stop

    // The full path of listed file i: its directory's path followed by its name.
    [[nodiscard]] std::string ScanFilePath(std::size_t i) const;
    // The full path of directory d, ending in "/".
    [[nodiscard]] std::string DirPath(std::uint32_t d) const;
    // Directory d relative to its scan root: "/" for the root, else "/a/b/".
    [[nodiscard]] std::string RelativeDir(std::uint32_t d) const;
};

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
