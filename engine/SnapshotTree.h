#pragma once

// A manifest read into memory as a tree that answers what a live folder answers: a folder's
// entries in byte order with their facts, one relative path looked up (links inside the
// tree followed as the live walk follows them), and a regular file's digest.

#include "MtreeReader.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace dirwise {

// The facts of one entry of a snapshot, as views into what holds them.
struct SnapshotFacts {
    std::string_view name; // "" for the root
    EntryType type = EntryType::File;
    std::int64_t size = 0; // 0 when the manifest gives none (folders, links, devices)
    bool hasTime = false;
    SnapshotTime time;
    std::string_view link;          // a link's target
    const Sha256 *digest = nullptr; // a regular file's, when the manifest has it
};

// One thread's way into a snapshot: entries named by references that hold for the
// snapshot's life; the facts Get gives hold until the next call on the same view. A kind of
// snapshot gives the few answers below; the paths (links followed, "..", the way out of the
// tree) are worked out here once for every kind (SnapshotPaths.cpp).
class SnapshotView {
public:
    using Ref = std::uint64_t;
    static constexpr Ref None = ~Ref{0};
    virtual ~SnapshotView() = default;
    // The root folder.
    [[nodiscard]] virtual Ref Root() = 0;
    [[nodiscard]] virtual SnapshotFacts Get(Ref entry) = 0;
    // The entries of folder `dir` in byte order of their names into `out`. Returns 0, or the
    // errno of a snapshot that cannot say (its file changed or went away, its stream broke).
    virtual int Children(Ref dir, std::vector<Ref> &out) = 0;
    // The errno that made the last lookup come back with None without being sure nothing is
    // there (the snapshot could not be read again, or its stream broke off), else 0.
    [[nodiscard]] int Failure() const { return m_failure; }

    // The entry at relative path `path` ("" the root, "a/b"), links on the way followed and,
    // with `followLast`, a link at the end too. None when nothing is there, or a link on the
    // way leaves the tree, leads nowhere or loops (40 links, as the kernel counts).
    [[nodiscard]] Ref Find(std::string_view path, bool followLast);
    // As Find, from folder `dir` instead of the root.
    [[nodiscard]] Ref FindBelow(Ref dir, std::string_view path, bool followLast);
    // The entry named `name` (one component: no "/", not "." or "..") in folder `dir`
    // itself, a link not followed: the cheap question of a reader asking a folder's files
    // one by one. None when nothing is there (Failure() then says whether that is sure).
    [[nodiscard]] Ref FindName(Ref dir, std::string_view name) {
        m_failure = 0;
        return Child(dir, name);
    }
    // Whether `entry` is a link (cheaper than its facts).
    [[nodiscard]] bool IsLink(Ref entry) { return TypeOf(entry) == EntryType::Link; }
    // Where link `link` leads inside the tree (through further links); `link` itself when it
    // is no link; None when its target is absolute, climbs above the root, is not in the
    // tree, or loops.
    [[nodiscard]] Ref Resolve(Ref link);
    // Whether link `link`'s target, read as written, leads out of the tree: an absolute
    // target, or one whose ".." steps climb above the root.
    [[nodiscard]] bool LeavesTree(Ref link);
    // Called every few milliseconds while a question waits for a snapshot still arriving (a
    // remote tree), on the asking thread, so that whoever asks can end the wait (Stop).
    void WhileWaiting(std::function<void()> call) { m_whileWaiting = std::move(call); }

protected:
    // The entry named `name` in folder `dir`, or None (setting m_failure when unsure). A
    // folder's names mostly come in byte order, as the walk lists them: a view may make that
    // case cheap, and must answer any other order all the same.
    [[nodiscard]] virtual Ref Child(Ref dir, std::string_view name) = 0;
    // The folder that holds `entry`; the root for the root.
    [[nodiscard]] virtual Ref Parent(Ref entry) = 0;
    [[nodiscard]] virtual EntryType TypeOf(Ref entry) { return Get(entry).type; }

    int m_failure = 0;
    std::function<void()> m_whileWaiting;

private:
    Ref walk(Ref from, std::string_view path, bool followLast, int depth);
    Ref resolve(Ref link, int depth);
};

// A snapshot read and checked, shared by the threads of a run; each asks through a view.
class SnapshotData {
public:
    virtual ~SnapshotData() = default;
    [[nodiscard]] virtual std::unique_ptr<SnapshotView> NewView() const = 0;
    // Whether every regular file has a digest / every entry a time.
    [[nodiscard]] virtual bool DigestsComplete() const = 0;
    [[nodiscard]] virtual bool TimesComplete() const = 0;
};

