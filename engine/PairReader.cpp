#include "PairReader.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace dirwise {

PairReader::PairReader(const ScanState &state, const CompareOptions &options, bool readContents,
                       TreeSource &master, TreeSource &compare)
    : m_state(state), m_options(options), m_readContents(readContents), m_masterSource(master),
      m_compareSource(compare), m_master(master.NewReader()), m_compare(compare.NewReader()) {
    // Blank boxes exclude nothing: with all four blank no name needs the test.
    for (const std::string &box : options.extensions)
        m_excluding = m_excluding || (options.excludeMode && !TrimBlanks(box).empty());
}

void PairReader::Read(std::size_t i, FileFacts &f) {
    f = FileFacts{};
    const char *name = m_state.ScanFileNames[i];
    const std::uint32_t d = m_state.ScanFileDirs[i];
    if (m_excluding && IsExcluded(name, m_options.extensions)) {
        f.excluded = true;
        return;
    }
    const EntryFacts m = m_master->Facts(m_state, d, name);
    if (m.type == EntryFacts::Type::None) {
        // Rare while the tree is whole; once its root is gone the answer is kept, so a burst
        // of failures costs one look at the root.
        f.masterError = m.error;
        f.masterRootGone = m_masterSource.RootGone();
        return;
    }
    if (m.type == EntryFacts::Type::Folder) {
        f.masterError = EISDIR; // replaced by a folder since it was listed
        return;
    }
    f.masterSize = m.size;
    f.masterTime = m.time;
    f.masterTimeKnown = m.timeKnown;
    const EntryFacts c = readCompare(d, name, f);
    if (!m_readContents || c.type == EntryFacts::Type::None || !wantsContents(f))
        return;
    using Type = EntryFacts::Type;
    if (m.type == Type::Link || c.type == Type::Link) {
        // A link that leads nowhere holds only its target: that is what is verified. Against
        // a file, it is not the same contents whatever their sizes and times say.
        f.content = FileFacts::Content::Read;
        f.contents = sameTarget(m, c);
        return;
    }
    if (m.type != Type::Regular || c.type != Type::Regular)
        return;
    f.content = FileFacts::Content::Pending;
    if (std::max(f.masterSize, f.compareSize) > static_cast<std::int64_t>(BlockSize))
        return; // read by the next free worker, block by block
    ReadContents(i, f, [&f](std::int64_t n) {
        ++f.blocks;
        f.bytes += n;
        return false;
    });
    f.content = FileFacts::Content::Read;
}

ContentVerdict PairReader::sameTarget(const EntryFacts &m, const EntryFacts &c) {
    using Outcome = ContentVerdict::Outcome;
    if (m.type != c.type)
        return {Outcome::Differs, 0, 0, false};
    const auto at =
        std::mismatch(m.target.begin(), m.target.end(), c.target.begin(), c.target.end());
    if (at.first == m.target.end() && at.second == c.target.end())
        return {Outcome::Same, 0, 0, false};
    return {Outcome::Differs, at.first - m.target.begin(), 0, false};
}

EntryFacts PairReader::readCompare(std::uint32_t d, const char *name, FileFacts &f) {
    // Following links: a link to a file compares its target, a link that leads nowhere
    // its own facts. A folder in the file's place is not the file either, nor is a place below a
    // file.
    EntryFacts c = m_compare->Facts(m_state, d, name);
    if (c.type == EntryFacts::Type::Folder || c.error == ENOTDIR)
        f.compareError = ENOENT;
    else
        f.compareError = c.error;
    if (f.compareError != 0) {
        // A drive unmounted or a root renamed must not turn every file into "Not Found". Once
        // the root was itself for a file of this folder, the folder's other files take its
        // word: one look at the root per folder with files not found.
        if (m_rootSeenFor != d) {
            f.compareRootGone = m_compareSource.RootGone();
            m_rootSeenFor = f.compareRootGone ? NoDir : d;
        }
        return EntryFacts{};
    }
    f.compareSize = c.size;
    f.compareTime = c.time;
    f.compareTimeKnown = c.timeKnown;
    return c;
}

bool PairReader::wantsContents(const FileFacts &f) const {
    const PairFacts pair{f.masterSize, f.compareSize, f.masterTime, f.compareTime};
    const std::optional<Verdict> v = Classify(m_options, pair);
    return v && WantsContent(*v, pair);
}

void PairReader::ReadContents(std::size_t i, FileFacts &f,
                              const std::function<bool(std::int64_t)> &afterBlock) {
    using Outcome = ContentVerdict::Outcome;
    const char *name = m_state.ScanFileNames[i];
    const std::uint32_t d = m_state.ScanFileDirs[i];
    // A snapshot keeps digests, not bytes: then digests are compared, the other side's
    // computed from its bytes where it has no digest of its own.
    const std::optional<Sha256> masterDigest = m_master->Digest(m_state, d, name);
    const std::optional<Sha256> compareDigest = m_compare->Digest(m_state, d, name);
    if (masterDigest || compareDigest) {
        std::optional<Sha256> sides[2] = {masterDigest, compareDigest};
        for (int side = 0; side < 2; ++side)
            if (!sides[side] && !hashBytes(side == 0, d, name, sides[side], f, afterBlock))
                return;
        f.contents = {*sides[0] == *sides[1] ? Outcome::Same : Outcome::Differs, -1, 0, false};
        return;
    }
    const OpenedFile master = m_master->OpenBytes(m_state, d, name);
    if (!master.fd) {
        f.contents = {master.regular ? Outcome::Failed : Outcome::NotRegular, 0, master.error,
                      true};
        return;
    }
    const OpenedFile compare = m_compare->OpenBytes(m_state, d, name);
    if (!compare.fd) {
        f.contents = {compare.regular ? Outcome::Failed : Outcome::NotRegular, 0, compare.error,
                      false};
        return;
    }
    if (!m_checker)
        m_checker = std::make_unique<ContentChecker>(BlockSize);
    f.contents = m_checker->Compare(master, compare, afterBlock);
}

bool PairReader::hashBytes(bool masterSide, std::uint32_t d, const char *name,
                           std::optional<Sha256> &digest, FileFacts &f,
                           const std::function<bool(std::int64_t)> &afterBlock) {
    using Outcome = ContentVerdict::Outcome;
    FileReader &reader = masterSide ? *m_master : *m_compare;
    const OpenedFile file = reader.OpenBytes(m_state, d, name);
    if (!file.fd) {
        f.contents = {file.regular ? Outcome::Failed : Outcome::NotRegular, 0, file.error,
                      masterSide};
        return false;
    }
    m_hashBuffer.resize(BlockSize);
    Sha256Hasher hasher;
    for (;;) {
        const ssize_t n = ::read(file.fd.get(), m_hashBuffer.data(), m_hashBuffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            f.contents = {Outcome::Failed, 0, errno, masterSide};
            return false;
        }
        if (n == 0)
            break;
        hasher.Update(m_hashBuffer.data(), static_cast<std::size_t>(n));
        if (afterBlock(n)) {
            f.contents = {Outcome::Stopped, 0, 0, false};
            return false;
        }
    }
    digest = hasher.Finish();
    return true;
}

} // namespace dirwise
