#include "Facts.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace dirwise::detail {

namespace {
constexpr int HandleFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
} // namespace

DirHandle::DirHandle(std::string root) : m_root(std::move(root)) {
    if (m_root.empty() || m_root.back() != '/')
        m_root += '/';
}

int DirHandle::open(const ScanState &state, std::uint32_t d) {
    if (d == m_dir)
        return m_fd.get();
    const ScanDir &dir = state.ScanDirs[d];
    UniqueFd fd;
    if (dir.parent == ScanDir::NoParent) {
        fd.reset(::open(m_root.c_str(), HandleFlags));
        m_parent.reset();
        m_parentDir = NoDir;
    } else {
        // Files come directory by directory, so the next directory is mostly a child or a
        // sibling of the current one: one lookup, relative to a directory held open.
        if (dir.parent == m_dir && m_fd) {
            m_parent = std::move(m_fd);
            m_parentDir = m_dir;
        } else if (dir.parent != m_parentDir || !m_parent) {
            m_parent = openPath(state, dir.parent);
            m_parentDir = m_parent ? dir.parent : NoDir;
        }
        if (m_parent) {
            std::string name = dir.name;
            name.pop_back();
            fd.reset(::openat(m_parent.get(), name.c_str(), HandleFlags));
        }
    }
    m_error = fd ? 0 : errno;
    m_dir = d;
    m_fd = std::move(fd);
    return m_fd.get();
}

UniqueFd DirHandle::openPath(const ScanState &state, std::uint32_t d) {
    const std::string rel = state.RelativeDir(d);
    const std::string full = m_root + rel.substr(1);
    return full.size() < PATH_MAX ? UniqueFd(::open(full.c_str(), HandleFlags)) : openByParts(rel);
}

UniqueFd DirHandle::openByParts(const std::string &rel) {
    UniqueFd fd(::open(m_root.c_str(), HandleFlags));
    std::size_t pos = 1;
    while (fd && pos < rel.size()) {
        const std::size_t slash = rel.find('/', pos);
        const std::string part = rel.substr(pos, slash - pos);
        UniqueFd next(::openat(fd.get(), part.c_str(), HandleFlags));
        const int saved = errno;
        fd = std::move(next);
        errno = saved;
        pos = slash + 1;
    }
    return fd;
}

