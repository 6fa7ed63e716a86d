// A read-only FUSE pass-through that makes a local folder behave like a slow network share:
// every metadata request (getattr, which is also how the kernel's lookups arrive, opendir,
// readdir, readlink, open, access, statfs) and every read sleeps a fixed delay before it is
// answered. The kernel's attribute, entry and negative caches are off and directory listings
// are never cached, so each stat, each path step and each listing pays the delay again.
// Requests are served by many threads and each sleeps on its own, so N requests in flight
// finish in about one delay.
//
//   dw_slowfs [--delay-us US] [--threads N] [--foreground] SOURCE MOUNTPOINT [-o FUSE-OPTIONS]
//   fusermount3 -u MOUNTPOINT          (unmounts and ends the daemon)
//
// Without --foreground the program returns once the mount is live and keeps serving in the
// background. Reads bypass the page cache (direct I/O), so shared mmap of a file on the mount
// may fail; nothing the benchmarks run needs it.

#define FUSE_USE_VERSION 312
#include <fuse.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

// Settings shared by every request; written once before the loop starts.
struct Settings {
    int sourceFd = -1;      // the source folder, opened before mounting over anything
    long delayUs = 500;     // what each request sleeps
    unsigned threads = 128; // most requests served at once
};
Settings settings;

// Sleeps the configured delay; a delay of 0 returns at once. A signal cuts a sleep short
// only to resume it, so every request waits the full delay.
void Delay() {
    if (settings.delayUs <= 0)
        return;
    timespec left{settings.delayUs / 1000000, (settings.delayUs % 1000000) * 1000};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

// Turns a path the library hands over ("/", "/a/b") into one relative to the source folder
// ("." or "a/b").
const char *Relative(const char *path) {
    while (*path == '/')
        ++path;
    return *path ? path : ".";
}

// Open folder handed from opendir to readdir and releasedir.
struct OpenDir {
    DIR *dir;
};

// Called once the kernel has answered the mount: turns off every cache the kernel could
// answer from, and readdirplus, whose attributes would arrive without a delay of their own.
void *Init(fuse_conn_info *conn, fuse_config *cfg) {
    // Every lookup and every stat goes back to this process.
    cfg->attr_timeout = 0;
    cfg->entry_timeout = 0;
    cfg->negative_timeout = 0;
    cfg->kernel_cache = 0;
    cfg->auto_cache = 0;
    cfg->direct_io = 1;
    cfg->use_ino = 1;
    // Listings carry names only, so no attribute arrives with them for free.
    conn->want &= ~(FUSE_CAP_READDIRPLUS | FUSE_CAP_READDIRPLUS_AUTO | FUSE_CAP_CACHE_SYMLINKS);
    return nullptr;
}

// The stat of a path, without following a final symbolic link. The library also answers the
// kernel's lookups through here, so a lookup costs one delay too. Returns 0 or -errno.
int GetAttr(const char *path, struct stat *st, fuse_file_info *) {
    Delay();
    return fstatat(settings.sourceFd, Relative(path), st, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : -errno;
}

// The target of a symbolic link, cut to size - 1 bytes and terminated. Returns 0 or -errno.
int ReadLink(const char *path, char *buf, size_t size) {
    Delay();
    if (size == 0)
        return -EINVAL;
    const ssize_t n = readlinkat(settings.sourceFd, Relative(path), buf, size - 1);
    if (n < 0)
        return -errno;
    buf[n] = '\0';
    return 0;
}

// Whether the caller may reach the path as mask asks (access(2)). Returns 0 or -errno.
int Access(const char *path, int mask) {
    Delay();
    return faccessat(settings.sourceFd, Relative(path), mask, AT_SYMLINK_NOFOLLOW) == 0 ? 0
                                                                                        : -errno;
}

// The source folder's file system figures, whatever path is asked. Returns 0 or -errno.
int StatFs(const char *, struct statvfs *st) {
    Delay();
    return fstatvfs(settings.sourceFd, st) == 0 ? 0 : -errno;
}

// Opens a folder for listing; the handle lives in fi->fh until ReleaseDirectory. The kernel
// is told to keep no copy of the listing. Returns 0 or -errno.
int OpenDirectory(const char *path, fuse_file_info *fi) {
    Delay();
    const int fd = openat(settings.sourceFd, Relative(path), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return -errno;
    DIR *dir = fdopendir(fd);
    if (!dir) {
        const int err = errno;
        close(fd);
        return -err;
    }
    fi->fh = reinterpret_cast<uint64_t>(new OpenDir{dir});
    fi->cache_readdir = 0;
    fi->keep_cache = 0;
    return 0;
}

// Hands the whole listing over in one call (every entry with offset 0); the library keeps it
// and serves the kernel's later pages from that copy, so one listing costs one delay. An
// offset of 0 means the caller rewound, and the listing is read afresh.
int ReadDirectory(const char *, void *buf, fuse_fill_dir_t fill, off_t offset, fuse_file_info *fi,
                  fuse_readdir_flags) {
    Delay();
    DIR *dir = reinterpret_cast<OpenDir *>(fi->fh)->dir;
    if (offset == 0)
        rewinddir(dir);
    errno = 0;
    while (dirent *e = readdir(dir)) {
        struct stat st {};
        st.st_ino = e->d_ino;
        st.st_mode = static_cast<mode_t>(DTTOIF(e->d_type));
        if (fill(buf, e->d_name, &st, 0, static_cast<fuse_fill_dir_flags>(0)) != 0)
            return -ENOMEM;
        errno = 0;
    }
    return -errno;
}

// Closes a folder opened by OpenDirectory. Free of delay: nothing waits for it.
int ReleaseDirectory(const char *, fuse_file_info *fi) {
    auto *d = reinterpret_cast<OpenDir *>(fi->fh);
    closedir(d->dir);
    delete d;
    return 0;
}

// Opens a file for reading, bypassing the page cache; any other access is refused with
// -EROFS, and a symbolic link with -ELOOP. Returns 0 or -errno.
int Open(const char *path, fuse_file_info *fi) {
    Delay();
    if ((fi->flags & O_ACCMODE) != O_RDONLY)
        return -EROFS;
    const int fd = openat(settings.sourceFd, Relative(path), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return -errno;
    fi->fh = static_cast<uint64_t>(fd);
    fi->direct_io = 1;
    fi->keep_cache = 0;
    return 0;
}

// Reads up to size bytes at offset from a file opened by Open: the byte count (0 at the end
// of the file) or -errno.
int Read(const char *, char *buf, size_t size, off_t offset, fuse_file_info *fi) {
    Delay();
    const ssize_t n = pread(static_cast<int>(fi->fh), buf, size, offset);
    return n < 0 ? -errno : static_cast<int>(n);
}

// Closes a file opened by Open. Free of delay: nothing waits for it.
int Release(const char *, fuse_file_info *fi) {
    close(static_cast<int>(fi->fh));
    return 0;
}

// Prints the command line's shape to out.
void Usage(FILE *out) {
    std::fprintf(out, "usage: dw_slowfs [--delay-us US] [--threads N] [--foreground] SOURCE "
                      "MOUNTPOINT [-o FUSE-OPTIONS]\n"
                      "  --delay-us US  sleep before answering each request (default 500)\n"
                      "  --threads N    most requests served at once (default 128)\n"
                      "  --foreground   stay in the foreground until unmounted\n");
}

// Reads a whole non-negative number from text; false on anything else.
bool ParseCount(const char *text, long max, long &out) {
    char *end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < 0 || v > max)
        return false;
    out = v;
    return true;
}

} // namespace

int main(int argc, char **argv) {
    bool foreground = false;
    std::vector<std::string> positional;
    std::vector<std::string> extra; // options passed on to the library
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        long v = 0;
        if ((a == "--delay-us" || a == "--threads") && i + 1 < argc) {
            const bool isDelay = a == "--delay-us";
            if (!ParseCount(argv[++i], isDelay ? 60L * 1000000 : 100000, v) ||
                (!isDelay && v == 0)) {
                std::fprintf(stderr, "dw_slowfs: bad value for %s: %s\n", a.c_str(), argv[i]);
                return 2;
            }
            if (isDelay)
                settings.delayUs = v;
            else
                settings.threads = static_cast<unsigned>(v);
        } else if (a == "--foreground" || a == "-f") {
            foreground = true;
        } else if (a == "-o" && i + 1 < argc) {
            extra.push_back(a);
            extra.push_back(argv[++i]);
        } else if (a == "-d" || a == "--debug") {
            extra.push_back("-d");
            foreground = true;
        } else if (a == "-h" || a == "--help") {
            Usage(stdout);
            return 0;
        } else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "dw_slowfs: unknown option %s\n", a.c_str());
            Usage(stderr);
            return 2;
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2) {
        Usage(stderr);
        return 2;
    }
    // Opened before mounting, so mounting over the source folder itself still works.
    settings.sourceFd = open(positional[0].c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (settings.sourceFd < 0) {
        std::fprintf(stderr, "dw_slowfs: %s: %s\n", positional[0].c_str(), std::strerror(errno));
        return 1;
    }

    fuse_operations ops{};
    ops.getattr = GetAttr;
    ops.readlink = ReadLink;
    ops.open = Open;
    ops.read = Read;
    ops.statfs = StatFs;
    ops.release = Release;
    ops.opendir = OpenDirectory;
    ops.readdir = ReadDirectory;
    ops.releasedir = ReleaseDirectory;
    ops.init = Init;
    ops.access = Access;

    std::vector<std::string> args = {argv[0], "-o", "ro,fsname=slowfs"};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char *> argp;
    for (std::string &s : args)
        argp.push_back(s.data());
    fuse_args fargs = FUSE_ARGS_INIT(static_cast<int>(argp.size()), argp.data());

    // Sleeps end within a microsecond of the delay instead of the default 50; the serving
    // threads inherit this.
    prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);

    fuse *fs = fuse_new(&fargs, &ops, sizeof ops, nullptr);
    if (!fs)
        return 1;
    int rc = 1;
    if (fuse_mount(fs, positional[1].c_str()) == 0) {
        if (fuse_daemonize(foreground ? 1 : 0) == 0 &&
            fuse_set_signal_handlers(fuse_get_session(fs)) == 0) {
            fuse_loop_config *loop = fuse_loop_cfg_create();
            fuse_loop_cfg_set_max_threads(loop, settings.threads);
            fuse_loop_cfg_set_clone_fd(loop, 1);
            rc = fuse_loop_mt(fs, loop) == 0 ? 0 : 1;
            fuse_loop_cfg_destroy(loop);
            fuse_remove_signal_handlers(fuse_get_session(fs));
        }
        fuse_unmount(fs);
    }
    fuse_destroy(fs);
    fuse_opt_free_args(&fargs);
    close(settings.sourceFd);
    return rc;
}
