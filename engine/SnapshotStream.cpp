#include "SnapshotStream.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <limits>
#include <memory>
#include <new>
#include <sys/mman.h>
#include <unistd.h>

namespace dirwise {
namespace {

// One folder on the way down while the pass reads: its path's length, the names of its
// other entries (to tell a folder of the same name) and the last subfolder's name. The
// levels are used again as the pass goes up and down, their buffers with them.
struct Level {
    std::uint32_t folder = 0;
    std::size_t pathLength = 0;
    std::string files; // names, each followed by a NUL
    std::size_t fileAt = 0;
    std::size_t lastFileAt = 0; // where the last name in `files` begins
    std::string lastSub;
    bool hasSub = false;
    bool hasFile = false;

    void reset(std::uint32_t f, std::size_t length) {
        folder = f;
        pathLength = length;
        files.clear();
        fileAt = lastFileAt = 0;
        lastSub.clear();
        hasSub = hasFile = false;
    }
    [[nodiscard]] std::string_view lastFile() const {
        return {files.data() + lastFileAt, files.size() - lastFileAt - 1};
    }
};

constexpr std::size_t NameChunk = 64 * 1024;
// The kept entries' blocks: 2 MiB, aligned to their size so that one huge page may back one.
constexpr std::size_t BlockSize = 2 << 20;

// Appends entry `e` to a folder's other entries.
void appendNode(SnapshotStream::Gathered &out, const SnapshotEntryView &e) {
    SnapshotStream::Node n;
    const std::string_view name = e.name;
    n.nameAt = static_cast<std::uint32_t>(out.names.size());
    n.nameLength = static_cast<std::uint32_t>(name.size());
    out.names.append(name);
    n.linkLength = static_cast<std::uint32_t>(e.link.size());
    out.names.append(e.link);
    n.type = e.type;
    n.hasTime = e.hasTime;
    n.seconds = e.time.seconds;
    n.nanoseconds = e.time.nanoseconds;
    n.size = e.type == EntryType::File && e.size > 0 ? e.size : 0;
    if (e.hasDigest && e.type == EntryType::File) {
        n.digest = static_cast<std::uint32_t>(out.digests.size());
        out.digests.push_back(e.digest);
    }
    out.nodes.push_back(n);
}

} // namespace

void SnapshotStream::Gathered::Pack(std::byte *memory, Files &out) const {
    static_assert(alignof(Node) <= 8 && alignof(Sha256) <= alignof(Node));
    auto *nodeAt = reinterpret_cast<Node *>(memory);
    std::uninitialized_copy(nodes.begin(), nodes.end(), nodeAt);
    auto *digestAt = reinterpret_cast<Sha256 *>(memory + nodes.size() * sizeof(Node));
    std::uninitialized_copy(digests.begin(), digests.end(), digestAt);
    char *nameAt = reinterpret_cast<char *>(digestAt + digests.size());
    std::copy(names.begin(), names.end(), nameAt);
    out.nodes = {nodeAt, nodes.size()};
    out.digests = {digestAt, digests.size()};
    out.names = nameAt;
}

void SnapshotStream::FreeBlock::operator()(std::byte *p) const { std::free(p); }

std::byte *SnapshotStream::keepRoom(std::size_t bytes) {
    bytes = (bytes + 7) & ~std::size_t{7};
    if (bytes > BlockSize / 4) { // a large folder has a block of its own, of its size
        m_blocks.emplace_back(static_cast<std::byte *>(std::aligned_alloc(8, bytes)));
        if (!m_blocks.back())
            throw std::bad_alloc();
        return m_blocks.back().get();
    }
    if (m_block == nullptr || BlockSize - m_blockUsed < bytes) {
        auto *block = static_cast<std::byte *>(std::aligned_alloc(BlockSize, BlockSize));
        if (block == nullptr)
            throw std::bad_alloc();
        ::madvise(block, BlockSize, MADV_HUGEPAGE);
        m_blocks.emplace_back(block);
        m_block = block;
        m_blockUsed = 0;
    }
    std::byte *at = m_block + m_blockUsed;
    m_blockUsed += bytes;
    return at;
}

SnapshotStream::SnapshotStream(UniqueFd fd, bool rereadable, std::size_t keep)
    : m_fd(std::move(fd)), m_rereadable(rereadable),
      m_keep(rereadable ? keep : std::numeric_limits<std::size_t>::max()) {}

SnapshotStream::~SnapshotStream() = default;

SnapshotStream::Outcome SnapshotStream::outcome() const {
    const std::lock_guard lock(m_lock);
    return m_outcome;
}

std::string SnapshotStream::error() const {
    const std::lock_guard lock(m_lock);
    return m_error;
}

std::int64_t SnapshotStream::errorLine() const {
    const std::lock_guard lock(m_lock);
    return m_errorLine;
}

bool SnapshotStream::Started() const {
    const std::lock_guard lock(m_lock);
    return !m_folders.empty() || Finished();
}

void SnapshotStream::Cancel() { m_cancelled.store(true); }

SnapshotStream::Outcome SnapshotStream::finish(Outcome outcome, std::string message,
                                               std::int64_t line) {
    if (!m_rereadable)
        m_fd.reset(); // a writer still writing ends instead of waiting for this reader
    {
        const std::lock_guard lock(m_lock);
        m_outcome = outcome;
        m_error = std::move(message);
        m_errorLine = line;
        m_finished.store(true, std::memory_order_release);
    }
    m_arrived.notify_all();
    return outcome;
}

const char *SnapshotStream::storeName(std::string_view name) {
    if (name.size() > NameChunk / 4) { // a long name has a chunk of its own
        m_nameChunks.push_back(std::make_unique<char[]>(name.size()));
        std::copy(name.begin(), name.end(), m_nameChunks.back().get());
        m_chunkUsed = NameChunk; // the next name starts a chunk
        return m_nameChunks.back().get();
    }
    if (m_nameChunks.empty() || NameChunk - m_chunkUsed < name.size()) {
        m_nameChunks.push_back(std::make_unique<char[]>(NameChunk));
        m_chunkUsed = 0;
    }
    char *at = m_nameChunks.back().get() + m_chunkUsed;
    std::copy(name.begin(), name.end(), at);
    m_chunkUsed += name.size();
    return at;
}

SnapshotStream::Outcome SnapshotStream::Read() {
    const off_t base = m_rereadable ? ::lseek(m_fd.get(), 0, SEEK_CUR) : 0;
    if (base < 0 || (m_rereadable && ::fstat(m_fd.get(), &m_identity) != 0))
        return finish(Outcome::Failed, "the snapshot cannot be read", 0);
    MtreeReader reader(m_fd.get());
    // Views waiting for a folder are woken once per read, before the pass may wait for more
    // bytes, not at every folder: a folder's lines come in the same read as many others.
    reader.BeforeRead([this] {
        const std::lock_guard lock(m_lock);
        if (m_waiting > 0)
            m_arrived.notify_all();
    });
    SnapshotEntryView e;
    std::vector<Level> levels; // levels[0, depth) are the folders on the way down
    std::size_t depth = 0;
    std::string path; // of the folder whose line came last and is still open
    // The folder whose other entries are being read, and what the pass gathers of them.
    std::uint32_t current = 0;
    std::uint32_t count = 0;
    std::uint64_t filesEnd = 0;
    Gathered gathered;
    bool keeping = true; // within the budget: the current folder's entries are gathered
    std::size_t keptBytes = 0;
    std::int64_t withoutDigest = 0, withoutTime = 0;
    // Hands the current folder's other entries over (lock held).
    const auto handOver = [&] {
        Folder &f = m_folders[current];
        f.lines.count = count;
        f.lines.end = filesEnd;
        f.filesDone = true;
        if (!keeping)
            return;
        const std::size_t bytes = gathered.Bytes();
        keptBytes += sizeof(Files) + bytes;
        if (keptBytes <= m_keep || !m_rereadable) {
            auto files = std::make_shared<Files>();
            files->folder = current;
            gathered.Pack(keepRoom(bytes), *files);
            f.files = std::move(files);
        }
        gathered.clear();
    };
    const auto notWalkOrder = [&] {
        return finish(Outcome::NotWalkOrder, "not in the walk's order", reader.line());
    };
    while (reader.NextView(e)) {
        if (m_cancelled.load(std::memory_order_relaxed))
            return finish(Outcome::Failed, "stopped", 0);
        if (!reader.linesStandAlone())
            return notWalkOrder();
        const std::string_view name = e.name;
        const std::string_view parent =
            e.path.substr(0, e.path.size() - name.size() - (name.size() < e.path.size()));
        if ((depth == 0) != e.path.empty() || (e.path.empty() && e.type != EntryType::Dir))
            return notWalkOrder(); // the root first, and once
        withoutTime += !e.hasTime;
        const std::uint64_t end = static_cast<std::uint64_t>(base) + reader.offset();
        if (e.type != EntryType::Dir) {
            Level &level = levels[depth - 1];
            if (parent != path || level.hasSub || (level.hasFile && name <= level.lastFile()))
                return notWalkOrder();
            level.lastFileAt = level.files.size();
            level.files.append(name);
            level.files += '\0';
            level.hasFile = true;
            if (count == std::numeric_limits<std::uint32_t>::max())
                return notWalkOrder();
            ++count;
            if (keeping)
                appendNode(gathered, e);
            filesEnd = end;
            withoutDigest += e.type == EntryType::File && !e.hasDigest;
            continue;
        }
        std::size_t closing = depth; // levels from here on are left
        if (depth > 0) {
            while (closing > 0 &&
                   std::string_view(path).substr(0, levels[closing - 1].pathLength) != parent)
                --closing;
            if (closing == 0)
                return notWalkOrder(); // a folder whose parent has no line of its own
            Level &up = levels[closing - 1];
            if (up.hasSub && name <= up.lastSub)
                return notWalkOrder();
            // The other entries are in byte order, and so are the subfolders: one pass
            // along them tells a folder named as one of them.
            while (up.fileAt < up.files.size()) {
                const std::string_view other(up.files.c_str() + up.fileAt);
                if (other > name)
                    break;
                if (other == name)
                    return finish(Outcome::Failed, "a path given as a folder and as something else",
                                  reader.line());
                up.fileAt += other.size() + 1;
            }
            up.lastSub.assign(name);
            up.hasSub = true;
            path.assign(e.path);
        }
        if (m_folders.size() >= 0xfffffffeu)
            return notWalkOrder();
        Folder f;
        f.parent = closing == 0 ? 0 : levels[closing - 1].folder;
        f.name = storeName(name);
        f.nameLength = static_cast<std::uint32_t>(name.size());
        f.hasTime = e.hasTime;
        f.seconds = e.time.seconds;
        f.nanoseconds = e.time.nanoseconds;
        f.lines.at = end;
        f.lines.line = reader.line() + 1;
        {
            const std::lock_guard lock(m_lock);
            if (!m_folders.empty())
                handOver();
            for (std::size_t k = closing; k < depth; ++k)
                m_folders[levels[k].folder].closed = true;
            current = static_cast<std::uint32_t>(m_folders.size());
            if (current != 0)
                m_folders[f.parent].subs.push_back(current);
            m_folders.push_back(std::move(f));
        }
        depth = closing;
        if (levels.size() == depth)
            levels.emplace_back();
        levels[depth++].reset(current, e.path.size());
        count = 0;
        filesEnd = end;
        keeping = keptBytes <= m_keep;
    }
    if (!reader.error().empty())
        return finish(Outcome::Failed, reader.error(), reader.errorLine());
    if (m_folders.empty())
        return finish(Outcome::Failed, "no entry at all (an empty or cut-off manifest)", 0);
    if (m_rereadable && !unchanged())
        return finish(Outcome::Failed, "the file changed while it was read", 0);
    if (std::string why; m_endCheck && !m_endCheck(why))
        return finish(Outcome::Failed, why, 0);
    {
        const std::lock_guard lock(m_lock);
        handOver();
        for (std::size_t k = 0; k < depth; ++k)
            m_folders[levels[k].folder].closed = true;
        m_filesWithoutDigest = withoutDigest;
        m_entriesWithoutTime = withoutTime;
    }
    return finish(Outcome::Complete);
}

bool SnapshotStream::unchanged() const {
    struct stat now {};
    return ::fstat(m_fd.get(), &now) == 0 && now.st_dev == m_identity.st_dev &&
           now.st_ino == m_identity.st_ino && now.st_size == m_identity.st_size &&
           now.st_mtim.tv_sec == m_identity.st_mtim.tv_sec &&
           now.st_mtim.tv_nsec == m_identity.st_mtim.tv_nsec &&
           now.st_ctim.tv_sec == m_identity.st_ctim.tv_sec &&
           now.st_ctim.tv_nsec == m_identity.st_ctim.tv_nsec;
}

std::shared_ptr<const SnapshotStream::Files> SnapshotStream::reread(std::uint32_t f,
                                                                    const Lines &lines) const {
    auto out = std::make_shared<Files>();
    out->folder = f;
    if (!unchanged()) {
        out->error = EIO;
        return out;
    }
    std::string bytes(lines.end - lines.at, '\0');
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::pread(m_fd.get(), bytes.data() + got, bytes.size() - got,
                                  static_cast<off_t>(lines.at + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            out->error = n < 0 ? errno : EIO;
            return out;
        }
        got += static_cast<std::size_t>(n);
    }
    MtreeReader reader(bytes, lines.line);
    SnapshotEntryView e;
    Gathered gathered;
    gathered.nodes.reserve(lines.count);
    gathered.names.reserve(bytes.size());
    bool sound = true;
    while (sound && reader.NextView(e)) {
        appendNode(gathered, e);
        // What the pass saw: entries that are no folders, in byte order of their names.
        const std::size_t n = gathered.nodes.size();
        const auto name = [&](std::size_t i) {
            return std::string_view(gathered.names)
                .substr(gathered.nodes[i].nameAt, gathered.nodes[i].nameLength);
        };
        sound = e.type != EntryType::Dir && (n == 1 || name(n - 2) < name(n - 1));
    }
    // The file changed since the pass: what it says now is not what was read then.
    if (!sound || !reader.error().empty() || gathered.nodes.size() != lines.count) {
        out->error = EIO;
        return out;
    }
    out->owned = std::make_unique_for_overwrite<std::byte[]>(gathered.Bytes());
    gathered.Pack(out->owned.get(), *out);
    return out;
}

std::shared_ptr<const SnapshotStream::Files> SnapshotStream::files(std::uint32_t f,
                                                                   const Lines &lines) const {
    {
        const std::lock_guard lock(m_keptLock);
        for (const auto &kept : m_kept)
            if (kept->folder == f)
                return kept;
    }
    std::shared_ptr<const Files> made = reread(f, lines); // outside the lock: others read on
    const std::lock_guard lock(m_keptLock);
    if (m_kept.size() < Kept) {
        m_kept.push_back(made);
    } else {
        m_kept[m_nextKept] = made;
        m_nextKept = (m_nextKept + 1) % Kept;
    }
    return made;
}

} // namespace dirwise
