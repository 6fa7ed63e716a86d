#include "LiveSource.h"

#include "FileSystem.h"
#include "ListingAhead.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dirwise {
namespace {

constexpr int ListFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
constexpr int HandleFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
constexpr std::uint32_t NoDir = 0xffffffffu;

// Folders kept open at once by a walk. Deeper folders close theirs while a child is walked,
// so a tree of any depth stays far below the process's descriptor limit.
constexpr std::size_t MaxOpenFrames = 64;

std::string withSlash(std::string root) {
    if (root.empty() || root.back() != '/')
        root += '/';
    return root;
}

// Lists the folders of one walk: from the read-ahead when a worker listed the folder, else
// by its path here, else relative to its parent, which also works past PATH_MAX and names
// the error when it cannot be opened.
class LiveLister : public FolderLister {
public:
    LiveLister(WorkerPool &pool, const std::string &root, bool followLinks)
        : m_root(root), m_ahead(pool, withSlash(root), followLinks) {}

    void ListAheadOnlyWhatIsNamed() override { m_ahead.ListOnlyQueued(); }

    ListAnswer ListRoot(FolderListing &out) override {
        if (m_root.empty()) // no folder at all: never the file system's root by accident
            return {ListAnswer::Kind::Failed, ENOENT};
        UniqueFd fd(::open(withSlash(m_root).c_str(), ListFlags));
        if (!fd)
            return {ListAnswer::Kind::Failed, errno};
        return listOpen(std::move(fd), "", out);
    }

    ListAnswer ListChild(const FolderPlace &place, FolderListing &out) override {
        AheadAnswer ahead = m_ahead.Take(place.position, place.relative, place.viaLink);
        if (ahead.kind == AheadAnswer::Kind::ListHere)
            ahead = m_ahead.ListByPath(place.relative, place.viaLink, m_buffer);
        if (ahead.kind == AheadAnswer::Kind::Pseudo)
            return {ListAnswer::Kind::NotEntered};
        if (ahead.kind == AheadAnswer::Kind::Listed) {
            closeParentIfDone(place);
            out = std::move(*ahead.listing);
            m_frames.push_back({UniqueFd(), std::string(place.name)});
            return {ListAnswer::Kind::Listed, 0, ahead.childrenQueued};
        }
        const int parentFd = m_frames[place.parentDepth].fd ? m_frames[place.parentDepth].fd.get()
                                                            : reopen(place.parentDepth);
        if (parentFd < 0)
            return {ListAnswer::Kind::Failed, errno};
        const std::string name(place.name);
        UniqueFd fd(::openat(parentFd, name.c_str(), ListFlags));
        if (!fd)
            return {ListAnswer::Kind::Failed, errno};
        if (!LinkMayBeEntered(fd.get(), place.viaLink))
            return {ListAnswer::Kind::NotEntered};
        closeParentIfDone(place);
        return listOpen(std::move(fd), name, out);
    }

    void Leave(std::size_t depth) override { m_frames.resize(depth); }

    void WillEnter(std::string_view position, std::string_view relative,
                   const std::vector<std::string> &subdirs,
                   const std::vector<bool> &viaLink) override {
        m_ahead.Queue(position, relative, subdirs, viaLink);
    }

private:
    struct Frame {
        UniqueFd fd; // owns nothing while closed, or when a worker listed the folder by path
        std::string name;
    };

    ListAnswer listOpen(UniqueFd fd, std::string name, FolderListing &out) {
        if (const int err = FolderIdentity(fd.get(), out.device, out.inode))
            return {ListAnswer::Kind::Failed, err};
        ReadListing(fd.get(), out, m_buffer);
        m_frames.push_back({std::move(fd), std::move(name)});
        return {ListAnswer::Kind::Listed};
    }

    // The parent is needed again only for its remaining subfolders.
    void closeParentIfDone(const FolderPlace &place) {
        std::size_t open = 0;
        for (const Frame &f : m_frames)
            open += static_cast<bool>(f.fd);
        if (place.parentDepth > 0 && (place.lastOfParent || open >= MaxOpenFrames))
            m_frames[place.parentDepth].fd.reset();
    }

    // Reopens frame k's folder from the nearest open ancestor, one name at a time, so it
    // works whatever the path's length. Returns the descriptor or -1 with errno set.
    int reopen(std::size_t k) {
        std::size_t j = k;
        while (j > 0 && !m_frames[j].fd)
            --j;
        UniqueFd fd; // owns only the folders opened here, never frame j's
        for (std::size_t m = j + 1; m <= k; ++m) {
            const int from = fd ? fd.get() : m_frames[j].fd.get();
            UniqueFd next(::openat(from, m_frames[m].name.c_str(), ListFlags));
            if (!next) {
                const int saved = errno;
                fd.reset();
                errno = saved;
                return -1;
            }
            fd = std::move(next);
        }
        if (fd)
            m_frames[k].fd = std::move(fd);
        return m_frames[k].fd.get();
    }

    const std::string &m_root;
    std::vector<Frame> m_frames; // the walk's folders, the root first
    std::vector<char> m_buffer = std::vector<char>(64 * 1024);
    ListingAhead m_ahead; // last: its workers leave first
};

// An open (O_PATH) descriptor for the folder of the files being read. Files come grouped by
// folder and folders depth first, so the next folder is usually a child or a sibling of the
// current one and is opened relative to it or to its parent, which the handle keeps open:
// no path is resolved twice, and paths longer than PATH_MAX still work.
class DirHandle {
public:
    explicit DirHandle(std::string root) : m_root(withSlash(std::move(root))) {}

