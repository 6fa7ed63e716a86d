#include "SnapshotIndex.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace dirwise {
namespace {

using Ref = SnapshotView::Ref;
constexpr std::uint32_t Self = 0xffffffffu; // a reference's entry part naming the folder itself
constexpr int MaxLinks = 40;                // links a lookup goes through before calling it a loop

Ref folderRef(std::uint32_t f) { return Ref{f} << 32 | Self; }
Ref fileRef(std::uint32_t f, std::uint32_t i) { return Ref{f} << 32 | i; }
std::uint32_t folderOf(Ref r) { return static_cast<std::uint32_t>(r >> 32); }
std::uint32_t entryOf(Ref r) { return static_cast<std::uint32_t>(r & 0xffffffffu); }

// One folder on the way down while the index is made: its path's length, the names of its
// other entries (to tell a folder of the same name) and the last subfolder's name.
struct Level {
    std::uint32_t folder = 0;
    std::size_t pathLength = 0;
    std::string files; // names, each followed by a NUL
    std::size_t fileAt = 0;
    std::string lastFile;
    std::string lastSub;
    bool hasSub = false;
    bool hasFile = false;
};

// Appends entry `e` (named by its full path) to a folder's other entries.
void append(SnapshotIndex::Files &out, const SnapshotEntry &e) {
    SnapshotIndex::Node n;
    const std::size_t slash = e.path.rfind('/');
    const std::string_view name = std::string_view(e.path).substr(slash + 1);
    n.nameAt = static_cast<std::uint32_t>(out.names.size());
    n.nameLength = static_cast<std::uint32_t>(name.size());
    out.names.append(name);
    n.linkAt = static_cast<std::uint32_t>(out.names.size());
    n.linkLength = static_cast<std::uint32_t>(e.link.size());
    out.names.append(e.link);
    n.type = e.type;
    n.hasTime = e.hasTime;
    n.seconds = e.time.seconds;
    n.nanoseconds = e.time.nanoseconds;
    n.size = e.type == EntryType::File && e.size > 0 ? e.size : 0;
    if (e.hasDigest && e.type == EntryType::File) {
        n.digest = static_cast<std::uint32_t>(out.digests.size());
        out.digests.push_back(e.digest);
    }
    out.nodes.push_back(n);
}

std::size_t bytesOf(const SnapshotIndex::Files &f) {
    return sizeof f + f.names.capacity() + f.nodes.capacity() * sizeof(SnapshotIndex::Node) +
           f.digests.capacity() * sizeof(Sha256);
}

} // namespace

SnapshotIndex::Outcome SnapshotIndex::fail(std::string message, std::int64_t line) {
    m_error = std::move(message);
    m_errorLine = line;
    return Outcome::Failed;
}

