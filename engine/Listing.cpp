#include "Listing.h"

#include "FileScan.h"
#include "Io.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <system_error>
#include <time.h>
#include <unistd.h>

namespace dirwise::detail {
namespace {

struct LinuxDirent64 {
    ino64_t d_ino;
    off64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[];
};

} // namespace

std::int64_t MonotonicNanoseconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

PoolSize DefaultPoolSize() {
    // Even one core is worth two workers: on a slow mount they wait, not work.
    const unsigned cores = std::max(std::thread::hardware_concurrency(), 1u);
    return {std::min(2 * cores, 32u), 32u};
}

int DirectoryIdentity(int fd, dev_t &dev, ino_t &ino) {
    struct statx stx {};
    if (::statx(fd, "", AT_EMPTY_PATH | AT_STATX_DONT_SYNC, STATX_INO, &stx) == 0) {
        dev = makedev(stx.stx_dev_major, stx.stx_dev_minor);
        ino = stx.stx_ino;
        return 0;
    }
    if (errno != ENOSYS)
        return errno;
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return errno;
    dev = st.st_dev;
    ino = st.st_ino;
    return 0;
}

int ReadListing(int fd, Listing &out, std::vector<char> &buffer) {
    out.names.clear();
    out.entries.clear();
    out.error = 0;
    if (buffer.size() < 4096)
        buffer.resize(64 * 1024);
    for (;;) {
        const long n = ::syscall(SYS_getdents64, fd, buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            out.error = errno;
            break;
        }
        if (n == 0)
            break;
        for (long pos = 0; pos < n;) {
            const auto *d = reinterpret_cast<const LinuxDirent64 *>(buffer.data() + pos);
            pos += d->d_reclen;
            const char *name = d->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                continue;
            const std::size_t len = std::strlen(name);
            bool isDir = d->d_type == DT_DIR;
            bool viaLink = false;
            if (d->d_type == DT_LNK || d->d_type == DT_UNKNOWN) {
                // Follow links: a link to a directory is walked (loops are caught on entry),
                // a link to anything else, or a dangling one, is a file.
                struct stat st {};
                isDir = ::fstatat(fd, name, &st, 0) == 0 && S_ISDIR(st.st_mode);
                struct stat own {};
                viaLink =
                    isDir &&
                    (d->d_type == DT_LNK ||
                     (::fstatat(fd, name, &own, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(own.st_mode)));
            }
            out.entries.push_back({static_cast<std::uint32_t>(out.names.size()),
                                   static_cast<std::uint32_t>(len), isDir, viaLink});
            out.names.append(name, len);
        }
    }
    const char *base = out.names.data();
    std::sort(out.entries.begin(), out.entries.end(),
              [base](const ListedEntry &a, const ListedEntry &b) {
                  // Shorter first on a common prefix: byte order, as string_view compares.
                  const int c =
                      std::memcmp(base + a.offset, base + b.offset, std::min(a.length, b.length));
                  return c != 0 ? c < 0 : a.length < b.length;
              });
    return out.error;
}

ListingAhead::ListingAhead(std::string root, bool followLinks, PoolSize size, bool listBelow)
    : m_root(std::move(root)), m_followLinks(followLinks), m_listBelow(listBelow), m_size(size) {}

ListingAhead::~ListingAhead() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_work.notify_all();
    // No worker starts another once m_stopping is set, so the list stays as it is.
    for (std::thread &t : m_threads)
        t.join();
}

unsigned ListingAhead::Workers() const {
    std::lock_guard lock(m_mutex);
    return static_cast<unsigned>(m_threads.size());
}

void ListingAhead::WaitUntilIdle() {
    std::unique_lock lock(m_mutex);
    m_idleWaiters = true;
    m_finished.wait(lock, [&] { return m_running.empty() && (m_queued.empty() || full()); });
    m_idleWaiters = false;
}

void ListingAhead::AppendStep(std::string &position, std::uint32_t index) {
    for (int shift = 24; shift >= 0; shift -= 8)
        position += static_cast<char>((index >> shift) & 0xff);
}

void ListingAhead::startWorker() {
    if (m_stopping || m_startFailed || m_threads.size() >= m_size.most)
        return;
    try {
        // The worker's buffer is made here, so a worker that starts can always work.
        std::vector<char> buffer(64 * 1024);
        m_threads.emplace_back([this, b = std::move(buffer)]() mutable { work(std::move(b)); });
    } catch (const std::exception &) {
        // Out of threads or memory: the workers already there carry on, and the walk lists
        // the rest.
        m_startFailed = true;
    }
}

bool ListingAhead::full() const {
    return m_running.size() + m_done.size() >= MaxAhead || m_doneBytes >= MaxAheadBytes;
}

bool ListingAhead::halfEmpty() const {
    return m_running.size() + m_done.size() <= MaxAhead / 2 && m_doneBytes <= MaxAheadBytes / 2;
}

void ListingAhead::dropBefore(const std::string &position) {
    m_queued.erase(m_queued.begin(), m_queued.lower_bound(position));
    for (auto it = m_done.begin(); it != m_done.end() && it->first < position;) {
        m_doneBytes -= it->second.bytes;
        it = m_done.erase(it);
    }
}

void ListingAhead::Queue(const std::string &position, const std::string &relative,
                         const std::vector<std::string> &subdirs,
                         const std::vector<bool> &viaLink) {
    if (m_size.start == 0)
        return;
    {
        std::lock_guard lock(m_mutex);
        // The first directories to list ahead: now workers are worth starting.
        while (m_threads.size() < m_size.start && !m_stopping && !m_startFailed)
            startWorker();
        std::string key = position;
        for (std::size_t k = 0; k < subdirs.size(); ++k) {
            if (m_root.size() + relative.size() + subdirs[k].size() + 1 >= MaxPath)
                continue;
            key.resize(position.size());
            AppendStep(key, static_cast<std::uint32_t>(k));
            if (m_done.count(key) == 0 && m_running.count(key) == 0)
                m_queued.try_emplace(key, Task{relative + subdirs[k] + "/", viaLink[k]});
        }
        wakeWorkers(subdirs.size());
    }
}

void ListingAhead::wakeWorkers(std::size_t tasks) {
    // One notification per task an idle worker can take: waking every worker for one task
    // costs more than the listing on a fast disk.
    for (std::size_t n = std::min<std::size_t>(tasks, m_idle); n > 0; --n)
        m_work.notify_one();
}

std::vector<std::pair<std::string, ListingAhead::Task>>
ListingAhead::childTasks(const std::string &position, const std::string &relative,
                         const Listing &listing) const {
    std::vector<std::pair<std::string, Task>> tasks;
    std::uint32_t k = 0;
    for (const ListedEntry &e : listing.entries) {
        if (!e.isDir || (e.viaLink && !m_followLinks))
            continue;
        const std::uint32_t index = k++;
        if (m_root.size() + relative.size() + e.length + 1 >= MaxPath)
            continue; // the walk lists it itself, relative to its open directories
        std::string key = position;
        AppendStep(key, index);
        std::string path = relative;
        path += listing.name(e);
        path += '/';
        tasks.emplace_back(std::move(key), Task{std::move(path), e.viaLink});
    }
    return tasks;
}

AheadAnswer ListingAhead::ListByPath(const std::string &relative, bool viaLink,
                                     std::vector<char> &buffer) const {
    AheadAnswer answer;
    const std::string full = m_root + relative;
    if (full.size() >= MaxPath)
        return answer;
    UniqueFd fd(::open(full.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd)
        return answer; // the walk opens it again and names the error
    if (viaLink && IsPseudoFileSystem(fd.get())) {
        answer.kind = AheadAnswer::Kind::Pseudo;
        return answer;
    }
    auto listing = std::make_unique<Listing>();
    if (DirectoryIdentity(fd.get(), listing->dev, listing->ino) != 0)
        return answer;
    if (ReadListing(fd.get(), *listing, buffer) != 0)
        return answer;
    answer.kind = AheadAnswer::Kind::Listed;
    answer.listing = std::move(listing);
    return answer;
}

AheadAnswer ListingAhead::Take(const std::string &position, const std::string &relative,
                               bool viaLink) {
    std::unique_lock lock(m_mutex);
    if (position > m_walkAt) {
        m_walkAt = position;
        dropBefore(position);
    }
    if (m_running.count(position) != 0) {
        m_awaited = position;
        m_finished.wait(lock, [&] { return m_running.count(position) == 0; });
        m_awaited.clear();
    }
    AheadAnswer answer;
    if (auto it = m_done.find(position); it != m_done.end()) {
        // Taken out whole: its memory goes back after the lock is released.
        auto node = m_done.extract(it);
        Done &done = node.mapped();
        m_doneBytes -= done.bytes;
        // Workers that stopped at a full window go on once half of it is taken: one burst
        // of listings instead of a wake-up (and a system call here) for every directory.
        if (m_idle > 0 && !m_queued.empty() && halfEmpty())
            wakeWorkers(m_queued.size());
        lock.unlock();
        // The same place: a directory renamed or replaced since its parent was listed by a
        // worker is listed again here.
        // Only a worker told of the link checked where it leads.
        if (done.relative == relative && done.viaLink == viaLink)
            answer = std::move(done.answer);
        return answer;
    }
    m_queued.erase(position); // listed here instead
    return answer;
}

void ListingAhead::work(std::vector<char> buffer) {
    int slowInARow = 0;
    // Made and freed outside the lock, spliced in under it: the walk waits for the lock
    // as briefly as possible.
    std::map<std::string, Task> children;
    std::map<std::string, Done> done;
    std::unique_lock lock(m_mutex);
    for (;;) {
        ++m_idle;
        m_work.wait(lock, [&] { return m_stopping || (!m_queued.empty() && !full()); });
        --m_idle;
        if (m_stopping)
            return;
        auto node = m_queued.extract(m_queued.begin());
        const std::string &position = node.key();
        Task &task = node.mapped();
        bool running = false;
        try {
            m_running.emplace(position, task.relative);
            running = true;
        } catch (const std::exception &) {
            // Out of memory: not listed ahead; the walk lists it itself.
        }
        lock.unlock();
        children.clear();
        done.clear();
        bool slow = false;
        if (running) {
            // Out of memory here, the directory is simply not listed ahead: the walk lists it
            // itself, and says so if it cannot either.
            try {
                slow = listAhead(position, task, buffer, children, done);
            } catch (const std::exception &) {
                children.clear();
                done.clear();
            }
        }
        lock.lock();
        if (running)
            m_running.erase(position);
        std::size_t queued = 0;
        if (!done.empty() && position >= m_walkAt) {
            const Done &d = done.begin()->second;
            if (!children.empty() &&
                m_queued.size() + m_running.size() + m_done.size() + children.size() <= MaxAhead) {
                const std::size_t before = m_queued.size();
                m_queued.merge(children);
                queued = m_queued.size() - before;
                done.begin()->second.answer.childrenQueued = true;
            }
            m_doneBytes += d.bytes;
            m_done.merge(done);
        }
        // Slow answers: the workers wait on the file system, so more of them keep more
        // requests in flight.
        slowInARow = slow ? slowInARow + 1 : 0;
        if (slowInARow >= 2 && !m_queued.empty()) {
            startWorker();
            slowInARow = 0;
        }
        if (position == m_awaited || m_idleWaiters)
            m_finished.notify_all();
        wakeWorkers(queued);
    }
}

bool ListingAhead::listAhead(const std::string &position, const Task &task,
                             std::vector<char> &buffer, std::map<std::string, Task> &children,
                             std::map<std::string, Done> &done) const {
    const std::int64_t began = MonotonicNanoseconds();
    AheadAnswer answer = ListByPath(task.relative, task.viaLink, buffer);
    const bool slow = MonotonicNanoseconds() - began > SlowCallNanoseconds;
    // Not below a link: there a walk may find a loop, which only the walk can tell.
    if (answer.listing && !task.viaLink && m_listBelow)
        for (auto &[key, child] : childTasks(position, task.relative, *answer.listing))
            children.emplace(std::move(key), std::move(child));
    Done d;
    if (answer.listing)
        d.bytes = answer.listing->bytes() + position.size() + task.relative.size();
    d.answer = std::move(answer);
    d.relative = task.relative;
    d.viaLink = task.viaLink;
    done.emplace(position, std::move(d));
    return slow;
}

} // namespace dirwise::detail
