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

// Fills `buffer` as far as the file allows. Returns the bytes read, or -1 with errno set.
ssize_t readBlock(int fd, std::vector<char> &buffer) {
    std::size_t filled = 0;
    while (filled < buffer.size()) {
        const ssize_t n = ::read(fd, buffer.data() + filled, buffer.size() - filled);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        filled += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(filled);
}

// Opens a file for reading without ever blocking on a FIFO or a device, and only when it is
// a regular file. Returns the descriptor, an empty one with `error` set, or an empty one
// with `regular` false.
UniqueFd openRegular(int dir, const std::string &name, int &error, bool &regular) {
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
    const UniqueFd master = openRegular(masterDir, masterName, v.error, regular);
    if (!master) {
        v.outcome = regular ? Outcome::Failed : Outcome::NotRegular;
        v.masterSide = true;
        return v;
    }
    const UniqueFd compare = openRegular(compareDir, compareName, v.error, regular);
    if (!compare) {
        v.outcome = regular ? Outcome::Failed : Outcome::NotRegular;
        return v;
    }
    for (std::int64_t offset = 0;;) {
        const ssize_t a = readBlock(master.get(), m_master);
        if (a < 0) {
            v = {Outcome::Failed, offset, errno, true};
            return v;
        }
        const ssize_t b = readBlock(compare.get(), m_compare);
        if (b < 0) {
            v = {Outcome::Failed, offset, errno, false};
            return v;
        }
        const auto common = static_cast<std::size_t>(std::min(a, b));
        const auto diff =
            std::mismatch(m_master.begin(), m_master.begin() + common, m_compare.begin());
        if (diff.first != m_master.begin() + common || a != b) {
            v.outcome = Outcome::Differs;
            v.offset = offset + (diff.first - m_master.begin());
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
