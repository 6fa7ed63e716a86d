#pragma once

// A snapshot in the walk's order (as `dwc --snapshot` writes it), read in one pass by one
// thread and asked by others while it is read: each folder's entries are handed over as soon
// as the next folder's line shows they are whole, so a run can compare with a stream from
// another machine as it arrives. The pass checks every line; a manifest in another order or
// form is left to the whole tree (SnapshotTree) where it can be read again.
//
// Memory: every folder is kept (its name, time, subfolders, where its lines lie); folders'
// other entries are kept up to a budget, each folder's made once at its final size, and
// where the manifest is a regular file those past the budget are read again by offset when
// asked, and checked against what the pass saw (a file changed meanwhile is an error, never
// other facts). A pipe keeps everything.

#include "Io.h"
#include "SnapshotTree.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <span>
#include <sys/stat.h>

namespace dirwise {

class SnapshotStream : public SnapshotData {
public:
    enum class Outcome : std::uint8_t {
        Complete,     // read to the end and sound
        NotWalkOrder, // perhaps sound, but in another order or form: read it whole instead
        Failed,       // malformed, cut off, unreadable or stopped: error() and errorLine() tell
    };

    // Will read `fd` (taken: it is the stream's) from its current offset. `rereadable`: a
    // regular file, whose folders past `keep` bytes may be dropped and read again.
    SnapshotStream(UniqueFd fd, bool rereadable, std::size_t keep = DefaultKept);
    ~SnapshotStream() override;
    SnapshotStream(const SnapshotStream &) = delete;
    SnapshotStream &operator=(const SnapshotStream &) = delete;

    // Reads the manifest to its end (or to the first fault), handing folders over as they
    // are whole; then wakes every view that waits. Called once, on a thread of its own while
    // others ask, or before they do.
    Outcome Read();
    // Asked when a stream that cannot be read again ends cleanly, before it counts as whole:
    // true when its writer says it wrote everything (a remote dwc that exited 0), else false
    // with `why`. Without it, the end of the bytes is the end of the manifest.
    void SetEndCheck(std::function<bool(std::string &why)> check) { m_endCheck = std::move(check); }
    // Ends the reading as failed ("stopped") at the next line, and wakes every view that
    // waits: what was not read by then answers EIO. A reader blocked on a pipe ends when its
    // writer does (see RemoteSnapshot::Stop).
    void Cancel();

    // Whether Read has returned; then its outcome, error and the line of the error (0 when
    // no line applies).
    [[nodiscard]] bool Finished() const { return m_finished.load(std::memory_order_acquire); }
    // Whether the root's line has come, or the reading has ended.
    [[nodiscard]] bool Started() const;
    [[nodiscard]] Outcome outcome() const;
    [[nodiscard]] std::string error() const;
    [[nodiscard]] std::int64_t errorLine() const;

    [[nodiscard]] std::unique_ptr<SnapshotView> NewView() const override;
    // Meaningful once Finished.
    [[nodiscard]] bool DigestsComplete() const override { return m_filesWithoutDigest == 0; }
    [[nodiscard]] bool TimesComplete() const override { return m_entriesWithoutTime == 0; }

    // One folder's entries that are no folders, in byte order. Names and link targets
    // packed in `names` (a link's target right after its name).
    struct Node {
        std::int64_t seconds = 0;
        std::int64_t size = 0;
        std::uint32_t nameAt = 0, nameLength = 0, linkLength = 0;
        std::uint32_t digest = 0xffffffffu; // index into digests
        std::int32_t nanoseconds = 0;
        EntryType type = EntryType::File;
        bool hasTime = false;
    };
    // A folder's entries as one block made at its final size: in the stream's own blocks
    // for folders kept from the pass, in `owned` for a folder read again.
    struct Files {
        std::uint32_t folder = 0;
        int error = 0; // could not be read again, or no longer says what it said
        const char *names = nullptr;
        std::span<const Node> nodes;
        std::span<const Sha256> digests;
        std::unique_ptr<std::byte[]> owned;
        [[nodiscard]] std::string_view name(const Node &n) const {
            return {names + n.nameAt, n.nameLength};
        }
        [[nodiscard]] std::string_view link(const Node &n) const {
            return {names + n.nameAt + n.nameLength, n.linkLength};
        }
    };
    // A folder's entries while they are read, grown in buffers used again for every folder.
    struct Gathered {
        std::string names;
        std::vector<Node> nodes;
        std::vector<Sha256> digests;
        void clear() { names.clear(), nodes.clear(), digests.clear(); }
        // The bytes Pack needs.
        [[nodiscard]] std::size_t Bytes() const {
            return nodes.size() * sizeof(Node) + digests.size() * sizeof(Sha256) + names.size();
        }
        // Lays the entries out in `memory` (Bytes() long, aligned for a Node) for `out`.
        void Pack(std::byte *memory, Files &out) const;
    };

