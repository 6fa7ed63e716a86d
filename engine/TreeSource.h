#pragma once

// A tree the compare reads, behind one small interface.
//
// The run knows two sources, a master and a compare one, and nothing else of them. A source
// does three things:
//   - lists a folder: its names in byte order, each marked as a folder to enter or a file
//     (FolderLister, one per walk, used on the walk's thread only);
//   - looks up one relative path: the facts of a file (size, time, type) or why it has none
//     (FileReader, one per thread that reads; readers share nothing);
//   - for verification, gives a file's bytes (an open descriptor) or, where it keeps no bytes,
//     its sha256 digest (FileReader::OpenBytes, FileReader::Digest).
// The walk above a source (Walk.h) decides the order, the loops, which folders are entered
// and which files are kept; the source only answers. Today's live folder (LiveSource.h) is
// the first source: it lists folders ahead on the run's worker pool and reads facts with
// fstatat relative to folders it holds open. Further sources are each one class here and
// nothing else changes:
//   - a snapshot file (an mtree manifest): its FolderLister reads the manifest as a stream,
//     entries in walk order (our snapshots are written so), or a foreign manifest sorted once
//     in memory; its FileReader answers from the entries, and Digest gives their sha256;
//   - a snapshot streamed from another machine (`dwc --snapshot` over ssh): the same reader
//     of the manifest, on the stream instead of a file.
// Skip rules reach a source through the walk: WalkFilter is asked before a folder is listed
// (a skipped folder is never opened) and before a file is kept, by relative path, the same
// rules for both trees; the compare side is then only looked up for files the master kept.

#include "Diagnostic.h"
#include "Io.h"
#include "ScanState.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dirwise {

// One name of a folder's listing; its bytes live in the listing's name buffer.
struct FolderEntry {
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
    bool isDir = false;   // a folder, or a link that leads to one
    bool viaLink = false; // a symbolic link that leads to a folder
};

// One folder as a source lists it: who it is and its names in byte order.
struct FolderListing {
    // The folder's identity, which tells a loop: the walk never enters a folder that is
    // already one of its ancestors. A source without links to folders (a snapshot) leaves
    // both 0 and the walk then sees no loop.
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    int error = 0; // errno of a listing that failed part way; the names read so far are kept
    std::string names;
    std::vector<FolderEntry> entries; // sorted by the names' bytes, without "." and ".."

    [[nodiscard]] std::string_view name(const FolderEntry &e) const {
        return {names.data() + e.offset, e.length};
    }
    // Heap bytes this listing holds, for a read-ahead's budget.
    [[nodiscard]] std::size_t bytes() const {
        return names.capacity() + entries.capacity() * sizeof(FolderEntry);
    }
};

// Where a folder the walk enters lies: its parent's depth on the walk (the root is 0), its
// own name, whether a link led to it, its path relative to the root ("a/b/"), and its
// position (the steps from the root down, see AppendPositionStep).
struct FolderPlace {
    std::size_t parentDepth = 0;
    std::string_view name;
    bool viaLink = false;
    bool lastOfParent = false; // the walk enters no further subfolder of its parent
    std::string_view relative;
    std::string_view position;
};

// Appends the position step of subfolder `index` (its index among the subfolders the walk
// enters) to `position`: 4 big-endian bytes, so that byte order of positions is walk order.
inline void AppendPositionStep(std::string &position, std::uint32_t index) {
    for (int shift = 24; shift >= 0; shift -= 8)
        position += static_cast<char>((index >> shift) & 0xff);
}

// How listing a folder went.
struct ListAnswer {
    enum class Kind : std::uint8_t {
        Listed,     // the listing was filled (its error may tell it is partial)
        NotEntered, // reached through a link that must not be followed there: passed over
        Failed,     // could not be opened or identified: `error` tells why
    };
    Kind kind = Kind::Listed;
    int error = 0;
    bool childrenQueued = false; // the source already listed its subfolders ahead
};

// Lists the folders of one walk, on the walk's thread. The walk enters folders depth first
// and leaves each before its next sibling: ListChild always names a subfolder of the folder
// at `parentDepth`, and Leave tells that the folder at `depth` is done.
class FolderLister {
public:
    virtual ~FolderLister() = default;
    // The root folder.
    virtual ListAnswer ListRoot(FolderListing &out) = 0;
    // A subfolder of the folder at place.parentDepth.
    virtual ListAnswer ListChild(const FolderPlace &place, FolderListing &out) = 0;
    // The folder at `depth` is done, with every folder below it.
    virtual void Leave(std::size_t depth) { (void)depth; }
    // Called every few milliseconds while a listing waits for a tree still arriving (a remote
    // tree), on the walk's thread: the host stays answerable and may end the wait.
    virtual void WhileWaiting(std::function<void()> call) { (void)call; }
    // The walk leaves folders out (see WalkFilter): from now on a source lists ahead only the
    // folders WillEnter names, never below them on its own, so a skipped folder is never
    // opened. Called before the root is listed.
    virtual void ListAheadOnlyWhatIsNamed() {}
    // The subfolders the walk will enter next, in its order, below the folder at `position`
    // (`relative` "" or "a/b/"): a source may list them ahead. Not called for subfolders the
    // source queued itself (ListAnswer::childrenQueued).
    virtual void WillEnter(std::string_view position, std::string_view relative,
                           const std::vector<std::string> &subdirs,
                           const std::vector<bool> &viaLink) {
        (void)position, (void)relative, (void)subdirs, (void)viaLink;
    }
};

