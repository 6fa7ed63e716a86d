#include "Walk.h"

#include "CompareRules.h"
#include "FileSystem.h"

#include <map>
#include <set>
#include <utility>

namespace dirwise {
namespace {

// A folder on the current walk.
struct Frame {
    std::uint32_t dir = 0;
    std::uint64_t device = 0, inode = 0;
    std::vector<std::string> subdirs;
    std::vector<bool> viaLink; // entry k of subdirs is reached through a link
    std::size_t next = 0;
    std::size_t pathLength = 0;     // of the walk's relative path while this frame is on top
    std::size_t positionLength = 0; // likewise of its position
};

class Walker {
public:
    Walker(FolderLister &lister, TreeSource &source, ScanState &state, CompareHost &host,
           const std::vector<std::string> &patterns, const ScanRules &rules)
        : m_lister(lister), m_source(source), m_root(source.Root()), m_state(state), m_host(host),
          m_patterns(patterns), m_rules(rules) {}

    void run() {
        m_state.ScanDirs.push_back(
            {ScanDir::NoParent, m_root.empty() || m_root.back() == '/' ? m_root : m_root + "/"});
        const ListAnswer root = m_lister.ListRoot(m_listing);
        if (root.kind != ListAnswer::Kind::Listed) {
            if (!rootGone())
                report("", root.error);
            return;
        }
        if (!enter(0, false, false))
            return;
        while (!m_stack.empty()) {
            Frame &top = m_stack.back();
            if (top.next < top.subdirs.size()) {
                const std::size_t index = top.next++;
                if (!descend(index))
                    return;
                continue;
            }
            leave();
            if (m_stack.empty() || stopAfterYield())
                return;
        }
    }

private:
    bool stopAfterYield() {
        if (m_host.yield(Progress{m_rules.phase, m_state.ScanFileCount, 0, 0}))
            m_state.Stopped = true;
        return m_state.Stopped;
    }

    // Folder `relative` (from the root: "" or "a/b/") could not be listed.
    void report(std::string relative, int err, Problem problem = Problem::FolderNotListed,
                std::string walkedAs = {}) {
        Diagnostic d{m_rules.side, problem, m_root, std::move(relative), err, std::move(walkedAs)};
        m_host.diagnostic(d);
        m_state.Diagnostics.push_back(std::move(d));
    }

    // Whether the root has gone away or been replaced since the run began, asked when a
    // listing fails or comes back empty: the root is then named once and the walk ends, so
    // the folders it can no longer reach are not each reported, nor their files missed.
    bool rootGone() {
        if (!m_source.RootGone())
            return false;
        report("", ENOENT, Problem::RootGone);
        return true;
    }

    void leave() {
        m_ancestors.erase({m_stack.back().device, m_stack.back().inode});
        m_stack.pop_back();
        m_lister.Leave(m_stack.size());
    }

    // Enters subfolder `index` of the top frame. Returns false when the walk stops.
    bool descend(std::size_t index) {
        const std::size_t parent = m_stack.size() - 1;
        const Frame &top = m_stack[parent];
        std::string name = std::move(m_stack[parent].subdirs[index]);
        m_path.resize(top.pathLength);
        m_path += name;
        m_path += '/';
        m_position.resize(top.positionLength);
        AppendPositionStep(m_position, static_cast<std::uint32_t>(index));
        const FolderPlace place{
            parent, name, top.viaLink[index], top.next >= top.subdirs.size(), m_path, m_position};
        const ListAnswer answer = m_lister.ListChild(place, m_listing);
        if (answer.kind == ListAnswer::Kind::Failed) {
            if (rootGone())
                return false;
            report(m_path, answer.error);
        }
        if (answer.kind != ListAnswer::Kind::Listed)
            return !stopAfterYield();
        const auto dir = static_cast<std::uint32_t>(m_state.ScanDirs.size());
        m_state.ScanDirs.push_back({top.dir, name + "/"});
        return enter(dir, answer.childrenQueued, place.viaLink);
    }

