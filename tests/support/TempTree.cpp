#include "TempTree.h"

#include <sys/mount.h>

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <sys/wait.h>

namespace dirwise::test {

namespace {

// Makes the parent directories of `path` and returns it.
const std::string &made(const std::string &path) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    return path;
}

// Everything written to the unnamed temporary file `f`, which is closed.
std::string readAll(FILE *f) {
    std::string text = ReadFile("/proc/self/fd/" + std::to_string(::fileno(f)));
    std::fclose(f);
    return text;
}

} // namespace

TempTree::TempTree(bool inMemory) {
    const char *tmp = std::getenv("TMPDIR");
    const bool shm = inMemory && ::access("/dev/shm", W_OK | X_OK) == 0;
    m_root = std::string(shm ? "/dev/shm" : tmp && *tmp ? tmp : "/tmp") + "/dwtest.XXXXXX";
    if (::mkdtemp(m_root.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
}

TempTree::~TempTree() { remove(""); }

std::string TempTree::path(const std::string &rel) const {
    return rel.empty() ? m_root : m_root + "/" + rel;
}

void TempTree::dir(const std::string &rel) { std::filesystem::create_directories(path(rel)); }

void TempTree::file(const std::string &rel, std::int64_t size, std::int64_t mtime) {
    WriteFile(made(path(rel)), std::string(static_cast<std::size_t>(size), 'x'));
    setTime(rel, mtime);
}

void TempTree::symlink(const std::string &rel, const std::string &target) {
    ASSERT_EQ(::symlink(target.c_str(), made(path(rel)).c_str()), 0) << std::strerror(errno);
}

void TempTree::fifo(const std::string &rel) {
    ASSERT_EQ(::mkfifo(made(path(rel)).c_str(), 0644), 0) << std::strerror(errno);
}

void TempTree::setTime(const std::string &rel, std::int64_t mtime, long nanoseconds) {
    const timespec times[2] = {{mtime, nanoseconds}, {mtime, nanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path(rel).c_str(), times, AT_SYMLINK_NOFOLLOW), 0)
        << rel << ": " << std::strerror(errno);
}

// chmod and rm walk relative to directory descriptors, so a 10,000-deep chain goes in
// linear time; chmod first reopens what a test made unreadable (links are not followed).
void TempTree::remove(const std::string &rel) {
    const std::string p = path(rel);
    const char *script = "chmod -R u+rwx \"$0\" 2>/dev/null; rm -rf \"$0\"";
    const int status = WaitProcess(SpawnProcess({"sh", "-c", script, p}, -1, -1, -1), 600);
    struct stat st {};
    ASSERT_TRUE(status == 0 && ::lstat(p.c_str(), &st) != 0) << p << " is still there";
}

bool TempTree::deepFile(const std::string &rel, int depth, const std::string &dirName,
                        const std::string &fileName, std::int64_t size, std::int64_t mtime) {
    dir(rel);
    // Each level is made relative to its parent's descriptor: the full path soon passes
    // PATH_MAX, and only one descriptor is held at a time.
    int fd = ::open(path(rel).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int level = 0; fd >= 0 && level < depth; ++level) {
        ::mkdirat(fd, dirName.c_str(), 0755);
        const int next = ::openat(fd, dirName.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
    }
    // A failed step leaves -1, which every later call turns into a failure.
    const int file = ::openat(fd, fileName.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ::close(fd);
    const timespec times[2] = {{mtime, 0}, {mtime, 0}};
    const bool ok = ::ftruncate(file, size) == 0 && ::futimens(file, times) == 0;
    return ::close(file) == 0 && ok;
}

std::string ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string &path, const std::string &content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    ASSERT_TRUE(out.write(content.data(), static_cast<std::streamsize>(content.size())).flush())
        << path;
}

void UseTimeZone(const char *tz) {
    ::setenv("TZ", tz, 1);
    ::tzset();
}

bool UseLocale(const std::string &language, const std::string &dir) {
    const std::string name = language + ".UTF-8";
    auto usable = [&] {
        const locale_t l = ::newlocale(LC_ALL_MASK, name.c_str(), nullptr);
        if (l)
            ::freelocale(l);
        return l != nullptr;
    };
    if (usable())
        return true;
    std::filesystem::create_directories(dir);
    const ProcessResult r =
        RunProcess({"localedef", "-i", language, "-f", "UTF-8", dir + "/" + name}, 120);
    ::setenv("LOCPATH", dir.c_str(), 1); // status 1: warnings only, the locale is written
    return (r.status == 0 || r.status == 1) && usable();
}

pid_t SpawnProcess(const std::vector<std::string> &argv, int in, int out, int err) {
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    const int fds[3] = {in, out, err};
    for (int target = 0; target < 3; ++target)
        ::dup2(fds[target] >= 0 ? fds[target] : ::open("/dev/null", target ? O_WRONLY : O_RDONLY),
               target);
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    ::_exit(127);
}

int WaitProcess(pid_t pid, int timeoutSeconds) {
    if (pid <= 0)
        return -1;
    int status = 0;
    for (int waited = 0; ::waitpid(pid, &status, WNOHANG) != pid; waited += 5) {
        if (waited >= timeoutSeconds * 1000) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        ::usleep(5000);
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

ChildResult RunInChild(const std::function<int(std::string &out)> &body, int timeoutSeconds) {
    FILE *file = std::tmpfile();
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::string out;
        // An exception must not unwind into the parent's test: it ends the child (SIGABRT).
        const int code = [&]() noexcept { return body(out); }();
        const auto size = static_cast<ssize_t>(out.size());
        // _exit: the child must not run the parent's test teardown or flush its buffers.
        ::_exit(::write(::fileno(file), out.data(), out.size()) == size ? code : 124);
    }
    return {WaitProcess(pid, timeoutSeconds), readAll(file), {}};
}

bool DropRootInChild() {
    constexpr uid_t Nobody = 65534;
    return ::geteuid() != 0 ||
           (::setgroups(0, nullptr) == 0 && ::setresgid(Nobody, Nobody, Nobody) == 0 &&
            ::setresuid(Nobody, Nobody, Nobody) == 0 && ::geteuid() == Nobody);
}

ProcessResult RunProcess(const std::vector<std::string> &argv, int timeoutSeconds) {
    FILE *out = std::tmpfile();
    FILE *err = std::tmpfile();
    const int status =
        WaitProcess(SpawnProcess(argv, -1, ::fileno(out), ::fileno(err)), timeoutSeconds);
    return {status, readAll(out), readAll(err)};
}

BindMount::BindMount(const std::string &source, const std::string &target) : m_target(target) {
    m_mounted = ::mount(source.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) == 0;
    m_error = m_mounted ? 0 : errno;
}

BindMount::~BindMount() { detach(); }

bool BindMount::detach() {
    const bool was = m_mounted;
    if (m_mounted)
        m_mounted = ::umount2(m_target.c_str(), MNT_DETACH) != 0;
    return was;
}

void MakeThousandFolders(TempTree &tree, const std::string &rel, std::int64_t mtime) {
    char name[32];
    for (int g = 0; g < 50; ++g)
        for (int d = 0; d < 20; ++d)
            for (int f = 0; f < 20; ++f) {
                std::snprintf(name, sizeof name, "/g%02d/d%02d/f%02d", g, d, f);
                tree.file(rel + name, 1, mtime);
            }
}

} // namespace dirwise::test