SnapshotIndex::Outcome SnapshotIndex::Load(int fd, std::size_t keep) {
    const off_t base = ::lseek(fd, 0, SEEK_CUR);
    m_fd.reset(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
    if (base < 0 || !m_fd)
        return Outcome::NotWalkOrder;
    MtreeReader reader(fd);
    SnapshotEntry e;
    std::vector<Level> levels;
    std::string path; // of the folder whose line came last and is still open
    // The other entries of the folder whose line came last, kept from this read while they
    // fit in `keep` bytes (a tree of a few hundred thousand files is then read once).
    std::shared_ptr<Files> building;
    std::size_t keptBytes = 0;
    const auto keepBuilt = [&] {
        if (!building)
            return;
        building->names.shrink_to_fit();
        building->nodes.shrink_to_fit();
        building->digests.shrink_to_fit();
        keptBytes += bytesOf(*building);
        if (keptBytes <= keep)
            m_whole[building->folder] = std::move(building);
        building.reset();
    };
    while (reader.Next(e)) {
        if (!reader.linesStandAlone())
            return Outcome::NotWalkOrder;
        const std::size_t slash = e.path.rfind('/');
        const std::string_view parent = slash == std::string::npos
                                            ? std::string_view()
                                            : std::string_view(e.path).substr(0, slash);
        const std::string_view name = slash == std::string::npos
                                          ? std::string_view(e.path)
                                          : std::string_view(e.path).substr(slash + 1);
        if (levels.empty() != e.path.empty() || (e.path.empty() && e.type != EntryType::Dir))
            return Outcome::NotWalkOrder; // the root first, and once
        m_entriesWithoutTime += !e.hasTime;
        const std::uint64_t end = static_cast<std::uint64_t>(base) + reader.offset();
        if (e.type != EntryType::Dir) {
            Level &level = levels.back();
            if (parent != path || level.hasSub || (level.hasFile && name <= level.lastFile))
                return Outcome::NotWalkOrder;
            level.lastFile = name;
            level.hasFile = true;
            level.files.append(name);
            level.files += '\0';
            Folder &f = m_folders[level.folder];
            ++f.fileCount;
            if (building)
                append(*building, e);
            f.filesEnd = end;
            m_filesWithoutDigest += e.type == EntryType::File && !e.hasDigest;
            continue;
        }
        if (!levels.empty()) {
            while (!levels.empty() &&
                   std::string_view(path).substr(0, levels.back().pathLength) != parent)
                levels.pop_back();
            if (levels.empty())
                return Outcome::NotWalkOrder; // a folder whose parent has no line of its own
            path.resize(parent.size());
            Level &up = levels.back();
            if (up.hasSub && name <= up.lastSub)
                return Outcome::NotWalkOrder;
            // The other entries are in byte order, and so are the subfolders: one pass
            // along them tells a folder named as one of them.
            while (up.fileAt < up.files.size()) {
                const std::string_view other(up.files.c_str() + up.fileAt);
                if (other > name)
                    break;
                if (other == name)
                    return fail("a path given as a folder and as something else", reader.line());
                up.fileAt += other.size() + 1;
            }
            up.lastSub = name;
            up.hasSub = true;
            path = e.path;
        }
        if (m_folders.size() >= Self - 1 || m_names.size() > 0xffffffffu - name.size())
            return Outcome::NotWalkOrder;
        Folder f;
        f.parent = levels.empty() ? 0 : levels.back().folder;
        f.nameAt = static_cast<std::uint32_t>(m_names.size());
        f.nameLength = static_cast<std::uint32_t>(name.size());
        m_names.append(name);
        f.hasTime = e.hasTime;
        f.seconds = e.time.seconds;
        f.nanoseconds = e.time.nanoseconds;
        f.filesAt = f.filesEnd = end;
        f.filesLine = reader.line() + 1;
        Level level;
        level.folder = static_cast<std::uint32_t>(m_folders.size());
        level.pathLength = e.path.size();
        keepBuilt();
        if (keptBytes <= keep) {
            building = std::make_shared<Files>();
            building->folder = level.folder;
        }
        m_folders.push_back(f);
        m_whole.emplace_back();
        levels.push_back(std::move(level));
    }
    keepBuilt();
    if (!reader.error().empty())
        return fail(reader.error(), reader.errorLine());
    if (m_folders.empty())
        return fail("no entry at all (an empty or cut-off manifest)", 0);
    // Each folder's subfolders together, in the order they came: byte order.
    std::vector<std::uint32_t> counts(m_folders.size() + 1, 0);
    for (std::size_t i = 1; i < m_folders.size(); ++i)
        ++counts[m_folders[i].parent + 1];
    for (std::size_t i = 1; i < counts.size(); ++i)
        counts[i] += counts[i - 1];
    m_subs.resize(m_folders.size() - 1);
    for (std::size_t i = 0; i < m_folders.size(); ++i)
        m_folders[i].firstSub = counts[i];
    for (std::uint32_t i = 1; i < m_folders.size(); ++i)
        m_subs[m_folders[m_folders[i].parent].firstSub +
               m_folders[m_folders[i].parent].subCount++] = i;
    return Outcome::Indexed;
}

std::shared_ptr<const SnapshotIndex::Files> SnapshotIndex::read(std::uint32_t f) const {
    auto out = std::make_shared<Files>();
    out->folder = f;
    const Folder &folder = m_folders[f];
    std::string bytes(folder.filesEnd - folder.filesAt, '\0');
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::pread(m_fd.get(), bytes.data() + got, bytes.size() - got,
                                  static_cast<off_t>(folder.filesAt + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            out->error = n < 0 ? errno : EIO;
            return out;
        }
        got += static_cast<std::size_t>(n);
    }
    MtreeReader reader(bytes, folder.filesLine);
    SnapshotEntry e;
    out->nodes.reserve(folder.fileCount);
    while (reader.Next(e))
        append(*out, e);
    // The file changed since it was checked: what it says now is not what was indexed.
    if (!reader.error().empty() || out->nodes.size() != folder.fileCount ||
        std::any_of(out->nodes.begin(), out->nodes.end(),
                    [](const Node &n) { return n.type == EntryType::Dir; })) {
        out->nodes.clear();
        out->error = EIO;
    }
    return out;
}

std::shared_ptr<const SnapshotIndex::Files> SnapshotIndex::files(std::uint32_t f) const {
    if (m_whole[f])
        return m_whole[f];
    {
        const std::lock_guard lock(m_keptLock);
        for (const auto &kept : m_kept)
            if (kept->folder == f)
                return kept;
    }
    std::shared_ptr<const Files> made = read(f); // outside the lock: others read on
    const std::lock_guard lock(m_keptLock);
    if (m_kept.size() < Kept) {
        m_kept.push_back(made);
    } else {
        m_kept[m_nextKept] = made;
        m_nextKept = (m_nextKept + 1) % Kept;
    }
    return made;
}

namespace {

class IndexView : public SnapshotView {
public:
    explicit IndexView(const SnapshotIndex &index) : m_index(index) {}

    Ref Root() override { return folderRef(0); }

    Ref Find(std::string_view path, bool followLast) override {
        m_failure = 0;
        return walk(0, path, followLast, 0);
    }

    Ref FindBelow(Ref dir, std::string_view path, bool followLast) override {
        m_failure = 0;
        return entryOf(dir) == Self ? walk(folderOf(dir), path, followLast, 0) : None;
    }

    Ref Resolve(Ref link) override {
        m_failure = 0;
        return entryOf(link) == Self ? link : resolve(link, 0);
    }

    bool LeavesTree(Ref link) override {
        if (entryOf(link) == Self)
            return false;
        const SnapshotFacts e = Get(link);
        const std::string target(e.link);
        if (e.type != EntryType::Link || target.empty())
            return false;
        if (target.front() == '/')
            return true;
        std::int64_t depth = 0; // of the link's folder below the root
        for (std::uint32_t at = folderOf(link); at != 0; at = m_index.folder(at).parent)
            ++depth;
        for (std::size_t pos = 0; pos <= target.size();) {
            std::size_t slash = target.find('/', pos);
            if (slash == std::string::npos)
                slash = target.size();
            const std::string_view part = std::string_view(target).substr(pos, slash - pos);
            if (part == ".." && --depth < 0)
                return true;
            if (!part.empty() && part != "." && part != "..")
                ++depth;
            pos = slash + 1;
        }
        return false;
    }

    SnapshotFacts Get(Ref r) override {
        SnapshotFacts e;
        const std::uint32_t f = folderOf(r);
        if (entryOf(r) == Self) {
            const SnapshotIndex::Folder &folder = m_index.folder(f);
            e.name = f == 0 ? std::string_view() : m_index.folderName(f);
            e.type = EntryType::Dir;
            e.hasTime = folder.hasTime;
            e.time = {folder.seconds, folder.nanoseconds};
            return e;
        }
        const SnapshotIndex::Files &files = *held(f);
        const SnapshotIndex::Node &n = files.nodes[entryOf(r)];
        e.name = files.name(n);
        e.type = n.type;
        e.size = n.size;
        e.hasTime = n.hasTime;
        e.time = {n.seconds, n.nanoseconds};
        e.link = std::string_view(files.names.data() + n.linkAt, n.linkLength);
        e.digest = n.digest == 0xffffffffu ? nullptr : &files.digests[n.digest];
        return e;
    }

    int Children(Ref dir, std::vector<Ref> &out) override {
        out.clear();
        const std::uint32_t f = folderOf(dir);
        const std::shared_ptr<const SnapshotIndex::Files> files = held(f);
        if (files->error)
            return files->error;
        const auto subs = m_index.subfolders(f);
        std::size_t s = 0;
        for (std::uint32_t i = 0; i < files->nodes.size(); ++i) {
            const std::string_view name = files->name(files->nodes[i]);
            for (; s < subs.size() && m_index.folderName(subs[s]) < name; ++s)
                out.push_back(folderRef(subs[s]));
            out.push_back(fileRef(f, i));
        }
        for (; s < subs.size(); ++s)
            out.push_back(folderRef(subs[s]));
        return 0;
    }

    int Failure() const override { return m_failure; }

private:
    // Folder f's other entries; the last two asked stay held, so what Get gave for one stays
    // valid while the other is looked into.
    std::shared_ptr<const SnapshotIndex::Files> held(std::uint32_t f) {
        if (!(m_held[0] && m_held[0]->folder == f)) {
            if (m_held[1] && m_held[1]->folder == f) {
                std::swap(m_held[0], m_held[1]);
            } else {
                m_held[1] = std::move(m_held[0]);
                m_held[0] = m_index.files(f);
            }
        }
        if (m_held[0]->error)
            m_failure = m_held[0]->error;
        return m_held[0];
    }

    EntryType type(Ref r) {
        return entryOf(r) == Self ? EntryType::Dir : held(folderOf(r))->nodes[entryOf(r)].type;
    }

    Ref child(std::uint32_t f, std::string_view name) {
        const auto subs = m_index.subfolders(f);
        const auto sub = std::lower_bound(
            subs.begin(), subs.end(), name,
            [&](std::uint32_t s, std::string_view key) { return m_index.folderName(s) < key; });
        if (sub != subs.end() && m_index.folderName(*sub) == name)
            return folderRef(*sub);
        const std::shared_ptr<const SnapshotIndex::Files> files = held(f);
        const auto it = std::lower_bound(files->nodes.begin(), files->nodes.end(), name,
                                         [&](const SnapshotIndex::Node &n, std::string_view key) {
                                             return files->name(n) < key;
                                         });
        if (it == files->nodes.end() || files->name(*it) != name)
            return None;
        return fileRef(f, static_cast<std::uint32_t>(it - files->nodes.begin()));
    }

    Ref resolve(Ref link, int depth) {
        const std::string target(Get(link).link);
        if (depth > MaxLinks || target.empty() || target.front() == '/')
            return None;
        return walk(folderOf(link), target, true, depth);
    }

    Ref walk(std::uint32_t from, std::string_view path, bool followLast, int depth) {
        Ref at = folderRef(from);
        std::size_t pos = 0;
        while (pos < path.size()) {
            std::size_t slash = path.find('/', pos);
            if (slash == std::string_view::npos)
                slash = path.size();
            const std::string_view part = path.substr(pos, slash - pos);
            pos = slash + 1;
            const bool last = path.find_first_not_of('/', slash) == std::string_view::npos;
            if (part.empty() || part == ".")
                continue;
            if (part == "..") {
                if (folderOf(at) == 0)
                    return None; // above the root: out of the tree
                at = folderRef(m_index.folder(folderOf(at)).parent);
                continue;
            }
            Ref next = child(folderOf(at), part);
            if (next != None && type(next) == EntryType::Link && (!last || followLast))
                next = resolve(next, depth + 1);
            if (next == None || (!last && type(next) != EntryType::Dir))
                return None;
            at = next;
        }
        return at;
    }

    const SnapshotIndex &m_index;
    std::shared_ptr<const SnapshotIndex::Files> m_held[2];
    int m_failure = 0;
};

} // namespace

std::unique_ptr<SnapshotView> SnapshotIndex::NewView() const {
    return std::make_unique<IndexView>(*this);
}

} // namespace dirwise
