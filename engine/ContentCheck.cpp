#include "ContentCheck.h"

#include "Io.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dirwise {
namespace {

// Reads up to `size` bytes into `buffer`. `expected` is what is left of the file by the size
// fstat gave when it was opened: once that much has come, no further read is made just to
// see the end (a file that grows while it is compared is compared as it was). Returns the
// bytes read, or -1 with errno set.
ssize_t readBlock(int fd, char *buffer, std::size_t size, std::int64_t expected) {
    if (expected <= 0)
        return 0;
    std::size_t filled = 0;
    while (filled < size) {
        const ssize_t n = ::read(fd, buffer + filled, size - filled);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        filled += static_cast<std::size_t>(n);
        if (static_cast<std::int64_t>(filled) == expected)
            break;
    }
    return static_cast<ssize_t>(filled);
}

// The first offset below `n` at which a and b differ, or n.
std::size_t firstDifference(const char *a, const char *b, std::size_t n) {
    if (std::memcmp(a, b, n) == 0)
        return n;
    std::size_t at = 0;
    while (at + 64 <= n && std::memcmp(a + at, b + at, 64) == 0)
        at += 64;
    while (at < n && a[at] == b[at])
        ++at;
    return at;
}

// Opens a file for reading without ever blocking on a FIFO or a device, and only when it is
// a regular file. Returns the descriptor (and its size), an empty one with `error` set, or
// an empty one with `regular` false.
UniqueFd openRegular(int dir, const std::string &name, int &error, bool &regular,
                     std::int64_t &size, std::size_t blockSize) {
    UniqueFd fd(::openat(dir, name.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    regular = true;
    if (!fd) {
        error = errno;
        return fd;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        error = errno;
        return UniqueFd();
    }
    if (!S_ISREG(st.st_mode)) {
        regular = false;
        return UniqueFd();
    }
    size = st.st_size;
    if (size > static_cast<std::int64_t>(blockSize)) // one read needs no read-ahead advice
        ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    return fd;
}

} // namespace

ContentChecker::ContentChecker(std::size_t blockSize)
    : m_master(std::max<std::size_t>(blockSize, 1)),
      m_compare(std::max<std::size_t>(blockSize, 1)) {}

ContentVerdict ContentChecker::Compare(int masterDir, const std::string &masterName, int compareDir,
                                       const std::string &compareName,
                                       const std::function<bool(std::int64_t)> &afterBlock) {
    using Outcome = ContentVerdict::Outcome;
    ContentVerdict v;
    bool regular = true;
    std::int64_t masterSize = 0, compareSize = 0;
    const UniqueFd master =
        openRegular(masterDir, masterName, v.error, regular, masterSize, m_master.size());
    if (!master) {
        v.outcome = regular ? Outcome::Failed : Outcome::NotRegular;
        v.masterSide = true;
        return v;
    }
    const UniqueFd compare =
        openRegular(compareDir, compareName, v.error, regular, compareSize, m_compare.size());
    if (!compare) {
        v.outcome = regular ? Outcome::Failed : Outcome::NotRegular;
        return v;
    }
    for (std::int64_t offset = 0;;) {
        const ssize_t a =
            readBlock(master.get(), m_master.data(), m_master.size(), masterSize - offset);
        if (a < 0) {
            v = {Outcome::Failed, offset, errno, true};
            return v;
        }
        const ssize_t b =
            readBlock(compare.get(), m_compare.data(), m_compare.size(), compareSize - offset);
        if (b < 0) {
            v = {Outcome::Failed, offset, errno, false};
            return v;
        }
        const auto common = static_cast<std::size_t>(std::min(a, b));
        const std::size_t same = firstDifference(m_master.data(), m_compare.data(), common);
        if (same != common || a != b) {
            v.outcome = Outcome::Differs;
            v.offset = offset + static_cast<std::int64_t>(same);
            return v;
        }
        if (a == 0)
            return v; // both ended together: the same
        offset += a;
        if (afterBlock && afterBlock(a + b)) {
            v.outcome = Outcome::Stopped;
            return v;
        }
    }
}

} // namespace dirwise
