#include "ListingAhead.h"

#include "FileSystem.h"

#include <fcntl.h>

namespace dirwise {

ListingAhead::ListingAhead(WorkerPool &pool, std::string root, bool followLinks)
    : m_pool(pool), m_root(std::move(root)), m_followLinks(followLinks), m_mutex(pool.Mutex()) {
    m_buffers.resize(pool.Size().most);
    m_pool.Attach(*this);
}

ListingAhead::~ListingAhead() { m_pool.Detach(); }

bool ListingAhead::full() const {
    return m_running.size() + m_done.size() >= MaxAhead || m_doneBytes >= MaxAheadBytes;
}

bool ListingAhead::halfEmpty() const {
    return m_running.size() + m_done.size() <= MaxAhead / 2 && m_doneBytes <= MaxAheadBytes / 2;
}

bool ListingAhead::HasWork() const { return !m_queued.empty() && !full(); }

void ListingAhead::dropBefore(std::string_view position) {
    m_queued.erase(m_queued.begin(), m_queued.lower_bound(position));
    for (auto it = m_done.begin(); it != m_done.end() && it->first < position;) {
        m_doneBytes -= it->second.bytes;
        it = m_done.erase(it);
    }
}

void ListingAhead::Queue(std::string_view position, std::string_view relative,
                         const std::vector<std::string> &subdirs,
                         const std::vector<bool> &viaLink) {
    if (m_pool.Size().start == 0)
        return;
    std::lock_guard lock(m_mutex);
    // The first folders to list ahead: now workers are worth starting.
    if (!m_pool.Ensure(m_pool.Size().start))
        return;
    std::string key(position);
    for (std::size_t k = 0; k < subdirs.size(); ++k) {
        if (m_root.size() + relative.size() + subdirs[k].size() + 1 >= MaxPath)
            continue; // the walk lists it itself, relative to its open folders
        key.resize(position.size());
        AppendPositionStep(key, static_cast<std::uint32_t>(k));
        if (m_done.count(key) == 0 && m_running.count(key) == 0)
            m_queued.try_emplace(key, Task{std::string(relative) + subdirs[k] + "/", viaLink[k]});
    }
    m_pool.Wake(subdirs.size());
}

AheadAnswer ListingAhead::ListByPath(std::string_view relative, bool viaLink,
                                     std::vector<char> &buffer) const {
    AheadAnswer answer;
    const std::string full = m_root + std::string(relative);
    if (full.size() >= MaxPath)
        return answer;
    UniqueFd fd(::open(full.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd)
        return answer; // the walk opens it again and names the error
    if (!LinkMayBeEntered(fd.get(), viaLink)) {
        answer.kind = AheadAnswer::Kind::Pseudo;
        return answer;
    }
    auto listing = std::make_unique<FolderListing>();
    if (FolderIdentity(fd.get(), listing->device, listing->inode) != 0)
        return answer;
    if (ReadListing(fd.get(), *listing, buffer) != 0)
        return answer;
    answer.kind = AheadAnswer::Kind::Listed;
    answer.listing = std::move(listing);
    return answer;
}

AheadAnswer ListingAhead::Take(std::string_view position, std::string_view relative, bool viaLink) {
    std::unique_lock lock(m_mutex);
    if (position > m_walkAt) {
        m_walkAt = position;
        dropBefore(position);
    }
    if (m_running.find(position) != m_running.end()) {
        m_awaited = position;
        m_finished.wait(lock, [&] { return m_running.find(position) == m_running.end(); });
        m_awaited.clear();
    }
    AheadAnswer answer;
    const auto it = m_done.find(position);
    if (it == m_done.end()) {
        if (const auto q = m_queued.find(position); q != m_queued.end())
            m_queued.erase(q); // listed here instead
        return answer;
    }
    // Taken out whole: its memory goes back after the lock is released.
    auto node = m_done.extract(it);
    Done &done = node.mapped();
    m_doneBytes -= done.bytes;
    // Workers that stopped at a full window go on once half of it is taken: one burst of
    // listings instead of a wake-up (and a system call here) for every folder.
    if (m_pool.Idle() > 0 && !m_queued.empty() && halfEmpty())
        m_pool.Wake(m_queued.size());
    lock.unlock();
    // The same place: a folder renamed or replaced since its parent was listed by a worker
    // is listed again here. Only a worker told of the link checked where it leads.
    if (done.relative == relative && done.viaLink == viaLink)
        answer = std::move(done.answer);
    return answer;
}

bool ListingAhead::Work(std::unique_lock<std::mutex> &lock, unsigned worker) {
    std::vector<char> &buffer = m_buffers[worker];
    if (buffer.empty()) {
        try {
            buffer.resize(64 * 1024);
        } catch (const std::exception &) {
            return false; // the other workers, and the walk, list the rest
        }
    }
    auto node = m_queued.extract(m_queued.begin());
    const std::string &position = node.key();
    bool running = false;
    try {
        m_running.emplace(position, node.mapped().relative);
        running = true;
    } catch (const std::exception &) {
        // Out of memory: not listed ahead; the walk lists it itself.
    }
    lock.unlock();
    // Made and freed outside the lock, spliced in under it: the walk waits for the lock as
    // briefly as possible.
    TaskMap children;
    DoneMap done;
    bool slow = false;
    if (running) {
        try {
            slow = listAhead(position, node.mapped(), buffer, children, done);
        } catch (const std::exception &) {
            children.clear(); // the walk lists it itself, and says so if it cannot either
            done.clear();
        }
    }
    lock.lock();
    if (running)
        m_running.erase(position);
    // Slow answers: the workers wait on the file system, so more of them keep more requests
    // in flight.
    m_slowInARow = slow ? m_slowInARow + 1 : 0;
    if (m_slowInARow >= 2 && !m_queued.empty()) {
        m_pool.Grow();
        m_slowInARow = 0;
    }
    publish(position, children, done);
    if (position == m_awaited)
        m_finished.notify_all();
    return true;
}

void ListingAhead::publish(const std::string &position, TaskMap &children, DoneMap &done) {
    if (done.empty() || position < m_walkAt)
        return; // the walk is past it
    std::size_t queued = 0;
    Done &d = done.begin()->second;
    if (!children.empty() &&
        m_queued.size() + m_running.size() + m_done.size() + children.size() <= MaxAhead) {
        const std::size_t before = m_queued.size();
        m_queued.merge(children);
        queued = m_queued.size() - before;
        d.answer.childrenQueued = true;
    }
    m_doneBytes += d.bytes;
    m_done.merge(done);
    m_pool.Wake(queued);
}

bool ListingAhead::listAhead(const std::string &position, const Task &task,
                             std::vector<char> &buffer, TaskMap &children, DoneMap &done) const {
    const std::int64_t began = MonotonicNanoseconds();
    AheadAnswer answer = ListByPath(task.relative, task.viaLink, buffer);
    const bool slow = MonotonicNanoseconds() - began > SlowCallNanoseconds;
    // Not below a link: there a walk may find a loop, which only the walk can tell.
    if (answer.listing && !task.viaLink && m_listBelow) {
        std::uint32_t k = 0;
        for (const FolderEntry &e : answer.listing->entries) {
            if (!WalkEnters(e, m_followLinks))
                continue;
            const std::uint32_t index = k++;
            if (m_root.size() + task.relative.size() + e.length + 1 >= MaxPath)
                continue; // the walk lists it itself, relative to its open folders
            std::string key = position;
            AppendPositionStep(key, index);
            std::string path = task.relative;
            path += answer.listing->name(e);
            path += '/';
            children.emplace(std::move(key), Task{std::move(path), e.viaLink});
        }
    }
    Done d;
    if (answer.listing)
        d.bytes = answer.listing->bytes() + position.size() + task.relative.size();
    d.answer = std::move(answer);
    d.relative = task.relative;
    d.viaLink = task.viaLink;
    done.emplace(position, std::move(d));
    return slow;
}

} // namespace dirwise
