#pragma once

// What the pass loop needs of one listed file: the facts of the file on both sides and,
// under verification, the verdict on their contents; read through the two sources' readers,
// whichever sources they are.

#include "CompareRules.h"
#include "ContentCheck.h"
#include "ScanState.h"
#include "Sha256.h"
#include "TreeSource.h"

#include <functional>
#include <memory>

namespace dirwise {

constexpr std::uint32_t NoDir = 0xffffffffu;

// The facts of one listed file on both sides, and what its contents were found to be when
// they were read.
struct FileFacts {
    std::int64_t masterSize = 0;
    std::int64_t masterTime = 0;
    std::int64_t compareSize = 0;
    std::int64_t compareTime = 0;
    int masterError = 0;         // errno when the master file's facts could not be read
    int compareError = 0;        // 0 found; ENOENT not found; any other errno: not compared
    bool masterTimeKnown = true; // see EntryFacts::timeKnown
    bool compareTimeKnown = true;
    bool excluded = false;
    bool masterRootGone = false;  // not read, and the walked tree's root has gone away
    bool compareRootGone = false; // not found or not read, and the other tree's root has gone

    // Contents: not wanted, read (in `contents`), or left to a worker that reads it block by
    // block (see FactsAhead::Contents).
    enum class Content : std::uint8_t { NotWanted, Read, Pending } content = Content::NotWanted;
    ContentVerdict contents;
    std::int64_t blocks = 0; // block pairs found equal before the verdict, for the yields
    std::int64_t bytes = 0;  // their bytes, both sides together
};

// Reads the facts of listed files on both sides; with `readContents`, also decides by the
// options (Classify, WantsContent) whether a pair's contents are wanted and reads those that
// fit in one block. One per thread: each keeps its own readers of the two sources.
class PairReader {
public:
    // `master` is the tree `state` lists; `compare` is looked up at the same relative paths.
    PairReader(const ScanState &state, const CompareOptions &options, bool readContents,
               TreeSource &master, TreeSource &compare);

    // Fills `f` for listed file i. A pair whose contents are wanted but larger than a block
    // is left Pending for ReadContents.
    void Read(std::size_t i, FileFacts &f);

    // Reads the contents of pending pair i into `f`, calling `afterBlock` with the bytes of
    // every equal block pair (true from it stops the read: Stopped).
    void ReadContents(std::size_t i, FileFacts &f,
                      const std::function<bool(std::int64_t)> &afterBlock);

    // The size of one read on each side.
    static constexpr std::size_t BlockSize = 256 * 1024;

private:
    // The compare side of file i in folder d, into `f`; returns its facts (type None when
    // it is not there to compare).
    EntryFacts readCompare(std::uint32_t d, const char *name, FileFacts &f);
    // Two entries of which one at least is a link that leads nowhere, compared by target.
    [[nodiscard]] static ContentVerdict sameTarget(const EntryFacts &m, const EntryFacts &c);
    // Whether the pair's contents are wanted (by the options, for this metadata).
    [[nodiscard]] bool wantsContents(const FileFacts &f) const;
    // The sha256 of one side's file from its bytes into `digest`, calling `afterBlock` with
    // each block's size. False when it could not be read or was stopped (then `f.contents`
    // says so).
    bool hashBytes(bool masterSide, std::uint32_t d, const char *name,
                   std::optional<Sha256> &digest, FileFacts &f,
                   const std::function<bool(std::int64_t)> &afterBlock);

    const ScanState &m_state;
    const CompareOptions &m_options;
    const bool m_readContents;
    bool m_excluding = false; // some extension is excluded
    TreeSource &m_masterSource;
    TreeSource &m_compareSource;
    std::unique_ptr<FileReader> m_master;
    std::unique_ptr<FileReader> m_compare;
    std::uint32_t m_rootSeenFor = NoDir;       // the compare root was there for this folder
    std::unique_ptr<ContentChecker> m_checker; // made when the first pair is read
    std::vector<char> m_hashBuffer;
};

} // namespace dirwise