// What a source knows of one file at a relative path.
struct EntryFacts {
    enum class Type : std::uint8_t {
        None,    // no facts: `error` tells why (ENOENT: nothing there, or a dangling link)
        Regular, // a regular file (after links): the only kind whose bytes are ever read
        Other,   // a FIFO, socket or device (after links): never opened
        Folder,  // a folder where a file was looked for
        Link,    // a symbolic link that leads nowhere: the link's own facts (its size is
                 // the length of its target, its time its own); never opened
    };
    Type type = Type::None;
    std::int64_t size = 0;
    std::int64_t time = 0; // modification time, seconds
    int error = 0;         // with None: why
    bool timeKnown = true; // false: the source has no time for it (a snapshot without times)
    std::string target;    // with Link: where it leads (its "contents" under verification)
};

// A file opened for its bytes: a descriptor of a regular file and its size when it was
// opened; or why not (`error`), or `regular` false for a file that is not a regular file
// after all (then nothing is open and nothing is read).
struct OpenedFile {
    UniqueFd fd;
    std::int64_t size = 0;
    int error = 0;
    bool regular = true;
};

using Sha256 = std::array<std::uint8_t, 32>;

// Looks up files of one source, on one thread. Files are named by the master walk's
// numbering: folder `dir` of `listing` (whose RelativeDir is the path from either root) and
// a name in it. Readers are asked for files grouped by folder, folders in walk order, so
// a reader may keep the current folder at hand.
class FileReader {
public:
    virtual ~FileReader() = default;
    // The facts of the file, following links. A link that leads nowhere is compared as what
    // it is: Link with its own facts. A loop of links is None with ELOOP.
    [[nodiscard]] virtual EntryFacts Facts(const ScanState &listing, std::uint32_t dir,
                                           const char *name) = 0;
    // The file opened for its bytes, never blocking on a FIFO or device. A source without
    // bytes answers error ENOTSUP (and gives a Digest).
    [[nodiscard]] virtual OpenedFile OpenBytes(const ScanState &listing, std::uint32_t dir,
                                               const char *name) = 0;
    // The file's sha256, where the source keeps digests instead of bytes.
    [[nodiscard]] virtual std::optional<Sha256> Digest(const ScanState &listing, std::uint32_t dir,
                                                       const char *name) {
        (void)listing, (void)dir, (void)name;
        return std::nullopt;
    }
};

// What a walk leaves out, by path relative to the root. Both questions come before any
// call to the source for that place: a skipped folder is never opened.
class WalkFilter {
public:
    virtual ~WalkFilter() = default;
    // `relative` is the folder's path ("a/b/"); `viaLink` tells that a link leads to it, which
    // rules for folders only do not take for a folder (as git, which asks lstat).
    [[nodiscard]] virtual bool SkipFolder(std::string_view relative, bool viaLink) = 0;
    // `relativeDir` is the folder's path ("" or "a/b/"), `name` the file's name.
    [[nodiscard]] virtual bool SkipFile(std::string_view relativeDir, std::string_view name) = 0;
};

class WorkerPool;

// A tree the compare reads. Made by the host (or the run, for a live folder) once per run;
// used by one run at a time.
class TreeSource {
public:
    virtual ~TreeSource() = default;
    // The root as the run shows it in rows and diagnostics (normalised).
    [[nodiscard]] virtual const std::string &Root() const = 0;
    // A lister for one walk. `pool` is the run's worker pool, which the lister may use to
    // list ahead (and must leave before it is destroyed); `followLinks` tells whether the
    // walk enters links to folders, so a source lists ahead only what will be entered.
    [[nodiscard]] virtual std::unique_ptr<FolderLister> NewLister(WorkerPool &pool,
                                                                  bool followLinks) = 0;
    // A reader for one thread.
    [[nodiscard]] virtual std::unique_ptr<FileReader> NewReader() = 0;
    // Takes note of who the root is, as a run starts, for RootGone. A source whose root
    // cannot go away (a snapshot read into memory) need not.
    virtual void NoteRoot() {}
    // Whether the root noted has gone away or been replaced by another folder since: asked
    // when a lookup fails or a listing is empty in a way the tree does not explain, so that
    // an unmounted drive or a renamed root makes its files Not Compared, never Not Found or
    // Extra. Once true it stays true for the run. Safe to call from any thread.
    [[nodiscard]] virtual bool RootGone() { return false; }
};

} // namespace dirwise
