#pragma once

// The file-system facts of a live tree, in one place: who a folder is, its names and their
// types, which links a walk enters (and why), whether a place is one of the kernel's own
// file systems, and opening a file for its bytes without ever blocking. Only the live
// source and the hosts' root checks ask the file system anything.

#include "Io.h"
#include "TreeSource.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

namespace dirwise {

// Which folders a walk enters, the one rule. A folder reached without a link is entered. A
// link to a folder is entered only when links are followed, and then, once it is open
// (LinkMayBeEntered), only when it does not land on one of the kernel's own file systems:
// /proc alone holds a link to the root of every process, so a walk through it would take in
// the whole machine, and what it lists there changes as it is read. Whatever led to it, a
// folder that is already an ancestor on the walk is a loop and is not entered again (the walk
// tells by FolderListing's identity). A link to anything else, or a dangling one, is a file.
[[nodiscard]] inline bool WalkEnters(const FolderEntry &e, bool followLinks) {
    return e.isDir && (!e.viaLink || followLinks);
}
// The second half of the rule, for a folder `fd` already open: whether the walk may enter it.
[[nodiscard]] bool LinkMayBeEntered(int fd, bool viaLink);

// Whether the open folder `fd` lies on one of the kernel's own file systems (proc, sysfs,
// devtmpfs, cgroup, debugfs, tracefs and the like).
[[nodiscard]] bool IsPseudoFileSystem(int fd);

// The device and inode of the open folder `fd`, as the kernel holds them: no file system is
// asked again (a network or FUSE mount would answer a fresh stat with a request of its own),
// and a folder's identity never changes. Returns 0 or the errno.
int FolderIdentity(int fd, std::uint64_t &device, std::uint64_t &inode);

// One record of getdents64 as the kernel writes it.
struct LinuxDirent64 {
    ino64_t d_ino;
    off64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[];
};

// Calls `take(name, length, type)` with every name of the open folder `fd` (opened for
// reading) but "." and "..", `type` the DT_ constant the listing gives (DT_UNKNOWN where it
// gives none), in the order the file system keeps them. `buffer` is scratch space for the
// kernel's records (64 KiB is plenty). Returns 0, or the errno of a listing that failed part
// way (the names read before it were taken).
template <class Take> int ForEachName(int fd, std::vector<char> &buffer, Take take) {
    if (buffer.size() < 4096)
        buffer.resize(64 * 1024);
    for (;;) {
        const long n = ::syscall(SYS_getdents64, fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : 0;
        for (long pos = 0; pos < n;) {
            const auto *d = reinterpret_cast<const LinuxDirent64 *>(buffer.data() + pos);
            pos += d->d_reclen;
            const char *name = d->d_name;
            if (!(name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))))
                take(name, std::strlen(name), d->d_type);
        }
    }
}

// Sorts `records` (each with the `offset` and `length` of its name in `names`) into byte
// order of their names, a shorter name first on a common prefix, as string_view compares.
template <class Record> void SortByName(const char *names, std::vector<Record> &records) {
    std::sort(records.begin(), records.end(), [names](const Record &a, const Record &b) {
        const int c = std::memcmp(names + a.offset, names + b.offset, std::min(a.length, b.length));
        return c != 0 ? c < 0 : a.length < b.length;
    });
}

// Reads every name of the open folder `fd` (opened for reading) into `out`, sorted by bytes,
// without "." and "..". Entries whose type the listing does not give, and links, are looked
// at with fstatat, for WalkEnters' rule: a link to a folder is a folder reached through a
// link, every other link (a dangling one too) a file. `buffer` is scratch space for the
// kernel's records (64 KiB is plenty). Does not fill the identity. Returns 0, or the errno
// of a listing that failed part way (also kept in out.error).
int ReadListing(int fd, FolderListing &out, std::vector<char> &buffer);

// Opens file `name` of folder `dir` (an O_PATH descriptor will do) for reading, following
// links, without blocking on a FIFO or a device, and only when it is a regular file: the
// descriptor and its size, or why not (`error`, or `regular` false, then nothing is open).
// A file larger than `sequentialFrom` bytes is advised to the kernel as read in sequence.
[[nodiscard]] OpenedFile OpenRegular(int dir, const char *name, std::int64_t sequentialFrom);

// The one check a root must pass before a run: it exists (after links), is a directory, and
// this user may list and enter it. Returns 0, or the errno that fails it (ENOENT for the
// empty path, ENOTDIR for anything but a directory, EACCES when it cannot be listed).
[[nodiscard]] int CheckRoot(const std::string &path);

// Who a root folder is: its device and inode (after links) and whether it is a mount point.
// `known` is false when the root could not be looked at when it was taken.
struct RootIdentity {
    bool known = false;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool mountPoint = false;
};

// The identity of the folder `path` names now. One statx call; nothing is opened.
[[nodiscard]] RootIdentity TakeRootIdentity(const std::string &path);

// Whether `path` still names the folder `noted` was taken from: false when it cannot be looked
// at, is no folder, has another device or inode (a mount that went away leaves the folder
// beneath it; a renamed root leaves nothing or a newcomer), or was a mount point and is none
// now. With nothing noted, whether `path` names a folder at all.
[[nodiscard]] bool SameRoot(const std::string &path, const RootIdentity &noted);

// Whether `path` names a folder (after links).
[[nodiscard]] bool IsDirectory(const std::string &path);

// True when `path` names a regular file (after symbolic links) that this user may read.
// Nothing is opened, so a FIFO or a device never blocks; the empty path, a folder and a
// missing file give false.
[[nodiscard]] bool FileExists(const std::string &path);

} // namespace dirwise
