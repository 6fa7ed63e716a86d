#pragma once

// The snapshot writer's folders read ahead by the worker pool, taken in the writer's order.

#include "SnapshotFolder.h"
#include "WorkerPool.h"

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace dirwise {

// Reads folders ahead of the snapshot writer. The writer names each folder by its position
// (see AppendPositionStep): byte order of positions is its order. Workers always take the
// pending folder that comes first in that order, open it from the root (OpenBeneath), read
// it, and queue its subfolders in turn. At most MaxAhead folders and MaxAheadBytes of lines
// wait at a time. A folder is used only by the writer, only at the position and path it was
// read for, and only when the writer reaches it; everything before the writer's position is
// dropped, and a folder the writer reaches before a worker took it is withdrawn and read by
// the writer itself. So the manifest's order is decided on the writer's thread alone, whatever
// the workers finish first. A worker that cannot open a folder leaves it to the writer, which
// opens it again and names the error.
class SnapshotAhead : private WorkerPool::Client {
public:
    // `rootFd` (the manifest's root, open for reading) stays the caller's and must outlive
    // this. A pool that starts no workers reads nothing ahead.
    SnapshotAhead(WorkerPool &pool, int rootFd);
    ~SnapshotAhead() override;
    SnapshotAhead(const SnapshotAhead &) = delete;
    SnapshotAhead &operator=(const SnapshotAhead &) = delete;

    // Queues the subfolders `names` (in the writer's order) of the folder at `position`
    // whose path is `path` ("" or "a/b").
    void Queue(std::string_view position, std::string_view path,
               const std::vector<std::string> &names);

    // The writer reaches the folder at `position`, path `path`. Waits while a worker reads
    // it; true with `out` filled when one has, else false (a queued task for it is
    // withdrawn: the writer reads it itself).
    [[nodiscard]] bool Take(std::string_view position, std::string_view path, SnapshotFolder &out);

private:
    struct Done {
        std::string path;
        SnapshotFolder folder;
    };
    using TaskMap = std::map<std::string, std::string, std::less<>>; // position -> path
    using DoneMap = std::map<std::string, Done, std::less<>>;

    [[nodiscard]] bool HasWork() const override; // lock held
    bool Work(std::unique_lock<std::mutex> &lock, unsigned worker) override;
    // Reads the folder `path` at `position` into `done` and its subfolders' tasks into
    // `children`; nothing when it cannot be opened. Needs no lock; may throw std::bad_alloc.
    void readAhead(const std::string &position, const std::string &path, std::vector<char> &buffer,
                   TaskMap &children, DoneMap &done) const;
    [[nodiscard]] bool full() const;      // lock held
    [[nodiscard]] bool halfEmpty() const; // lock held

    static constexpr std::size_t MaxAhead = 2048;
    static constexpr std::size_t MaxAheadBytes = 8u << 20;

    WorkerPool &m_pool;
    const int m_rootFd;
    std::mutex &m_mutex;                // the pool's
    std::condition_variable m_finished; // the writer waits here for a folder being read
    TaskMap m_queued;
    std::set<std::string, std::less<>> m_running; // positions being read
    DoneMap m_done;
    std::size_t m_doneBytes = 0;
    std::string m_writerAt; // the writer's position: everything before it is dropped
    std::string m_awaited;  // the position the writer waits for, while it waits
    std::vector<std::vector<char>> m_buffers; // one per worker, made on its first task
};

} // namespace dirwise
