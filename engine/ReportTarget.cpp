#include "ReportTarget.h"

#include "FileSystem.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace dirwise {
namespace {

std::string folderOf(const std::string &path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// One folder still to be looked through: its path (for opening it when its parent's
// descriptor was not kept) and the parent's place among the open descriptors, or -1.
struct Pending {
    std::string path;
    int parent = -1;
    std::string name;
    bool viaLink = false;
};

// Folders are opened through their parent's descriptor while at most this many are kept,
// deeper ones by their path, so a deep tree never runs out of descriptors.
constexpr std::size_t KeepOpen = 64;

class TreeSearch {
public:
    TreeSearch(const ReportPlace &place, bool followLinks)
        : m_place(place), m_followLinks(followLinks) {}

    bool run(const std::string &root) {
        std::vector<Pending> todo{{root, -1, root, false}};
        while (!todo.empty()) {
            Pending next = std::move(todo.back());
            todo.pop_back();
            UniqueFd fd(next.parent >= 0
                            ? ::openat(m_open[static_cast<std::size_t>(next.parent)].fd.get(),
                                       next.name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                            : ::open(next.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            if (next.parent >= 0)
                --m_open[static_cast<std::size_t>(next.parent)].waiting;
            // The parents whose children have all been opened are done with (depth first:
            // always the last ones).
            while (!m_open.empty() && m_open.back().waiting == 0)
                m_open.pop_back();
            if (fd && enter(std::move(fd), next, todo))
                return true;
        }
        return false;
    }

private:
    // Looks at the open folder `fd`; true when it or one of its files is the place.
    // Otherwise queues the folders below it.
    bool enter(UniqueFd fd, const Pending &here, std::vector<Pending> &todo) {
        struct stat st {};
        if (::fstat(fd.get(), &st) != 0 || !m_seen.insert({st.st_dev, st.st_ino}).second)
            return false;
        if (here.viaLink && IsPseudoFileSystem(fd.get()))
            return false;
        if (m_place.hasFolder && st.st_dev == m_place.folderDev && st.st_ino == m_place.folderIno)
            return true;
        std::vector<std::pair<std::string, bool>> folders;
        if (lookThrough(fd.get(), folders))
            return true;
        int parent = -1;
        if (!folders.empty() && m_open.size() < KeepOpen) {
            m_open.push_back({std::move(fd), folders.size()});
            parent = static_cast<int>(m_open.size()) - 1;
        }
        for (auto it = folders.rbegin(); it != folders.rend(); ++it)
            todo.push_back({here.path + "/" + it->first, parent, it->first, it->second});
        return false;
    }

    bool isPlace(const struct stat &st) const {
        return m_place.exists && st.st_dev == m_place.dev && st.st_ino == m_place.ino;
    }

    // Compares the files of the open folder `fd` with the place and gathers the folders to
    // enter (name, reached through a link). Returns true when a file is the place.
    bool lookThrough(int fd, std::vector<std::pair<std::string, bool>> &folders) {
        DIR *dir = ::fdopendir(::dup(fd));
        if (!dir)
            return false;
        bool hit = false;
        while (const dirent *e = ::readdir(dir)) {
            const std::string name = e->d_name;
            if (name == "." || name == "..")
                continue;
            unsigned char type = e->d_type;
            struct stat st {};
            if (type == DT_UNKNOWN) {
                if (::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
                    continue;
                type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : DT_REG;
            }
            if (type == DT_DIR) {
                folders.emplace_back(name, false);
            } else if (type == DT_LNK) {
                if (::fstatat(fd, name.c_str(), &st, 0) != 0)
                    continue;
                if (!S_ISDIR(st.st_mode))
                    hit = isPlace(st);
                else if (m_followLinks)
                    folders.emplace_back(name, true);
            } else if (m_place.anyFile) {
                hit = ::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && isPlace(st);
            }
            if (hit)
                break;
        }
        ::closedir(dir);
        return hit;
    }

    const ReportPlace &m_place;
    bool m_followLinks;
    std::set<std::pair<dev_t, ino_t>> m_seen;
    struct OpenFolder {
        UniqueFd fd;
        std::size_t waiting; // children not yet opened
    };
    std::vector<OpenFolder> m_open;
};

} // namespace

int LocateReport(const std::string &path, ReportPlace &out) {
    out = ReportPlace{};
    struct stat st {};
    if (const int fd = DescriptorTarget(path); fd >= 0) {
        // Where the file behind a descriptor lies is not known: any file may be it.
        if (::fstat(fd, &st) != 0)
            return errno;
        out.exists = S_ISREG(st.st_mode);
        out.anyFile = out.exists;
        out.dev = st.st_dev;
        out.ino = st.st_ino;
        return 0;
    }
    const std::string target = ResolveWriteTarget(path);
    if (::stat(target.c_str(), &st) == 0) {
        out.exists = true;
        out.dev = st.st_dev;
        out.ino = st.st_ino;
        out.anyFile = !S_ISREG(st.st_mode) || st.st_nlink > 1;
        out.writtenInto = S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode);
    } else if (errno != ENOENT) {
        return errno;
    }
    if (::stat(folderOf(target).c_str(), &st) != 0)
        return errno;
    out.hasFolder = true;
    out.folderDev = st.st_dev;
    out.folderIno = st.st_ino;
    return 0;
}

bool ReportInTree(const ReportPlace &place, const std::string &root, bool followLinks) {
    if (place.writtenInto || (!place.exists && !place.hasFolder))
        return false;
    return TreeSearch(place, followLinks).run(root);
}

UniqueFd MakeStagingFile(const std::string &folder) {
    UniqueFd fd(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (!fd) {
        std::string name = folder + "/.dwc-report.XXXXXX";
        fd.reset(::mkostemp(name.data(), O_CLOEXEC));
        if (fd)
            ::unlink(name.c_str());
    }
    return fd;
}

ByteProducer ReplayStagingFile(int fd) {
    return [fd](const std::function<int(std::string_view)> &write) {
        std::vector<char> buffer(256 * 1024);
        for (off_t at = 0;;) {
            const ssize_t n = ::pread(fd, buffer.data(), buffer.size(), at);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return errno;
            if (n == 0)
                return 0;
            if (const int err = write(std::string_view(buffer.data(), static_cast<std::size_t>(n))))
                return err;
            at += n;
        }
    };
}

} // namespace dirwise
