#include "TempTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <dirent.h>
#include <grp.h>
#include <thread>
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

TempTree::TempTree(bool inMemory) {
    const char *tmp = std::getenv("TMPDIR");
    std::string base = tmp && *tmp ? tmp : "/tmp";
    if (inMemory && ::access("/dev/shm", W_OK | X_OK) == 0)
        base = "/dev/shm";
    std::string pattern = base + "/dwtest.XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    m_root = pattern;
}

namespace {

// Removes `name` below `parentFd` with everything in it. It walks down and back up ("..")
// holding one descriptor at a time, so a tree of any depth goes in time linear in its size;
// `rm -rf` takes quadratic time on a 10,000-deep chain. Modes are opened up on the way, so
// directories that a test made unreadable go too. Symbolic links are removed, not followed.
void removeAll(int parentFd, const std::string &name) {
    struct stat st {};
    if (::fstatat(parentFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return;
    if (!S_ISDIR(st.st_mode)) {
        ::unlinkat(parentFd, name.c_str(), 0);
        return;
    }
    ::fchmodat(parentFd, name.c_str(), 0700, 0);
    int fd = ::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    int depth = 0;
    while (fd >= 0) {
        std::string child;
        DIR *d = ::fdopendir(::dup(fd));
        if (d == nullptr)
            break;
        ::rewinddir(d);
        while (const dirent *e = ::readdir(d)) {
            const std::string n = e->d_name;
            if (n == "." || n == "..")
                continue;
            if (::fstatat(fd, n.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)) {
                if (::unlinkat(fd, n.c_str(), AT_REMOVEDIR) != 0 && child.empty())
                    child = n;
            } else {
                ::unlinkat(fd, n.c_str(), 0);
            }
        }
        ::closedir(d);
        int next = -1;
        if (!child.empty()) {
            ::fchmodat(fd, child.c_str(), 0700, 0);
            next = ::openat(fd, child.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (next >= 0)
                ++depth;
        }
        if (next < 0) {
            if (depth == 0)
                break;
            next = ::openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            --depth;
        }
        ::close(fd);
        fd = next;
    }
    if (fd >= 0)
        ::close(fd);
    ::unlinkat(parentFd, name.c_str(), AT_REMOVEDIR);
}

} // namespace

TempTree::~TempTree() { removeAll(AT_FDCWD, m_root); }

std::string TempTree::path(const std::string &rel) const {
    return rel.empty() ? m_root : m_root + "/" + rel;
}

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

void TempTree::setTime(const std::string &rel, std::int64_t mtime, long nanoseconds) {
    struct timespec times[2];
    times[0].tv_sec = static_cast<time_t>(mtime);
    times[0].tv_nsec = nanoseconds;
    times[1] = times[0];
    ASSERT_EQ(::utimensat(AT_FDCWD, path(rel).c_str(), times, AT_SYMLINK_NOFOLLOW), 0)
        << rel << ": " << std::strerror(errno);
}

void TempTree::chmod(const std::string &rel, mode_t mode) {
    ASSERT_EQ(::chmod(path(rel).c_str(), mode), 0) << rel << ": " << std::strerror(errno);
}

bool TempTree::deepFile(const std::string &rel, int depth, const std::string &dirName,
                        const std::string &fileName, std::int64_t size, std::int64_t mtime) {
    dir(rel);
    int fd = ::open(path(rel).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // Each level is made relative to its parent's descriptor: the full path soon passes
    // PATH_MAX, and only one descriptor is held at a time.
    for (int level = 0; fd >= 0 && level < depth; ++level) {
        if (::mkdirat(fd, dirName.c_str(), 0755) != 0 && errno != EEXIST) {
            ::close(fd);
            return false;
        }
        const int next = ::openat(fd, dirName.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
    }
    if (fd < 0)
        return false;
    const int file =
        ::openat(fd, fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ::close(fd);
    if (file < 0)
        return false;
    const std::string content(static_cast<std::size_t>(size), 'x');
    bool ok = ::write(file, content.data(), content.size()) == static_cast<ssize_t>(size);
    struct timespec times[2] = {{static_cast<time_t>(mtime), 0}, {static_cast<time_t>(mtime), 0}};
    ok = ::futimens(file, times) == 0 && ok;
    return ::close(file) == 0 && ok;
}

void TempTree::remove(const std::string &rel) {
    removeAll(AT_FDCWD, path(rel));
    struct stat st {};
    ASSERT_NE(::lstat(path(rel).c_str(), &st), 0) << rel << " is still there";
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

std::vector<std::string> ListDirectory(const std::string &path) {
    std::vector<std::string> names;
    DIR *d = ::opendir(path.c_str());
    if (d == nullptr)
        return names;
    while (const dirent *e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

bool RunningAsRoot() { return ::geteuid() == 0; }

void UseTimeZone(const char *tz) {
    ::setenv("TZ", tz, 1);
    ::tzset();
}

namespace {

// Makes `fd` the child's descriptor `target`, or /dev/null there when fd is -1.
void placeDescriptor(int fd, int target) {
    if (fd < 0)
        fd = ::open("/dev/null", target == 0 ? O_RDONLY : O_WRONLY);
    if (fd == target)
        ::fcntl(fd, F_SETFD, 0); // keep it across exec
    else
        ::dup2(fd, target);
}

} // namespace

pid_t SpawnProcess(const std::vector<std::string> &argv, int in, int out, int err,
                   const std::vector<std::string> &extraEnv) {
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    placeDescriptor(in, 0);
    placeDescriptor(out, 1);
    placeDescriptor(err, 2);
    for (const std::string &e : extraEnv)
        ::putenv(const_cast<char *>(e.c_str()));
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    ::_exit(127);
}

int WaitProcess(pid_t pid, int timeoutSeconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    int status = 0;
    for (;;) {
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid)
            break;
        if (r < 0 && errno != EINTR)
            return -1;
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

ChildResult RunInChild(const std::function<int(std::string &out)> &body, int timeoutSeconds) {
    ChildResult result;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return result;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        std::string out;
        int code = 125;
        try {
            code = body(out);
        } catch (...) {
            out += "exception in child";
        }
        const char *p = out.data();
        std::size_t left = out.size();
        while (left > 0) {
            const ssize_t n = ::write(fds[1], p, left);
            if (n <= 0)
                break;
            p += n;
            left -= static_cast<std::size_t>(n);
        }
        // _exit: the child must not run the parent's test teardown or flush its buffers.
        ::_exit(code);
    }
    ::close(fds[1]);
    if (pid < 0) {
        ::close(fds[0]);
        return result;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    char buf[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd pfd{fds[0], POLLIN, 0};
        const int ready = ::poll(&pfd, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n <= 0)
            break;
        result.out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    const auto remaining = std::chrono::duration_cast<std::chrono::seconds>(
        deadline - std::chrono::steady_clock::now());
    result.status = WaitProcess(pid, std::max<int>(1, static_cast<int>(remaining.count())));
    return result;
}

bool DropRootInChild() {
    if (::geteuid() != 0)
        return true;
    constexpr uid_t Nobody = 65534;
    return ::setgroups(0, nullptr) == 0 && ::setresgid(Nobody, Nobody, Nobody) == 0 &&
           ::setresuid(Nobody, Nobody, Nobody) == 0 && ::geteuid() == Nobody;
}

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
