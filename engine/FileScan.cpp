#include "FileScan.h"
#include "Ascii.h"
#include "CaseFold.h"
#include "Io.h"
#include "Listing.h"
#include "TextForms.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <set>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <utility>

namespace dirwise {

bool MatchPattern(std::string_view pattern, std::string_view name) {
    if (pattern == "*.*")
        return true;
    // Iterative glob with one backtrack point: linear in practice, no recursion. Both sides
    // go one character at a time, letters folded (see FoldedUnitAt).
    std::size_t p = 0, n = 0;
    std::size_t starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && pattern[p] == '?') {
            ++p;
            n += FoldedUnitAt(name, n).length;
        } else if (p < pattern.size() &&
                   FoldedUnitAt(pattern, p).key == FoldedUnitAt(name, n).key) {
            p += FoldedUnitAt(pattern, p).length;
            n += FoldedUnitAt(name, n).length;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            starN += FoldedUnitAt(name, starN).length;
            n = starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

namespace {

// A directory on the current walk. `fd` owns nothing while closed to save descriptors, and
// nothing at all when a read-ahead worker listed the directory by its path; it is reopened
// from the nearest open ancestor when a subdirectory has to be opened relative to it.
struct Frame {
    UniqueFd fd;
    std::uint32_t dir = 0;
    dev_t dev = 0;
    ino_t ino = 0;
    std::vector<std::string> subdirs;
    std::vector<bool> viaLink; // entry k of subdirs is reached through a link
    std::size_t next = 0;
    std::size_t pathLength = 0;     // of the walk's relative path while this frame is on top
    std::size_t positionLength = 0; // likewise of its position (see ListingAhead)
};

// Directories kept open at once. Deeper frames close theirs while a child is walked, so a
// tree of any depth stays far below the process's descriptor limit.
constexpr std::size_t MaxOpenFrames = 64;

class Walker {
public:
    Walker(ScanState &state, CompareHost &host, const std::vector<std::string> &patterns,
           const ScanRules &rules)
        : m_state(state), m_host(host), m_patterns(patterns), m_recursive(rules.recursive),
          m_followLinks(rules.followLinks), m_phase(rules.phase), m_side(rules.side),
          m_filter(rules.filter) {}

    void run(const std::string &root) {
        m_root = root;
        while (m_root.size() > 1 && m_root.back() == '/')
            m_root.pop_back();
        UniqueFd fd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        const auto rootIndex = static_cast<std::uint32_t>(m_state.ScanDirs.size());
        m_state.ScanDirs.push_back({ScanDir::NoParent, root});
        if (!fd) {
            report("", errno);
            return;
        }
        if (m_recursive)
            m_ahead = std::make_unique<detail::ListingAhead>(root, m_followLinks,
                                                             detail::DefaultPoolSize(), !m_filter);
        if (!listHere(fd.get(), rootIndex) || !enter(std::move(fd), rootIndex, false))
            return;
        while (!m_stack.empty()) {
            Frame &top = m_stack.back();
            if (top.next >= top.subdirs.size()) {
                leave();
                if (m_stack.empty() || stopAfterYield())
                    return;
                continue;
            }
            const bool viaLink = top.viaLink[top.next];
            const std::size_t index = top.next;
            const std::string name = std::move(top.subdirs[top.next++]);
            if (!descend(name, viaLink, index))
                return;
        }
    }

private:
    bool stopAfterYield() {
        if (m_host.yield(Progress{m_phase, m_state.ScanFileCount, 0, 0}))
            m_state.Stopped = true;
        return m_state.Stopped;
    }

    // Folder `relative` (from the root: "" or "a/b/") could not be listed.
    void report(std::string relative, int err) {
        Diagnostic d{m_side, Problem::FolderNotListed, m_root, std::move(relative), err};
        m_host.diagnostic(d);
        m_state.Diagnostics.push_back(std::move(d));
    }

    std::size_t openFrames() const {
        std::size_t n = 0;
        for (const Frame &f : m_stack)
            n += static_cast<bool>(f.fd);
        return n;
    }

    void leave() {
        const Frame &f = m_stack.back();
        m_ancestors.erase({f.dev, f.ino});
        m_stack.pop_back();
    }

    // Reopens frame k's directory from the nearest open ancestor, one name at a time, so
    // it works whatever the path's length. Returns the descriptor or -1 with errno set.
    int reopen(std::size_t k) {
        std::size_t j = k;
        while (j > 0 && !m_stack[j].fd)
            --j;
        UniqueFd fd; // owns only the directories opened here, never frame j's
        for (std::size_t m = j + 1; m <= k; ++m) {
            std::string name = m_state.ScanDirs[m_stack[m].dir].name;
            name.pop_back();
            const int from = fd ? fd.get() : m_stack[j].fd.get();
            UniqueFd next(::openat(from, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            if (!next) {
                const int saved = errno;
                fd.reset();
                errno = saved;
                return -1;
            }
            fd = std::move(next);
        }
        if (fd)
            m_stack[k].fd = std::move(fd);
        return m_stack[k].fd.get();
    }

    // Enters subdirectory `name` (entry `index` of the top frame's subdirectories). Its
    // listing comes from the read-ahead, else from a listing by path made here, else from
    // opening it relative to its parent, which also works past PATH_MAX and names the error
    // when it cannot be opened. Returns false when the walk stops.
    bool descend(const std::string &name, bool viaLink, std::size_t index) {
        const std::size_t parentIndex = m_stack.size() - 1;
        const std::uint32_t parentDir = m_stack[parentIndex].dir;
        m_path.resize(m_stack[parentIndex].pathLength);
        m_path += name;
        m_path += '/';
        m_position.resize(m_stack[parentIndex].positionLength);
        detail::ListingAhead::AppendStep(m_position, static_cast<std::uint32_t>(index));
        if (m_ahead) {
            detail::AheadAnswer answer = m_ahead->Take(m_position, m_path, viaLink);
            if (answer.kind == detail::AheadAnswer::Kind::ListHere)
                answer = m_ahead->ListByPath(m_path, viaLink, m_buffer);
            if (answer.kind == detail::AheadAnswer::Kind::Pseudo)
                return !stopAfterYield();
            if (answer.kind == detail::AheadAnswer::Kind::Listed) {
                closeParentIfDone(parentIndex);
                m_listing = std::move(*answer.listing);
                m_state.ScanDirs.push_back({parentDir, name + "/"});
                return enter(UniqueFd(), static_cast<std::uint32_t>(m_state.ScanDirs.size() - 1),
                             answer.childrenQueued);
            }
        }
        int parentFd = m_stack[parentIndex].fd.get();
        if (parentFd < 0)
            parentFd = reopen(parentIndex);
        if (parentFd < 0) {
            report(m_state.RelativeDir(parentDir).substr(1) + name + "/", errno);
            return !stopAfterYield();
        }
        UniqueFd fd(::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!fd) {
            report(m_state.RelativeDir(parentDir).substr(1) + name + "/", errno);
            return !stopAfterYield();
        }
        // A link may lead out of the tree into the kernel's own file systems (/proc holds a
        // link to the root of every process): such a place is never entered through one.
        if (viaLink && IsPseudoFileSystem(fd.get()))
            return !stopAfterYield();
        closeParentIfDone(parentIndex);
        const auto dirIndex = static_cast<std::uint32_t>(m_state.ScanDirs.size());
        m_state.ScanDirs.push_back({parentDir, name + "/"});
        if (!listHere(fd.get(), dirIndex))
            return !m_state.Stopped;
        return enter(std::move(fd), dirIndex, false);
    }

    bool skipFolder(std::string_view here, std::string_view name, bool viaLink) {
        m_folder.assign(here);
        m_folder += name;
        m_folder += '/';
        return m_filter->SkipFolder(m_folder, viaLink);
    }

    // The parent is needed again only for its remaining subdirectories.
    void closeParentIfDone(std::size_t parentIndex) {
        Frame &parent = m_stack[parentIndex];
        if (parentIndex > 0 &&
            (parent.next >= parent.subdirs.size() || openFrames() >= MaxOpenFrames))
            parent.fd.reset();
    }

    // Lists the open directory `fd` (directory `dirIndex`) into m_listing. Returns false,
    // after naming the error and yielding, when it cannot even tell which directory it is.
    bool listHere(int fd, std::uint32_t dirIndex) {
        if (const int err = detail::DirectoryIdentity(fd, m_listing.dev, m_listing.ino)) {
            report(m_state.RelativeDir(dirIndex).substr(1), err);
            (void)stopAfterYield();
            return false;
        }
        detail::ReadListing(fd, m_listing, m_buffer);
        return true;
    }

    // Takes the names of directory `dirIndex` from m_listing and pushes its frame (`fd` may
    // own nothing). Its subdirectories go to the read-ahead unless a worker queued them
    // already. Returns false when the walk stops.
    bool enter(UniqueFd fd, std::uint32_t dirIndex, bool childrenQueued) {
        if (m_ancestors.count({m_listing.dev, m_listing.ino}) != 0) {
            // A symlink back to a directory already on this walk: everything below it is
            // listed already under its real place.
            m_state.ScanDirs.pop_back();
            return !stopAfterYield();
        }
        if (m_listing.error != 0)
            report(m_state.RelativeDir(dirIndex).substr(1), m_listing.error);

        // The rules are asked once for each file, whatever the patterns.
        const std::string_view here = m_stack.empty() ? std::string_view() : m_path;
        if (m_filter)
            m_skipped.assign(m_listing.entries.size(), false);
        for (std::size_t k = 0; m_filter && k < m_listing.entries.size(); ++k)
            if (const detail::ListedEntry &e = m_listing.entries[k]; !e.isDir)
                m_skipped[k] = m_filter->SkipFile(here, m_listing.name(e));

        // Files, grouped by pattern, each group in byte order.
        for (const std::string &pattern : m_patterns) {
            for (std::size_t k = 0; k < m_listing.entries.size(); ++k) {
                if (const detail::ListedEntry &e = m_listing.entries[k];
                    !e.isDir && !(m_filter && m_skipped[k])) {
                    const std::string_view name = m_listing.name(e);
                    if (MatchPattern(pattern, name)) {
                        m_state.ScanFileNames.push_back(name);
                        m_state.ScanFileDirs.push_back(dirIndex);
                        ++m_state.ScanFileCount;
                    }
                }
                if (stopAfterYield())
                    return false;
            }
            if (stopAfterYield())
                return false;
        }

        Frame frame;
        frame.fd = std::move(fd);
        frame.dir = dirIndex;
        frame.dev = m_listing.dev;
        frame.ino = m_listing.ino;
        frame.pathLength = m_stack.empty() ? 0 : m_path.size();
        frame.positionLength = m_stack.empty() ? 0 : m_position.size();
        if (m_recursive) {
            for (const detail::ListedEntry &e : m_listing.entries) {
                if (e.isDir && (!e.viaLink || m_followLinks) &&
                    !(m_filter && skipFolder(here, m_listing.name(e), e.viaLink))) {
                    frame.subdirs.emplace_back(m_listing.name(e));
                    frame.viaLink.push_back(e.viaLink);
                }
                if (stopAfterYield())
                    return false;
            }
        }
        if (m_ahead && !childrenQueued && !frame.subdirs.empty()) {
            if (m_stack.empty()) {
                m_path.clear();
                m_position.clear();
            }
            m_ahead->Queue(m_position, m_path, frame.subdirs, frame.viaLink);
        }
        m_ancestors.insert({m_listing.dev, m_listing.ino});
        m_stack.push_back(std::move(frame));
        return true;
    }

    ScanState &m_state;
    CompareHost &m_host;
    const std::vector<std::string> &m_patterns;
    bool m_recursive;
    bool m_followLinks;
    Phase m_phase;
    Side m_side;
    WalkFilter *m_filter;
    std::vector<bool> m_skipped; // the entries of m_listing the filter left out
    std::string m_folder;        // scratch: a subfolder's relative path
    std::string m_root;          // as given, without the "/" after it (but "/" stays)
    std::vector<Frame> m_stack;
    std::set<std::pair<dev_t, ino_t>> m_ancestors;
    detail::Listing m_listing; // the directory being entered
    std::string m_path;        // the top frame's path relative to the root ("" or "a/b/")
    std::string m_position;    // the top frame's position (see ListingAhead)
    std::vector<char> m_buffer = std::vector<char>(64 * 1024); // operator new aligns it
    std::unique_ptr<detail::ListingAhead> m_ahead;             // last: its workers go first
};

} // namespace

void ScanDirectory(ScanState &state, CompareHost &host, const std::string &path,
                   const std::vector<std::string> &patterns, const ScanRules &rules) {
    if (path.empty()) {
        // No directory at all: never the file system's root by accident.
        Diagnostic d{rules.side, Problem::FolderNotListed, "", "", ENOENT};
        host.diagnostic(d);
        state.Diagnostics.push_back(std::move(d));
        return;
    }
    std::string root = path;
    if (root.back() != '/')
        root += '/';
    Walker walker(state, host, patterns, rules);
    walker.run(root);
}

namespace {

// The devices of the devtmpfs mounts (/dev), which statfs cannot tell from a plain tmpfs.
std::vector<dev_t> devtmpfsDevices() {
    std::vector<dev_t> devices;
    std::ifstream mounts("/proc/self/mountinfo");
    std::string line;
    while (std::getline(mounts, line)) {
        // "id parent major:minor root point options [optional...] - fstype source super"
        const auto dash = line.find(" - ");
        if (dash == std::string::npos || line.compare(dash + 3, 9, "devtmpfs ") != 0)
            continue;
        unsigned major = 0, minor = 0;
        if (std::sscanf(line.c_str(), "%*u %*u %u:%u", &major, &minor) == 2)
            devices.push_back(makedev(major, minor));
    }
    return devices;
}

} // namespace

bool IsPseudoFileSystem(int fd) {
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0)
        return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x9fa0:     // proc
    case 0x62656572: // sysfs
    case 0x27e0eb:   // cgroup
    case 0x63677270: // cgroup2
    case 0x64626720: // debugfs
    case 0x74726163: // tracefs
    case 0x73636673: // securityfs
    case 0x6165676c: // pstore
    case 0xcafe4a11: // bpf
    case 0x62656570: // configfs
    case 0x1cd1:     // devpts
    case 0x19800202: // mqueue
    case 0xf97cff8c: // selinuxfs
    case 0xde5e81e4: // efivarfs
    case 0x65735543: // fusectl
    case 0x42494e4d: // binfmt_misc
        return true;
    case 0x01021994: { // tmpfs, or devtmpfs
        static const std::vector<dev_t> devtmpfs = devtmpfsDevices();
        struct stat st {};
        return ::fstat(fd, &st) == 0 &&
               std::find(devtmpfs.begin(), devtmpfs.end(), st.st_dev) != devtmpfs.end();
    }
    default:
        return false;
    }
}

bool FileExists(const std::string &path) {
    if (path.empty())
        return false;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    return ::faccessat(AT_FDCWD, path.c_str(), R_OK, AT_EACCESS) == 0;
}

} // namespace dirwise
