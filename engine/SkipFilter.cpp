#include "SkipFilter.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dirwise {

namespace {

// Opens folder `relative` ("a/b/") below the open folder `root`; a path too long for one
// call is opened a name at a time. Returns the descriptor or -1 with errno set.
int OpenFolder(int root, std::string_view relative) {
    constexpr int Flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    const std::string whole(relative);
    int fd = ::openat(root, whole.empty() ? "." : whole.c_str(), Flags);
    if (fd >= 0 || errno != ENAMETOOLONG)
        return fd;
    fd = ::dup(root);
    for (std::size_t at = 0; fd >= 0 && at < relative.size();) {
        const std::size_t slash = relative.find('/', at);
        const std::string name(relative.substr(at, slash - at));
        const int next = ::openat(fd, name.c_str(), Flags);
        const int saved = errno;
        ::close(fd);
        fd = next;
        errno = saved;
        at = slash == std::string_view::npos ? relative.size() : slash + 1;
    }
    return fd;
}

} // namespace

SkipFilter::SkipFilter(std::string_view lines, bool useGitignore, std::string masterRoot,
                       bool extras)
    : m_useGitignore(useGitignore), m_extras(extras) {
    IgnoreList root;
    root.AddLines(lines, false);
    m_inForce = useGitignore || !root.empty();
    if (!m_inForce)
        return;
    if (masterRoot.empty())
        masterRoot = ".";
    m_masterFd = ::open(masterRoot.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (useGitignore && m_masterFd >= 0) {
        std::string bytes;
        if (const int err = ReadIgnoreFile(m_masterFd, bytes); err != 0 && !extras)
            m_unreadable.emplace_back(std::string(IgnoreFileName), err);
        root.AddLines(bytes);
    }
    m_levels.push_back({"", std::make_shared<const SkipScope>(nullptr, std::move(root))});
}

SkipFilter::~SkipFilter() {
    if (m_masterFd >= 0)
        ::close(m_masterFd);
}

// The scope of folder `relativeDir` ("" or "a/b/"): kept per depth, so a depth-first walk
// reads each master .gitignore once, when it first asks about the folder's entries.
const std::shared_ptr<const SkipScope> &SkipFilter::scopeOf(std::string_view relativeDir) {
    const auto depth =
        static_cast<std::size_t>(std::count(relativeDir.begin(), relativeDir.end(), '/'));
    if (depth < m_levels.size() && m_levels[depth].relative == relativeDir)
        return m_levels[depth].scope;
    const std::size_t cut = relativeDir.rfind('/', relativeDir.size() - 2);
    const std::string_view parentDir =
        cut == std::string_view::npos ? std::string_view() : relativeDir.substr(0, cut + 1);
    std::shared_ptr<const SkipScope> scope = scopeOf(parentDir);
    if (m_useGitignore && m_masterFd >= 0) {
        std::string bytes;
        int err = 0;
        if (const int fd = OpenFolder(m_masterFd, relativeDir); fd >= 0) {
            err = ReadIgnoreFile(fd, bytes);
            ::close(fd);
        }
        if (err != 0 && !m_extras)
            m_unreadable.emplace_back(std::string(relativeDir) + std::string(IgnoreFileName), err);
        IgnoreList list{std::string(relativeDir)};
        list.AddLines(bytes);
        scope = SkipScope::Enter(scope, std::move(list));
    }
    m_levels.resize(depth + 1);
    m_levels[depth] = Level{std::string(relativeDir), std::move(scope)};
    return m_levels[depth].scope;
}

int SkipFilter::masterType(std::string_view path) const {
    struct stat st {};
    if (::fstatat(m_masterFd, std::string(path).c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return -1;
    return S_ISDIR(st.st_mode) ? 1 : 0;
}

bool SkipFilter::skips(std::string_view relativeDir, std::string_view path, bool isDir) {
    const SkipScope &scope = *scopeOf(relativeDir);
    if (!m_extras)
        return scope.Skips(path, isDir);
    // The compare tree's walk: a rule for folders only asks the master entry's own type,
    // where the master has that entry.
    const bool asFolder = scope.Skips(path, true), asOther = scope.Skips(path, false);
    if (asFolder == asOther)
        return asFolder;
    const int master = masterType(path);
    return master < 0 ? (isDir ? asFolder : asOther) : (master == 1 ? asFolder : asOther);
}

bool SkipFilter::SkipFolder(std::string_view relative, bool viaLink) {
    if (!m_inForce || relative.empty())
        return false;
    const std::string_view path = relative.substr(0, relative.size() - 1);
    const std::size_t slash = path.rfind('/');
    const std::size_t nameAt = slash == std::string_view::npos ? 0 : slash + 1;
    if (m_useGitignore && path.substr(nameAt) == ".git")
        return true; // never a row, never counted
    if (!skips(path.substr(0, nameAt), path, !viaLink))
        return false;
    if (!m_extras)
        ++m_skippedFolders;
    return true;
}

bool SkipFilter::SkipFile(std::string_view relativeDir, std::string_view name) {
    if (!m_inForce)
        return false;
    m_path.assign(relativeDir);
    m_path += name;
    if (!skips(relativeDir, m_path, false))
        return false;
    if (!m_extras)
        ++m_skippedFiles;
    return true;
}

} // namespace dirwise
