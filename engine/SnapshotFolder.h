#pragma once

// One folder of a snapshot, read whole: its names, every entry's facts (links never followed)
// and the manifest lines they make.

#include <cstddef>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

namespace dirwise {

// One folder of a snapshot, read.
struct SnapshotFolder {
    // Why the folder could not be opened, or 0. Then `lines` holds at most its own line, made
    // from what the folder's parent says of it (nothing when that fails too).
    int openError = 0;
    // The errno of a listing that failed part way, or 0: the names read before it are kept.
    int listError = 0;
    // The folder's own line first, then one line per entry that is no folder, in byte order,
    // each ending in "\n".
    std::string lines;
    std::size_t lineCount = 0;
    std::vector<std::string> folders; // names of its subfolders, in byte order
    struct Missed {
        std::string path; // "a/b"
        int error = 0;
    };
    std::vector<Missed> missed; // entries whose facts (or link target) could not be read: no line
    // Asked with digests: the regular files, by the index of their line; each line still needs
    // its digest (before its "\n").
    struct File {
        std::size_t line = 0;
        std::string name;
    };
    std::vector<File> files;
    bool childrenQueued = false; // its subfolders were handed to the workers already

    [[nodiscard]] std::size_t bytes() const;
};

// `path` + "/" + `name`, or `name` alone below the root (`path` empty).
[[nodiscard]] std::string JoinedPath(std::string_view path, std::string_view name);

// Appends `name` to `out` in the escaped form of manifests: every byte outside printable
// ASCII, and blank, "#", "=" and "\", as "\ooo".
void AppendMtreeName(std::string &out, std::string_view name);

// Reads the folder open as `fd` (for reading; it stays the caller's), at `path` in the
// manifest ("" for the root, else "a/b"), into `out` (cleared first). `buffer` is scratch
// space for the kernel's records.
void ReadSnapshotFolder(int fd, std::string_view path, bool digests, std::vector<char> &buffer,
                        SnapshotFolder &out);

// Fills `out` for folder `name` of `dirFd` that could not be opened (`error`): its own line
// from fstatat without following it (a link written as a link), or no line when that fails.
void DescribeUnopened(int dirFd, const char *name, std::string_view path, int error,
                      SnapshotFolder &out);

// Opens folder `path` ("a/b") below the open folder `rootFd` by one call, refusing any link on
// the way and at its end. Returns the descriptor, or -1 with errno set (ENAMETOOLONG and
// ENOSYS mean: open it another way).
[[nodiscard]] int OpenBeneath(int rootFd, const std::string &path);

// A path this long or longer is never opened from the root: resolving long paths again and
// again costs more than it saves, so the writer opens those itself, from their parents.
constexpr std::size_t SnapshotMaxPath = 2048;

} // namespace dirwise
