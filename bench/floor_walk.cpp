// The least work a size-and-date compare of two trees can do: each master folder is listed
// once, and each regular file in it is stat'ed on the master side and at the same relative
// path on the compare side, by a pool of threads sharing one stack of folders. Nothing is
// sorted, kept or reported beyond three counts, so its time is what the disk, the cache or
// the mount allows; dwc is measured against it.
//
//   dw_floor_walk [--threads N] MASTER COMPARE
//
// Prints "files F differ D missing M": F regular files in MASTER, D of them with another size
// or modification time in COMPARE (M of those have no counterpart there). Folders that
// cannot be listed are reported on stderr and skipped. Symbolic links are not followed.

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// An open folder pair; closed when the last subfolder queued from it has been opened.
struct Folder {
    int master = -1;
    int compare = -1; // -1 when the folder does not exist on the compare side
    std::string path; // the master folder as given plus the names below it, for messages
    ~Folder() {
        if (master >= 0)
            close(master);
        if (compare >= 0)
            close(compare);
    }
};

// A folder still to walk: its name inside an already open parent (no parent for the roots).
struct Job {
    std::shared_ptr<Folder> parent;
    std::string name;
};

struct Totals {
    std::atomic<unsigned long long> files{0};
    std::atomic<unsigned long long> differ{0};
    std::atomic<unsigned long long> missing{0};
    std::atomic<unsigned long long> errors{0};
};

// A stack of folders shared by every thread. Last in, first out keeps few folders open and
// walks close to where the previous folder was.
class Work {
public:
    // Queues one folder to walk.
    void Push(Job job) {
        {
            std::lock_guard lock(mutex_);
            jobs_.push_back(std::move(job));
            ++pending_;
        }
        ready_.notify_one();
    }

    // Waits for a folder; false once every queued folder has been walked and none is left.
    bool Pop(Job &out) {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [this] { return !jobs_.empty() || pending_ == 0; });
        if (jobs_.empty())
            return false;
        out = std::move(jobs_.back());
        jobs_.pop_back();
        return true;
    }

    // Marks one popped folder as walked; wakes every waiting thread when it was the last.
    void Done() {
        bool last;
        {
            std::lock_guard lock(mutex_);
            last = --pending_ == 0;
        }
        if (last)
            ready_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::vector<Job> jobs_;
    std::size_t pending_ = 0; // queued plus being walked
};

struct Entry {
    std::string name;
    unsigned char type;
};

// Reads every entry of an open folder except "." and ".."; false (errno set) on a read error.
bool List(int fd, std::vector<Entry> &out) {
    alignas(8) static thread_local char buf[64 * 1024];
    for (;;) {
        const ssize_t n = getdents64(fd, buf, sizeof buf);
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        for (ssize_t at = 0; at < n;) {
            const auto *d = reinterpret_cast<const dirent64 *>(buf + at);
            at += d->d_reclen;
            const char *s = d->d_name;
            if (s[0] == '.' && (s[1] == '\0' || (s[1] == '.' && s[2] == '\0')))
                continue;
            out.push_back({s, d->d_type});
        }
    }
}

