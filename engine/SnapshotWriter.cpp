#include "SnapshotWriter.h"

#include "Io.h"
#include "MtreeReader.h"
#include "Sha256.h"
#include "SnapshotDigests.h"
#include "WorkerPool.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dirwise {
namespace {

EntryType typeOf(mode_t mode) {
    if (S_ISDIR(mode))
        return EntryType::Dir;
    if (S_ISLNK(mode))
        return EntryType::Link;
    if (S_ISBLK(mode))
        return EntryType::Block;
    if (S_ISCHR(mode))
        return EntryType::Char;
    if (S_ISFIFO(mode))
        return EntryType::Fifo;
    if (S_ISSOCK(mode))
        return EntryType::Socket;
    return EntryType::File;
}

std::int64_t monotonicNanoseconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

// The names in open folder `fd`, without "." and "..", in byte order. Returns 0, or the errno
// of a listing that failed (the names read before it are kept).
int readNames(int fd, std::vector<std::string> &names) {
    const int own = ::openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *dir = own < 0 ? nullptr : ::fdopendir(own);
    if (!dir) {
        const int err = errno;
        if (own >= 0)
            ::close(own);
        return err;
    }
    int err = 0;
    for (;;) {
        errno = 0;
        const dirent *d = ::readdir(dir);
        if (!d) {
            err = errno;
            break;
        }
        if (std::strcmp(d->d_name, ".") != 0 && std::strcmp(d->d_name, "..") != 0)
            names.emplace_back(d->d_name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return err;
}

// One folder the walk is in: its descriptor, its path in the manifest, and the folders
// below it still to be entered.
struct Frame {
    UniqueFd fd;      // closed in deep folders (see OpenFolders), reopened when needed
    std::string name; // its own name in its parent
    std::string path; // "" for the root, else "a/b"
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
    bool entry(int dirFd, const std::string &name, const std::string &path, const struct stat &st,
               const Hashed *hashed = nullptr);
    bool folder(int parentFd, Frame &frame, const std::string &name);
    bool listFolder(Frame &frame);
    bool digest(int dirFd, const std::string &name, const std::string &path, std::string &line);
    // Hashes `tasks` (files of folder `dirFd`) on the pool and on this thread, yielding
    // meanwhile. False when a yield asked to stop.
    bool hashBatch(int dirFd, std::vector<DigestBatch::Task> &tasks);
    bool flush(bool all);
    // Opens the folders on the stack whose descriptors were closed, from the nearest open
    // one down. False (errno set) when one cannot be opened again.
    bool reopen();
    void notRead(const std::string &path, int error, bool directory);

    std::string m_root;
    const int m_out;
    const SnapshotOptions &m_options;
    CompareHost &m_host;
    SnapshotSummary m_summary;
    std::string m_buffer;
    std::vector<char> m_readBuffer;
    std::vector<Frame> m_stack;
    std::int64_t m_lastWrite = 0;
    std::int64_t m_sinceYield = 0; // bytes digested since the last yield
    // With digests: the workers that hash a folder's files beside this thread.
    std::unique_ptr<DigestBatch> m_batch;
    std::unique_ptr<WorkerPool> m_pool; // goes first: its workers may still hold m_batch
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
    if (h.error)
        notRead(path, h.error, false);
    else
        line += " sha256digest=" + h.hex;
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

bool Writer::entry(int dirFd, const std::string &name, const std::string &path,
                   const struct stat &st, const Hashed *hashed) {
    const EntryType type = typeOf(st.st_mode);
    std::string line = path.empty() ? std::string(".") : "./" + EncodeMtreeName(path);
    line += " type=";
    line += EntryTypeName(type);
    if (type == EntryType::File)
        line += " size=" + std::to_string(st.st_size);
    line += " time=" +
            FormatSnapshotTime({st.st_mtim.tv_sec, static_cast<std::int32_t>(st.st_mtim.tv_nsec)});
    if (type == EntryType::Link) {
        std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        const ssize_t n = ::readlinkat(dirFd, name.c_str(), target.data(), target.size());
        if (n <= 0) {
            notRead(path, n < 0 ? errno : EINVAL, false);
            return true; // a link whose target is unknown is left out
        }
        target.resize(static_cast<std::size_t>(n));
        line += " link=" + EncodeMtreeName(target);
    }
    if (type == EntryType::File && hashed) {
        if (hashed->error)
            notRead(path, hashed->error, false);
        else
            line += " sha256digest=" + hashed->hex;
    } else if (type == EntryType::File && m_options.digests && !digest(dirFd, name, path, line)) {
        m_summary.stopped = true;
        return false;
    }
    m_buffer += line;
    m_buffer += '\n';
    ++m_summary.entries;
    if (m_host.yield({Phase::Listing, m_summary.entries, 0, 0})) {
        m_summary.stopped = true;
        return false;
    }
    return flush(false);
}

bool Writer::listFolder(Frame &frame) {
    std::vector<std::string> names;
    if (const int err = readNames(frame.fd.get(), names))
        notRead(frame.path, err, true);
    struct Listed {
        const std::string *name;
        struct stat st;
        std::size_t task; // its digest in m_batch, or npos
    };
    std::vector<Listed> listed;
    listed.reserve(names.size());
    std::vector<DigestBatch::Task> tasks;
    for (const std::string &name : names) {
        Listed l{&name, {}, std::string::npos};
        if (::fstatat(frame.fd.get(), name.c_str(), &l.st, AT_SYMLINK_NOFOLLOW) != 0) {
            notRead(frame.path.empty() ? name : frame.path + "/" + name, errno, false);
            continue;
        }
        if (S_ISDIR(l.st.st_mode)) {
            frame.folders.push_back(name);
            continue;
        }
        if (m_batch && S_ISREG(l.st.st_mode)) {
            l.task = tasks.size();
            tasks.push_back({&name, {}});
        }
        listed.push_back(l);
    }
    // Two files or more are hashed at once; one alone is hashed as its line is written.
    const bool batched = tasks.size() > 1;
    if (batched && !hashBatch(frame.fd.get(), tasks)) {
        m_summary.stopped = true;
        return false;
    }
    for (const Listed &l : listed) {
        const std::string path = frame.path.empty() ? *l.name : frame.path + "/" + *l.name;
        const Hashed *hashed =
            batched && l.task != std::string::npos ? &tasks[l.task].result : nullptr;
        if (!entry(frame.fd.get(), *l.name, path, l.st, hashed))
            return false;
    }
    return true;
}

bool Writer::folder(int parentFd, Frame &frame, const std::string &name) {
    struct stat st {};
    if (::fstat(frame.fd.get(), &st) != 0)
        (void)::fstatat(parentFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW);
    return entry(parentFd, name, frame.path, st) && listFolder(frame);
}

SnapshotSummary Writer::Run(const std::string &root) {
    m_root = root;
    m_buffer = "#mtree\n";
    if (m_options.digests) {
        m_pool = std::make_unique<WorkerPool>();
        m_batch = std::make_unique<DigestBatch>(m_pool->Size().most);
        m_pool->Attach(*m_batch);
    }
    Frame top;
    top.fd.reset(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!top.fd) {
        notRead("", errno, true);
        flush(true);
        return m_summary;
    }
    m_stack.push_back(std::move(top));
    bool going = folder(AT_FDCWD, m_stack.back(), root);
    while (going && !m_stack.empty()) {
        Frame &frame = m_stack.back();
        if (frame.next == frame.folders.size()) {
            m_stack.pop_back();
            continue;
        }
        if (!frame.fd && !reopen()) {
            notRead(frame.path, errno, true);
            frame.next = frame.folders.size();
            continue;
        }
        const std::string name = frame.folders[frame.next++];
        Frame child;
        child.name = name;
        child.path = frame.path.empty() ? name : frame.path + "/" + name;
        const int parentFd = frame.fd.get();
        child.fd.reset(
            ::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!child.fd) {
            const int error = errno;
            struct stat st {};
            if (::fstatat(parentFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
                going = entry(parentFd, name, child.path, st);
            notRead(child.path, error, true);
            continue;
        }
        m_stack.push_back(std::move(child));
        going = folder(parentFd, m_stack.back(), name);
        if (m_stack.size() > OpenFolders + 1)
            m_stack[m_stack.size() - OpenFolders - 1].fd.reset();
    }
    if (m_pool)
        m_pool->Detach();
    if (m_summary.writeError == 0)
        flush(true);
    return m_summary;
}

bool Writer::reopen() {
    std::size_t open = m_stack.size() - 1;
    while (!m_stack[open].fd)
        --open; // the root is never closed
    for (std::size_t k = open + 1; k < m_stack.size(); ++k) {
        m_stack[k].fd.reset(::openat(m_stack[k - 1].fd.get(), m_stack[k].name.c_str(),
                                     O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!m_stack[k].fd)
            return false;
    }
    return true;
}

} // namespace

SnapshotSummary WriteSnapshot(const std::string &root, int out, const SnapshotOptions &options,
                              CompareHost &host) {
    return Writer(out, options, host).Run(root);
}

} // namespace dirwise
