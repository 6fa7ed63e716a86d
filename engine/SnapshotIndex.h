#pragma once

// A snapshot file in the walk's order (as `dwc --snapshot` writes it), read as the walk needs
// it instead of held whole: one pass checks every line and notes where each folder's lines
// lie; a folder's entries are read again from the file when the walk or a reader reaches it.
// Memory grows with the number of folders, not of files, beyond the first 16 MiB of entries,
// which are kept from the first read.

#include "Io.h"
#include "SnapshotTree.h"

#include <mutex>

namespace dirwise {

class SnapshotIndex : public SnapshotData {
public:
    enum class Outcome : std::uint8_t {
        Indexed,      // ready to be asked
        NotWalkOrder, // a sound manifest, perhaps, but in another order or form: read it whole
        Failed,       // malformed, cut off or unreadable: error() and errorLine() tell
    };

    // Reads the manifest in regular file `fd` from its current offset to the end. Keeps a
    // descriptor of its own for the reads to come. The order it takes: the root "." first;
    // after each folder's line its entries that are no folders, in byte order; then its
    // folders in byte order, each followed by what lies below it; every line a full path, no
    // /set, /unset or ".." lines.
    // The first `keep` bytes of folders' entries are kept from this read, not read again.
    [[nodiscard]] Outcome Load(int fd, std::size_t keep = DefaultKept);
    [[nodiscard]] const std::string &error() const { return m_error; }
    [[nodiscard]] std::int64_t errorLine() const { return m_errorLine; }

    [[nodiscard]] std::unique_ptr<SnapshotView> NewView() const override;
    [[nodiscard]] bool DigestsComplete() const override { return m_filesWithoutDigest == 0; }
    [[nodiscard]] bool TimesComplete() const override { return m_entriesWithoutTime == 0; }

    // One folder's entries that are no folders, read again from the file, in byte order.
    struct Node {
        std::uint32_t nameAt = 0, nameLength = 0;
        std::uint32_t linkAt = 0, linkLength = 0;
        std::uint32_t digest = 0xffffffffu; // index into digests
        EntryType type = EntryType::File;
        bool hasTime = false;
        std::int32_t nanoseconds = 0;
        std::int64_t seconds = 0;
        std::int64_t size = 0;
    };
    struct Files {
        std::uint32_t folder = 0;
        int error = 0; // the file could not be read again, or no longer says what it said
        std::string names;
        std::vector<Node> nodes;
        std::vector<Sha256> digests;
        [[nodiscard]] std::string_view name(const Node &n) const {
            return {names.data() + n.nameAt, n.nameLength};
        }
    };

    struct Folder {
        std::uint32_t parent = 0;
        std::uint32_t nameAt = 0, nameLength = 0;
        std::uint32_t firstSub = 0, subCount = 0; // into m_subs
        std::uint32_t fileCount = 0;
        bool hasTime = false;
        std::int32_t nanoseconds = 0;
        std::int64_t seconds = 0;
        std::uint64_t filesAt = 0, filesEnd = 0; // the bytes of its entries' lines
        std::int64_t filesLine = 0;              // the line the first of them is on
    };

    [[nodiscard]] const Folder &folder(std::uint32_t f) const { return m_folders[f]; }
    [[nodiscard]] std::string_view folderName(std::uint32_t f) const {
        return {m_names.data() + m_folders[f].nameAt, m_folders[f].nameLength};
    }
    // The subfolders of folder `f`, in byte order of their names.
    [[nodiscard]] std::span<const std::uint32_t> subfolders(std::uint32_t f) const {
        return {m_subs.data() + m_folders[f].firstSub, m_folders[f].subCount};
    }
    // Folder `f`'s other entries, read again or taken from the few kept for all views.
    [[nodiscard]] std::shared_ptr<const Files> files(std::uint32_t f) const;

private:
    Outcome fail(std::string message, std::int64_t line);
    std::shared_ptr<const Files> read(std::uint32_t f) const;

    UniqueFd m_fd;
    std::vector<Folder> m_folders; // in the walk's order, the root first
    std::string m_names;
    std::vector<std::uint32_t> m_subs;
    std::int64_t m_filesWithoutDigest = 0;
    std::int64_t m_entriesWithoutTime = 0;
    std::string m_error;
    std::int64_t m_errorLine = 0;

    static constexpr std::size_t DefaultKept = 16 << 20;
    // Folders' other entries kept from the first read, by folder; empty where read again.
    std::vector<std::shared_ptr<const Files>> m_whole;

    // The folders read last, for every view: the readers of a run work in the same folders.
    static constexpr std::size_t Kept = 8;
    mutable std::mutex m_keptLock;
    mutable std::vector<std::shared_ptr<const Files>> m_kept;
    mutable std::size_t m_nextKept = 0;
};

} // namespace dirwise