    static constexpr std::size_t DefaultKept = 16 << 20;

private:
    friend class StreamView;

    // Where a folder's other entries lie in the file, and how many there are.
    struct Lines {
        std::uint64_t at = 0, end = 0; // their bytes
        std::int64_t line = 0;         // the line the first of them is on
        std::uint32_t count = 0;
    };
    struct Folder {
        std::uint32_t parent = 0;
        const char *name = nullptr; // in m_nameChunks: never moves
        std::uint32_t nameLength = 0;
        bool hasTime = false;
        bool filesDone = false; // its other entries are all read (the next folder's line came)
        bool closed = false;    // every folder below it is read too
        std::int32_t nanoseconds = 0;
        std::int64_t seconds = 0;
        Lines lines;
        std::vector<std::uint32_t> subs;    // in byte order of their names
        std::shared_ptr<const Files> files; // kept from the pass; null where read again
        [[nodiscard]] std::string_view nameView() const { return {name, nameLength}; }
    };

    Outcome finish(Outcome outcome, std::string message = {}, std::int64_t line = 0);
    const char *storeName(std::string_view name);
    // Room for `bytes` of kept entries (8-byte aligned) in blocks that live as long as the
    // stream: made as the pass goes, one huge page each where the kernel allows.
    std::byte *keepRoom(std::size_t bytes);
    // Folder f's other entries: kept, or read again from the file (lock not held).
    std::shared_ptr<const Files> files(std::uint32_t f, const Lines &lines) const;
    std::shared_ptr<const Files> reread(std::uint32_t f, const Lines &lines) const;

    // Whether the file is still the one the pass read (by its identity and change time).
    [[nodiscard]] bool unchanged() const;

    UniqueFd m_fd;
    const bool m_rereadable;
    struct stat m_identity {};
    const std::size_t m_keep;
    std::function<bool(std::string &)> m_endCheck;

    // Written by the pass under m_lock; read by views under m_lock until m_finished, freely
    // after it.
    mutable std::mutex m_lock;
    mutable std::condition_variable m_arrived;
    mutable int m_waiting = 0;     // views asleep on m_arrived
    std::vector<Folder> m_folders; // in the walk's order, the root first
    std::vector<std::unique_ptr<char[]>> m_nameChunks;
    std::size_t m_chunkUsed = 0;
    struct FreeBlock {
        void operator()(std::byte *p) const;
    };
    std::vector<std::unique_ptr<std::byte[], FreeBlock>> m_blocks;
    std::byte *m_block = nullptr; // the block being filled
    std::size_t m_blockUsed = 0;
    std::atomic<bool> m_finished{false};
    std::atomic<bool> m_cancelled{false};
    Outcome m_outcome = Outcome::Failed;
    std::string m_error;
    std::int64_t m_errorLine = 0;
    std::int64_t m_filesWithoutDigest = 0;
    std::int64_t m_entriesWithoutTime = 0;

    // The folders read again last, for every view: a run's readers work in the same folders.
    static constexpr std::size_t Kept = 8;
    mutable std::mutex m_keptLock;
    mutable std::vector<std::shared_ptr<const Files>> m_kept;
    mutable std::size_t m_nextKept = 0;
};

} // namespace dirwise