// Opens the folder name inside parent for listing, refusing a symbolic link: the descriptor,
// or -1 with errno set.
int OpenIn(int parent, const char *name) {
    return openat(parent, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
}

// Walks one folder: opens it on both sides, queues its subfolders, then stats each regular
// file on both sides and adds the counts to totals. A folder missing on the compare side
// makes every file in it (and below it) missing; one that cannot be listed on the master side
// is reported on stderr and counted as an error.
void Walk(Work &work, Totals &totals, Job job) {
    auto folder = std::make_shared<Folder>();
    if (job.parent) {
        folder->master = OpenIn(job.parent->master, job.name.c_str());
        if (job.parent->compare >= 0)
            folder->compare = OpenIn(job.parent->compare, job.name.c_str());
        folder->path = job.parent->path + '/' + job.name;
        job.parent.reset();
    } else {
        // The roots may be symbolic links to folders.
        const std::size_t tab = job.name.find('\t');
        folder->path = job.name.substr(0, tab);
        folder->master = open(folder->path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        folder->compare =
            open(job.name.substr(tab + 1).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
    std::vector<Entry> entries;
    if (folder->master < 0 || !List(folder->master, entries)) {
        std::fprintf(stderr, "dw_floor_walk: %s: %s\n", folder->path.c_str(), std::strerror(errno));
        ++totals.errors;
        return;
    }
    // Hand subfolders out before stat'ing this folder's files, so idle threads start at once.
    for (const Entry &e : entries)
        if (e.type == DT_DIR)
            work.Push({folder, e.name});

    unsigned long long files = 0, differ = 0, missing = 0;
    for (const Entry &e : entries) {
        if (e.type != DT_REG && e.type != DT_UNKNOWN)
            continue;
        struct stat m;
        if (fstatat(folder->master, e.name.c_str(), &m, AT_SYMLINK_NOFOLLOW) != 0) {
            ++totals.errors;
            continue;
        }
        if (e.type == DT_UNKNOWN && S_ISDIR(m.st_mode))
            work.Push({folder, e.name});
        if (!S_ISREG(m.st_mode))
            continue;
        ++files;
        struct stat c;
        if (folder->compare < 0 ||
            fstatat(folder->compare, e.name.c_str(), &c, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(c.st_mode)) {
            ++missing;
            ++differ;
        } else if (m.st_size != c.st_size || m.st_mtim.tv_sec != c.st_mtim.tv_sec ||
                   m.st_mtim.tv_nsec != c.st_mtim.tv_nsec) {
            ++differ;
        }
    }
    totals.files += files;
    totals.differ += differ;
    totals.missing += missing;
}

// Lifts the open-file limit to its hard maximum: a wide tree keeps one folder pair open for
// each folder whose subfolders are still queued.
void RaiseFileLimit() {
    rlimit lim{};
    if (getrlimit(RLIMIT_NOFILE, &lim) == 0 && lim.rlim_cur < lim.rlim_max) {
        lim.rlim_cur = lim.rlim_max;
        setrlimit(RLIMIT_NOFILE, &lim);
    }
}

// Prints the command line's shape to stderr and returns the exit status for a bad one.
int Usage() {
    std::fprintf(stderr, "usage: dw_floor_walk [--threads N] MASTER COMPARE\n"
                         "  --threads N  walking threads (default 2 per core)\n");
    return 2;
}

} // namespace

int main(int argc, char **argv) {
    unsigned threads = std::max(1u, std::thread::hardware_concurrency()) * 2;
    std::vector<std::string> roots;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--threads" && i + 1 < argc) {
            char *end = nullptr;
            const long n = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || n < 1 || n > 4096)
                return Usage();
            threads = static_cast<unsigned>(n);
        } else if (!a.empty() && a[0] == '-') {
            return Usage();
        } else {
            roots.push_back(a);
        }
    }
    if (roots.size() != 2 || roots[0].find('\t') != std::string::npos)
        return Usage();
    RaiseFileLimit();

    Work work;
    Totals totals;
    // The roots travel as one name, master and compare separated by a tab.
    work.Push({nullptr, roots[0] + '\t' + roots[1]});
    std::vector<std::thread> pool;
    for (unsigned t = 0; t < threads; ++t)
        pool.emplace_back([&] {
            Job job;
            while (work.Pop(job)) {
                Walk(work, totals, std::move(job));
                job = Job{};
                work.Done();
            }
        });
    for (std::thread &t : pool)
        t.join();

    std::printf("files %llu differ %llu missing %llu\n", totals.files.load(), totals.differ.load(),
                totals.missing.load());
    if (totals.errors)
        std::fprintf(stderr, "dw_floor_walk: %llu entries could not be read\n",
                     totals.errors.load());
    return totals.errors ? 1 : 0;
}
