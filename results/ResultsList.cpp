#include "ResultsList.h"
#include "Ascii.h"

#include "CaseFold.h"
#include "TextForms.h"

#include <algorithm>
#include <cstring>

namespace dirwise {
namespace {

// A name's place in the blocks, as one number: the block (24 bits), the offset in it (20
// bits) and the length (20 bits). A name too long for an ordinary block gets a block of its
// own whose first eight bytes hold its length; its reference says LongName as the length.
constexpr unsigned BlockBits = 20; // 1 MiB blocks
constexpr std::size_t BlockSize = std::size_t{1} << BlockBits;
constexpr std::uint64_t FieldMask = (std::uint64_t{1} << 20) - 1;
constexpr std::uint64_t LongName = FieldMask;

std::uint64_t nameRef(std::size_t block, std::size_t offset, std::size_t length) {
    return std::uint64_t{block} << 40 | std::uint64_t{offset} << 20 | length;
}
std::size_t refBlock(std::uint64_t ref) { return static_cast<std::size_t>(ref >> 40); }
std::size_t refOffset(std::uint64_t ref) { return static_cast<std::size_t>(ref >> 20 & FieldMask); }
std::size_t refLength(std::uint64_t ref) { return static_cast<std::size_t>(ref & FieldMask); }

// Whether a row of this result keeps a number (contentOffset) after its name.
bool keepsExtra(Result r) { return r == Result::Content || r == Result::NotCompared; }

// Joins a root and a relative directory ("/..."), without doubling the separator when the
// root is "/" itself.
std::string joinRoot(const std::string &root, const std::string &relative) {
    if (!root.empty() && root.back() == '/' && !relative.empty() && relative.front() == '/')
        return root + relative.substr(1);
    return root + relative;
}

} // namespace

ResultsList::ResultsList() = default;
ResultsList::~ResultsList() = default;
ResultsList::ResultsList(ResultsList &&other) noexcept = default;
ResultsList &ResultsList::operator=(ResultsList &&other) noexcept = default;

void ResultsList::Clear() {
    m_chunks = decltype(m_chunks)();
    m_count = 0;
    m_blocks = decltype(m_blocks)();
    m_blockUsed = 0;
    m_dirs = {};
    m_dirIndex = {};
    m_dirRank = {};
}

void ResultsList::SetRoots(std::string masterRoot, std::string compareRoot) {
    m_masterRoot = std::move(masterRoot);
    m_compareRoot = std::move(compareRoot);
}

std::uint32_t ResultsList::InternDirectory(std::string_view relativeDir) {
    std::string key(relativeDir);
    auto it = m_dirIndex.find(key);
    if (it != m_dirIndex.end())
        return it->second;
    const auto id = static_cast<std::uint32_t>(m_dirs.size());
    m_dirs.push_back(key);
    m_dirIndex.emplace(std::move(key), id);
    m_dirRank.clear();
    return id;
}

std::uint64_t ResultsList::storeName(std::string_view name, const std::int64_t *extra) {
    const std::size_t need = name.size() + (extra ? sizeof *extra : 0);
    char *to = nullptr;
    std::uint64_t ref = 0;
    if (need >= BlockSize / 2) {
        // Far beyond any file name: a block of its own, after the ordinary ones' last.
        auto own = std::make_unique_for_overwrite<char[]>(sizeof(std::uint64_t) + need);
        const std::uint64_t length = name.size();
        std::memcpy(own.get(), &length, sizeof length);
        to = own.get() + sizeof length;
        ref = nameRef(m_blocks.size(), 0, LongName);
        m_blocks.push_back(std::move(own));
        m_blockUsed = BlockSize; // the next short name starts a fresh block
    } else {
        if (m_blocks.empty() || BlockSize - m_blockUsed < need) {
            m_blocks.push_back(std::make_unique_for_overwrite<char[]>(BlockSize));
            m_blockUsed = 0;
        }
        to = m_blocks.back().get() + m_blockUsed;
        ref = nameRef(m_blocks.size() - 1, m_blockUsed, name.size());
        m_blockUsed += need;
    }
    std::memcpy(to, name.data(), name.size());
    if (extra)
        std::memcpy(to + name.size(), extra, sizeof *extra);
    return ref;
}

const char *ResultsList::nameBytes(std::uint64_t ref, std::size_t &length) const {
    const char *block = m_blocks[refBlock(ref)].get();
    if (refLength(ref) == LongName) {
        std::uint64_t n = 0;
        std::memcpy(&n, block, sizeof n);
        length = static_cast<std::size_t>(n);
        return block + sizeof n;
    }
    length = refLength(ref);
    return block + refOffset(ref);
}

std::int64_t ResultsList::extraOf(const Stored &s) const {
    if (!keepsExtra(s.result))
        return 0;
    std::size_t length = 0;
    const char *bytes = nameBytes(s.name, length);
    std::int64_t v = 0;
    std::memcpy(&v, bytes + length, sizeof v);
    return v;
}

std::size_t ResultsList::Append(const ResultRow &row) {
    if ((m_count & (ChunkRows - 1)) == 0 && m_count >> ChunkBits == m_chunks.size())
        m_chunks.push_back(std::make_unique_for_overwrite<Stored[]>(ChunkRows));
    const bool extra = keepsExtra(row.result);
    Stored &s = at(m_count);
    s.masterSize = row.hasMaster() ? row.masterSize : 0;
    s.masterTime = row.hasMaster() ? row.masterTime : 0;
    s.compareSize = row.hasCompare() ? row.compareSize : 0;
    s.compareTime = row.hasCompare() ? row.compareTime : 0;
    s.name = storeName(row.name, extra ? &row.contentOffset : nullptr);
    s.dir = row.dir;
    s.result = row.result;
    s.detail = row.detail;
    s.timesKnown = static_cast<std::uint8_t>((!row.hasMaster() || row.masterTimeKnown ? 1 : 0) |
                                             (!row.hasCompare() || row.compareTimeKnown ? 2 : 0));
    s.asciiName = !HasNonAscii(row.name);
    return m_count++;
}

ResultRow ResultsList::unpack(const Stored &s) const {
    std::size_t length = 0;
    const char *bytes = nameBytes(s.name, length);
    return ResultRow{.name = std::string(bytes, length),
                     .masterSize = s.masterSize,
                     .masterTime = s.masterTime,
                     .compareSize = s.compareSize,
                     .compareTime = s.compareTime,
                     .contentOffset = extraOf(s),
                     .dir = s.dir,
                     .result = s.result,
                     .detail = s.detail,
                     .masterTimeKnown = (s.timesKnown & 1) != 0,
                     .compareTimeKnown = (s.timesKnown & 2) != 0};
}

ResultRow ResultsList::Row(std::size_t i) const { return unpack(at(i)); }

std::string_view ResultsList::Name(std::size_t i) const {
    std::size_t length = 0;
    const char *bytes = nameBytes(at(i).name, length);
    return {bytes, length};
}

const std::string &ResultsList::RelativeDir(std::size_t i) const {
    static const std::string none;
    const std::uint32_t d = at(i).dir;
    return d < m_dirs.size() ? m_dirs[d] : none;
}

std::string_view ResultsList::WalkedAs(std::size_t i) const {
    const Stored &s = at(i);
    if (s.result != Result::NotCompared ||
        (s.detail != Detail::MasterWalkedAlready && s.detail != Detail::CompareWalkedAlready))
        return {};
    const std::int64_t d = extraOf(s);
    if (d < 0 || static_cast<std::uint64_t>(d) >= m_dirs.size())
        return {};
    std::string_view dir = m_dirs[static_cast<std::size_t>(d)];
    if (!dir.empty() && dir.front() == '/')
        dir.remove_prefix(1);
    return dir;
}

std::string ResultsList::Text(std::size_t i, Column k) const {
    std::string out;
    AppendText(out, i, k);
    return out;
}

void ResultsList::AppendText(std::string &out, std::size_t i, Column k) const {
    const Stored &s = at(i);
    // The cheap columns straight from the packed row; the rest from the row as a value.
    switch (k) {
    case Column::Result:
        out += ResultText(s.result);
        return;
    case Column::ComparePath: {
        const std::string &relative = RelativeDir(i);
        out += m_compareRoot;
        // The root "/" and a relative "/..." share their separator.
        const bool shared = !m_compareRoot.empty() && m_compareRoot.back() == '/' &&
                            !relative.empty() && relative.front() == '/';
        out.append(relative, shared ? 1 : 0);
        return;
    }
    case Column::FileName:
        out += Name(i);
        return;
    default:
        break;
    }
    const ResultRow r = unpack(s);
    if (!r.has(k))
        return;
    switch (k) {
    case Column::MasterSize:
    case Column::CompareSize:
        AppendSizeText(out, r.number(k));
        return;
    case Column::MasterDate:
    case Column::CompareDate:
        AppendDateText(out, r.number(k));
        return;
    case Column::Difference:
        out += DifferenceText(r, LocaleThousandsSeparator(), WalkedAs(i));
        return;
    default:
        return;
    }
}

std::string ResultsList::MasterPath(std::size_t i) const {
    return joinRoot(m_masterRoot, RelativeDir(i)).append(Name(i));
}

std::string ResultsList::ComparePath(std::size_t i) const {
    return joinRoot(m_compareRoot, RelativeDir(i)).append(Name(i));
}

void ResultsList::Remove(std::size_t i) { Remove(std::vector<std::size_t>{i}); }

void ResultsList::Remove(std::vector<std::size_t> rows) {
    if (rows.empty())
        return;
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    // The removed rows' names stay in their blocks until Clear: the blocks never move.
    std::size_t next = 0; // next index in `rows` to drop
    std::size_t write = 0;
    for (std::size_t read = 0; read < m_count; ++read) {
        if (next < rows.size() && rows[next] == read) {
            ++next;
            continue;
        }
        if (write != read)
            at(write) = at(read);
        ++write;
    }
    m_count = write;
    m_chunks.resize((m_count + ChunkRows - 1) >> ChunkBits);
}

void ResultsList::permute(std::vector<std::uint32_t> &order) {
    // Row i of the result is the old row order[i]. Follow each cycle of the permutation and
    // move the rows along it in place.
    const std::size_t n = order.size();
    for (std::size_t start = 0; start < n; ++start) {
        if (order[start] == start)
            continue;
        const Stored held = at(start);
        std::size_t to = start;
        while (order[to] != start) {
            const std::size_t from = order[to];
            at(to) = at(from);
            order[to] = static_cast<std::uint32_t>(to); // placed
            to = from;
        }
        at(to) = held;
        order[to] = static_cast<std::uint32_t>(to);
    }
}

void ResultsList::Sort(Column key, SortOrder order, std::vector<std::size_t> *follow) {
    std::vector<std::uint32_t> perm;
    const bool descending = order == SortOrder::Descending;
    if (key == Column::FileName || key == Column::Difference)
        sortTexts(key, descending, perm);
    else
        sortNumbers(key, descending, perm);
    if (follow && !follow->empty()) {
        std::vector<std::uint32_t> newPosition(m_count);
        for (std::size_t i = 0; i < m_count; ++i)
            newPosition[perm[i]] = static_cast<std::uint32_t>(i);
        for (std::size_t &row : *follow)
            row = newPosition[row];
    }
    permute(perm);
    m_sort.key = key;
    m_sort.order = order;
    m_sort.sorted = true;
}

} // namespace dirwise
