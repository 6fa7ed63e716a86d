#include "Compare.h"
#include "Ascii.h"
#include "FileScan.h"
#include "Io.h"

#include "ResultsList.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace dirwise {

std::string NormalizeRoot(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

int CheckRoot(const std::string &path) {
    if (path.empty())
        return ENOENT;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return errno;
    if (!S_ISDIR(st.st_mode))
        return ENOTDIR;
    return ::faccessat(AT_FDCWD, path.c_str(), R_OK | X_OK, AT_EACCESS) == 0 ? 0 : errno;
}

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

bool endsWithIgnoringCase(std::string_view name, std::string_view suffix) {
    if (suffix.size() > name.size())
        return false;
    const std::string_view tail = name.substr(name.size() - suffix.size());
    for (std::size_t i = 0; i < suffix.size(); ++i)
        if (FoldAscii(tail[i]) != FoldAscii(suffix[i]))
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

    // Makes `d` current. Returns the descriptor, or -1 with error() telling why.
    int open(const ScanState &state, std::uint32_t d) {
        if (d == m_dir)
            return m_fd.get();
        const ScanDir &dir = state.ScanDirs[d];
        UniqueFd fd;
        if (dir.parent != ScanDir::NoParent && dir.parent == m_dir && m_fd) {
            std::string name = dir.name;
            name.pop_back();
            fd.reset(::openat(m_fd.get(), name.c_str(), Flags));
        } else {
            const std::string rel = state.RelativeDir(d);
            const std::string full = m_root + rel.substr(1);
            fd = full.size() < PATH_MAX ? UniqueFd(::open(full.c_str(), Flags)) : openByParts(rel);
        }
        m_error = fd ? 0 : errno;
        m_dir = d;
        m_fd = std::move(fd);
        return m_fd.get();
    }
    [[nodiscard]] int error() const { return m_error; }

private:
    static constexpr int Flags = O_PATH | O_DIRECTORY | O_CLOEXEC;

    // Walks from the root one name at a time: slower, but immune to the path length limit.
    // On failure errno tells why.
    UniqueFd openByParts(const std::string &rel) {
        UniqueFd fd(::open(m_root.c_str(), Flags));
        std::size_t pos = 1;
        while (fd && pos < rel.size()) {
            const std::size_t slash = rel.find('/', pos);
            const std::string part = rel.substr(pos, slash - pos);
            UniqueFd next(::openat(fd.get(), part.c_str(), Flags));
            const int saved = errno;
            fd = std::move(next);
            errno = saved;
            pos = slash + 1;
        }
        return fd;
    }

    std::string m_root;
    std::uint32_t m_dir = NoDir;
    UniqueFd m_fd;
    int m_error = 0;
};

bool isDirectory(const std::string &path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// What stat said about one listed file on both sides.
struct FileFacts {
    std::int64_t masterSize = 0;
    std::int64_t masterTime = 0;
    std::int64_t compareSize = 0;
    std::int64_t compareTime = 0;
    int masterError = 0;  // errno when the master file's metadata could not be read
    int compareError = 0; // 0 found; ENOENT not found; any other errno: not compared
    bool excluded = false;
};

// Reads the facts of listed files with stat, never opening a file. Each reader keeps its
// own directory handles, so readers share nothing but the scan's read-only lists.
class FactReader {
public:
    FactReader(const ScanState &state, const CompareOptions &options)
        : m_state(state), m_options(options), m_master(options.masterDir),
          m_compare(options.compareDir) {}

    void read(std::size_t i, FileFacts &f) {
        f = FileFacts{};
        const std::string &name = m_state.ScanFileNames[i];
        const std::uint32_t d = m_state.ScanFileDirs[i];
        if (m_options.excludeMode && IsExcluded(name, m_options.extensions)) {
            f.excluded = true;
            return;
        }
        struct stat st {};
        const int mfd = m_master.open(m_state, d);
        if (mfd < 0) {
            f.masterError = m_master.error();
            return;
        }
        if (::fstatat(mfd, name.c_str(), &st, 0) != 0) {
            f.masterError = errno;
            return;
        }
        if (S_ISDIR(st.st_mode)) {
            f.masterError = EISDIR; // replaced by a directory since it was listed
            return;
        }
        f.masterSize = st.st_size;
        f.masterTime = st.st_mtim.tv_sec;

        // Following links: a link to a file compares its target, a dangling link is not
        // found. A directory in the file's place is not the file either.
        const int cfd = m_compare.open(m_state, d);
        if (cfd < 0) {
            f.compareError = m_compare.error();
        } else if (::fstatat(cfd, name.c_str(), &st, 0) != 0) {
            f.compareError = errno;
        } else if (S_ISDIR(st.st_mode)) {
            f.compareError = ENOENT;
        } else {
            f.compareSize = st.st_size;
            f.compareTime = st.st_mtim.tv_sec;
        }
        if (f.compareError == ENOTDIR)
            f.compareError = ENOENT;
    }

private:
    const ScanState &m_state;
    const CompareOptions &m_options;
    DirHandle m_master;
    DirHandle m_compare;
};

// Reads the facts of the listed files ahead of the compare loop on worker threads. Stat
// calls are nearly all of a compare's time and each waits on the kernel, so spreading them
// over the cores shortens the run; the loop itself, the rows, the yields and the host stay
// on the caller's thread. Workers stay at most a bounded window ahead, so memory does not
// grow with the tree, and they stop as soon as the loop ends or is stopped.
class FactPrefetcher {
public:
    FactPrefetcher(const ScanState &state, const CompareOptions &options, std::size_t count)
        : m_state(state), m_options(options), m_count(count),
          m_chunks((count + ChunkSize - 1) / ChunkSize) {
        const unsigned cores = std::thread::hardware_concurrency();
        const unsigned workers = std::min(cores > 1 ? cores : 0u, MaxWorkers);
        if (workers == 0 || m_chunks < 2) {
            m_inline = std::make_unique<FactReader>(state, options);
            return;
        }
        m_slots.resize(RingChunks * ChunkSize);
        m_ready.assign(RingChunks, NoChunk);
        try {
            for (unsigned w = 0; w < workers; ++w)
                m_threads.emplace_back([this] { work(); });
        } catch (const std::system_error &) {
            // Out of threads: the workers that started carry on; with none, read inline.
            if (m_threads.empty())
                m_inline = std::make_unique<FactReader>(state, options);
        }
    }

    ~FactPrefetcher() {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_changed.notify_all();
        for (std::thread &t : m_threads)
            t.join();
    }

    FactPrefetcher(const FactPrefetcher &) = delete;
    FactPrefetcher &operator=(const FactPrefetcher &) = delete;

    // The facts of file i. Files must be asked for in increasing order.
    const FileFacts &get(std::size_t i) {
        if (m_inline) {
            m_inline->read(i, m_single);
            return m_single;
        }
        const std::size_t chunk = i / ChunkSize;
        std::unique_lock lock(m_mutex);
        if (chunk != m_consumed) {
            m_consumed = chunk; // every earlier chunk's slot may be reused
            m_changed.notify_all();
        }
        m_changed.wait(lock, [&] { return m_ready[chunk % RingChunks] == chunk; });
        return m_slots[(chunk % RingChunks) * ChunkSize + i % ChunkSize];
    }

private:
    static constexpr std::size_t ChunkSize = 256;
    static constexpr std::size_t RingChunks = 64;
    static constexpr unsigned MaxWorkers = 4;
    static constexpr std::size_t NoChunk = static_cast<std::size_t>(-1);

    void work() {
        FactReader reader(m_state, m_options);
        for (;;) {
            const std::size_t chunk = m_next.fetch_add(1);
            if (chunk >= m_chunks)
                return;
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [&] { return m_stopping || chunk < m_consumed + RingChunks; });
                if (m_stopping)
                    return;
            }
            const std::size_t first = chunk * ChunkSize;
            const std::size_t last = std::min(first + ChunkSize, m_count);
            FileFacts *slot = &m_slots[(chunk % RingChunks) * ChunkSize];
            for (std::size_t i = first; i < last; ++i) {
                if (m_stopping.load(std::memory_order_relaxed))
                    return;
                reader.read(i, slot[i - first]);
            }
            {
                std::lock_guard lock(m_mutex);
                m_ready[chunk % RingChunks] = chunk;
            }
            m_changed.notify_all();
        }
    }

    const ScanState &m_state;
    const CompareOptions &m_options;
    const std::size_t m_count;
    const std::size_t m_chunks;
    std::unique_ptr<FactReader> m_inline;
    FileFacts m_single;
    std::vector<FileFacts> m_slots;
    std::vector<std::size_t> m_ready; // which chunk each slot holds, once it is complete
    std::size_t m_consumed = 0;       // chunks below this one are done with
    std::atomic<std::size_t> m_next{0};
    std::atomic<bool> m_stopping{false};
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::thread> m_threads;
};

} // namespace

