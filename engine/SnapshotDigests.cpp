#include "SnapshotDigests.h"

#include "Io.h"
#include "Sha256.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dirwise {

Hashed HashFileAt(int dirFd, const char *name, std::vector<char> &buffer,
                  const std::function<bool(ssize_t)> &more, bool &stopped) {
    Hashed h;
    // O_NONBLOCK: a file swapped for a FIFO after the stat must not hang the walk.
    UniqueFd fd(::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) {
        h.error = errno;
        return h;
    }
    buffer.resize(256 * 1024);
    Sha256Hasher sha;
    // The data is read; a hole, which reads as zeros, is hashed as the zeros it holds without
    // being read (the kernel would only copy them out). Where holes cannot be told, all of
    // the file is read.
    static const std::vector<char> zeros(64 * 1024, '\0');
    bool holes = true;
    off_t at = 0;
    off_t dataEnd = 0; // where the data being read ends (a hole or the end of the file)
    for (;;) {
        if (holes && at >= dataEnd) {
            const off_t hole = ::lseek(fd.get(), at, SEEK_HOLE);
            const off_t data = hole == at ? ::lseek(fd.get(), at, SEEK_DATA) : hole;
            struct stat st {};
            off_t end = data;
            if (hole < 0 || (data < 0 && errno != ENXIO))
                holes = false; // past the end (then read finds it), or no holes told here
            else if (data < 0) // a hole to the end of the file
                end = ::fstat(fd.get(), &st) == 0 ? st.st_size : at;
            if (holes && hole == at) {
                for (off_t left = end - at; left > 0;) {
                    const auto n = static_cast<std::size_t>(
                        std::min<off_t>(left, static_cast<off_t>(zeros.size())));
                    sha.Update(zeros.data(), n);
                    left -= static_cast<off_t>(n);
                    if (!more(static_cast<ssize_t>(n))) {
                        stopped = true;
                        return h;
                    }
                }
                at = end;
                continue;
            }
            dataEnd = holes ? hole : 0;
        }
        std::size_t want = buffer.size();
        if (holes && dataEnd - at < static_cast<off_t>(want))
            want = static_cast<std::size_t>(dataEnd - at);
        const ssize_t n = ::pread(fd.get(), buffer.data(), want, at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            h.error = errno;
            return h;
        }
        if (n == 0)
            break;
        at += n;
        sha.Update(buffer.data(), static_cast<std::size_t>(n));
        if (!more(n)) {
            stopped = true;
            return h;
        }
    }
    h.hex = DigestHex(sha.Finish());
    return h;
}

bool DigestBatch::Work(std::unique_lock<std::mutex> &lock, unsigned worker) {
    Task &task = tasks[next++];
    lock.unlock();
    bool stopped = false;
    task.result = HashFileAt(
        dirFd, task.name->c_str(), m_buffers[worker],
        [&](ssize_t n) {
            bytes += n;
            return !stop;
        },
        stopped);
    lock.lock();
    ++done;
    finished.notify_all();
    return true;
}

} // namespace dirwise
