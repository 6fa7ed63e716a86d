#include "SnapshotWriter.h"

#include "Io.h"
#include "MtreeReader.h"
#include "Sha256.h"
#include "SnapshotAhead.h"
#include "SnapshotDigests.h"
#include "TreeSource.h"
#include "WorkerPool.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dirwise {
namespace {

std::int64_t monotonicNanoseconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

// One folder the walk is in: its descriptor when this thread opened it from its parent, its
// path in the manifest, its position on the walk and the folders below it still to be entered.
struct Frame {
    UniqueFd fd;      // closed in deep folders (see OpenFolders), reopened when needed
    std::string name; // its own name in its parent
    std::string path; // "" for the root, else "a/b"
    std::string position;
    std::vector<std::string> folders;
    std::size_t next = 0;
};

// Folders held open at once: deeper walks close their ancestors' descriptors and reopen them
// one name at a time on the way back, so any depth stays within the descriptor limit.
constexpr std::size_t OpenFolders = 16;

class Writer {
public:
    Writer(int out, const SnapshotOptions &options, CompareHost &host)
        : m_out(out), m_options(options), m_host(host) {}

    SnapshotSummary Run(const std::string &root);

private:
    // Takes `folder` as the top frame's: reports what it misses, hands its subfolders to the
    // workers and writes its lines. False when a yield asked to stop or a write failed.
    bool enter(SnapshotFolder &folder);
    // Reads `child` (a subfolder of the top frame) on this thread: from the root in one call
    // when it can, else from its parent, keeping its descriptor in `child`. False (errno set)
    // when the parent cannot be opened again.
    bool readHere(Frame &child, SnapshotFolder &folder);
    // Writes the lines of `folder` (at `path`, open as `dirFd` when digests are asked for),
    // each with its digest, yielding after every one.
    bool write(const SnapshotFolder &folder, int dirFd, const std::string &path);
    bool digest(int dirFd, const std::string &name, const std::string &path, std::string &line);
    // Hashes `tasks` (files of folder `dirFd`) on the pool and on this thread, yielding
    // meanwhile. False when a yield asked to stop.
    bool hashBatch(int dirFd, std::vector<DigestBatch::Task> &tasks);
    bool flush(bool all);
    // Opens the folders on the stack whose descriptors were closed (or never opened here),
    // from the nearest open one down. False (errno set) when one cannot be opened.
    bool reopen();
    [[nodiscard]] int fdOf(std::size_t depth) const {
        return depth == 0 ? m_rootFd.get() : m_stack[depth].fd.get();
    }
    void notRead(const std::string &path, int error, bool directory);