CompareSummary RunCompare(const CompareOptions &given, ResultsList &list, CompareHost &host) {
    CompareOptions options = given;
    options.masterDir = NormalizeRoot(options.masterDir);
    options.compareDir = NormalizeRoot(options.compareDir);
    CompareSummary summary;
    list.Clear();
    list.SetRoots(options.masterDir, options.compareDir);
    Progress progress;
    if (host.yield(progress)) {
        summary.stopped = true;
        return summary;
    }

    ScanState state;
    ScanDirectory(state, host, options.masterDir, BuildPatternList(options), options.subDirs);
    summary.listed = state.ScanFileCount;
    summary.notCompared = state.Diagnostics;
    progress = Progress{Phase::Comparing, state.ScanFileCount, 0, 0};
    // One yield between the phases: the window shows the new phase, and a stop that came
    // with the listing's last entry is seen before any file is compared.
    bool stop = state.Stopped || host.yield(progress);

    std::vector<std::uint32_t> listDirs(state.ScanDirs.size(), NoDir);
    std::string masterRoot = options.masterDir, compareRoot = options.compareDir;
    for (std::string *root : {&masterRoot, &compareRoot})
        if (root->empty() || root->back() != '/')
            *root += '/';

    auto notCompared = [&](std::size_t i, const std::string &root, int err) {
        Diagnostic diag{root + state.RelativeDir(state.ScanFileDirs[i]).substr(1) +
                            state.ScanFileNames[i],
                        err, false};
        host.diagnostic(diag);
        summary.notCompared.push_back(std::move(diag));
        ++summary.notComparedFiles;
    };

    const auto count = static_cast<std::size_t>(state.ScanFileCount);
    if (count > 0 && !stop) {
        FactPrefetcher facts(state, options, count);
        for (std::size_t i = 0; i < count && !stop; ++i) {
            const FileFacts &f = facts.get(i);
            if (f.excluded) {
                ++summary.excluded;
            } else if (f.masterError != 0) {
                notCompared(i, masterRoot, f.masterError);
            } else if (f.compareError != 0 && f.compareError != ENOENT) {
                notCompared(i, compareRoot, f.compareError);
            } else if (f.compareError == ENOENT && !isDirectory(options.compareDir)) {
                // An unplugged drive must not turn every file into "Not Found".
                notCompared(i, compareRoot, ENOENT);
            } else {
                std::optional<Result> r = Result::NotFound;
                if (f.compareError == 0)
                    r = Classify(options.matchSize, options.matchDate, f.masterSize,
                                 f.compareSize, f.masterTime, f.compareTime);
                if (r && *r != Result::Match)
                    ++summary.different;
                if (r && !(*r == Result::Match && options.hideMatches)) {
                    const std::uint32_t d = state.ScanFileDirs[i];
                    if (listDirs[d] == NoDir)
                        listDirs[d] = list.InternDirectory(state.RelativeDir(d));
                    list.Append(ResultRow{.name = state.ScanFileNames[i],
                                          .masterSize = f.masterSize,
                                          .masterTime = f.masterTime,
                                          .compareSize = f.compareSize,
                                          .compareTime = f.compareTime,
                                          .dir = listDirs[d],
                                          .result = *r});
                }
            }
            progress.compared = static_cast<std::int64_t>(i) + 1;
            stop = host.yield(progress);
        }
    }
    summary.stopped = stop;
    return summary;
}

} // namespace dirwise
