#include "SafeWrite.h"

#include "Io.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <linux/falloc.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dirwise {
namespace {

int (*g_sync)(int) = nullptr;

int syncFile(int fd) {
    const int r = g_sync ? g_sync(fd) : ::fsync(fd);
    return r == 0 ? 0 : errno;
}

mode_t currentUmask() {
    // Reading the mask through umask() would briefly change it for the whole process.
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
    }
    const mode_t m = ::umask(022);
    ::umask(m);
    return m;
}

std::string directoryOf(const std::string &path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The descriptor `path` itself names (see DescriptorTarget), or -1.
int descriptorNamed(const std::string &path) {
    if (path == "/dev/stdin")
        return 0;
    if (path == "/dev/stdout")
        return 1;
    if (path == "/dev/stderr")
        return 2;
    std::string_view rest;
    const std::string own = "/proc/" + std::to_string(::getpid()) + "/fd/";
    for (const std::string_view prefix :
         {std::string_view("/dev/fd/"), std::string_view("/proc/self/fd/"),
          std::string_view("/proc/thread-self/fd/"), std::string_view(own)})
        if (std::string_view(path).substr(0, prefix.size()) == prefix) {
            rest = std::string_view(path).substr(prefix.size());
            break;
        }
    if (rest.empty() || rest.size() > 9)
        return -1;
    int fd = 0;
    for (const char c : rest) {
        if (c < '0' || c > '9')
            return -1;
        fd = fd * 10 + (c - '0');
    }
    return fd;
}

// Follows symlinks by hand so that a dangling link still names the file it would create.
// A name of one of our descriptors ends the walk there: `fd` gets it (else -1), because
// what the kernel's link shows behind it is a path to reopen, which is not the descriptor
// (a pipe's "pipe:[N]", a file the shell opened for appending).
// Returns 0 or the errno of a loop or a failed read of a link.
int resolveTarget(std::string path, std::string &out, int &fd) {
    fd = -1;
    for (int hops = 0; hops < 40; ++hops) {
        if ((fd = descriptorNamed(path)) >= 0) {
            out = path;
            return 0;
        }
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            out = path;
            return 0;
        }
        std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 256) + 1, '\0');
        const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
        if (n < 0)
            return errno;
        target.resize(static_cast<std::size_t>(n));
        path =
            (!target.empty() && target.front() == '/') ? target : directoryOf(path) + "/" + target;
    }
    return ELOOP;
}

// Holds SIGINT, SIGTERM and SIGHUP back on this thread while it lives; they are delivered
// when it goes.
class SignalHold {
public:
    SignalHold() {
        sigset_t set;
        sigemptyset(&set);
        for (int s : {SIGINT, SIGTERM, SIGHUP})
            sigaddset(&set, s);
        pthread_sigmask(SIG_BLOCK, &set, &m_old);
    }
    ~SignalHold() { pthread_sigmask(SIG_SETMASK, &m_old, nullptr); }
    SignalHold(const SignalHold &) = delete;
    SignalHold &operator=(const SignalHold &) = delete;

private:
    sigset_t m_old;
};

// Writes what `produce` gives to `fd`, in large pieces. Returns 0 or the errno.
int produceInto(int fd, const ByteProducer &produce, off_t &written) {
    written = 0;
    return produce([&](std::string_view piece) {
        written += static_cast<off_t>(piece.size());
        return WriteAll(fd, piece);
    });
}

// Into an existing file that is not a regular file and must never be replaced: a device,
// a FIFO with a reader, a terminal.
int writeSpecial(const std::string &path, const ByteProducer &produce) {
    // O_NONBLOCK: a FIFO without a reader fails at once (ENXIO) instead of hanging.
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd)
        return errno;
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags >= 0)
        ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
    off_t written = 0;
    const int err = produceInto(fd.get(), produce, written);
    const int closeErr = fd.close();
    return err ? err : closeErr;
}

// Into an existing regular file, in place: measure, reserve, write, cut, sync.
int writeInPlace(const std::string &path, const ByteProducer &produce) {
    off_t size = 0;
    if (const int err = produce([&](std::string_view piece) {
            size += static_cast<off_t>(piece.size());
            return 0;
        }))
        return err;
    // A file-size limit would cut the new contents short half way: find it first too.
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        static_cast<rlim_t>(size) > limit.rlim_cur)
        return EFBIG;
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
    if (!fd)
        return errno;
    // Reserve every block the new contents need without changing the file's size, so a full
    // disk is found before the first byte is overwritten. A file system that cannot reserve
    // is written without it.
    if (size > 0 && ::fallocate(fd.get(), FALLOC_FL_KEEP_SIZE, 0, size) != 0 &&
        errno != EOPNOTSUPP && errno != ENOSYS)
        return errno;
    off_t written = 0;
    int err = produceInto(fd.get(), produce, written);
    if (err == 0 && written != size)
        err = EIO; // the producer changed its mind between the passes
    if (err == 0 && ::ftruncate(fd.get(), size) != 0)
        err = errno;
    if (err == 0)
        err = syncFile(fd.get());
    const int closeErr = fd.close();
    return err ? err : closeErr;
}