    // Makes folder `d` of `state` current. Returns the descriptor (owned by the handle,
    // valid until the next call), or -1 with error() telling why.
    int open(const ScanState &state, std::uint32_t d);
    [[nodiscard]] int error() const { return m_error; }

private:
    // Opens folder d by its path from the root. On failure errno tells why.
    UniqueFd openPath(const ScanState &state, std::uint32_t d);
    // Walks from the root one name at a time: slower, but immune to the path length limit.
    UniqueFd openByParts(const std::string &rel);

    std::string m_root;
    std::uint32_t m_dir = NoDir;
    UniqueFd m_fd;
    std::uint32_t m_parentDir = NoDir; // the current folder's parent, held open
    UniqueFd m_parent;
    int m_error = 0;
};

int DirHandle::open(const ScanState &state, std::uint32_t d) {
    if (d == m_dir)
        return m_fd.get();
    const ScanDir &dir = state.ScanDirs[d];
    UniqueFd fd;
    if (dir.parent == ScanDir::NoParent) {
        fd.reset(::open(m_root.c_str(), HandleFlags));
        m_parent.reset();
        m_parentDir = NoDir;
    } else {
        // Mostly a child or a sibling of the current folder: one lookup, relative to a
        // folder held open.
        if (dir.parent == m_dir && m_fd) {
            m_parent = std::move(m_fd);
            m_parentDir = m_dir;
        } else if (dir.parent != m_parentDir || !m_parent) {
            m_parent = openPath(state, dir.parent);
            m_parentDir = m_parent ? dir.parent : NoDir;
        }
        if (m_parent) {
            std::string name = dir.name;
            name.pop_back();
            fd.reset(::openat(m_parent.get(), name.c_str(), HandleFlags));
        }
    }
    m_error = fd ? 0 : errno;
    m_dir = d;
    m_fd = std::move(fd);
    return m_fd.get();
}

UniqueFd DirHandle::openPath(const ScanState &state, std::uint32_t d) {
    const std::string rel = state.RelativeDir(d);
    const std::string full = m_root + rel.substr(1);
    return full.size() < PATH_MAX ? UniqueFd(::open(full.c_str(), HandleFlags)) : openByParts(rel);
}

UniqueFd DirHandle::openByParts(const std::string &rel) {
    UniqueFd fd(::open(m_root.c_str(), HandleFlags));
    std::size_t pos = 1;
    while (fd && pos < rel.size()) {
        const std::size_t slash = rel.find('/', pos);
        const std::string part = rel.substr(pos, slash - pos);
        UniqueFd next(::openat(fd.get(), part.c_str(), HandleFlags));
        const int saved = errno;
        fd = std::move(next);
        errno = saved;
        pos = slash + 1;
    }
    return fd;
}

// Reads files with fstatat relative to the folder handle, following links.
class LiveReader : public FileReader {
public:
    explicit LiveReader(const std::string &root) : m_dir(root) {}

    EntryFacts Facts(const ScanState &listing, std::uint32_t dir, const char *name) override {
        EntryFacts f;
        const int fd = m_dir.open(listing, dir);
        if (fd < 0) {
            f.error = m_dir.error();
            return f;
        }
        // The entry itself first: one call for a file or nothing there, a second only for a
        // link, whose own facts stand when it leads nowhere.
        struct stat st {};
        if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            f.error = errno;
            return f;
        }
        if (S_ISLNK(st.st_mode)) {
            struct stat target {};
            if (::fstatat(fd, name, &target, 0) == 0) {
                st = target;
            } else if (errno != ENOENT && errno != ENOTDIR) {
                f.error = errno; // a loop of links, or a target that cannot be looked at
                return f;
            } else {
                f.type = EntryFacts::Type::Link;
                f.size = st.st_size;
                f.time = st.st_mtim.tv_sec;
                readTarget(fd, name, st.st_size, f);
                return f;
            }
        }
        f.type = S_ISDIR(st.st_mode)   ? EntryFacts::Type::Folder
                 : S_ISREG(st.st_mode) ? EntryFacts::Type::Regular
                                       : EntryFacts::Type::Other;
        f.size = st.st_size;
        f.time = st.st_mtim.tv_sec;
        return f;
    }

    OpenedFile OpenBytes(const ScanState &listing, std::uint32_t dir, const char *name) override {
        const int fd = m_dir.open(listing, dir);
        if (fd < 0) {
            OpenedFile failed;
            failed.error = m_dir.error();
            return failed;
        }
        return OpenRegular(fd, name, LiveSource::BlockSize);
    }

private:
    // Where the link `name` leads, into f.target; a link that changed meanwhile gives what
    // it says now. A failure leaves the target empty: the pair then compares as differing
    // only when the other side has one.
    static void readTarget(int fd, const char *name, off_t size, EntryFacts &f) {
        f.target.resize(static_cast<std::size_t>(size > 0 ? size : PATH_MAX) + 1);
        const ssize_t n = ::readlinkat(fd, name, f.target.data(), f.target.size());
        f.target.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    }

    DirHandle m_dir;
};

} // namespace

LiveSource::LiveSource(std::string root) : m_root(std::move(root)) {
    while (m_root.size() > 1 && m_root.back() == '/')
        m_root.pop_back();
}

std::unique_ptr<FolderLister> LiveSource::NewLister(WorkerPool &pool, bool followLinks) {
    return std::make_unique<LiveLister>(pool, m_root, followLinks);
}

std::unique_ptr<FileReader> LiveSource::NewReader() { return std::make_unique<LiveReader>(m_root); }

void LiveSource::NoteRoot() {
    m_identity = TakeRootIdentity(m_root);
    m_gone = false;
}

bool LiveSource::RootGone() {
    if (!m_gone.load(std::memory_order_relaxed) && !SameRoot(m_root, m_identity))
        m_gone = true;
    return m_gone;
}

} // namespace dirwise
