#include "SnapshotSource.h"

#include <cerrno>

namespace dirwise {
namespace {

using Ref = SnapshotView::Ref;

// Fills `out` with the entries of folder `dir`. Returns 0 or the errno of a failed read.
int fill(SnapshotView &view, Ref dir, std::vector<Ref> &children, FolderListing &out) {
    out.names.clear();
    out.entries.clear();
    out.error = 0;
    // Identity for the walk's loop check: the folder's place in the snapshot.
    out.device = 1;
    out.inode = dir + 1;
    if (const int error = view.Children(dir, children))
        return error;
    for (const Ref i : children) {
        const SnapshotFacts e = view.Get(i);
        FolderEntry f;
        f.offset = static_cast<std::uint32_t>(out.names.size());
        f.length = static_cast<std::uint32_t>(e.name.size());
        out.names.append(e.name); // before Resolve, which may move what `e` shows
        if (e.type == EntryType::Dir) {
            f.isDir = true;
        } else if (e.type == EntryType::Link) {
            const Ref target = view.Resolve(i);
            f.isDir = target != SnapshotView::None && view.Get(target).type == EntryType::Dir;
            f.viaLink = f.isDir;
        }
        out.entries.push_back(f);
    }
    return 0;
}

// The view of one thread, made when the snapshot is first asked (a snapshot file may still be
// read and checked until then; a remote one is asked as it arrives).
class Viewer {
public:
    explicit Viewer(SnapshotSource::Loaded loaded) : m_loaded(std::move(loaded)) {}

    SnapshotView *view() {
        if (!m_view && !m_failed) {
            if (const std::shared_ptr<const SnapshotData> &data = m_loaded.get())
                m_view = data->NewView();
            m_failed = !m_view;
        }
        return m_view.get();
    }

private:
    SnapshotSource::Loaded m_loaded;
    std::unique_ptr<SnapshotView> m_view;
    bool m_failed = false;
};

class SnapshotLister : public FolderLister {
public:
    explicit SnapshotLister(SnapshotSource::Loaded tree) : m_viewer(std::move(tree)) {}

    ListAnswer ListRoot(FolderListing &out) override { return list("", out); }

    void WhileWaiting(std::function<void()> call) override { m_whileWaiting = std::move(call); }

    ListAnswer ListChild(const FolderPlace &place, FolderListing &out) override {
        std::string_view relative = place.relative;
        if (relative.ends_with('/'))
            relative.remove_suffix(1);
        return list(relative, out);
    }

private:
    ListAnswer list(std::string_view relative, FolderListing &out) {
        SnapshotView *view = m_viewer.view();
        if (!view)
            return {ListAnswer::Kind::Failed, EIO, false};
        if (m_whileWaiting) // handed to the view once it is made
            view->WhileWaiting(std::move(m_whileWaiting));
        const Ref dir = view->Find(relative, true);
        if (dir == SnapshotView::None || view->Get(dir).type != EntryType::Dir)
            return {ListAnswer::Kind::Failed, view->Failure() ? view->Failure() : ENOENT, false};
        if (const int error = fill(*view, dir, m_children, out))
            return {ListAnswer::Kind::Failed, error, false};
        return {};
    }

    Viewer m_viewer;
    std::vector<Ref> m_children;
    std::function<void()> m_whileWaiting;
};

class SnapshotReader : public FileReader {
public:
    explicit SnapshotReader(SnapshotSource::Loaded tree) : m_viewer(std::move(tree)) {}

    EntryFacts Facts(const ScanState &listing, std::uint32_t dir, const char *name) override {
        EntryFacts f;
        SnapshotView *view = m_viewer.view();
        if (!view) {
            f.error = EIO;
            return f;
        }
        const Ref i = find(*view, listing, dir, name);
        if (i == SnapshotView::None) {
            f.error = m_failure ? m_failure : ENOENT;
            return f;
        }
        const SnapshotFacts e = view->Get(i);
        f.type = e.type == EntryType::File   ? EntryFacts::Type::Regular
                 : e.type == EntryType::Dir  ? EntryFacts::Type::Folder
                 : e.type == EntryType::Link ? EntryFacts::Type::Link
                                             : EntryFacts::Type::Other;
        // A link's own size is its target's length, as the live folder's lstat gives it.
        f.size = e.type == EntryType::Link ? static_cast<std::int64_t>(e.link.size()) : e.size;
        f.time = e.time.seconds;
        f.timeKnown = e.hasTime;
        if (e.type == EntryType::Link)
            f.target = e.link;
        return f;
    }

    OpenedFile OpenBytes(const ScanState &, std::uint32_t, const char *) override {
        OpenedFile o;
        o.error = ENOTSUP;
        return o;
    }

    std::optional<Sha256> Digest(const ScanState &listing, std::uint32_t dir,
                                 const char *name) override {
        SnapshotView *view = m_viewer.view();
        if (!view)
            return std::nullopt;
        const Ref i = find(*view, listing, dir, name);
        if (i == SnapshotView::None)
            return std::nullopt;
        const SnapshotFacts e = view->Get(i);
        if (!e.digest)
            return std::nullopt;
        return *e.digest;
    }

private:
    // The entry at that path: links inside the tree followed; a link that leaves the tree
    // or leads nowhere itself; None for nothing there. The folder is looked up once for all
    // its files (they are asked for together).
    Ref find(SnapshotView &view, const ScanState &listing, std::uint32_t dir, const char *name) {
        if (dir != m_dir || &listing != m_listing) {
            m_listing = &listing;
            m_dir = dir;
            std::string path = listing.RelativeDir(dir); // "/" or "/a/b/"
            m_folder = view.Find(std::string_view(path).substr(1), true);
            if (m_folder != SnapshotView::None && view.Get(m_folder).type != EntryType::Dir)
                m_folder = SnapshotView::None;
            m_folderFailure = view.Failure();
        }
        m_failure = m_folderFailure;
        if (m_folder == SnapshotView::None)
            return SnapshotView::None;
        const std::string_view plain(name);
        if (!plain.empty() && plain != "." && plain != ".." &&
            plain.find('/') == std::string_view::npos) {
            // A name of the folder itself: one lookup answers unless it finds a link.
            const Ref own = view.FindName(m_folder, plain);
            m_failure = view.Failure();
            if (own == SnapshotView::None || !view.IsLink(own))
                return own;
        }
        const Ref followed = view.FindBelow(m_folder, name, true);
        m_failure = view.Failure();
        if (followed != SnapshotView::None || m_failure)
            return followed;
        const Ref own = view.FindBelow(m_folder, name, false);
        m_failure = view.Failure();
        return own != SnapshotView::None && view.Get(own).type == EntryType::Link
                   ? own
                   : SnapshotView::None;
    }

    Viewer m_viewer;
    const ScanState *m_listing = nullptr;
    std::uint32_t m_dir = 0;
    Ref m_folder = SnapshotView::None; // folder m_dir of m_listing in the snapshot
    int m_folderFailure = 0;
    int m_failure = 0; // why the last find came back with None unsure that nothing is there
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
