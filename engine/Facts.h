#pragma once

// The engine's own machinery for reading file metadata on both sides: directory handles
// that follow the listing, the facts of one listed file, and the read-ahead on worker
// threads. Only the engine includes this.

#include "Compare.h"
#include "FileScan.h"
#include "Io.h"

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

namespace dirwise::detail {

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

inline bool isDirectory(const std::string &path) {
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
    bool masterRegular = false; // regular files (after links): the only ones ever opened
    bool compareRegular = false;
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
        f.masterRegular = S_ISREG(st.st_mode);

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
            f.compareRegular = S_ISREG(st.st_mode);
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

} // namespace dirwise::detail
