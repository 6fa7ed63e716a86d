#include "WorkerPool.h"

#include <algorithm>
#include <time.h>

namespace dirwise {

std::int64_t MonotonicNanoseconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

PoolSize DefaultPoolSize() {
    const unsigned cores = std::max(std::thread::hardware_concurrency(), 1u);
    return {std::min(2 * cores, 32u), 32u};
}

WorkerPool::WorkerPool(PoolSize size) : m_size(size) {}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    // No worker starts another once m_stopping is set, so the list stays as it is.
    for (std::thread &t : m_threads)
        t.join();
}

void WorkerPool::Attach(Client &client) {
    std::lock_guard lock(m_mutex);
    m_client = &client;
    ++m_generation;
    m_wake.notify_all(); // workers already there may have work now
}

void WorkerPool::Detach() {
    std::unique_lock lock(m_mutex);
    m_client = nullptr;
    m_settled.wait(lock, [&] { return m_busy == 0; });
}

bool WorkerPool::Ensure(unsigned count) {
    count = std::min(count, m_size.most);
    while (m_threads.size() < count && !m_stopping && !m_startFailed) {
        try {
            const auto worker = static_cast<unsigned>(m_threads.size());
            m_threads.emplace_back([this, worker] { work(worker); });
        } catch (const std::exception &) {
            // Out of threads or memory: the workers already there carry on.
            m_startFailed = true;
        }
    }
    return !m_threads.empty();
}

void WorkerPool::Wake(std::size_t tasks) {
    for (std::size_t n = std::min<std::size_t>(tasks, m_idle); n > 0; --n)
        m_wake.notify_one();
}

void WorkerPool::work(unsigned worker) {
    unsigned refusedFor = 0; // the attachment this worker could not work for
    std::unique_lock lock(m_mutex);
    for (;;) {
        ++m_idle;
        m_wake.wait(lock, [&] {
            return m_stopping || (m_client && refusedFor != m_generation && m_client->HasWork());
        });
        --m_idle;
        if (m_stopping)
            return;
        ++m_busy;
        if (!m_client->Work(lock, worker))
            refusedFor = m_generation;
        if (--m_busy == 0 && !m_client)
            m_settled.notify_all();
    }
}

} // namespace dirwise
