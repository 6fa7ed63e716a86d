#pragma once

// The facts (and wanted contents) of the listed files, read ahead of the pass loop on the
// run's workers.

#include "PairReader.h"
#include "WorkerPool.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <set>

namespace dirwise {

// Reads the facts (and wanted contents) of the listed files ahead of the pass loop. Stat
// calls are nearly all of a compare's time and each waits on the kernel, so spreading them
// over workers shortens the run; the loop itself, the rows, the yields and the host stay on
// the caller's thread. Workers take chunks of files in order (whole small folders, so each
// is opened once) and stay at most RingFiles ahead, so memory does not grow with the tree;
// a pair larger than one block is read by the next free worker while the others go on.
// The pool grows while the calls are slow. Workers stop between two files or two blocks
// as soon as the loop ends or is stopped.
//
// The ordering invariant with the loop: file i's entry is published (m_filled) only after
// its facts are written, and reused only once the loop has moved past it (m_consumed), so
// the loop reads every file's facts whole, in listing order, whatever order workers finish.
class FactsAhead : private WorkerPool::Client {
public:
    // `count` files of `state` will be asked for, in order; `master` is the tree `state`
    // lists, `compare` the other.
    FactsAhead(WorkerPool &pool, const ScanState &state, const CompareOptions &options,
               std::size_t count, bool readContents, TreeSource &master, TreeSource &compare);
    ~FactsAhead() override;
    FactsAhead(const FactsAhead &) = delete;
    FactsAhead &operator=(const FactsAhead &) = delete;

    // Called on the caller's thread every few milliseconds while Get or Contents waits for a
    // worker (a slow mount, a remote tree still arriving), so the host stays answerable (see
    // CompareHost::waiting).
    void WhileWaiting(std::function<void()> call) { m_whileWaiting = std::move(call); }

    // The facts of file i, waiting until they are read. Files must be asked for in
    // increasing order; the reference stays valid until the next call.
    const FileFacts &Get(std::size_t i);

    // For file i just returned by Get with contents Read or Pending: the verdict on its
    // contents, calling `afterBlock` with the bytes of each equal block pair in order
    // (waiting for a worker still reading it). When `afterBlock` returns true the pair is
    // abandoned: Stopped.
    [[nodiscard]] ContentVerdict Contents(std::size_t i,
                                          const std::function<bool(std::int64_t)> &afterBlock);

private:
    // Files a worker takes at once: whole folders where they are small, so that each folder
    // is opened by one worker, and at most MaxChunk.
    static constexpr std::size_t MinChunk = 32;
    static constexpr std::size_t MaxChunk = 256;
    static constexpr std::size_t RingFiles = 16384; // how far the workers may read ahead
    static constexpr std::size_t WakeBatch = 64;    // files read before a waiting loop wakes
    static constexpr std::size_t NoFile = static_cast<std::size_t>(-1);

    // Progress of one pending pair's contents.
    struct PairState {
        std::atomic<std::int64_t> blocks{0};
        std::atomic<bool> done{false};
    };

    [[nodiscard]] bool HasWork() const override; // lock held
    bool Work(std::unique_lock<std::mutex> &lock, unsigned worker) override;
    [[nodiscard]] std::unique_ptr<PairReader> newReader();
    void readChunk(PairReader &reader, std::size_t first, std::size_t last);
    // Publishes file i read into `f` (a Pending pair goes to the workers' list).
    void publish(std::size_t i, FileFacts &f);
    void readPair(PairReader &reader, std::size_t i);
    // Replays the blocks of pair i as a worker reads them; see Contents.
    [[nodiscard]] ContentVerdict followPair(std::size_t i,
                                            const std::function<bool(std::int64_t)> &afterBlock);
    // Wakes the loop when it sleeps (lock not held).
    void wake();
    template <class Ready> void waitFor(Ready ready);

    WorkerPool &m_pool;
    const ScanState &m_state;
    const CompareOptions &m_options;
    const std::size_t m_count;
    const bool m_readContents;
    TreeSource &m_masterSource;
    TreeSource &m_compareSource;
    std::mutex &m_mutex;                                  // the pool's
    std::unique_ptr<PairReader> m_inline;                 // no workers: the caller reads
    std::unique_ptr<PairReader> m_own;                    // the caller reads a pair nobody took
    std::vector<std::unique_ptr<PairReader>> m_readers;   // one per worker, made on its first task
    std::vector<FileFacts> m_slots;                       // file i in entry i % RingFiles
    std::unique_ptr<std::atomic<std::size_t>[]> m_filled; // i + 1 once entry holds file i
    std::unique_ptr<PairState[]> m_pairState;             // one per entry
    std::set<std::size_t> m_pairs;                        // pending pairs no worker has taken
    std::size_t m_next = 0;                               // first file not yet handed out
    std::size_t m_consumed = 0; // the loop has moved past every file below this
    std::atomic<bool> m_stopping{false};
    // The file (or, for m_wantPair, the pair) the loop sleeps on m_ready for.
    std::atomic<std::size_t> m_wantFile{NoFile};
    std::atomic<std::size_t> m_wantPair{NoFile};
    std::condition_variable m_ready; // the loop waits for a file or a block
    std::function<void()> m_whileWaiting;
};

} // namespace dirwise