// A snapshot held whole in memory: a foreign manifest in any order or form (a snapshot in the
// walk's order streams, see SnapshotStream.h). Names and link targets in one arena, each entry's
// facts packed.
class SnapshotTree : public SnapshotData {
public:
    static constexpr std::uint32_t NoEntry = 0xffffffffu;
    static constexpr std::uint32_t Root = 0;

    using Entry = SnapshotFacts;

    // Reads every entry `reader` gives, in any order. A folder the manifest names only as a
    // parent is made without facts; a later entry for the same path replaces an earlier one
    // (as NetBSD's mtree has it), and an entry below something that is no folder, or a
    // manifest without a single entry, is refused.
    // Returns false with error() (and errorLine()) set when the reader failed or the
    // manifest does not make a tree.
    // `bytes`, the manifest's size where known, lets the entries' room be set aside at once:
    // growing it step by step would hold the old and the new room together at each step.
    [[nodiscard]] bool Load(MtreeReader &reader, std::uint64_t bytes = 0);
    [[nodiscard]] const std::string &error() const { return m_error; }
    [[nodiscard]] std::int64_t errorLine() const { return m_errorLine; }

    [[nodiscard]] std::size_t Count() const { return m_nodes.size(); }
    [[nodiscard]] Entry Get(std::uint32_t i) const;
    // The entries of folder `dir`, in byte order of their names (empty for anything else).
    [[nodiscard]] std::span<const std::uint32_t> Children(std::uint32_t dir) const;
    // The child of `dir` named `name`, or NoEntry.
    [[nodiscard]] std::uint32_t Child(std::uint32_t dir, std::string_view name) const;
    // The folder that holds entry `i` (the root for the root).
    [[nodiscard]] std::uint32_t Parent(std::uint32_t i) const {
        return i == Root ? Root : m_nodes[i].parent;
    }

    // Whether every regular file has a digest / every entry read from the manifest a time.
    [[nodiscard]] bool DigestsComplete() const override { return m_filesWithoutDigest == 0; }
    [[nodiscard]] bool TimesComplete() const override { return m_entriesWithoutTime == 0; }
    // A view that asks the tree itself (it keeps no state of its own).
    [[nodiscard]] std::unique_ptr<SnapshotView> NewView() const override;

private:
    // 40 bytes an entry: what only some kinds have lies in a table of that kind.
    struct Node {
        std::uint32_t parent = NoEntry;
        std::uint32_t nameAt = 0, nameLength = 0;
        // A link's index in m_links, a regular file's digest in m_digests, a folder's
        // children in m_dirs (set once all is read); NoEntry for none.
        std::uint32_t extra = NoEntry;
        EntryType type = EntryType::Dir;
        bool hasTime = false;
        bool implicit = false; // made as a parent only
        bool replaced = false; // a later entry took its place
        std::int32_t nanoseconds = 0;
        std::int64_t seconds = 0;
        std::int64_t size = 0;
    };
    struct Span {
        std::uint32_t at = 0, length = 0;
    };

    bool add(const SnapshotEntry &e);
    bool fail(std::string message);
    std::uint32_t folder(std::string_view path); // NoEntry when something else is there
    std::uint32_t append(std::uint32_t parent, std::string_view name);
    bool finish();
    [[nodiscard]] std::string_view name(const Node &n) const {
        return {m_names.data() + n.nameAt, n.nameLength};
    }
    [[nodiscard]] std::string_view linkOf(const Node &n) const {
        if (n.type != EntryType::Link || n.extra == NoEntry)
            return {};
        return {m_names.data() + m_links[n.extra].at, m_links[n.extra].length};
    }

    std::vector<Node> m_nodes;
    std::string m_names; // names and link targets, packed
    std::vector<Sha256> m_digests;
    std::vector<Span> m_links; // targets in m_names
    std::vector<Span> m_dirs;  // children in m_children
    std::vector<std::uint32_t> m_children;
    std::unordered_map<std::string, std::uint32_t> m_folders; // while loading: path -> folder
    std::int64_t m_filesWithoutDigest = 0;
    std::int64_t m_entriesWithoutTime = 0;
    std::string m_error;
    std::int64_t m_errorLine = 0;
};

} // namespace dirwise
