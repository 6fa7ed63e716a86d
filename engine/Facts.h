#pragma once

// The engine's own machinery for reading file metadata (and, when asked, contents) on both
// sides: directory handles that follow the listing, the facts of one listed file, and the
// read-ahead on worker threads. Only the engine includes this.

#include "Compare.h"
#include "ContentCheck.h"
#include "FileScan.h"
#include "Io.h"
#include "Listing.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

namespace dirwise::detail {

constexpr std::uint32_t NoDir = 0xffffffffu;

// An open (O_PATH) descriptor for the directory of the files being compared, on one side.
// Files come grouped by directory and directories depth first, so the next directory is
// usually a child or a sibling of the current one and is opened relative to it or to its
// parent, which the handle keeps open: no path is resolved twice, and paths longer than
// PATH_MAX still work.
class DirHandle {
public:
    explicit DirHandle(std::string root);

    // Makes directory `d` of `state` current. Returns the descriptor (owned by the handle,
    // valid until the next call), or -1 with error() telling why.
    int open(const ScanState &state, std::uint32_t d);
    [[nodiscard]] int error() const { return m_error; }

private:
    // Opens directory d by its path from the root. On failure errno tells why.
    UniqueFd openPath(const ScanState &state, std::uint32_t d);
    // Walks from the root one name at a time: slower, but immune to the path length limit.
    // On failure errno tells why.
    UniqueFd openByParts(const std::string &rel);

    std::string m_root;
    std::uint32_t m_dir = NoDir;
    UniqueFd m_fd;
    std::uint32_t m_parentDir = NoDir; // the current directory's parent, held open
    UniqueFd m_parent;
    int m_error = 0;
};

// Whether `path` names a directory (after links).
[[nodiscard]] bool isDirectory(const std::string &path);

// What stat said about one listed file on both sides, and what its contents were found to
// be when they were read.
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
    bool compareRootGone = false; // not found, and the compare root is no directory now

    // Contents: not wanted, read (in `contents`), or being read by a worker (see
    // FactPrefetcher::Contents).
    enum class Content : std::uint8_t { NotWanted, Read, Pending } content = Content::NotWanted;
    ContentVerdict contents;
    std::int64_t blocks = 0; // block pairs found equal before the verdict, for the yields
    std::int64_t bytes = 0;  // their bytes, both sides together
};

// Reads the facts of listed files with stat; with `readContents`, also decides by the
// options (Classify, WantsContent) whether a pair's contents are wanted and reads those
// that fit in one block. Each reader keeps its own directory handles, so readers share
// nothing but the scan's read-only lists.
class FactReader {
public:
    FactReader(const ScanState &state, const CompareOptions &options, bool readContents);

    // Fills `f` for listed file i. A pair whose contents are wanted but larger than a block
    // is left Pending for ReadContents.
    void Read(std::size_t i, FileFacts &f);

    // Reads the contents of pending pair i into `f`, calling `afterBlock` with the bytes of
    // every equal block pair (true from it stops the read: Stopped).
    void ReadContents(std::size_t i, FileFacts &f,
                      const std::function<bool(std::int64_t)> &afterBlock);

    // The size of one read on each side.
    static constexpr std::size_t BlockSize = 256 * 1024;

private:
    ContentChecker &checker();

    const ScanState &m_state;
    const CompareOptions &m_options;
    const bool m_readContents;
    bool m_excluding = false; // some extension is excluded
    DirHandle m_master;
    DirHandle m_compare;
    std::string m_compareRoot;
    std::uint32_t m_rootSeenFor = NoDir;       // the compare root was there for this directory
    std::unique_ptr<ContentChecker> m_checker; // made when the first pair is read
};