    std::string m_root;
    const int m_out;
    const SnapshotOptions &m_options;
    CompareHost &m_host;
    SnapshotSummary m_summary;
    std::string m_buffer;
    std::vector<char> m_readBuffer;
    std::vector<char> m_listBuffer;
    std::vector<Frame> m_stack;
    std::int64_t m_lastWrite = 0;
    std::int64_t m_sinceYield = 0; // bytes digested since the last yield
    UniqueFd m_rootFd;             // outlives the workers that open folders from it
    // With digests: the workers that hash a folder's files beside this thread.
    std::unique_ptr<DigestBatch> m_batch;
    std::unique_ptr<WorkerPool> m_pool; // goes before m_batch: its workers may still hold it
    // Without digests: the workers that read folders ahead of this thread.
    std::unique_ptr<SnapshotAhead> m_ahead;
};

void Writer::notRead(const std::string &path, int error, bool directory) {
    const Diagnostic d{Side::Master,
                       directory           ? Problem::FolderNotListed
                       : m_options.digests ? Problem::ContentsNotRead
                                           : Problem::FactsNotRead,
                       m_root, directory && !path.empty() ? path + "/" : path, error};
    m_summary.notRead.push_back(d);
    m_host.diagnostic(d);
}

bool Writer::flush(bool all) {
    // A reader at the other end of a pipe gets the lines at least every 50 ms, so a compare
    // reading the stream goes on beside the walk.
    const std::int64_t now = monotonicNanoseconds();
    if (m_buffer.empty() ||
        (!all && m_buffer.size() < 256 * 1024 && now - m_lastWrite < 50'000'000))
        return true;
    m_lastWrite = now;
    m_summary.writeError = WriteAll(m_out, m_buffer);
    m_buffer.clear();
    return m_summary.writeError == 0;
}

bool Writer::digest(int dirFd, const std::string &name, const std::string &path,
                    std::string &line) {
    bool stopped = false;
    const Hashed h = HashFileAt(
        dirFd, name.c_str(), m_readBuffer,
        [&](ssize_t n) {
            // A large file yields as it is read, so Stop is seen within it.
            if ((m_sinceYield += n) < 16 * 1024 * 1024)
                return true;
            m_sinceYield = 0;
            return !m_host.yield({Phase::Listing, m_summary.entries, 0, 0});
        },
        stopped);
    if (stopped)
        return false;
    if (h.error) {
        notRead(path, h.error, false);
    } else {
        line += " sha256digest=";
        line += h.hex;
    }
    return true;
}

bool Writer::hashBatch(int dirFd, std::vector<DigestBatch::Task> &tasks) {
    DigestBatch &batch = *m_batch;
    std::unique_lock lock(m_pool->Mutex());
    batch.dirFd = dirFd;
    batch.next = batch.done = 0;
    batch.tasks.swap(tasks);
    const auto giveBack = [&] {
        tasks.swap(batch.tasks);
        batch.tasks.clear();
    };
    (void)m_pool->Ensure(m_pool->Size().start);
    m_pool->Wake(batch.tasks.size());
    while (batch.done < batch.tasks.size()) {
        if (batch.next < batch.tasks.size()) {
            DigestBatch::Task &task = batch.tasks[batch.next++];
            lock.unlock();
            bool stopped = false;
            task.result = HashFileAt(
                dirFd, task.name->c_str(), m_readBuffer,
                [&](ssize_t n) {
                    if ((m_sinceYield += n) < 16 * 1024 * 1024)
                        return !batch.stop;
                    m_sinceYield = 0;
                    if (m_host.yield({Phase::Listing, m_summary.entries, 0, 0}))
                        batch.stop = true;
                    return !batch.stop;
                },
                stopped);
            lock.lock();
            ++batch.done;
            if (batch.stop)
                break;
            continue;
        }
        // The workers have the rest: yield now and then, so Stop is seen within a large file.
        batch.finished.wait_for(lock, std::chrono::milliseconds(50));
        if (batch.done == batch.tasks.size())
            break;
        lock.unlock();
        if (m_host.yield({Phase::Listing, m_summary.entries, 0, 0}))
            batch.stop = true;
        lock.lock();
        if (batch.stop)
            break;
    }
    if (!batch.stop) {
        giveBack();
        return true;
    }
    lock.unlock();
    m_pool->Detach(); // returns once the files being hashed are put down
    giveBack();
    return false;
}

bool Writer::write(const SnapshotFolder &folder, int dirFd, const std::string &path) {
    for (const SnapshotFolder::Missed &m : folder.missed)
        notRead(m.path, m.error, false);
    // Two files or more are hashed at once; one alone is hashed as its line is written.
    std::vector<DigestBatch::Task> tasks;
    const bool batched = m_batch && folder.files.size() > 1;
    if (batched) {
        tasks.reserve(folder.files.size());
        for (const SnapshotFolder::File &f : folder.files)
            tasks.push_back({&f.name, {}});
        if (!hashBatch(dirFd, tasks)) {
            m_summary.stopped = true;
            return false;
        }
    }
    std::size_t at = 0;
    std::size_t file = 0;
    for (std::size_t k = 0; k < folder.lineCount; ++k) {
        const std::size_t end = folder.lines.find('\n', at);
        if (file < folder.files.size() && folder.files[file].line == k) {
            const std::size_t lineStart = m_buffer.size();
            m_buffer.append(folder.lines, at, end - at);
            const SnapshotFolder::File &f = folder.files[file];
            const std::string filePath = JoinedPath(path, f.name);
            if (!batched) {
                if (!digest(dirFd, f.name, filePath, m_buffer)) {
                    m_buffer.resize(lineStart); // the manifest ends after a whole line
                    m_summary.stopped = true;
                    return false;
                }
            } else if (const Hashed &h = tasks[file].result; h.error) {
                notRead(filePath, h.error, false);
            } else {
                m_buffer += " sha256digest=";
                m_buffer += h.hex;
            }
            m_buffer += '\n';
            ++file;
        } else {
            m_buffer.append(folder.lines, at, end + 1 - at);
        }
        at = end + 1;
        ++m_summary.entries;
        if (m_host.yield({Phase::Listing, m_summary.entries, 0, 0})) {
            m_summary.stopped = true;
            return false;
        }
        if (!flush(false))
            return false;
    }
    return true;
}

bool Writer::enter(SnapshotFolder &folder) {
    Frame &frame = m_stack.back();
    if (folder.openError || folder.listError)
        notRead(frame.path, folder.openError ? folder.openError : folder.listError, true);
    frame.folders = std::move(folder.folders);
    if (m_ahead && !folder.childrenQueued)
        m_ahead->Queue(frame.position, frame.path, frame.folders);
    return write(folder, fdOf(m_stack.size() - 1), frame.path);
}

bool Writer::readHere(Frame &child, SnapshotFolder &folder) {
    if (!m_options.digests && child.path.size() < SnapshotMaxPath) {
        const UniqueFd fd(OpenBeneath(m_rootFd.get(), child.path));
        if (fd) {
            ReadSnapshotFolder(fd.get(), child.path, false, m_listBuffer, folder);
            return true;
        }
        // Opened again from its parent, which also names the error.
    }
    if (!reopen())
        return false;
    const int parentFd = fdOf(m_stack.size() - 1);
    child.fd.reset(
        ::openat(parentFd, child.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!child.fd)
        DescribeUnopened(parentFd, child.name.c_str(), child.path, errno, folder);
    else
        ReadSnapshotFolder(child.fd.get(), child.path, m_options.digests, m_listBuffer, folder);
    return true;
}

SnapshotSummary Writer::Run(const std::string &root) {
    m_root = root;
    m_buffer = "#mtree\n";
    m_rootFd.reset(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!m_rootFd) {
        notRead("", errno, true);
        flush(true);
        return m_summary;
    }
    m_pool = std::make_unique<WorkerPool>();
    if (m_options.digests) {
        m_batch = std::make_unique<DigestBatch>(m_pool->Size().most);
        m_pool->Attach(*m_batch);
    } else {
        m_ahead = std::make_unique<SnapshotAhead>(*m_pool, m_rootFd.get());
    }
    SnapshotFolder folder;
    ReadSnapshotFolder(m_rootFd.get(), "", m_options.digests, m_listBuffer, folder);
    m_stack.emplace_back();
    bool going = enter(folder);
    while (going && !m_stack.empty()) {
        Frame &frame = m_stack.back();
        if (frame.next == frame.folders.size()) {
            m_stack.pop_back();
            continue;
        }
        const std::size_t index = frame.next++;
        Frame child;
        child.name = frame.folders[index];
        child.path = JoinedPath(frame.path, child.name);
        child.position = frame.position;
        AppendPositionStep(child.position, static_cast<std::uint32_t>(index));
        if (!(m_ahead && m_ahead->Take(child.position, child.path, folder)) &&
            !readHere(child, folder)) {
            // Its parent cannot be opened again: the rest of the parent is not listed.
            notRead(frame.path, errno, true);
            frame.next = frame.folders.size();
            continue;
        }
        m_stack.push_back(std::move(child));
        going = enter(folder);
        if (m_stack.size() > OpenFolders + 1)
            m_stack[m_stack.size() - OpenFolders - 1].fd.reset();
    }
    if (m_ahead)
        m_ahead.reset(); // returns once no worker reads a folder any more
    else
        m_pool->Detach();
    if (m_summary.writeError == 0)
        flush(true);
    return m_summary;
}

bool Writer::reopen() {
    std::size_t open = m_stack.size() - 1;
    while (open > 0 && !m_stack[open].fd)
        --open; // the root is never closed
    for (std::size_t k = open + 1; k < m_stack.size(); ++k) {
        m_stack[k].fd.reset(::openat(fdOf(k - 1), m_stack[k].name.c_str(),
                                     O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!m_stack[k].fd)
            return false;
        if (k > OpenFolders)
            m_stack[k - OpenFolders].fd.reset(); // a long way down holds few at a time
    }
    return true;
}

} // namespace

SnapshotSummary WriteSnapshot(const std::string &root, int out, const SnapshotOptions &options,
                              CompareHost &host) {
    return Writer(out, options, host).Run(root);
}

} // namespace dirwise
