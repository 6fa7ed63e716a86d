#include "SnapshotTree.h"

#include <algorithm>
#include <limits>

namespace dirwise {
namespace {

std::pair<std::string_view, std::string_view> splitLast(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return {std::string_view(), path};
    return {path.substr(0, slash), path.substr(slash + 1)};
}

} // namespace

bool SnapshotTree::fail(std::string message) {
    m_error = std::move(message);
    return false;
}

std::uint32_t SnapshotTree::append(std::uint32_t parent, std::string_view name) {
    Node n;
    n.parent = parent;
    n.nameAt = static_cast<std::uint32_t>(m_names.size());
    n.nameLength = static_cast<std::uint32_t>(name.size());
    m_names.append(name);
    m_nodes.push_back(n);
    return static_cast<std::uint32_t>(m_nodes.size() - 1);
}

std::uint32_t SnapshotTree::folder(std::string_view path) {
    if (path.empty())
        return Root;
    if (const auto it = m_folders.find(std::string(path)); it != m_folders.end())
        return it->second;
    const auto [parentPath, name] = splitLast(path);
    const std::uint32_t parent = folder(parentPath);
    if (parent == NoEntry)
        return NoEntry;
    const std::uint32_t made = append(parent, name);
    m_nodes[made].implicit = true;
    m_folders.emplace(std::string(path), made);
    return made;
}

bool SnapshotTree::add(const SnapshotEntry &e) {
    if (m_names.size() > std::numeric_limits<std::uint32_t>::max() - 2 * 65536)
        return fail("more names than a snapshot can hold");
    std::uint32_t at = Root;
    if (e.path.empty()) {
        if (e.type != EntryType::Dir)
            return fail("the root is not a folder");
    } else if (const auto it = m_folders.find(e.path);
               e.type == EntryType::Dir && it != m_folders.end()) {
        at = it->second; // named before as a parent, or given twice
    } else if (it != m_folders.end()) {
        return fail("a path given as a folder and as something else");
    } else {
        const auto [parentPath, name] = splitLast(e.path);
        const std::uint32_t parent = folder(parentPath);
        if (parent == NoEntry)
            return fail("an entry below something that is no folder");
        at = append(parent, name);
        if (e.type == EntryType::Dir)
            m_folders.emplace(e.path, at);
    }
    Node &n = m_nodes[at];
    n.type = e.type;
    n.implicit = false;
    n.hasTime = e.hasTime;
    n.seconds = e.time.seconds;
    n.nanoseconds = e.time.nanoseconds;
    n.size = e.type == EntryType::File && e.size > 0 ? e.size : 0;
    n.extra = NoEntry;
    if (e.type == EntryType::Link) {
        n.extra = static_cast<std::uint32_t>(m_links.size());
        m_links.push_back({static_cast<std::uint32_t>(m_names.size()),
                           static_cast<std::uint32_t>(e.link.size())});
        m_names.append(e.link);
    } else if (e.hasDigest && e.type == EntryType::File) {
        n.extra = static_cast<std::uint32_t>(m_digests.size());
        m_digests.push_back(e.digest);
    }
    return true;
}

bool SnapshotTree::finish() {
    m_dirs.clear();
    for (Node &n : m_nodes)
        if (n.type == EntryType::Dir) {
            n.extra = static_cast<std::uint32_t>(m_dirs.size());
            m_dirs.emplace_back();
        }
    std::vector<std::uint32_t> order(m_nodes.size() - 1);
    for (std::uint32_t i = 1; i < m_nodes.size(); ++i)
        order[i - 1] = i;
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        const Node &x = m_nodes[a], &y = m_nodes[b];
        if (x.parent != y.parent)
            return x.parent < y.parent;
        const int c = name(x).compare(name(y));
        return c != 0 ? c < 0 : a < b;
    });
    m_children.clear();
    m_children.reserve(order.size());
    for (std::size_t k = 0; k < order.size(); ++k) {
        const Node &n = m_nodes[order[k]];
        const bool later = k + 1 < order.size() && m_nodes[order[k + 1]].parent == n.parent &&
                           name(m_nodes[order[k + 1]]) == name(n);
        if (later) { // the entry after this one has the same path and takes its place
            if (m_nodes[order[k + 1]].implicit)
                return fail("an entry below something that is no folder");
            m_nodes[order[k]].replaced = true;
            continue;
        }
        Span &parent = m_dirs[m_nodes[n.parent].extra];
        if (parent.length++ == 0)
            parent.at = static_cast<std::uint32_t>(m_children.size());
        m_children.push_back(order[k]);
    }
    for (const Node &n : m_nodes) {
        if (n.replaced || n.implicit)
            continue;
        m_entriesWithoutTime += !n.hasTime;
        m_filesWithoutDigest += n.type == EntryType::File && n.extra == NoEntry;
    }
    m_folders = {};
    return true;
}

