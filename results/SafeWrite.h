#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace dirwise {

// Produces a file's bytes by calling `write` with consecutive pieces, and returns 0, or the
// first non-zero value `write` returned (an errno). It may be called more than once (once to
// measure, once to write) and must give the same bytes every time.
using ByteProducer = std::function<int(const std::function<int(std::string_view)> &write)>;

// What to do with an existing target that is not a regular file.
enum class SpecialTarget {
    WriteInPlace, // a device, a FIFO with a reader or a terminal gets the bytes (a report)
    Refuse,       // anything but a regular file is refused with EINVAL (a settings file)
};

// The one safe way to replace a file's contents with what `produce` gives. Links are
// followed to their target (also a dangling one, which names the file to create) and never
// replaced by a file. Then:
// - a new file, or a regular file with one link that this user owns, in a directory this
//   user may write that is not sticky, is replaced whole: the bytes go to an unnamed (or,
//   where the file system cannot make one, a hidden) temporary file beside it, every write,
//   the flush and fsync are checked, and it is renamed over the target; a new file gets
//   0666 less the umask, a replaced one keeps its mode;
// - any other regular file (more links, another owner, a directory this user may not write,
//   a sticky directory) is written in place as the shell's ">" would, keeping its owner,
//   group, mode, inode and links, after the full size was reserved, so that a full disk
//   fails before a byte of the old contents changes;
// - a directory is refused (EISDIR); other targets follow `special`.
// A name of one of this process's descriptors (DescriptorTarget) is written through that
// descriptor, as it stands, and never replaced; one not open for writing gives EBADF.
// SIGINT, SIGTERM and SIGHUP are held back while the file is written, so a signal finishes
// the save first and never leaves a temporary file behind. On failure the old file is as it
// was and no temporary file remains. Returns 0 or the errno that stopped it.
[[nodiscard]] int SafeWrite(const std::string &path, const ByteProducer &produce,
                            SpecialTarget special);

// Whether SafeWrite could write `path`, asked before any work is done for it: 0, or the
// errno it would fail with (EISDIR for a directory, EACCES for a file or a directory this
// user may not write, ENOENT for a missing directory, EINVAL for a special file that
// `special` refuses, EBADF for a descriptor's name that is not open for writing). A FIFO
// without a reader passes: only the write itself can tell.
[[nodiscard]] int CheckWriteTarget(const std::string &path, SpecialTarget special);

// The file `path` names after following its links (a dangling link names the file it would
// create), or `path` itself when a link cannot be read.
[[nodiscard]] std::string ResolveWriteTarget(const std::string &path);

// The descriptor `path` names, also through links: /dev/stdin, /dev/stdout and /dev/stderr
// (0, 1, 2), /dev/fd/N, /proc/self/fd/N, /proc/thread-self/fd/N and /proc/PID/fd/N with this
// process's PID give N (whether or not it is open). Any other path gives -1.
[[nodiscard]] int DescriptorTarget(const std::string &path);

// For tests: replaces fsync (nullptr restores it), so a failing flush can be shown.
void SetSyncForTests(int (*sync)(int fd));

} // namespace dirwise
