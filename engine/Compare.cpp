#include "Compare.h"

#include "ResultsList.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dirwise {

std::string TrimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

std::string RewriteExtensionBox(std::string_view text) {
    if (TrimBlanks(text).empty())
        return std::string(text);
    const auto dot = text.find('.');
    return std::string(dot == std::string_view::npos ? text : text.substr(dot + 1));
}

std::vector<std::string> BuildPatternList(const CompareOptions &options) {
    if (options.excludeMode)
        return {"*.*"};
    std::vector<std::string> patterns;
    for (const std::string &box : options.extensions) {
        std::string ext = TrimBlanks(box);
        if (!ext.empty())
            patterns.push_back("*." + ext);
    }
    return patterns;
}

namespace {

unsigned char foldAscii(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

bool endsWithIgnoringCase(std::string_view name, std::string_view suffix) {
    if (suffix.size() > name.size())
        return false;
    const std::string_view tail = name.substr(name.size() - suffix.size());
    for (std::size_t i = 0; i < suffix.size(); ++i)
        if (foldAscii(static_cast<unsigned char>(tail[i])) !=
            foldAscii(static_cast<unsigned char>(suffix[i])))
            return false;
    return true;
}

} // namespace

bool IsExcluded(std::string_view name, const std::array<std::string, 4> &boxes) {
    for (const std::string &box : boxes) {
        if (TrimBlanks(box).empty())
            continue;
        // An extension, not any ending: "txt" passes over "a.txt" but not "mytxt".
        if (name.size() > box.size() && name[name.size() - box.size() - 1] == '.' &&
            endsWithIgnoringCase(name, box))
            return true;
    }
    return false;
}

std::optional<Result> Classify(bool matchSize, bool matchDate, std::int64_t masterSize,
                               std::int64_t compareSize, std::int64_t masterTime,
                               std::int64_t compareTime) {
    const bool sizeDiffers = matchSize && masterSize != compareSize;
    const bool dateDiffers = matchDate && masterTime != compareTime;
    if (!matchSize && !matchDate)
        return std::nullopt;
    if (sizeDiffers && dateDiffers)
        return Result::SizeAndDate;
    if (sizeDiffers)
        return Result::Size;
    if (dateDiffers)
        return Result::Date;
    return Result::Match;
}

std::vector<std::string> SummaryLines(const CompareSummary &s) {
    if (s.stopped)
        return {"Dirwise stopped."};
    std::vector<std::string> lines = {
        "Dirwise complete.",
        "",
        "Total Files: " + std::to_string(s.total()),
        "Matching Files: " + std::to_string(s.matching()),
        "Different Files: " + std::to_string(s.different),
    };
    if (!s.notCompared.empty())
        lines.push_back("Not Compared: " + std::to_string(s.notCompared.size()));
    return lines;
}

std::string SummaryText(const CompareSummary &s) {
    std::string text;
    for (const std::string &line : SummaryLines(s)) {
        if (!text.empty() || line.empty())
            text += '\r';
        text += line;
    }
    return text;
}

namespace {

constexpr std::uint32_t NoDir = 0xffffffffu;

// An open (O_PATH) descriptor for the directory of the files being compared, on one side.
// Files come grouped by directory and directories depth first, so the next directory is
// usually a child of the current one and is opened relative to it: no path is resolved
// twice, and paths longer than PATH_MAX still work.
class DirHandle {
public:
    explicit DirHandle(std::string root) : m_root(std::move(root)) {
        if (m_root.empty() || m_root.back() != '/')
            m_root += '/';
    }
    ~DirHandle() { close(); }
    DirHandle(const DirHandle &) = delete;
    DirHandle &operator=(const DirHandle &) = delete;

    // Makes `d` current. Returns the descriptor, or -1 with error() telling why.
    int open(const ScanState &state, std::uint32_t d) {
        if (d == m_dir)
            return m_fd;
        const ScanDir &dir = state.ScanDirs[d];
        int fd = -1;
        if (dir.parent != ScanDir::NoParent && dir.parent == m_dir && m_fd >= 0) {
            std::string name = dir.name;
            name.pop_back();
            fd = ::openat(m_fd, name.c_str(), Flags);
        } else {
            const std::string rel = state.RelativeDir(d);
            const std::string full = m_root + rel.substr(1);
            fd = full.size() < PATH_MAX ? ::open(full.c_str(), Flags) : openByParts(rel);
        }
        m_error = fd < 0 ? errno : 0;
        close();
        m_dir = d;
        m_fd = fd;
        return fd;
    }
    [[nodiscard]] int error() const { return m_error; }
    [[nodiscard]] const std::string &root() const { return m_root; }

private:
    static constexpr int Flags = O_PATH | O_DIRECTORY | O_CLOEXEC;

