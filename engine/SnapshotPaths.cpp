// Paths inside a snapshot, the same for every kind of snapshot: components taken one by one,
// "." passed over, ".." up to the parent (never above the root), links followed the way the
// live walk follows them.

#include "SnapshotTree.h"

namespace dirwise {
namespace {

// How many links a lookup goes through before it calls it a loop, as the kernel does.
constexpr int MaxLinks = 40;

} // namespace

SnapshotView::Ref SnapshotView::Find(std::string_view path, bool followLast) {
    m_failure = 0;
    return walk(Root(), path, followLast, 0);
}

SnapshotView::Ref SnapshotView::FindBelow(Ref dir, std::string_view path, bool followLast) {
    m_failure = 0;
    return walk(dir, path, followLast, 0);
}

SnapshotView::Ref SnapshotView::Resolve(Ref link) {
    m_failure = 0;
    return TypeOf(link) == EntryType::Link ? resolve(link, 0) : link;
}

bool SnapshotView::LeavesTree(Ref link) {
    const SnapshotFacts e = Get(link);
    if (e.type != EntryType::Link || e.link.empty())
        return false;
    if (e.link.front() == '/')
        return true;
    const std::string target(e.link); // Get's views end with the next call
    std::int64_t depth = 0;           // of the link's folder below the root
    const Ref root = Root();
    for (Ref at = Parent(link); at != root; at = Parent(at))
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

SnapshotView::Ref SnapshotView::resolve(Ref link, int depth) {
    const std::string target(Get(link).link);
    if (depth > MaxLinks || target.empty() || target.front() == '/')
        return None;
    return walk(Parent(link), target, true, depth);
}

SnapshotView::Ref SnapshotView::walk(Ref at, std::string_view path, bool followLast, int depth) {
    const Ref root = Root();
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
            if (at == root)
                return None; // above the root: out of the tree
            at = Parent(at);
            continue;
        }
        Ref next = Child(at, part);
        if (next != None && TypeOf(next) == EntryType::Link && (!last || followLast))
            next = resolve(next, depth + 1);
        if (next == None || (!last && TypeOf(next) != EntryType::Dir))
            return None;
        at = next;
    }
    return at;
}

} // namespace dirwise