    // Takes the names of folder `dir` (reached through a link: `viaLink`) from m_listing and
    // pushes its frame. Its subfolders go to the source's read-ahead unless it queued them
    // already. Returns false when the walk stops.
    bool enter(std::uint32_t dir, bool childrenQueued, bool viaLink) {
        const std::pair<std::uint64_t, std::uint64_t> id{m_listing.device, m_listing.inode};
        if (id.second != 0 && m_ancestors.count(id) != 0) {
            // A link back to a folder already on this walk: everything below it is listed
            // already under its real place.
            m_state.ScanDirs.pop_back();
            m_lister.Leave(m_stack.size());
            return !stopAfterYield();
        }
        if (m_rules.followLinks && id.second != 0) {
            // A link into a folder walked already (through another link, or at its real
            // place): one row says where it was compared, so no arrangement of links makes
            // the walk longer than the tree itself. A folder reached without a link is
            // always walked, so a real folder is never left out for a link seen first.
            const auto [first, fresh] = m_walked.try_emplace(id, dir);
            if (!fresh && viaLink) {
                report(m_state.RelativeDir(dir).substr(1), 0, Problem::WalkedAlready,
                       m_state.RelativeDir(first->second).substr(1));
                m_state.ScanDirs.pop_back();
                m_lister.Leave(m_stack.size());
                return !stopAfterYield();
            }
        }
        if ((m_listing.error != 0 || m_listing.entries.empty()) && rootGone()) {
            if (dir != 0)
                m_state.ScanDirs.pop_back();
            return false;
        }
        if (m_listing.error != 0)
            report(m_state.RelativeDir(dir).substr(1), m_listing.error);
        if (m_stack.empty()) {
            m_path.clear();
            m_position.clear();
        }
        if (!takeFiles(dir))
            return false;
        Frame frame{dir, id.first, id.second, {}, {}, 0, m_path.size(), m_position.size()};
        if (m_rules.recursive && !takeSubdirs(frame))
            return false;
        if (!childrenQueued && !frame.subdirs.empty())
            m_lister.WillEnter(m_position, m_path, frame.subdirs, frame.viaLink);
        if (id.second != 0)
            m_ancestors.insert(id);
        m_stack.push_back(std::move(frame));
        return true;
    }

    // The files of m_listing, grouped by pattern, each group in byte order, yielding after
    // every entry and every group. Returns false when the walk stops.
    bool takeFiles(std::uint32_t dir) {
        // The filter is asked once for each file, whatever the patterns.
        if (m_rules.filter) {
            m_skipped.assign(m_listing.entries.size(), false);
            for (std::size_t k = 0; k < m_listing.entries.size(); ++k)
                if (!m_listing.entries[k].isDir)
                    m_skipped[k] =
                        m_rules.filter->SkipFile(m_path, m_listing.name(m_listing.entries[k]));
        }
        for (const std::string &pattern : m_patterns) {
            for (std::size_t k = 0; k < m_listing.entries.size(); ++k) {
                const FolderEntry &e = m_listing.entries[k];
                const std::string_view name = m_listing.name(e);
                if (!e.isDir && !(m_rules.filter && m_skipped[k]) && MatchPattern(pattern, name)) {
                    m_state.ScanFileNames.push_back(name);
                    m_state.ScanFileDirs.push_back(dir);
                    ++m_state.ScanFileCount;
                }
                if (stopAfterYield())
                    return false;
            }
            if (stopAfterYield())
                return false;
        }
        return true;
    }

    // The subfolders of m_listing the walk enters (WalkEnters, then the filter), yielding
    // after every entry. Returns false when the walk stops.
    bool takeSubdirs(Frame &frame) {
        for (const FolderEntry &e : m_listing.entries) {
            if (WalkEnters(e, m_rules.followLinks) && !skipFolder(m_listing.name(e), e.viaLink)) {
                frame.subdirs.emplace_back(m_listing.name(e));
                frame.viaLink.push_back(e.viaLink);
            }
            if (stopAfterYield())
                return false;
        }
        return true;
    }

    bool skipFolder(std::string_view name, bool viaLink) {
        if (!m_rules.filter)
            return false;
        m_folder.assign(m_path);
        m_folder += name;
        m_folder += '/';
        return m_rules.filter->SkipFolder(m_folder, viaLink);
    }

    FolderLister &m_lister;
    TreeSource &m_source;
    const std::string &m_root;
    ScanState &m_state;
    CompareHost &m_host;
    const std::vector<std::string> &m_patterns;
    const ScanRules &m_rules;
    std::vector<Frame> m_stack;
    std::set<std::pair<std::uint64_t, std::uint64_t>> m_ancestors;
    // With links followed: every folder entered, by identity, and its first ScanDirs index.
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::uint32_t> m_walked;
    FolderListing m_listing;     // the folder being entered
    std::string m_path;          // the top frame's path relative to the root ("" or "a/b/")
    std::vector<bool> m_skipped; // with a filter: the entries of m_listing it left out
    std::string m_folder;        // scratch: a subfolder's relative path
    std::string m_position;      // the top frame's position (AppendPositionStep)
};

} // namespace

void Walk(TreeSource &source, WorkerPool &pool, ScanState &state, CompareHost &host,
          const std::vector<std::string> &patterns, const ScanRules &rules) {
    const std::unique_ptr<FolderLister> lister = source.NewLister(pool, rules.followLinks);
    if (rules.filter)
        lister->ListAheadOnlyWhatIsNamed();
    lister->WhileWaiting([&] { host.waiting(Progress{rules.phase, state.ScanFileCount, 0, 0}); });
    Walker(*lister, source, state, host, patterns, rules).run();
}

} // namespace dirwise
