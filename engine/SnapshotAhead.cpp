#include "SnapshotAhead.h"

#include "Io.h"
#include "TreeSource.h"

namespace dirwise {

SnapshotAhead::SnapshotAhead(WorkerPool &pool, int rootFd)
    : m_pool(pool), m_rootFd(rootFd), m_mutex(pool.Mutex()) {
    m_buffers.resize(pool.Size().most);
    m_pool.Attach(*this);
}

SnapshotAhead::~SnapshotAhead() { m_pool.Detach(); }

bool SnapshotAhead::full() const {
    return m_running.size() + m_done.size() >= MaxAhead || m_doneBytes >= MaxAheadBytes;
}

bool SnapshotAhead::halfEmpty() const {
    return m_running.size() + m_done.size() <= MaxAhead / 2 && m_doneBytes <= MaxAheadBytes / 2;
}

bool SnapshotAhead::HasWork() const { return !m_queued.empty() && !full(); }

void SnapshotAhead::Queue(std::string_view position, std::string_view path,
                          const std::vector<std::string> &names) {
    if (m_pool.Size().start == 0 || names.empty())
        return;
    std::lock_guard lock(m_mutex);
    if (!m_pool.Ensure(m_pool.Size().start))
        return;
    std::string key(position);
    for (std::size_t k = 0; k < names.size(); ++k) {
        key.resize(position.size());
        AppendPositionStep(key, static_cast<std::uint32_t>(k));
        std::string child = JoinedPath(path, names[k]);
        if (child.size() >= SnapshotMaxPath)
            continue; // the writer opens it itself, from its parent
        if (m_done.count(key) == 0 && m_running.count(key) == 0)
            m_queued.try_emplace(key, std::move(child));
    }
    m_pool.Wake(names.size());
}

bool SnapshotAhead::Take(std::string_view position, std::string_view path, SnapshotFolder &out) {
    std::unique_lock lock(m_mutex);
    if (position > m_writerAt) {
        m_writerAt = position;
        m_queued.erase(m_queued.begin(), m_queued.lower_bound(position));
        for (auto it = m_done.begin(); it != m_done.end() && it->first < position;) {
            m_doneBytes -= it->second.folder.bytes();
            it = m_done.erase(it);
        }
    }
    if (m_running.find(position) != m_running.end()) {
        m_awaited = position;
        m_finished.wait(lock, [&] { return m_running.find(position) == m_running.end(); });
        m_awaited.clear();
    }
    const auto it = m_done.find(position);
    if (it == m_done.end()) {
        if (const auto q = m_queued.find(position); q != m_queued.end())
            m_queued.erase(q); // read here instead
        return false;
    }
    auto node = m_done.extract(it);
    m_doneBytes -= node.mapped().folder.bytes();
    // Workers that stopped at a full window go on once half of it is taken: one burst of
    // folders instead of a wake-up for every one.
    if (m_pool.Idle() > 0 && !m_queued.empty() && halfEmpty())
        m_pool.Wake(m_queued.size());
    lock.unlock();
    if (node.mapped().path != path)
        return false;
    out = std::move(node.mapped().folder);
    return true;
}

bool SnapshotAhead::Work(std::unique_lock<std::mutex> &lock, unsigned worker) {
    std::vector<char> &buffer = m_buffers[worker];
    auto node = m_queued.extract(m_queued.begin());
    const std::string &position = node.key();
    bool running = false;
    try {
        if (buffer.empty())
            buffer.resize(64 * 1024);
        m_running.insert(position);
        running = true;
    } catch (const std::exception &) {
        // Out of memory: not read ahead; the writer reads it itself.
    }
    lock.unlock();
    TaskMap children;
    DoneMap done;
    if (running) {
        try {
            readAhead(position, node.mapped(), buffer, children, done);
        } catch (const std::exception &) {
            children.clear();
            done.clear();
        }
    }
    lock.lock();
    if (running)
        m_running.erase(position);
    if (!done.empty() && position >= m_writerAt) {
        Done &d = done.begin()->second;
        std::size_t queued = 0;
        if (!children.empty() &&
            m_queued.size() + m_running.size() + m_done.size() + children.size() <= MaxAhead) {
            const std::size_t before = m_queued.size();
            m_queued.merge(children);
            queued = m_queued.size() - before;
            d.folder.childrenQueued = true;
        }
        m_doneBytes += d.folder.bytes();
        m_done.merge(done);
        m_pool.Wake(queued);
    }
    if (position == m_awaited)
        m_finished.notify_all();
    return true;
}

void SnapshotAhead::readAhead(const std::string &position, const std::string &path,
                              std::vector<char> &buffer, TaskMap &children, DoneMap &done) const {
    const UniqueFd fd(OpenBeneath(m_rootFd, path));
    if (!fd)
        return; // the writer opens it again and names the error
    Done d;
    d.path = path;
    ReadSnapshotFolder(fd.get(), path, false, buffer, d.folder);
    std::string key = position;
    for (std::size_t k = 0; k < d.folder.folders.size(); ++k) {
        std::string child = JoinedPath(path, d.folder.folders[k]);
        if (child.size() >= SnapshotMaxPath)
            continue;
        key.resize(position.size());
        AppendPositionStep(key, static_cast<std::uint32_t>(k));
        children.emplace(key, std::move(child));
    }
    done.emplace(position, std::move(d));
}

} // namespace dirwise