bool isDirectory(const std::string &path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

FactReader::FactReader(const ScanState &state, const CompareOptions &options, bool readContents)
    : m_state(state), m_options(options), m_readContents(readContents), m_master(options.masterDir),
      m_compare(options.compareDir), m_compareRoot(options.compareDir) {
    // Blank boxes exclude nothing: with all four blank no name needs the test.
    for (const std::string &box : options.extensions)
        m_excluding = m_excluding || (options.excludeMode && !TrimBlanks(box).empty());
}

ContentChecker &FactReader::checker() {
    if (!m_checker)
        m_checker = std::make_unique<ContentChecker>(BlockSize);
    return *m_checker;
}

void FactReader::Read(std::size_t i, FileFacts &f) {
    f = FileFacts{};
    const char *name = m_state.ScanFileNames[i];
    const std::uint32_t d = m_state.ScanFileDirs[i];
    if (m_excluding && IsExcluded(name, m_options.extensions)) {
        f.excluded = true;
        return;
    }
    struct stat st {};
    const int mfd = m_master.open(m_state, d);
    if (mfd < 0) {
        f.masterError = m_master.error();
        return;
    }
    if (::fstatat(mfd, name, &st, 0) != 0) {
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
    } else if (::fstatat(cfd, name, &st, 0) != 0) {
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
    if (f.compareError == ENOENT) {
        // An unplugged drive must not turn every file into "Not Found". Once the root was
        // there for a file of this directory, the directory's other files take its word.
        if (m_rootSeenFor != d) {
            f.compareRootGone = !isDirectory(m_compareRoot);
            m_rootSeenFor = f.compareRootGone ? NoDir : d;
        }
        return;
    }
    if (!m_readContents || f.compareError != 0 || !f.masterRegular || !f.compareRegular)
        return;
    const PairFacts pair{f.masterSize, f.compareSize, f.masterTime, f.compareTime};
    const std::optional<Verdict> v = Classify(m_options, pair);
    if (!v || !WantsContent(*v, pair))
        return;
    f.content = FileFacts::Content::Pending;
    if (std::max(f.masterSize, f.compareSize) > static_cast<std::int64_t>(BlockSize))
        return; // read by the next free worker, block by block
    ReadContents(i, f, [&f](std::int64_t n) {
        ++f.blocks;
        f.bytes += n;
        return false;
    });
    f.content = FileFacts::Content::Read;
}

void FactReader::ReadContents(std::size_t i, FileFacts &f,
                              const std::function<bool(std::int64_t)> &afterBlock) {
    using Outcome = ContentVerdict::Outcome;
    const std::string name = m_state.ScanFileNames[i];
    const std::uint32_t d = m_state.ScanFileDirs[i];
    const int mfd = m_master.open(m_state, d);
    if (mfd < 0) {
        f.contents = {Outcome::Failed, 0, m_master.error(), true};
        return;
    }
    const int cfd = m_compare.open(m_state, d);
    if (cfd < 0) {
        f.contents = {Outcome::Failed, 0, m_compare.error(), false};
        return;
    }
    f.contents = checker().Compare(mfd, name, cfd, name, afterBlock);
}

FactPrefetcher::FactPrefetcher(const ScanState &state, const CompareOptions &options,
                               std::size_t count, bool readContents)
    : m_state(state), m_options(options), m_count(count), m_readContents(readContents),
      m_size(DefaultPoolSize()) {
    // A handful of files is read faster than threads start, unless contents are read.
    if (m_size.start == 0 || (count < 2 * MinChunk && !readContents)) {
        m_inline = std::make_unique<FactReader>(state, options, readContents);
        m_slots.resize(1);
        return;
    }
    const std::size_t ring = std::min(RingFiles, count);
    m_slots.resize(ring);
    m_filled = std::make_unique<std::atomic<std::size_t>[]>(ring);
    if (readContents)
        m_pairState = std::make_unique<PairState[]>(ring);
    std::lock_guard lock(m_mutex);
    const unsigned start =
        readContents ? m_size.start
                     : static_cast<unsigned>(std::min<std::size_t>(m_size.start, count / MinChunk));
    for (unsigned w = 0; w < start; ++w)
        startWorker();
    if (m_threads.empty()) // out of threads: read on the caller's thread
        m_inline = std::make_unique<FactReader>(state, options, readContents);
}

FactPrefetcher::~FactPrefetcher() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_room.notify_all();
    // No worker starts another once m_stopping is set, so the list stays as it is.
    for (std::thread &t : m_threads)
        t.join();
}

unsigned FactPrefetcher::Workers() const {
    std::lock_guard lock(m_mutex);
    return static_cast<unsigned>(m_threads.size());
}

void FactPrefetcher::startWorker() {
    if (m_stopping || m_threads.size() >= m_size.most)
        return;
    try {
        // The worker's reader is made here, so a worker that starts can always work.
        auto reader = std::make_unique<FactReader>(m_state, m_options, m_readContents);
        m_threads.emplace_back([this, r = std::move(reader)] { work(*r); });
    } catch (const std::exception &) {
        // Out of threads or memory: the workers already there carry on.
    }
}

void FactPrefetcher::wake() {
    // Taking the lock orders this after the consumer's last look at the state: it is either
    // about to look again or already asleep and gets the notification.
    { std::lock_guard lock(m_mutex); }
    m_ready.notify_all();
}

template <class Ready> void FactPrefetcher::waitFor(Ready ready) {
    std::unique_lock lock(m_mutex);
    m_ready.wait(lock, ready);
}

const FileFacts &FactPrefetcher::Get(std::size_t i) {
    if (m_inline) {
        m_inline->Read(i, m_slots[0]);
        return m_slots[0];
    }
    const std::size_t ring = m_slots.size();
    if (i >= m_consumed + MinChunk) {
        std::lock_guard lock(m_mutex);
        m_consumed = i; // the entries of every earlier file may be reused
        if (m_roomWaiters > 0)
            m_room.notify_one();
    }
    std::atomic<std::size_t> &filled = m_filled[i % ring];
    if (filled.load() != i + 1) {
        // The wanted file is published (sequentially consistent) before the state is looked
        // at again, and a worker publishes a file before it reads m_wantFile: one of the two
        // sees the other.
        m_wantFile.store(i);
        waitFor([&] { return filled.load() == i + 1; });
        m_wantFile.store(NoFile);
    }
    return m_slots[i % ring];
}

ContentVerdict FactPrefetcher::Contents(std::size_t i,
                                        const std::function<bool(std::int64_t)> &afterBlock) {
    using Outcome = ContentVerdict::Outcome;
    constexpr auto Full = static_cast<std::int64_t>(2 * FactReader::BlockSize);
    const std::size_t s = i % m_slots.size();
    FileFacts &f = m_slots[m_inline ? 0 : s];
    if (f.content == FileFacts::Content::Read) {
        // Read with the facts: its blocks are told now.
        for (std::int64_t k = 0; k < f.blocks; ++k)
            if (afterBlock(k + 1 < f.blocks ? Full : f.bytes - k * Full))
                return {Outcome::Stopped};
        return f.contents;
    }
    if (m_inline) {
        m_inline->ReadContents(i, f, afterBlock);
        return f.contents;
    }
    {
        std::unique_lock lock(m_mutex);
        if (m_pairs.erase(i) != 0) {
            // No worker has taken it yet (they are all busy): read it here, block by block.
            lock.unlock();
            if (!m_own)
                m_own = std::make_unique<FactReader>(m_state, m_options, m_readContents);
            m_own->ReadContents(i, f, afterBlock);
            return f.contents;
        }
    }
    // A worker reads it. Every block but a file's last is full, so a block is told as soon
    // as the next one is read, and the last once the pair is done.
    PairState &pair = m_pairState[s];
    m_wantPair.store(i);
    for (std::int64_t k = 0;;) {
        const bool done = pair.done.load();
        const std::int64_t blocks = pair.blocks.load();
        for (; k + 1 < blocks || (done && k < blocks); ++k) {
            if (afterBlock(k + 1 < blocks ? Full : f.bytes - k * Full)) {
                m_wantPair.store(NoFile);
                return {Outcome::Stopped};
            }
        }
        if (done) {
            m_wantPair.store(NoFile);
            return f.contents;
        }
        waitFor([&] { return pair.done.load() || pair.blocks.load() > blocks; });
    }
}

void FactPrefetcher::work(FactReader &reader) {
    const std::size_t ring = m_slots.size();
    std::unique_lock lock(m_mutex);
    for (;;) {
        ++m_roomWaiters;
        m_room.wait(lock, [&] {
            return m_stopping || !m_pairs.empty() ||
                   (m_next < m_count && m_next + MaxChunk <= m_consumed + ring) ||
                   (m_next < m_count && m_count <= m_consumed + ring);
        });
        --m_roomWaiters;
        if (m_stopping)
            return;
        if (!m_pairs.empty()) {
            const std::size_t i = *m_pairs.begin();
            m_pairs.erase(m_pairs.begin());
            lock.unlock();
            readPair(reader, i);
        } else {
            // Whole directories while they are small; a chunk ends where a directory does
            // once it holds MinChunk files.
            const std::size_t first = m_next;
            std::size_t last = first + 1;
            while (last < m_count && last - first < MaxChunk &&
                   (last - first < MinChunk ||
                    m_state.ScanFileDirs[last] == m_state.ScanFileDirs[last - 1]))
                ++last;
            m_next = last;
            lock.unlock();
            readChunk(reader, first, last);
        }
        lock.lock();
    }
}

void FactPrefetcher::readChunk(FactReader &reader, std::size_t first, std::size_t last) {
    const std::size_t ring = m_slots.size();
    int slowInARow = 0;
    std::int64_t began = MonotonicNanoseconds();
    for (std::size_t i = first; i < last; ++i) {
        if (m_stopping.load(std::memory_order_relaxed))
            return;
        const std::size_t s = i % ring;
        FileFacts &f = m_slots[s];
        try {
            reader.Read(i, f);
        } catch (const std::exception &) {
            // Out of memory: the file is not compared, and the run goes on.
            f = FileFacts{};
            f.masterError = ENOMEM;
        }
        if (f.content == FileFacts::Content::Pending) {
            m_pairState[s].blocks.store(0);
            m_pairState[s].done.store(false);
            try {
                std::lock_guard lock(m_mutex);
                m_pairs.insert(i);
            } catch (const std::exception &) {
                f.content = FileFacts::Content::Read;
                f.contents = {ContentVerdict::Outcome::Failed, 0, ENOMEM, true};
            }
            m_room.notify_one();
        }
        m_filled[s].store(i + 1);
        const std::int64_t now = MonotonicNanoseconds();
        const bool slow = now - began > SlowCallNanoseconds;
        began = now;
        // Wake a consumer waiting in this chunk once a batch more is read, at the chunk's
        // end, or at once when files take long: it must see a stop in time.
        const std::size_t want = m_wantFile.load();
        if (want >= first && want <= i && (slow || i + 1 == last || i + 1 >= want + WakeBatch))
            wake();
        // Slow answers: the workers wait on the file system, so more of them keep more
        // requests in flight.
        slowInARow = slow ? slowInARow + 1 : 0;
        if (slowInARow >= 4) {
            slowInARow = 0;
            std::lock_guard lock(m_mutex);
            if (m_next < m_count || !m_pairs.empty())
                startWorker();
        }
    }
}

void FactPrefetcher::readPair(FactReader &reader, std::size_t i) {
    const std::size_t s = i % m_slots.size();
    FileFacts &f = m_slots[s];
    PairState &pair = m_pairState[s];
    std::int64_t blocks = 0, bytes = 0;
    try {
        reader.ReadContents(i, f, [&](std::int64_t n) {
            bytes += n;
            pair.blocks.store(++blocks);
            if (m_wantPair.load() == i)
                wake();
            return m_stopping.load(std::memory_order_relaxed);
        });
    } catch (const std::exception &) {
        f.contents = {ContentVerdict::Outcome::Failed, 0, ENOMEM, true};
    }
    f.blocks = blocks;
    f.bytes = bytes;
    pair.done.store(true);
    if (m_wantPair.load() == i)
        wake();
}

} // namespace dirwise::detail
