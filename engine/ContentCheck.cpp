#include "ContentCheck.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
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

} // namespace

ContentChecker::ContentChecker(std::size_t blockSize)
    : m_master(std::max<std::size_t>(blockSize, 1)),
      m_compare(std::max<std::size_t>(blockSize, 1)) {}

ContentVerdict ContentChecker::Compare(const OpenedFile &masterFile, const OpenedFile &compareFile,
                                       const std::function<bool(std::int64_t)> &afterBlock) {
    using Outcome = ContentVerdict::Outcome;
    ContentVerdict v;
    const int master = masterFile.fd.get(), compare = compareFile.fd.get();
    const std::int64_t masterSize = masterFile.size, compareSize = compareFile.size;
    for (std::int64_t offset = 0;;) {
        const ssize_t a = readBlock(master, m_master.data(), m_master.size(), masterSize - offset);
        if (a < 0) {
            v = {Outcome::Failed, offset, errno, true};
            return v;
        }
        const ssize_t b =
            readBlock(compare, m_compare.data(), m_compare.size(), compareSize - offset);
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
