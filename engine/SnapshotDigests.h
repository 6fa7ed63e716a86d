#pragma once

// The digests of a snapshot's regular files: one file hashed (holes as the zeros they read
// as, without reading them), and one folder's files hashed together on the worker pool.

#include "WorkerPool.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace dirwise {

// A regular file's digest, or why there is none.
struct Hashed {
    std::string hex;
    int error = 0;
};

// The sha256 of file `name` in folder `dirFd`, read through `buffer`. `more` is told of every
// piece read and may ask to stop (false): the digest is then not whole and `stopped` set.
[[nodiscard]] Hashed HashFileAt(int dirFd, const char *name, std::vector<char> &buffer,
                                const std::function<bool(ssize_t)> &more, bool &stopped);

// One folder's regular files hashed at once by the pool's workers and the walk's own thread;
// the results keep the folder's order, so the lines do. Guarded by the pool's lock, except
// `stop` and `bytes`.
class DigestBatch : public WorkerPool::Client {
public:
    struct Task {
        const std::string *name = nullptr;
        Hashed result;
    };

    explicit DigestBatch(unsigned workers) : m_buffers(workers) {}

    int dirFd = -1;
    std::vector<Task> tasks;
    std::size_t next = 0; // the first task nobody took
    std::size_t done = 0;
    std::atomic<bool> stop{false};
    std::atomic<std::int64_t> bytes{0}; // read by the workers, for the progress
    std::condition_variable finished;   // the last task of the batch is done

    bool HasWork() const override { return next < tasks.size() && !stop; }

    bool Work(std::unique_lock<std::mutex> &lock, unsigned worker) override;

private:
    std::vector<std::vector<char>> m_buffers; // one per worker
};

} // namespace dirwise