bool SnapshotTree::Load(MtreeReader &reader, std::uint64_t bytes) {
    m_nodes.clear();
    m_names.clear();
    m_digests.clear();
    m_links.clear();
    // Room for an entry per 16 bytes (shorter lines are rare; more entries grow it), set aside
    // at once: untouched, it costs no memory.
    if (bytes / 16 < std::numeric_limits<std::uint32_t>::max()) {
        m_nodes.reserve(bytes / 16);
        m_names.reserve(bytes);
    }
    m_nodes.emplace_back(); // the root, until the manifest gives its facts
    m_nodes[Root].implicit = true;
    SnapshotEntry e;
    std::int64_t entries = 0;
    for (; reader.Next(e); ++entries)
        if (!add(e)) {
            m_errorLine = reader.line();
            return false;
        }
    if (!reader.error().empty()) {
        m_errorLine = reader.errorLine();
        return fail(reader.error());
    }
    if (entries == 0) // every manifest holds its root at least: this one ended before
        return fail("no entry at all (an empty or cut-off manifest)");
    return finish();
}

SnapshotTree::Entry SnapshotTree::Get(std::uint32_t i) const {
    const Node &n = m_nodes[i];
    Entry e;
    e.name = name(n);
    e.type = n.type;
    e.size = n.size;
    e.hasTime = n.hasTime;
    e.time = {n.seconds, n.nanoseconds};
    e.link = linkOf(n);
    e.digest = n.type == EntryType::File && n.extra != NoEntry ? &m_digests[n.extra] : nullptr;
    return e;
}

std::span<const std::uint32_t> SnapshotTree::Children(std::uint32_t dir) const {
    const Node &n = m_nodes[dir];
    if (n.type != EntryType::Dir || n.extra == NoEntry || m_dirs[n.extra].length == 0)
        return {};
    return {m_children.data() + m_dirs[n.extra].at, m_dirs[n.extra].length};
}

std::uint32_t SnapshotTree::Child(std::uint32_t dir, std::string_view wanted) const {
    const auto children = Children(dir);
    const auto it = std::lower_bound(
        children.begin(), children.end(), wanted,
        [&](std::uint32_t i, std::string_view key) { return name(m_nodes[i]) < key; });
    return it != children.end() && name(m_nodes[*it]) == wanted ? *it : NoEntry;
}

namespace {

class TreeView : public SnapshotView {
public:
    explicit TreeView(const SnapshotTree &tree) : m_tree(tree) {}
    Ref Root() override { return SnapshotTree::Root; }
    SnapshotFacts Get(Ref entry) override { return m_tree.Get(index(entry)); }
    int Children(Ref dir, std::vector<Ref> &out) override {
        const auto children = m_tree.Children(index(dir));
        out.assign(children.begin(), children.end());
        return 0;
    }

protected:
    Ref Child(Ref dir, std::string_view name) override {
        const std::uint32_t i = m_tree.Child(index(dir), name);
        return i == SnapshotTree::NoEntry ? None : Ref{i};
    }
    Ref Parent(Ref entry) override { return m_tree.Parent(index(entry)); }

private:
    static std::uint32_t index(Ref r) { return static_cast<std::uint32_t>(r); }
    const SnapshotTree &m_tree;
};

} // namespace

std::unique_ptr<SnapshotView> SnapshotTree::NewView() const {
    return std::make_unique<TreeView>(*this);
}

} // namespace dirwise
