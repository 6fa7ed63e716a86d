#include "ResultsList.h"
#include "Ascii.h"

#include "CaseFold.h"
#include "TextForms.h"

#include <algorithm>
#include <numeric>

namespace dirwise {
namespace {

// Case-insensitive for ASCII letters, ties broken by the bytes, so the order is total and
// two names that differ only in case still sort the same way every time.
int compareText(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = FoldAscii(a[i]);
        const unsigned char y = FoldAscii(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    const int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// The position of each result's text in case-insensitive text order: "Content" < "Date" <
// "Extra" < "Match" < "Not Compared" < "Not Found" < "Size" < "Size&Date".
int resultRank(Result r) {
    switch (r) {
    case Result::Content:
        return 0;
    case Result::Date:
        return 1;
    case Result::Extra:
        return 2;
    case Result::Match:
        return 3;
    case Result::NotCompared:
        return 4;
    case Result::NotFound:
        return 5;
    case Result::Size:
        return 6;
    case Result::SizeAndDate:
        return 7;
    }
    return 8;
}

} // namespace

void ResultsList::Clear() {
    m_rows.clear();
    m_rows.shrink_to_fit();
    m_dirs.clear();
    m_dirIndex.clear();
    m_dirRank.clear();
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

std::size_t ResultsList::Append(ResultRow row) {
    if (!row.hasMaster()) {
        row.masterSize = 0;
        row.masterTime = 0;
        row.masterTimeKnown = true;
    }
    if (!row.hasCompare()) {
        row.compareSize = 0;
        row.compareTime = 0;
        row.compareTimeKnown = true;
    }
    if (row.result != Result::Content && row.result != Result::NotCompared)
        row.contentOffset = 0;
    m_rows.push_back(std::move(row));
    return m_rows.size() - 1;
}

std::string_view ResultsList::WalkedAs(std::size_t i) const {
    const ResultRow &r = m_rows[i];
    if (r.result != Result::NotCompared ||
        (r.detail != Detail::MasterWalkedAlready && r.detail != Detail::CompareWalkedAlready) ||
        r.contentOffset < 0 || static_cast<std::uint64_t>(r.contentOffset) >= m_dirs.size())
        return {};
    std::string_view dir = m_dirs[static_cast<std::size_t>(r.contentOffset)];
    if (!dir.empty() && dir.front() == '/')
        dir.remove_prefix(1);
    return dir;
}

const std::string &ResultsList::RelativeDir(std::size_t i) const {
    static const std::string none;
    const ResultRow &r = m_rows[i];
    return r.dir < m_dirs.size() ? m_dirs[r.dir] : none;
}

namespace {

// Joins a root and a relative directory ("/..."), without doubling the separator when the
// root is "/" itself.
std::string joinRoot(const std::string &root, const std::string &relative) {
    if (!root.empty() && root.back() == '/' && !relative.empty() && relative.front() == '/')
        return root + relative.substr(1);
    return root + relative;
}

} // namespace

std::string ResultsList::Text(std::size_t i, Column k) const {
    std::string out;
    AppendText(out, i, k);
    return out;
}

void ResultsList::AppendText(std::string &out, std::size_t i, Column k) const {
    const ResultRow &r = m_rows[i];
    if (!r.has(k))
        return;
    switch (k) {
    case Column::Result:
        out += ResultText(r.result);
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
        out += r.name;
        return;
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
    }
}

std::string ResultsList::MasterPath(std::size_t i) const {
    return joinRoot(m_masterRoot, RelativeDir(i)) + m_rows[i].name;
}

std::string ResultsList::ComparePath(std::size_t i) const {
    return joinRoot(m_compareRoot, RelativeDir(i)) + m_rows[i].name;
}

void ResultsList::Remove(std::size_t i) {
    m_rows.erase(m_rows.begin() + static_cast<std::ptrdiff_t>(i));
}

void ResultsList::Remove(std::vector<std::size_t> rows) {
    if (rows.empty())
        return;
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    std::size_t next = 0; // next index in `rows` to drop
    std::size_t write = 0;
    for (std::size_t read = 0; read < m_rows.size(); ++read) {
        if (next < rows.size() && rows[next] == read) {
            ++next;
            continue;
        }
        if (write != read)
            m_rows[write] = std::move(m_rows[read]);
        ++write;
    }
    m_rows.resize(write);
}

void ResultsList::Sort(Column key, SortOrder order) {
    if (key == Column::ComparePath && m_dirRank.size() != m_dirs.size()) {
        // Rank the directory table once; rows then compare two integers. All rows share the
        // compare root, so ranking the relative parts orders the full texts the same way.
        std::vector<std::uint32_t> byText(m_dirs.size());
        std::iota(byText.begin(), byText.end(), 0u);
        std::sort(byText.begin(), byText.end(), [this](std::uint32_t x, std::uint32_t y) {
            return compareText(m_dirs[x], m_dirs[y]) < 0;
        });
        m_dirRank.assign(m_dirs.size(), 0);
        for (std::uint32_t rank = 0; rank < byText.size(); ++rank)
            m_dirRank[byText[rank]] = rank;
    }
    // Sort small keys and a permutation rather than the rows themselves: a row is large,
    // and a million of them must sort well within a second.
    const std::size_t n = m_rows.size();
    std::vector<std::uint32_t> perm(n);
    std::iota(perm.begin(), perm.end(), 0u);
    const bool descending = order == SortOrder::Descending;
    if (key == Column::FileName || key == Column::Difference) {
        // The Difference texts are made once here; names are read where they lie.
        std::vector<std::string> made;
        if (key == Column::Difference) {
            made.resize(n);
            for (std::size_t i = 0; i < n; ++i)
                made[i] = Text(i, key);
        }
        // The first 16 case-folded bytes travel with each entry, so most comparisons never
        // touch the rows' memory at all. Names hold no NUL, so zero padding sorts a shorter
        // name first, as the full comparison does.
        // A text beyond ASCII is compared in its folded form (made once here); ASCII texts
        // fold byte by byte on the way.
        struct Name {
            std::uint64_t prefix[2];
            std::string_view text; // the text to compare without regard to case
            std::string_view raw;  // the text itself, for ties
            std::uint32_t row;
            bool has;
        };
        std::deque<std::string> folded;
        std::vector<Name> names(n);
        for (std::size_t i = 0; i < n; ++i) {
            Name &e = names[i];
            e.raw = made.empty() ? std::string_view(m_rows[i].name) : std::string_view(made[i]);
            e.text = e.raw;
            if (HasNonAscii(e.raw))
                e.text = folded.emplace_back(FoldCaseUtf8(e.raw));
            e.row = static_cast<std::uint32_t>(i);
            e.has = m_rows[i].has(key);
            for (int w = 0; w < 2; ++w) {
                std::uint64_t v = 0;
                for (std::size_t b = 0; b < 8; ++b) {
                    const std::size_t at = static_cast<std::size_t>(w) * 8 + b;
                    const unsigned char c = at < e.text.size() ? FoldAscii(e.text[at]) : 0;
                    v = (v << 8) | c;
                }
                e.prefix[w] = v;
            }
        }
        auto less = [](const Name &a, const Name &b) {
            if (a.has != b.has)
                return !a.has;
            if (a.prefix[0] != b.prefix[0])
                return a.prefix[0] < b.prefix[0];
            if (a.prefix[1] != b.prefix[1])
                return a.prefix[1] < b.prefix[1];
            if (const int c = compareText(a.text, b.text))
                return c < 0;
            return a.raw < b.raw;
        };
        if (descending)
            std::stable_sort(names.begin(), names.end(),
                             [&](const Name &a, const Name &b) { return less(b, a); });
        else
            std::stable_sort(names.begin(), names.end(), less);
        for (std::size_t i = 0; i < n; ++i)
            perm[i] = names[i].row;
    } else {
        struct Key {
            std::int64_t value;
            std::uint32_t row;
            bool has;
        };
        std::vector<Key> keys(n);
        for (std::size_t i = 0; i < n; ++i) {
            const ResultRow &r = m_rows[i];
            std::int64_t v = r.number(key);
            if (key == Column::Result)
                v = resultRank(r.result);
            else if (key == Column::ComparePath)
                v = r.dir < m_dirRank.size() ? m_dirRank[r.dir] : 0;
            keys[i] = Key{v, static_cast<std::uint32_t>(i), r.has(key)};
        }
        // An empty cell is less than any value, so it leads ascending and trails descending.
        auto less = [](const Key &a, const Key &b) {
            return a.has != b.has ? !a.has : a.value < b.value;
        };
        if (descending)
            std::stable_sort(keys.begin(), keys.end(),
                             [&](const Key &a, const Key &b) { return less(b, a); });
        else
            std::stable_sort(keys.begin(), keys.end(), less);
        for (std::size_t i = 0; i < n; ++i)
            perm[i] = keys[i].row;
    }
    // Row i of the result is the old row perm[i]. Follow each cycle of the permutation and
    // move the rows along it in place: a second copy of a million rows would double the
    // list's memory for the length of a sort.
    for (std::size_t start = 0; start < n; ++start) {
        if (perm[start] == start)
            continue;
        ResultRow held = std::move(m_rows[start]);
        std::size_t at = start;
        while (perm[at] != start) {
            const std::size_t from = perm[at];
            m_rows[at] = std::move(m_rows[from]);
            perm[at] = static_cast<std::uint32_t>(at); // placed
            at = from;
        }
        m_rows[at] = std::move(held);
        perm[at] = static_cast<std::uint32_t>(at);
    }
    m_sort.key = key;
    m_sort.order = order;
    m_sort.sorted = true;
}

} // namespace dirwise
