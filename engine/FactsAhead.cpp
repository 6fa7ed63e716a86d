#include "FactsAhead.h"

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace dirwise {

FactsAhead::FactsAhead(WorkerPool &pool, const ScanState &state, const CompareOptions &options,
                       std::size_t count, bool readContents, TreeSource &master,
                       TreeSource &compare)
    : m_pool(pool), m_state(state), m_options(options), m_count(count),
      m_readContents(readContents), m_masterSource(master), m_compareSource(compare),
      m_mutex(pool.Mutex()) {
    const PoolSize size = pool.Size();
    // A handful of files is read faster than threads start, unless contents are read.
    const bool workers = size.start > 0 && (count >= 2 * MinChunk || readContents);
    if (workers) {
        const std::size_t ring = std::min(RingFiles, count);
        m_slots.resize(ring);
        m_filled = std::make_unique<std::atomic<std::size_t>[]>(ring);
        if (readContents)
            m_pairState = std::make_unique<PairState[]>(ring);
        m_readers.resize(size.most);
        const unsigned start =
            readContents
                ? size.start
                : static_cast<unsigned>(std::min<std::size_t>(size.start, count / MinChunk));
        unsigned running = 0;
        {
            std::lock_guard lock(m_mutex);
            if (m_pool.Ensure(start))
                running = m_pool.Workers();
        }
        // The readers of the workers there now are made here, so that those workers can
        // always work and the loop never waits for a file nobody can read. A worker started
        // later makes its own, or leaves the work to the others.
        unsigned ready = 0;
        try {
            for (; ready < running; ++ready)
                m_readers[ready] = newReader();
        } catch (const std::exception &) {
        }
        if (ready > 0) {
            m_pool.Attach(*this);
            return;
        }
    }
    // No workers (out of threads too): read on the caller's thread.
    m_inline = newReader();
    m_slots.assign(1, FileFacts{});
}

FactsAhead::~FactsAhead() {
    if (m_inline)
        return;
    m_stopping = true;
    m_pool.Detach();
}

std::unique_ptr<PairReader> FactsAhead::newReader() {
    return std::make_unique<PairReader>(m_state, m_options, m_readContents, m_masterSource,
                                        m_compareSource);
}

bool FactsAhead::HasWork() const {
    const std::size_t ring = m_slots.size();
    return !m_pairs.empty() || (m_next < m_count && (m_next + MaxChunk <= m_consumed + ring ||
                                                     m_count <= m_consumed + ring));
}

bool FactsAhead::Work(std::unique_lock<std::mutex> &lock, unsigned worker) {
    std::unique_ptr<PairReader> &reader = m_readers[worker];
    if (!reader) {
        try {
            reader = newReader();
        } catch (const std::exception &) {
            return false; // out of memory: the other workers, or the loop, read the rest
        }
    }
    if (!m_pairs.empty()) {
        const std::size_t i = *m_pairs.begin();
        m_pairs.erase(m_pairs.begin());
        lock.unlock();
        readPair(*reader, i);
    } else {
        // Whole folders while they are small; a chunk ends where a folder does once it holds
        // MinChunk files.
        const std::size_t first = m_next;
        std::size_t last = first + 1;
        while (last < m_count && last - first < MaxChunk &&
               (last - first < MinChunk ||
                m_state.ScanFileDirs[last] == m_state.ScanFileDirs[last - 1]))
            ++last;
        m_next = last;
        lock.unlock();
        readChunk(*reader, first, last);
    }
    lock.lock();
    return true;
}

void FactsAhead::wake() {
    // Taking the lock orders this after the loop's last look at the state: it is either
    // about to look again or already asleep and gets the notification.
    { std::lock_guard lock(m_mutex); }
    m_ready.notify_all();
}

template <class Ready> void FactsAhead::waitFor(Ready ready) {
    std::unique_lock lock(m_mutex);
    if (!m_whileWaiting) {
        m_ready.wait(lock, ready);
        return;
    }
    while (!m_ready.wait_for(lock, std::chrono::milliseconds(20), ready)) {
        lock.unlock();
        m_whileWaiting();
        lock.lock();
    }
}

void FactsAhead::readChunk(PairReader &reader, std::size_t first, std::size_t last) {
    int slowInARow = 0;
    std::int64_t began = MonotonicNanoseconds();
    for (std::size_t i = first; i < last; ++i) {
        if (m_stopping.load(std::memory_order_relaxed))
            return;
        FileFacts &f = m_slots[i % m_slots.size()];
        try {
            reader.Read(i, f);
        } catch (const std::exception &) {
            // Out of memory: the file is not compared, and the run goes on.
            f = FileFacts{};
            f.masterError = ENOMEM;
        }
        publish(i, f);
        const std::int64_t now = MonotonicNanoseconds();
        const bool slow = now - began > SlowCallNanoseconds;
        began = now;
        // Wake a loop waiting in this chunk once a batch more is read, at the chunk's end,
        // or at once when files take long: it must see a stop in time.
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
                m_pool.Grow();
        }
    }
}