// An unnamed file in `dir`, where the file system can make one; it gets a name only when it
// is complete. Otherwise a hidden named file beside the target (`temp` holds its name).
UniqueFd makeTemporary(const std::string &dir, const std::string &base, std::string &temp,
                       bool &unnamed) {
    UniqueFd fd(::open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    unnamed = static_cast<bool>(fd);
    if (fd)
        return fd;
    temp = dir + "/." + base + ".XXXXXX";
    return UniqueFd(::mkostemp(temp.data(), O_CLOEXEC));
}

int replaceWhole(const std::string &target, const ByteProducer &produce, const struct stat *old) {
    const std::string dir = directoryOf(target);
    const auto slash = target.rfind('/');
    const std::string base = target.substr(slash == std::string::npos ? 0 : slash + 1);
    std::string temp;
    bool unnamed = false;
    UniqueFd fd = makeTemporary(dir, base, temp, unnamed);
    if (!fd)
        return errno;
    const mode_t mode = old ? (old->st_mode & 07777) : (0666 & ~currentUmask());
    int err = ::fchmod(fd.get(), mode) == 0 ? 0 : errno;
    off_t written = 0;
    if (err == 0)
        err = produceInto(fd.get(), produce, written);
    if (err == 0)
        err = syncFile(fd.get());
    if (err == 0 && unnamed) {
        // Give the complete file a hidden name, then rename it into place.
        char proc[64];
        std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd.get());
        for (int attempt = 0; attempt < 100; ++attempt) {
            temp = dir + "/." + base + "." + std::to_string(::getpid()) + "." +
                   std::to_string(attempt);
            if (::linkat(AT_FDCWD, proc, AT_FDCWD, temp.c_str(), AT_SYMLINK_FOLLOW) == 0) {
                err = 0;
                break;
            }
            err = errno;
            if (err != EEXIST)
                break;
        }
        if (err != 0)
            temp.clear();
    }
    if (const int closeErr = fd.close(); err == 0)
        err = closeErr;
    if (err == 0 && ::rename(temp.c_str(), target.c_str()) != 0)
        err = errno;
    if (err != 0) {
        if (!temp.empty())
            ::unlink(temp.c_str());
        return err;
    }
    // Make the rename itself durable; the file is complete either way, so a directory that
    // cannot be synced is not an error.
    const UniqueFd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd)
        ::fsync(dirFd.get());
    return 0;
}

// Whether a regular file may be replaced by a new one without anybody noticing: one name,
// ours, in a directory we may write that does not restrict renames.
bool replaceable(const std::string &target, const struct stat &st) {
    if (st.st_nlink != 1 || st.st_uid != ::geteuid())
        return false;
    const std::string dir = directoryOf(target);
    struct stat dst {};
    if (::stat(dir.c_str(), &dst) != 0 || (dst.st_mode & S_ISVTX) != 0)
        return false;
    return ::access(dir.c_str(), W_OK | X_OK) == 0;
}

} // namespace

void SetSyncForTests(int (*sync)(int fd)) { g_sync = sync; }

std::string ResolveWriteTarget(const std::string &path) {
    std::string target;
    int fd = -1;
    return resolveTarget(path, target, fd) == 0 ? target : path;
}

int DescriptorTarget(const std::string &path) {
    std::string target;
    int fd = -1;
    return resolveTarget(path, target, fd) == 0 ? fd : -1;
}

// Whether descriptor `fd` is open for writing: 0, or EBADF.
static int writableDescriptor(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && (flags & O_ACCMODE) != O_RDONLY ? 0 : EBADF;
}

// Where `path` leads: its target after links, and that target's status when it exists; `fd`
// the descriptor it names, or -1. Returns 0 or the errno that stops any write to it.
static int locateTarget(const std::string &path, std::string &target, struct stat &st, bool &exists,
                        int &fd) {
    if (path.empty())
        return ENOENT;
    if (const int err = resolveTarget(path, target, fd))
        return err;
    if (fd >= 0)
        return writableDescriptor(fd);
    exists = ::stat(target.c_str(), &st) == 0;
    return exists || errno == ENOENT ? 0 : errno;
}

int CheckWriteTarget(const std::string &path, SpecialTarget special) {
    std::string target;
    struct stat st {};
    bool exists = false;
    int fd = -1;
    if (const int err = locateTarget(path, target, st, exists, fd))
        return err;
    if (fd >= 0)
        return special == SpecialTarget::Refuse ? EINVAL : 0;
    if (!exists) {
        const std::string dir = directoryOf(target);
        return ::access(dir.c_str(), W_OK | X_OK) == 0 ? 0 : errno;
    }
    if (S_ISDIR(st.st_mode))
        return EISDIR;
    if (!S_ISREG(st.st_mode) && special == SpecialTarget::Refuse)
        return EINVAL;
    if (S_ISREG(st.st_mode) && replaceable(target, st))
        return 0;
    return ::access(target.c_str(), W_OK) == 0 ? 0 : errno;
}

int SafeWrite(const std::string &path, const ByteProducer &produce, SpecialTarget special) {
    std::string target;
    struct stat st {};
    bool exists = false;
    int fd = -1;
    if (const int err = locateTarget(path, target, st, exists, fd))
        return err;
    const SignalHold hold;
    if (fd >= 0 && special == SpecialTarget::Refuse)
        return EINVAL;
    if (fd >= 0) {
        // As the shell's ">" onto the same descriptor: at its offset, appending where it
        // appends, into a pipe as well; the file behind it keeps its inode.
        off_t written = 0;
        return produceInto(fd, produce, written);
    }
    if (!exists)
        return replaceWhole(target, produce, nullptr);
    if (S_ISDIR(st.st_mode))
        return EISDIR;
    if (!S_ISREG(st.st_mode))
        return special == SpecialTarget::WriteInPlace ? writeSpecial(target, produce) : EINVAL;
    if (replaceable(target, st))
        return replaceWhole(target, produce, &st);
    if (::access(target.c_str(), W_OK) != 0)
        return errno;
    return writeInPlace(target, produce);
}

} // namespace dirwise
