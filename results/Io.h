#pragma once

#include <string_view>
#include <utility>

namespace dirwise {

// Owns one open file descriptor and closes it when it goes. -1 means none. Moving hands
// the descriptor over; the moved-from object owns nothing.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd &&other) noexcept : m_fd(other.release()) {}
    UniqueFd &operator=(UniqueFd &&other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;

    [[nodiscard]] int get() const { return m_fd; }
    [[nodiscard]] explicit operator bool() const { return m_fd >= 0; }
    // Gives the descriptor up without closing it.
    [[nodiscard]] int release() { return std::exchange(m_fd, -1); }
    // Closes the owned descriptor (if any) and takes `fd`.
    void reset(int fd = -1);
    // Closes the owned descriptor now and returns 0, or the errno of a failed close (a
    // close interrupted by a signal counts as done). Afterwards nothing is owned.
    [[nodiscard]] int close();

private:
    int m_fd = -1;
};

// Writes all of `data` to `fd`, retrying short writes and EINTR. Returns 0, or the errno
// that stopped it (EIO for a write that made no progress). EPIPE is returned, never raised,
// when the caller ignores SIGPIPE.
[[nodiscard]] int WriteAll(int fd, std::string_view data);

} // namespace dirwise
