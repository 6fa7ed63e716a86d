#include "ScanState.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <sys/mman.h>
#include <utility>

namespace dirwise {

std::string ScanState::RelativeDir(std::uint32_t d) const {
    std::vector<std::uint32_t> chain;
    for (std::uint32_t i = d; i != ScanDir::NoParent && i < ScanDirs.size(); i = ScanDirs[i].parent)
        chain.push_back(i);
    std::string path = "/";
    if (chain.empty())
        return path;
    for (auto it = chain.rbegin() + 1; it != chain.rend(); ++it)
        path += ScanDirs[*it].name;
    return path;
}

ScanNames::ScanNames(ScanNames &&other) noexcept
    : m_blocks(std::move(other.m_blocks)), m_used(std::exchange(other.m_used, BlockSize)),
      m_at(std::move(other.m_at)), m_count(std::exchange(other.m_count, 0)),
      m_releasedBlocks(std::exchange(other.m_releasedBlocks, 0)),
      m_releasedChunks(std::exchange(other.m_releasedChunks, 0)) {
    other.m_blocks.clear();
}

ScanNames &ScanNames::operator=(ScanNames &&other) noexcept {
    if (this != &other) {
        release();
        m_blocks = std::move(other.m_blocks);
        other.m_blocks.clear();
        m_used = std::exchange(other.m_used, BlockSize);
        m_at = std::move(other.m_at);
        m_count = std::exchange(other.m_count, 0);
        m_releasedBlocks = std::exchange(other.m_releasedBlocks, 0);
        m_releasedChunks = std::exchange(other.m_releasedChunks, 0);
    }
    return *this;
}

ScanNames::~ScanNames() { release(); }

void ScanNames::release() {
    for (char *block : m_blocks)
        std::free(block);
    m_blocks.clear();
}

void ScanNames::ReleaseBefore(std::size_t i) {
    // Name i's block may hold earlier names too: only the blocks before it are wholly
    // behind. With no name i there is nothing to tell where they end; the whole state goes
    // soon anyway.
    if (i == 0 || i >= m_count)
        return;
    const std::size_t keepBlock =
        static_cast<std::size_t>(m_at[i >> ChunkBits][i & ChunkMask] >> OffsetBits);
    for (; m_releasedBlocks < keepBlock; ++m_releasedBlocks) {
        std::free(m_blocks[m_releasedBlocks]);
        m_blocks[m_releasedBlocks] = nullptr;
    }
    for (; m_releasedChunks < (i >> ChunkBits); ++m_releasedChunks)
        m_at[m_releasedChunks].reset();
}

void ScanNames::push_back(std::string_view name) {
    if (m_used + name.size() + 1 > BlockSize) {
        m_blocks.reserve(m_blocks.size() + 1);
        // Aligned to its size, so the kernel may back a block with one huge page: a
        // million names then cost a few page faults instead of thousands.
        auto *block = static_cast<char *>(std::aligned_alloc(BlockSize, BlockSize));
        if (block == nullptr)
            throw std::bad_alloc();
        ::madvise(block, BlockSize, MADV_HUGEPAGE);
        m_blocks.push_back(block);
        m_used = 0;
    }
    if ((m_count & ChunkMask) == 0) {
        m_at.reserve(m_at.size() + 1);
        m_at.push_back(std::make_unique_for_overwrite<std::uint64_t[]>(ChunkMask + 1));
    }
    char *at = m_blocks.back() + m_used;
    std::memcpy(at, name.data(), name.size());
    at[name.size()] = '\0';
    m_at.back()[m_count & ChunkMask] =
        (static_cast<std::uint64_t>(m_blocks.size() - 1) << OffsetBits) | m_used;
    m_used += name.size() + 1;
    ++m_count;
}

} // namespace dirwise