void FactsAhead::publish(std::size_t i, FileFacts &f) {
    const std::size_t s = i % m_slots.size();
    if (f.content == FileFacts::Content::Pending) {
        m_pairState[s].blocks.store(0);
        m_pairState[s].done.store(false);
        try {
            std::lock_guard lock(m_mutex);
            m_pairs.insert(i);
            m_pool.Wake(1);
        } catch (const std::exception &) {
            f.content = FileFacts::Content::Read;
            f.contents = {ContentVerdict::Outcome::Failed, 0, ENOMEM, true};
        }
    }
    m_filled[s].store(i + 1);
}

void FactsAhead::readPair(PairReader &reader, std::size_t i) {
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

const FileFacts &FactsAhead::Get(std::size_t i) {
    if (m_inline) {
        m_inline->Read(i, m_slots[0]);
        return m_slots[0];
    }
    const std::size_t ring = m_slots.size();
    if (i >= m_consumed + MinChunk) {
        std::lock_guard lock(m_mutex);
        m_consumed = i; // the entries of every earlier file may be reused
        m_pool.Wake(1);
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

ContentVerdict FactsAhead::Contents(std::size_t i,
                                    const std::function<bool(std::int64_t)> &afterBlock) {
    using Outcome = ContentVerdict::Outcome;
    constexpr auto Full = static_cast<std::int64_t>(2 * PairReader::BlockSize);
    FileFacts &f = m_slots[m_inline ? 0 : i % m_slots.size()];
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
    std::unique_lock lock(m_mutex);
    if (m_pairs.erase(i) != 0) {
        // No worker has taken it yet (they are all busy): read it here, block by block.
        lock.unlock();
        if (!m_own)
            m_own = newReader();
        m_own->ReadContents(i, f, afterBlock);
        return f.contents;
    }
    lock.unlock();
    return followPair(i, afterBlock);
}

ContentVerdict FactsAhead::followPair(std::size_t i,
                                      const std::function<bool(std::int64_t)> &afterBlock) {
    // A worker reads it. Every block but a file's last is full, so a block is told as soon
    // as the next one is read, and the last once the pair is done.
    constexpr auto Full = static_cast<std::int64_t>(2 * PairReader::BlockSize);
    const FileFacts &f = m_slots[i % m_slots.size()];
    PairState &pair = m_pairState[i % m_slots.size()];
    m_wantPair.store(i);
    for (std::int64_t k = 0;;) {
        const bool done = pair.done.load();
        const std::int64_t blocks = pair.blocks.load();
        for (; k + 1 < blocks || (done && k < blocks); ++k) {
            if (afterBlock(k + 1 < blocks ? Full : f.bytes - k * Full)) {
                m_wantPair.store(NoFile);
                return {ContentVerdict::Outcome::Stopped};
            }
        }
        if (done) {
            m_wantPair.store(NoFile);
            return f.contents;
        }
        waitFor([&] { return pair.done.load() || pair.blocks.load() > blocks; });
    }
}

} // namespace dirwise
