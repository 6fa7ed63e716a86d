#include "PrivateSshd.h"

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>

namespace dirwise::test {

int FreePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (s >= 0 && ::bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr *>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    if (s >= 0)
        ::close(s);
    return port;
}

namespace {

bool accepting(int port) {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool ok = s >= 0 && ::connect(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    if (s >= 0)
        ::close(s);
    return ok;
}

} // namespace

PrivateSshd::PrivateSshd(const std::string &dir) {
    if (::access("/usr/sbin/sshd", X_OK) != 0) {
        m_skip = "no /usr/sbin/sshd (openssh-server)";
        return;
    }
    // sshd run by root wants its privilege separation folder, which the service makes.
    if (::geteuid() == 0 && ::access("/run/sshd", F_OK) != 0 && ::mkdir("/run/sshd", 0755) != 0) {
        m_skip = "sshd as root needs /run/sshd, which cannot be made";
        return;
    }
    for (const char *key : {"host", "user"})
        if (RunProcess({"ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", dir + "/" + key})
                .status != 0) {
            m_skip = "ssh-keygen failed";
            return;
        }
    WriteFile(dir + "/authorized", ReadFile(dir + "/user.pub"));
    ::chmod((dir + "/authorized").c_str(), 0600);
    m_port = FreePort();
    WriteFile(dir + "/sshd_config",
              "Port " + std::to_string(m_port) + "\nListenAddress 127.0.0.1\nHostKey " + dir +
                  "/host\nAuthorizedKeysFile " + dir + "/authorized\nPidFile " + dir +
                  "/sshd.pid\nStrictModes no\nUsePAM no\nPasswordAuthentication no\n"
                  "KbdInteractiveAuthentication no\nPermitRootLogin yes\n");
    const int log = ::open((dir + "/sshd.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    m_pid = SpawnProcess({"/usr/sbin/sshd", "-D", "-e", "-f", dir + "/sshd_config"}, -1, log, log);
    ::close(log);
    for (int waited = 0; !accepting(m_port); waited += 20) {
        int status = 0;
        if (waited > 10000 || ::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_skip = "sshd did not start: " + ReadFile(dir + "/sshd.log");
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    m_rsh = "ssh -F /dev/null -i " + dir + "/user -p " + std::to_string(m_port) +
            " -o BatchMode=yes -o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null"
            " -o LogLevel=ERROR";
}

PrivateSshd::~PrivateSshd() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        (void)WaitProcess(m_pid, 10);
    }
}

} // namespace dirwise::test
