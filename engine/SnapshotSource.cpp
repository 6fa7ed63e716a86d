#include "SnapshotSource.h"

#include <cerrno>

namespace dirwise {
namespace {

using Tree = SnapshotTree;

// Fills `out` with the entries of folder `dir` of `tree`.
void fill(const Tree &tree, std::uint32_t dir, FolderListing &out) {
    out.names.clear();
    out.entries.clear();
    out.error = 0;
    // Identity for the walk's loop check: the folder's place in the tree.
    out.device = 1;
    out.inode = dir + 1ull;
    for (const std::uint32_t i : tree.Children(dir)) {
        const Tree::Entry e = tree.Get(i);
        FolderEntry f;
        f.offset = static_cast<std::uint32_t>(out.names.size());
        f.length = static_cast<std::uint32_t>(e.name.size());
        if (e.type == EntryType::Dir) {
            f.isDir = true;
        } else if (e.type == EntryType::Link) {
            const std::uint32_t target = tree.Resolve(i);
            f.isDir = target != Tree::NoEntry && tree.Get(target).type == EntryType::Dir;
            f.viaLink = f.isDir;
        }
        out.names.append(e.name);
        out.entries.push_back(f);
    }
}

class SnapshotLister : public FolderLister {
public:
    explicit SnapshotLister(SnapshotSource::Loaded tree) : m_loaded(std::move(tree)) {}

    ListAnswer ListRoot(FolderListing &out) override { return list("", out); }

    ListAnswer ListChild(const FolderPlace &place, FolderListing &out) override {
        std::string_view relative = place.relative;
        if (relative.ends_with('/'))
            relative.remove_suffix(1);
        return list(relative, out);
    }

private:
    ListAnswer list(std::string_view relative, FolderListing &out) {
        const Tree *tree = m_loaded.get().get();
        if (!tree)
            return {ListAnswer::Kind::Failed, EIO, false};
        const std::uint32_t dir = tree->Find(relative, true);
        if (dir == Tree::NoEntry || tree->Get(dir).type != EntryType::Dir)
            return {ListAnswer::Kind::Failed, ENOENT, false};
        fill(*tree, dir, out);
        return {};
    }

    SnapshotSource::Loaded m_loaded;
};

class SnapshotReader : public FileReader {
public:
    explicit SnapshotReader(SnapshotSource::Loaded tree) : m_loaded(std::move(tree)) {}

    EntryFacts Facts(const ScanState &listing, std::uint32_t dir, const char *name) override {
        EntryFacts f;
        if (!tree()) {
            f.error = EIO;
            return f;
        }
        const std::uint32_t i = find(listing, dir, name);
        if (i == Tree::NoEntry) {
            f.error = ENOENT;
            return f;
        }
        const Tree::Entry e = m_tree->Get(i);
        f.type = e.type == EntryType::File  ? EntryFacts::Type::Regular
                 : e.type == EntryType::Dir ? EntryFacts::Type::Folder
                                            : EntryFacts::Type::Other;
        f.size = e.size;
        f.time = e.time.seconds;
        f.timeKnown = e.hasTime;
        return f;
    }

    bool RootPresent() override { return true; }

    OpenedFile OpenBytes(const ScanState &, std::uint32_t, const char *) override {
        OpenedFile o;
        o.error = ENOTSUP;
        return o;
    }

    std::optional<Sha256> Digest(const ScanState &listing, std::uint32_t dir,
                                 const char *name) override {
        if (!tree())
            return std::nullopt;
        const std::uint32_t i = find(listing, dir, name);
        if (i == Tree::NoEntry || !m_tree->Get(i).digest)
            return std::nullopt;
        return *m_tree->Get(i).digest;
    }

private:
    const Tree *tree() {
        if (!m_tree)
            m_tree = m_loaded.get().get();
        return m_tree;
    }

    // The entry the live folder would stat at that path: links inside the tree followed,
    // a link that leaves the tree itself, NoEntry for nothing there or a link to nothing.
    std::uint32_t find(const ScanState &listing, std::uint32_t dir, const char *name) {
        std::string path = listing.RelativeDir(dir); // "/" or "/a/b/"
        path.erase(0, 1);
        path += name;
        const std::uint32_t followed = m_tree->Find(path, true);
        if (followed != Tree::NoEntry)
            return followed;
        const std::uint32_t own = m_tree->Find(path, false);
        return own != Tree::NoEntry && m_tree->LeavesTree(own) ? own : Tree::NoEntry;
    }

    SnapshotSource::Loaded m_loaded;
    const Tree *m_tree = nullptr;
};

} // namespace

SnapshotSource::SnapshotSource(std::string shown, Loaded tree)
    : m_shown(std::move(shown)), m_tree(std::move(tree)) {}

std::unique_ptr<FolderLister> SnapshotSource::NewLister(WorkerPool &, bool) {
    return std::make_unique<SnapshotLister>(m_tree);
}

std::unique_ptr<FileReader> SnapshotSource::NewReader() {
    return std::make_unique<SnapshotReader>(m_tree);
}

} // namespace dirwise
