#pragma once

// The engine's own machinery for listing directories: one directory's names in byte order,
// and a pool of workers that lists the directories a walk will enter next, so the walk on
// the caller's thread mostly finds its listings made. Only the engine includes this.

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace dirwise::detail {

// One name of a listing; its bytes live in the listing's name buffer.
struct ListedEntry {
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
    bool isDir = false;   // a directory, or a link that leads to one
    bool viaLink = false; // a symbolic link that leads to a directory
};

// Everything a walk needs of one directory: who it is and its names in byte order.
struct Listing {
    dev_t dev = 0;
    ino_t ino = 0;
    int error = 0; // errno of a listing that failed part way; the names read so far are kept
    std::string names;
    std::vector<ListedEntry> entries; // sorted by the names' bytes, without "." and ".."

    [[nodiscard]] std::string_view name(const ListedEntry &e) const {
        return {names.data() + e.offset, e.length};
    }
    // Heap bytes this listing holds, for the read-ahead's budget.
    [[nodiscard]] std::size_t bytes() const {
        return names.capacity() + entries.capacity() * sizeof(ListedEntry);
    }
};

// The device and inode of the open directory `fd`, as the kernel holds them: no file system
// is asked again (a network or FUSE mount would answer a fresh stat with a request of its
// own), and a directory's identity never changes. Returns 0 or the errno.
int DirectoryIdentity(int fd, dev_t &dev, ino_t &ino);

// Reads every name of the open directory `fd` (opened for reading) into `out`, sorted by
// bytes, without "." and "..". Entries whose type the listing does not give, and links, are
// looked at with fstatat: a link to a directory is a directory reached through a link,
// every other link (also a dangling one) is a file. `buffer` is scratch space for the
// kernel's records (64 KiB is plenty). Does not fill dev and ino. Returns 0, or the errno of
// a listing that failed part way (also kept in out.error).
int ReadListing(int fd, Listing &out, std::vector<char> &buffer);

// The number of workers a pool starts with and the most it grows to. Calls that answer at
// once keep the start (two per core: more only fight over the cores); calls that keep a
// worker waiting, as on a network or FUSE mount or a cold disk, let it grow towards the most,
// so many requests are in flight at once.
struct PoolSize {
    unsigned start = 0;
    unsigned most = 0;
};
// Two workers per core (2 when the core count is unknown) to start, up to 32.
[[nodiscard]] PoolSize DefaultPoolSize();
// A call slower than this tells a pool its workers are waiting, not working.
constexpr std::int64_t SlowCallNanoseconds = 200'000;
// CLOCK_MONOTONIC in nanoseconds.
[[nodiscard]] std::int64_t MonotonicNanoseconds();

// What the walk learns when it asks the read-ahead for a directory.
struct AheadAnswer {
    enum class Kind : std::uint8_t {
        Listed,   // `listing` is the directory's listing, made by path
        Pseudo,   // reached through a link and on a kernel file system: never entered
        ListHere, // not made (not asked for, failed, or the path is too long): list it here
    };
    Kind kind = Kind::ListHere;
    std::unique_ptr<Listing> listing;
    bool childrenQueued = false; // its subdirectories were handed to the workers already
};

// Lists ahead of a depth-first walk. The walk names each directory by its position: the
// indexes of the subdirectories taken from the root down, each as 4 big-endian bytes, so
// that byte order of positions is the walk's order. Workers always take the pending
// directory that comes first in that order, open it by its full path, list it, and queue its
// subdirectories in turn (not below a link: there a walk may find a loop, which only the
// walk itself can tell). At most MaxAhead directories and MaxAheadBytes of listings wait
// at a time. A path of MaxPath bytes or more is never listed by path: resolving long paths
// again and again costs more than it saves, so the walk lists those itself, relative to its
// open directories.
class ListingAhead {
public:
    // `root` ends in "/". With `followLinks` false, links to directories are not queued.
    // `size.start` of 0 makes a pool that lists nothing ahead (every answer is ListHere).
    // With `listBelow` false, workers list only what the walk queues, never the
    // subdirectories of what they listed (a walk that skips folders decides each itself).
    // Workers start with the first directories queued.
    ListingAhead(std::string root, bool followLinks, PoolSize size, bool listBelow = true);
    ~ListingAhead();
    ListingAhead(const ListingAhead &) = delete;
    ListingAhead &operator=(const ListingAhead &) = delete;

    // Queues the subdirectories `subdirs` (names, in the walk's order) of the directory at
    // `position` whose path relative to the root is `relative` ("" or "a/b/"); `viaLink[k]`
    // tells whether subdirectory k is reached through a link.
    void Queue(const std::string &position, const std::string &relative,
               const std::vector<std::string> &subdirs, const std::vector<bool> &viaLink);

    // The walk enters the directory at `position`, path `relative`, reached through a link
    // or not. Waits while a worker is listing it; otherwise takes what is there: a listing
    // (now the caller's) or Pseudo made for that same path and link flag, else ListHere (a
    // queued task for it is withdrawn). Everything that comes before `position` in the
    // walk's order is dropped: the walk is past it.
    [[nodiscard]] AheadAnswer Take(const std::string &position, const std::string &relative,
                                   bool viaLink);

    // Lists the directory at root + `relative` on the calling thread, as a worker would.
    // Returns the answer (Listed, Pseudo, or ListHere when opening or reading failed).
    [[nodiscard]] AheadAnswer ListByPath(const std::string &relative, bool viaLink,
                                         std::vector<char> &buffer) const;

    // Workers started so far (for tests and benchmarks).
    [[nodiscard]] unsigned Workers() const;
    // Waits until no directory is queued or being listed (for tests: what was queued is
    // then listed, or was dropped for want of room).
    void WaitUntilIdle();

    // Appends the 4-byte position step of subdirectory `index` to `position`.
    static void AppendStep(std::string &position, std::uint32_t index);

private:
    struct Task {
        std::string relative;
        bool viaLink = false;
    };
    struct Done {
        AheadAnswer answer;
        std::string relative;
        bool viaLink = false;
        std::size_t bytes = 0;
    };

    void work(std::vector<char> buffer);
    void startWorker(); // with m_mutex held
    // Lists the directory of `task` at `position` for the walk into `done` (one entry,
    // also when it could not be listed) and its subdirectories' tasks into `children`.
    // Returns whether the listing was slow. Needs no lock; may throw std::bad_alloc.
    bool listAhead(const std::string &position, const Task &task, std::vector<char> &buffer,
                   std::map<std::string, Task> &children, std::map<std::string, Done> &done) const;
    // The tasks for the subdirectories of `listing`, the directory at `position`.
    [[nodiscard]] std::vector<std::pair<std::string, Task>>
    childTasks(const std::string &position, const std::string &relative,
               const Listing &listing) const;
    void dropBefore(const std::string &position); // m_mutex held
    void wakeWorkers(std::size_t tasks);          // m_mutex held
    [[nodiscard]] bool full() const;              // m_mutex held
    [[nodiscard]] bool halfEmpty() const;         // m_mutex held

    static constexpr std::size_t MaxPath = 2048;
    static constexpr std::size_t MaxAhead = 2048;
    static constexpr std::size_t MaxAheadBytes = 4u << 20;

    const std::string m_root;
    const bool m_followLinks;
    const bool m_listBelow;
    const PoolSize m_size;
    mutable std::mutex m_mutex;
    std::condition_variable m_work;     // workers wait here for tasks or room
    std::condition_variable m_finished; // the walk waits here for a listing in progress
    std::map<std::string, Task> m_queued;
    std::map<std::string, std::string> m_running; // position -> relative path
    std::map<std::string, Done> m_done;
    std::size_t m_doneBytes = 0;
    std::string m_walkAt;  // the walk's position: everything before it is dropped
    std::string m_awaited; // the position the walk waits for, while it waits
    unsigned m_idle = 0;   // workers waiting on m_work
    bool m_startFailed = false;
    bool m_idleWaiters = false; // someone waits in WaitUntilIdle
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

} // namespace dirwise::detail