    void close() {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

    // Walks from the root one name at a time: slower, but immune to the path length limit.
    int openByParts(const std::string &rel) {
        int fd = ::open(m_root.c_str(), Flags);
        std::size_t pos = 1;
        while (fd >= 0 && pos < rel.size()) {
            const std::size_t slash = rel.find('/', pos);
            const std::string part = rel.substr(pos, slash - pos);
            const int next = ::openat(fd, part.c_str(), Flags);
            const int saved = errno;
            ::close(fd);
            fd = next;
            errno = saved;
            pos = slash + 1;
        }
        return fd;
    }

    std::string m_root;
    std::uint32_t m_dir = NoDir;
    int m_fd = -1;
    int m_error = 0;
};

bool isDirectory(const std::string &path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

CompareSummary RunCompare(const CompareOptions &options, ScanState &state, ResultsList &list,
                          CompareHost &host) {
    CompareSummary summary;
    list.Clear();
    list.SetRoots(options.masterDir, options.compareDir);
    host.yield();
    ResetScan(state);

    ScanDirectory(state, host, options.masterDir, BuildPatternList(options), options.subDirs);
    summary.listed = state.ScanFileCount;
    summary.notCompared = state.Diagnostics;

    const bool matchSize = options.checkSize == 1;
    const bool matchDate = options.checkDate == 1;
    DirHandle master(options.masterDir);
    DirHandle compare(options.compareDir);
    std::vector<std::uint32_t> listDirs(state.ScanDirs.size(), NoDir);

    auto notCompared = [&](std::size_t i, const DirHandle &side, int err) {
        const std::uint32_t d = state.ScanFileDirs[i];
        std::string rel = state.RelativeDir(d);
        Diagnostic diag{side.root() + rel.substr(1) + state.ScanFileNames[i], err, false};
        host.diagnostic(diag);
        summary.notCompared.push_back(std::move(diag));
        ++summary.notComparedFiles;
    };

    const auto count = static_cast<std::size_t>(state.ScanFileCount);
    for (std::size_t i = 0; i < count; ++i) {
        if (state.StopRequested)
            break;
        state.ComparedCount = static_cast<std::int64_t>(i);
        const std::string &name = state.ScanFileNames[i];
        const std::uint32_t d = state.ScanFileDirs[i];

        if (options.excludeMode && IsExcluded(name, options.extensions)) {
            ++summary.excluded;
            host.yield();
            continue;
        }

        struct stat ms {};
        const int mfd = master.open(state, d);
        if (mfd < 0 || ::fstatat(mfd, name.c_str(), &ms, 0) != 0 || S_ISDIR(ms.st_mode)) {
            const int err = mfd < 0 ? master.error() : (S_ISDIR(ms.st_mode) ? EISDIR : errno);
            notCompared(i, master, err);
            host.yield();
            continue;
        }

        // The compare side is looked up with stat, following links; nothing is opened, so
        // an unreadable file is still compared and a FIFO never blocks.
        struct stat cs {};
        const int cfd = compare.open(state, d);
        int lookupErr = cfd < 0 ? compare.error() : 0;
        if (cfd >= 0 && ::fstatat(cfd, name.c_str(), &cs, 0) != 0)
            lookupErr = errno;
        const bool found = lookupErr == 0 && !S_ISDIR(cs.st_mode);
        if (!found && lookupErr != 0 && lookupErr != ENOENT && lookupErr != ENOTDIR) {
            notCompared(i, compare, lookupErr);
            host.yield();
            continue;
        }
        if (!found && !isDirectory(options.compareDir)) {
            // An unplugged drive must not turn every file into "Not Found".
            notCompared(i, compare, ENOENT);
            host.yield();
            continue;
        }

        std::size_t row = 0;
        bool appended = false;
        if (found) {
            const std::optional<Result> r =
                Classify(matchSize, matchDate, ms.st_size, cs.st_size, ms.st_mtim.tv_sec,
                         cs.st_mtim.tv_sec);
            if (r && *r != Result::Match)
                ++summary.different;
            if (r && !(*r == Result::Match && options.hideMatches)) {
                row = list.Add(*r);
                appended = true;
                list.SetSubItem(row, Column::CompareSize, static_cast<std::int64_t>(cs.st_size));
                list.SetSubItem(row, Column::CompareDate,
                                static_cast<std::int64_t>(cs.st_mtim.tv_sec));
            }
        } else {
            row = list.Add(Result::NotFound);
            appended = true;
            ++summary.different;
        }
        if (appended) {
            if (listDirs[d] == NoDir)
                listDirs[d] = list.InternDirectory(state.RelativeDir(d));
            list.SetDirectory(row, listDirs[d]);
            list.SetSubItem(row, Column::FileName, name);
            list.SetSubItem(row, Column::MasterSize, static_cast<std::int64_t>(ms.st_size));
            list.SetSubItem(row, Column::MasterDate, static_cast<std::int64_t>(ms.st_mtim.tv_sec));
        }
        host.yield();
    }
    state.ComparedCount = state.StopRequested ? state.ComparedCount : state.ScanFileCount;

    summary.stopped = state.StopRequested;
    state.StopRequested = false;
    return summary;
}

} // namespace dirwise