// Reads the facts (and wanted contents) of the listed files ahead of the compare loop on
// worker threads. Stat calls are nearly all of a compare's time and each waits on the
// kernel, so spreading them over workers shortens the run; the loop itself, the rows, the
// yields and the host stay on the caller's thread. Workers take chunks of files in order
// (whole small directories, so each is opened once) and stay at most a bounded window
// ahead, so memory does not grow with the tree; a pair
// larger than one block is read by the next free worker while the others go on. The pool
// starts with two workers per core and grows (up to 32) while the calls are slow, keeping
// more requests in flight on a network or FUSE mount. Workers stop between two files or
// two blocks as soon as the loop ends or is stopped.
class FactPrefetcher {
public:
    // `count` files of `state` will be asked for, in order.
    FactPrefetcher(const ScanState &state, const CompareOptions &options, std::size_t count,
                   bool readContents);
    ~FactPrefetcher();
    FactPrefetcher(const FactPrefetcher &) = delete;
    FactPrefetcher &operator=(const FactPrefetcher &) = delete;

    // The facts of file i, waiting until they are read. Files must be asked for in
    // increasing order; the reference stays valid until the next call.
    const FileFacts &Get(std::size_t i);

    // For file i just returned by Get with contents Read or Pending: the verdict on its
    // contents, calling `afterBlock` with the bytes of each equal block pair in order
    // (waiting for a worker still reading it). When `afterBlock` returns true the pair is
    // abandoned: Stopped.
    [[nodiscard]] ContentVerdict Contents(std::size_t i,
                                          const std::function<bool(std::int64_t)> &afterBlock);

    // Workers started so far (for tests and benchmarks).
    [[nodiscard]] unsigned Workers() const;

private:
    // Files a worker takes at once: whole directories where they are small, so that each
    // directory is opened by one worker, and at most MaxChunk.
    static constexpr std::size_t MinChunk = 32;
    static constexpr std::size_t MaxChunk = 256;
    static constexpr std::size_t RingFiles = 16384; // how far the workers may read ahead
    static constexpr std::size_t WakeBatch = 64;    // files read before a waiting consumer wakes
    static constexpr std::size_t NoFile = static_cast<std::size_t>(-1);

    // Progress of one pending pair's contents.
    struct PairState {
        std::atomic<std::int64_t> blocks{0};
        std::atomic<bool> done{false};
    };

    void work(FactReader &reader);
    void readChunk(FactReader &reader, std::size_t first, std::size_t last);
    void readPair(FactReader &reader, std::size_t i);
    void startWorker(); // with m_mutex held
    // Wakes the consumer when it sleeps (m_mutex not held).
    void wake();
    template <class Ready> void waitFor(Ready ready);

    const ScanState &m_state;
    const CompareOptions &m_options;
    const std::size_t m_count;
    const bool m_readContents;
    const PoolSize m_size;
    std::unique_ptr<FactReader> m_inline; // no workers: the caller reads
    std::unique_ptr<FactReader> m_own;    // the caller reads a pair no worker has taken
    std::vector<FileFacts> m_slots;       // file i in entry i % RingFiles
    std::unique_ptr<std::atomic<std::size_t>[]> m_filled; // i + 1 once entry holds file i
    std::unique_ptr<PairState[]> m_pairState;             // one per entry
    std::set<std::size_t> m_pairs;                        // pending pairs no worker has taken yet
    std::size_t m_next = 0;                               // first file not yet handed out
    std::size_t m_consumed = 0; // the consumer has moved past every file below this
    unsigned m_roomWaiters = 0; // workers waiting on m_room
    std::atomic<bool> m_stopping{false};
    // The file (or, for m_wantPair, the pair) the consumer sleeps on m_ready for.
    std::atomic<std::size_t> m_wantFile{NoFile};
    std::atomic<std::size_t> m_wantPair{NoFile};
    mutable std::mutex m_mutex;
    std::condition_variable m_room;  // workers wait for work or room in the window
    std::condition_variable m_ready; // the consumer waits for a file or a block
    std::vector<std::thread> m_threads;
};

} // namespace dirwise::detail
