#pragma once

// The live source's listing ahead: the run's workers list the folders a walk will enter
// next, so the walk on the caller's thread mostly finds its listings made.

#include "TreeSource.h"
#include "WorkerPool.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dirwise {

// What the walk learns when it asks for a folder.
struct AheadAnswer {
    enum class Kind : std::uint8_t {
        Listed,   // `listing` is the folder's listing, made by path
        Pseudo,   // reached through a link and on a kernel file system: never entered
        ListHere, // not made (not asked for, failed, or the path is too long): list it here
    };
    Kind kind = Kind::ListHere;
    std::unique_ptr<FolderListing> listing;
    bool childrenQueued = false; // its subfolders were handed to the workers already
};

// Lists ahead of a depth-first walk. The walk names each folder by its position (see
// AppendPositionStep): byte order of positions is the walk's order. Workers always take the pending
// folder that comes first in that order, open it by its full path, list it, and queue its
// subfolders in turn (not below a link: there a walk may find a loop, which only the walk itself
// can tell). At most MaxAhead folders and MaxAheadBytes of listings wait at a time. A path of
// MaxPath bytes or more is never listed by path: resolving long paths again and again costs more
// than it saves, so the walk lists those itself, relative to its open folders.
//
// The ordering invariant between the walk and the workers: a listing is used only by the
// walk, only for the position, relative path and link flag it was made for, and only when
// the walk reaches that position; everything before the walk's position is dropped, and a
// task the walk reaches before a worker took it is withdrawn and listed by the walk itself.
// So the walk's order, its loops and its links are decided on its thread alone, whatever the
// workers list first.
class ListingAhead : private WorkerPool::Client {
public:
    // `root` ends in "/". With `followLinks` false, links to folders are not queued. A pool
    // that starts no workers lists nothing ahead (every answer is ListHere).
    ListingAhead(WorkerPool &pool, std::string root, bool followLinks);
    ~ListingAhead() override;
    ListingAhead(const ListingAhead &) = delete;
    ListingAhead &operator=(const ListingAhead &) = delete;

    // From now on workers list only what Queue names, never the subfolders of what they
    // listed. Call before the first Queue.
    void ListOnlyQueued() { m_listBelow = false; }

    // Queues the subfolders `subdirs` (names, in the walk's order) of the folder at
    // `position` whose path relative to the root is `relative` ("" or "a/b/"); `viaLink[k]`
    // tells whether subfolder k is reached through a link.
    void Queue(std::string_view position, std::string_view relative,
               const std::vector<std::string> &subdirs, const std::vector<bool> &viaLink);

    // The walk enters the folder at `position`, path `relative`, reached through a link or
    // not. Waits while a worker is listing it; otherwise takes what is there: a listing (now
    // the caller's) or Pseudo made for that same path and link flag, else ListHere (a queued
    // task for it is withdrawn). Everything before `position` in the walk's order is dropped.
    [[nodiscard]] AheadAnswer Take(std::string_view position, std::string_view relative,
                                   bool viaLink);

    // Lists the folder at root + `relative` on the calling thread, as a worker would.
    // Returns the answer (Listed, Pseudo, or ListHere when opening or reading failed).
    [[nodiscard]] AheadAnswer ListByPath(std::string_view relative, bool viaLink,
                                         std::vector<char> &buffer) const;

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
    using TaskMap = std::map<std::string, Task, std::less<>>;
    using DoneMap = std::map<std::string, Done, std::less<>>;

    [[nodiscard]] bool HasWork() const override; // lock held
    bool Work(std::unique_lock<std::mutex> &lock, unsigned worker) override;
    // Files the listing of `position` (and its children's tasks) made by a worker; lock held.
    void publish(const std::string &position, TaskMap &children, DoneMap &done);
    // Lists the folder of `task` at `position` into `done` (one entry, also when it could not
    // be listed) and its subfolders' tasks into `children`. Returns whether the listing was
    // slow. Needs no lock; may throw std::bad_alloc.
    bool listAhead(const std::string &position, const Task &task, std::vector<char> &buffer,
                   TaskMap &children, DoneMap &done) const;
    void dropBefore(std::string_view position); // lock held
    [[nodiscard]] bool full() const;            // lock held
    [[nodiscard]] bool halfEmpty() const;       // lock held

    static constexpr std::size_t MaxPath = 2048;
    static constexpr std::size_t MaxAhead = 2048;
    static constexpr std::size_t MaxAheadBytes = 4u << 20;

    WorkerPool &m_pool;
    const std::string m_root;
    const bool m_followLinks;
    bool m_listBelow = true;            // set before any worker runs: read without the lock
    std::mutex &m_mutex;                // the pool's
    std::condition_variable m_finished; // the walk waits here for a listing in progress
    TaskMap m_queued;
    std::map<std::string, std::string, std::less<>> m_running; // position -> relative path
    DoneMap m_done;
    std::size_t m_doneBytes = 0;
    std::string m_walkAt;  // the walk's position: everything before it is dropped
    std::string m_awaited; // the position the walk waits for, while it waits
    std::vector<std::vector<char>> m_buffers; // one per worker, made on its first task
    int m_slowInARow = 0;
};

} // namespace dirwise
