#pragma once

#include "Io.h"
#include "SafeWrite.h"

#include <string>
#include <sys/types.h>

namespace dirwise {

// Where a report (dwc's -o, the window's Save List) or a snapshot would land, by identity
// rather than by name: the file it would overwrite and the folder a new file would go into.
struct ReportPlace {
    bool exists = false;      // an existing file would be written
    dev_t dev = 0;            // that file's device and inode
    ino_t ino = 0;            //
    bool anyFile = false;     // it may be any file of a tree (more than one name, or
                              // reached through a descriptor): every file must be compared
    bool writtenInto = false; // a character device, FIFO or socket: written into, never
                              // replaced, so neither a tree's bytes nor its names can change
    bool hasFolder = false;   // the folder a new name would be made in is known
    dev_t folderDev = 0;      //
    ino_t folderIno = 0;      //
    // Whether `now` is another place than this one (another file, or another folder).
    [[nodiscard]] bool changed(const ReportPlace &now) const {
        return now.exists != exists || now.dev != dev || now.ino != ino ||
               now.writtenInto != writtenInto || now.folderDev != folderDev ||
               now.folderIno != folderIno;
    }
};

// Finds where `path` leads (links followed, a descriptor's name taken as that descriptor)
// and fills `out`. Returns 0, or the errno that stops it (a target that cannot be reached).
[[nodiscard]] int LocateReport(const std::string &path, ReportPlace &out);

// Whether writing to `place` would change the tree under `root`: the place is one of its
// files (by device and inode: hard links, bind mounts and followed links alike) or a new
// name in any of its folders (also those a run without subfolders leaves alone). Walks the
// folders as a run does (through folder links with `followLinks`, each folder once, never
// onto the kernel's own file systems through a link) and compares identities; files are
// looked at only when `place.anyFile` or when they are links. Places that cannot be read
// are passed over: the run itself names them.
// A place written into (/dev/null, a terminal, a FIFO, a socket) is answered without a walk:
// the report goes through it, no file is replaced and no name is made, so whichever tree it
// may lie in stays as it was. A block device is not one of them: it is walked for.
[[nodiscard]] bool ReportInTree(const ReportPlace &place, const std::string &root,
                                bool followLinks);

// An unnamed file in `folder` (or, where the file system cannot make one, a named one that
// is removed at once) to gather a report's bytes beside its target; empty with errno set
// when none can be made there.
[[nodiscard]] UniqueFd MakeStagingFile(const std::string &folder);

// The bytes of the staging file `fd` from its start, as often as SafeWrite asks.
[[nodiscard]] ByteProducer ReplayStagingFile(int fd);

} // namespace dirwise
