#pragma once

// A private sshd for one test, run as the current user on a free port of 127.0.0.1 with its
// own host key, user key and configuration, and stopped when the object goes.

#include "TempTree.h"

namespace dirwise::test {

class PrivateSshd {
public:
    // Starts sshd in `dir` (which must exist and outlive the object). When it cannot start,
    // skipReason() says why.
    explicit PrivateSshd(const std::string &dir);
    ~PrivateSshd();
    PrivateSshd(const PrivateSshd &) = delete;
    PrivateSshd &operator=(const PrivateSshd &) = delete;

    [[nodiscard]] const std::string &skipReason() const { return m_skip; }
    // An ssh command line (for --rsh) that reaches this sshd without asking anything.
    [[nodiscard]] const std::string &rsh() const { return m_rsh; }
    [[nodiscard]] int port() const { return m_port; }

private:
    std::string m_skip;
    std::string m_rsh;
    int m_port = 0;
    pid_t m_pid = -1;
};

// A TCP port on 127.0.0.1 that nothing listens on now, or 0.
[[nodiscard]] int FreePort();

} // namespace dirwise::test
