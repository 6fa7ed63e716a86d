#include "Io.h"

#include <cerrno>
#include <unistd.h>

namespace dirwise {

void UniqueFd::reset(int fd) {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
}

int UniqueFd::close() {
    const int fd = release();
    if (fd < 0)
        return 0;
    // Linux frees the descriptor even when close() is interrupted: never retry it.
    return ::close(fd) != 0 && errno != EINTR ? errno : 0;
}

int WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return EIO;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

} // namespace dirwise
