#pragma once

// The run's one pool of worker threads, used in turn by the listing ahead of the walk and by
// the facts (and contents) read ahead of the compare. The pool owns the threads, the lock
// their work shares and the rule for their number; what a worker does is its client's.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace dirwise {

// The number of workers a pool starts with and the most it grows to. Calls that answer at
// once keep the start (two per core: more only fight over the cores); calls that keep a
// worker waiting, as on a network or FUSE mount or a cold disk, let it grow towards the most,
// so many requests are in flight at once.
struct PoolSize {
    unsigned start = 0;
    unsigned most = 0;
};
// Two workers per core (two on a single core: on a slow mount they wait, not work), up to 32.
[[nodiscard]] PoolSize DefaultPoolSize();
// A call slower than this tells a pool its workers are waiting, not working.
constexpr std::int64_t SlowCallNanoseconds = 200'000;
// CLOCK_MONOTONIC in nanoseconds.
[[nodiscard]] std::int64_t MonotonicNanoseconds();

class WorkerPool {
public:
    // One kind of work: a listing ahead, or a read-ahead of facts. At most one client is
    // attached at a time; its tasks are its own, guarded by the pool's lock (Mutex).
    class Client {
    public:
        virtual ~Client() = default;
        // Whether a task is ready (the lock held).
        [[nodiscard]] virtual bool HasWork() const = 0;
        // Takes one task and does it, with the lock held on entry and on return (it may be
        // released meanwhile). `worker` (below PoolSize::most) names the worker, for its own
        // scratch state. Returns false when this worker cannot work for this client (out of
        // memory for its state): it is not asked again while the client is attached.
        virtual bool Work(std::unique_lock<std::mutex> &lock, unsigned worker) = 0;
    };

    explicit WorkerPool(PoolSize size = DefaultPoolSize());
    ~WorkerPool();
    WorkerPool(const WorkerPool &) = delete;
    WorkerPool &operator=(const WorkerPool &) = delete;

    [[nodiscard]] std::mutex &Mutex() { return m_mutex; }
    [[nodiscard]] PoolSize Size() const { return m_size; }

    // Makes `client` the one whose tasks workers take, and wakes the idle workers for it
    // (lock not held).
    void Attach(Client &client);
    // No worker takes the client's tasks any more; returns once none is working on one
    // (lock not held). The client should first make its running tasks end soon.
    void Detach();
    // Starts workers until there are `count` (at most the most); lock held. Returns false
    // when none could start (out of threads or memory): the callers then work alone.
    bool Ensure(unsigned count);
    // One more worker, while below the most (lock held): the calls are slow.
    void Grow() { (void)Ensure(static_cast<unsigned>(m_threads.size()) + 1); }
    // Wakes up to `tasks` idle workers, one per task (lock held): waking every worker for one
    // task costs more than the task on a fast disk.
    void Wake(std::size_t tasks);
    // Workers running, and those waiting for work (lock held).
    [[nodiscard]] unsigned Workers() const { return static_cast<unsigned>(m_threads.size()); }
    [[nodiscard]] unsigned Idle() const { return m_idle; }

private:
    void work(unsigned worker);

    const PoolSize m_size;
    std::mutex m_mutex;
    std::condition_variable m_wake;    // workers wait here for tasks
    std::condition_variable m_settled; // Detach waits here for the busy workers
    Client *m_client = nullptr;
    unsigned m_generation = 0; // counts attachments, so a refused worker knows its client
    unsigned m_idle = 0;
    unsigned m_busy = 0;
    bool m_startFailed = false;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

} // namespace dirwise
