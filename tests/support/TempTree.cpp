#include "TempTree.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <signal.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace dirwise::test {

TempTree::TempTree() {
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/dwtest.XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    m_root = pattern;
}

TempTree::~TempTree() {
    // rm copes with any depth and any path length; chmod first undoes permission tests.
    const std::string cmd = "chmod -R u+rwx '" + m_root + "' 2>/dev/null; rm -rf '" + m_root + "'";
    if (std::system(cmd.c_str()) != 0) {
    }
}

std::string TempTree::path(const std::string &rel) const { return m_root + "/" + rel; }

void TempTree::parents(const std::string &rel) {
    for (std::size_t pos = rel.find('/'); pos != std::string::npos; pos = rel.find('/', pos + 1))
        ::mkdir(path(rel.substr(0, pos)).c_str(), 0755);
}

void TempTree::dir(const std::string &rel) {
    parents(rel + "/");
    ::mkdir(path(rel).c_str(), 0755);
}

void TempTree::file(const std::string &rel, std::int64_t size, std::int64_t mtime) {
    parents(rel);
    WriteFile(path(rel), std::string(static_cast<std::size_t>(size), 'x'));
    setTime(rel, mtime);
}

void TempTree::sparse(const std::string &rel, std::int64_t size, std::int64_t mtime) {
    parents(rel);
    const int fd = ::open(path(rel).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, size), 0);
    ::close(fd);
    setTime(rel, mtime);
}

void TempTree::symlink(const std::string &rel, const std::string &target) {
    parents(rel);
    ASSERT_EQ(::symlink(target.c_str(), path(rel).c_str()), 0) << std::strerror(errno);
}

void TempTree::fifo(const std::string &rel) {
    parents(rel);
    ASSERT_EQ(::mkfifo(path(rel).c_str(), 0644), 0) << std::strerror(errno);
}

void TempTree::setTime(const std::string &rel, std::int64_t mtime) {
    struct timespec times[2];
    times[0].tv_sec = static_cast<time_t>(mtime);
    times[0].tv_nsec = 0;
    times[1] = times[0];
    ASSERT_EQ(::utimensat(AT_FDCWD, path(rel).c_str(), times, AT_SYMLINK_NOFOLLOW), 0)
        << rel << ": " << std::strerror(errno);
}

void TempTree::remove(const std::string &rel) {
    const std::string cmd = "rm -rf '" + path(rel) + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
}

std::string ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::string &path, const std::string &content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    ASSERT_TRUE(out.good()) << path;
}

bool RunningAsRoot() { return ::geteuid() == 0; }

ProcessResult RunProcess(const std::vector<std::string> &argv, int timeoutSeconds,
                         const std::vector<std::string> &extraEnv) {
    ProcessResult result;
    int outPipe[2], errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0)
        return result;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(outPipe[1], 1);
        ::dup2(errPipe[1], 2);
        const int devnull = ::open("/dev/null", O_RDONLY);
        ::dup2(devnull, 0);
        for (const std::string &e : extraEnv)
            ::putenv(const_cast<char *>(e.c_str()));
        std::vector<char *> args;
        for (const std::string &a : argv)
            args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    int open = 2;
    bool timedOut = false;
    char buf[65536];
    while (open > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        if (::poll(fds, 2, static_cast<int>(left.count())) < 0 && errno != EINTR)
            break;
        for (int k = 0; k < 2; ++k) {
            if (fds[k].fd < 0 || !(fds[k].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const ssize_t n = ::read(fds[k].fd, buf, sizeof buf);
            if (n > 0) {
                (k == 0 ? result.out : result.err).append(buf, static_cast<std::size_t>(n));
            } else {
                ::close(fds[k].fd);
                fds[k].fd = -1;
                --open;
            }
        }
    }
    if (timedOut)
        ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    for (auto &f : fds)
        if (f.fd >= 0)
            ::close(f.fd);
    if (timedOut)
        result.status = -1;
    else if (WIFEXITED(status))
        result.status = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.status = 128 + WTERMSIG(status);
    return result;
}

} // namespace dirwise::test
