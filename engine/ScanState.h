#pragma once

// What a walk found: the folders and the files of one tree, in walk order, packed so that a
// million files cost little more than their names. Written by the walk, read by the pass
// loop and by the readers of facts (which only read it).

#include "Diagnostic.h"

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
//
// The pass loop takes the files in order and never looks back, so the names it has passed
// can be given back while it runs (ReleaseBefore): the window then holds a million rows
// without the engine's copy of every name beside them.
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
    [[nodiscard]] std::size_t size() const { return m_count; }
    // Gives back the memory of names [0, i) where whole blocks and chunks of offsets hold
    // nothing else; those names must never be read again. size() stays; names from i on stay
    // valid. Cheap when there is nothing to give back.
    void ReleaseBefore(std::size_t i);

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
    std::size_t m_releasedBlocks = 0; // blocks [0, this) are given back (nullptr)
    std::size_t m_releasedChunks = 0; // chunks of m_at [0, this) likewise
};

// The directory index of each listed file, in chunks that never move (growing copies
// nothing) and that can be given back behind the pass loop, as ScanNames can.
class ScanDirIndexes {
public:
    void push_back(std::uint32_t dir) {
        if ((m_count & ChunkMask) == 0)
            m_chunks.push_back(std::make_unique_for_overwrite<std::uint32_t[]>(ChunkMask + 1));
        m_chunks.back()[m_count & ChunkMask] = dir;
        ++m_count;
    }
    // Entry i (< size(), not given back).
    [[nodiscard]] std::uint32_t operator[](std::size_t i) const {
        return m_chunks[i >> ChunkBits][i & ChunkMask];
    }
    [[nodiscard]] std::size_t size() const { return m_count; }
    // Gives back the chunks that hold only entries before i; see ScanNames::ReleaseBefore.
    void ReleaseBefore(std::size_t i) {
        for (; m_released < (i >> ChunkBits) && m_released < m_chunks.size(); ++m_released)
            m_chunks[m_released].reset();
    }

private:
    static constexpr unsigned ChunkBits = 16;
    static constexpr std::size_t ChunkMask = (std::size_t{1} << ChunkBits) - 1;
    std::vector<std::unique_ptr<std::uint32_t[]>> m_chunks;
    std::size_t m_count = 0;
    std::size_t m_released = 0;
};

// What the scanner found: the engine's own working state, never read or written by a host.
// Entry i of ScanFileNames and ScanFileDirs describe the same file; positions are 0-based,
// in the order the scanner found the files.
struct ScanState {
    std::int64_t ScanFileCount = 0; // files listed
    ScanNames ScanFileNames;        // growing never moves the names
    ScanDirIndexes ScanFileDirs;    // index into ScanDirs of each file's directory
    std::vector<ScanDir> ScanDirs;
    std::vector<Diagnostic> Diagnostics; // directories that could not be listed
    bool Stopped = false;                // a yield asked the scan to stop

    // Directory d relative to its scan root: "/" for the root, else "/a/b/".
    [[nodiscard]] std::string RelativeDir(std::uint32_t d) const;
    // Gives back the names and directory indexes of files [0, i), which must never be read
    // again (see ScanNames::ReleaseBefore). The count and the directories stay.
    void ReleaseFilesBefore(std::size_t i) {
        ScanFileNames.ReleaseBefore(i);
        ScanFileDirs.ReleaseBefore(i);
    }
};

} // namespace dirwise
