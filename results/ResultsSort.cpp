// The results list's sort: a small key per row, sorted with the row's position as the last
// tie-break (so equal keys keep their order both ways without a merge buffer), then the
// rows moved in place along the permutation.
#include "ResultsList.h"

#include "Ascii.h"
#include "CaseFold.h"
#include "TextForms.h"

#include <algorithm>
#include <cstdint>
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
    return 0;
}

int compareBytes(std::string_view a, std::string_view b) {
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

// The first eight case-folded bytes of a text as one number, so most comparisons never
// look at the text itself. Names hold no NUL, so zero padding sorts a shorter text first,
// as the full comparison does.
std::uint64_t prefixOf(std::string_view text) {
    std::uint64_t v = 0;
    for (std::size_t b = 0; b < 8; ++b)
        v = (v << 8) | (b < text.size() ? FoldAscii(text[b]) : 0u);
    return v;
}

// One row's sort key: a value (a number, or a text's prefix), whether the cell holds one,
// and the row's position before the sort.
template <typename Value> struct Key {
    Value value;
    std::uint32_t row;
    bool has;
};

// Sorts `keys` by (has, value, then `tie` for equal values, then position), descending
// when asked except for the position, and returns the positions in their new order.
template <typename Value, typename Tie>
std::vector<std::uint32_t> orderOf(std::vector<Key<Value>> &keys, bool descending, Tie tie) {
    auto less = [&](const Key<Value> &a, const Key<Value> &b) {
        int c = 0;
        if (a.has != b.has)
            c = a.has ? 1 : -1; // an empty cell is less than any value
        else if (a.value != b.value)
            c = a.value < b.value ? -1 : 1;
        else if (a.has)
            c = tie(a.row, b.row);
        if (c != 0)
            return descending ? c > 0 : c < 0;
        return a.row < b.row;
    };
    std::sort(keys.begin(), keys.end(), less);
    std::vector<std::uint32_t> order(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i)
        order[i] = keys[i].row;
    return order;
}

} // namespace

bool ResultsList::hasCell(const Stored &s, Column c) {
    ResultRow probe;
    probe.result = s.result;
    probe.detail = s.detail;
    probe.masterTimeKnown = (s.timesKnown & 1) != 0;
    probe.compareTimeKnown = (s.timesKnown & 2) != 0;
    return probe.has(c);
}

void ResultsList::sortNumbers(Column key, bool descending,
                              std::vector<std::uint32_t> &order) const {
    if (key == Column::ComparePath && m_dirRank.size() != m_dirs.size()) {
        // Rank the directory table once; rows then compare two integers. All rows share the
        // compare root, so ranking the relative parts orders the full texts the same way.
        std::vector<std::uint32_t> byText(m_dirs.size());
        std::iota(byText.begin(), byText.end(), 0u);
        std::sort(byText.begin(), byText.end(), [this](std::uint32_t x, std::uint32_t y) {
            const int c = compareText(m_dirs[x], m_dirs[y]);
            return c != 0 ? c < 0 : compareBytes(m_dirs[x], m_dirs[y]) < 0;
        });
        m_dirRank.assign(m_dirs.size(), 0);
        for (std::uint32_t rank = 0; rank < byText.size(); ++rank)
            m_dirRank[byText[rank]] = rank;
    }
    std::vector<Key<std::int64_t>> keys(m_count);
    for (std::size_t i = 0; i < m_count; ++i) {
        const Stored &s = at(i);
        std::int64_t v = 0;
        switch (key) {
        case Column::Result:
            v = resultRank(s.result);
            break;
        case Column::ComparePath:
            v = s.dir < m_dirRank.size() ? m_dirRank[s.dir] : 0;
            break;
        case Column::MasterSize:
            v = s.masterSize;
            break;
        case Column::CompareSize:
            v = s.compareSize;
            break;
        case Column::MasterDate:
            v = s.masterTime;
            break;
        case Column::CompareDate:
            v = s.compareTime;
            break;
        default:
            break;
        }
        keys[i] = {v, static_cast<std::uint32_t>(i), hasCell(s, key)};
    }
    order = orderOf(keys, descending, [](std::uint32_t, std::uint32_t) { return 0; });
}

void ResultsList::sortTexts(Column key, bool descending, std::vector<std::uint32_t> &order) const {
    // The Difference texts are made once here, end to end in one string; names are read
    // where they lie.
    std::string made;
    std::vector<std::size_t> madeAt;
    if (key == Column::Difference) {
        madeAt.reserve(m_count + 1);
        for (std::size_t i = 0; i < m_count; ++i) {
            madeAt.push_back(made.size());
            made += Text(i, key);
        }
        madeAt.push_back(made.size());
    }
    auto raw = [&](std::size_t i) {
        return madeAt.empty() ? Name(i)
                              : std::string_view(made).substr(madeAt[i], madeAt[i + 1] - madeAt[i]);
    };
    // A key per row, 16 bytes: the text's first folded bytes, its length and the row. The
    // text is found again by the row where a beginning ties: the row's own text when it is
    // all ASCII (folded byte by byte on the way), else its folded form, made once here.
    struct TextKey {
        std::uint64_t prefix;
        std::uint32_t length; // the top bit: the cell holds a value; then FoldedHere
        std::uint32_t row;
    };
    static_assert(sizeof(TextKey) == 16);
    constexpr std::uint32_t Has = 0x80000000u;
    constexpr std::uint32_t FoldedHere = 0x40000000u; // the text is in foldedHere
    constexpr std::uint32_t Length = FoldedHere - 1;
    // The folded texts end to end in one string (one allocation, not one a text), and where
    // each begins, by row in increasing order: only rows whose text is not ASCII have one.
    std::string foldedHere;
    std::vector<std::pair<std::uint32_t, std::size_t>> foldedAt;
    std::string folded;
    std::vector<TextKey> keys(m_count);
    for (std::size_t i = 0; i < m_count; ++i) {
        std::string_view text = raw(i);
        const bool ascii = madeAt.empty() ? at(i).asciiName : !HasNonAscii(text);
        std::uint32_t flags = 0;
        if (!ascii) {
            FoldCaseUtf8(text, folded);
            text = folded;
            flags = FoldedHere;
            foldedAt.emplace_back(static_cast<std::uint32_t>(i), foldedHere.size());
            foldedHere += folded;
        }
        const bool has = hasCell(at(i), key);
        keys[i] = {prefixOf(text),
                   static_cast<std::uint32_t>(std::min<std::size_t>(text.size(), Length)) | flags |
                       (has ? Has : 0u),
                   static_cast<std::uint32_t>(i)};
    }
    // The text key k compares (its prefix was taken from it).
    auto textOf = [&](const TextKey &k) {
        if (!(k.length & FoldedHere))
            return raw(k.row).substr(0, k.length & Length);
        const auto at = std::lower_bound(foldedAt.begin(), foldedAt.end(),
                                         std::pair<std::uint32_t, std::size_t>{k.row, 0});
        return std::string_view(foldedHere).substr(at->second, k.length & Length);
    };
    // First by the first eight folded bytes alone, which reads no text; then every run of
    // keys that share them by the next eight, and so on, so a text is read only as far as
    // its beginning ties with another's. Texts hold no NUL, so a text that ended pads with
    // zeros and comes first, as the shorter of two texts does.
    auto byPrefix = [&](const TextKey &a, const TextKey &b) {
        int c = 0;
        if ((a.length & Has) != (b.length & Has))
            c = (a.length & Has) ? 1 : -1; // an empty cell is less than any value
        else if (a.prefix != b.prefix)
            c = a.prefix < b.prefix ? -1 : 1;
        if (c != 0)
            return descending ? c > 0 : c < 0;
        return a.row < b.row;
    };
    std::sort(keys.begin(), keys.end(), byPrefix);
    struct Run {
        std::size_t begin, end, depth; // keys [begin, end) share their first `depth` + 8 bytes
    };
    std::vector<Run> runs; // a stack, so no depth of shared beginnings recurses
    auto pushRuns = [&](std::size_t begin, std::size_t end, std::size_t depth) {
        for (std::size_t i = begin; i < end;) {
            std::size_t j = i + 1;
            while (j < end && keys[j].prefix == keys[i].prefix &&
                   (keys[j].length & Has) == (keys[i].length & Has))
                ++j;
            if (j - i > 1 && (keys[i].length & Has))
                runs.push_back({i, j, depth});
            i = j;
        }
    };
    pushRuns(0, keys.size(), 0);
    while (!runs.empty()) {
        const Run run = runs.back();
        runs.pop_back();
        const auto first = keys.begin() + static_cast<std::ptrdiff_t>(run.begin);
        const auto last = keys.begin() + static_cast<std::ptrdiff_t>(run.end);
        const std::size_t next = run.depth + 8;
        bool ended = true;
        for (auto k = first; k != last && ended; ++k)
            ended = (k->length & Length) <= next;
        if (ended) {
            // The same folded text: the bytes decide, then the rows' places.
            std::sort(first, last, [&](const TextKey &a, const TextKey &b) {
                const int c = compareBytes(raw(a.row), raw(b.row));
                if (c != 0)
                    return descending ? c > 0 : c < 0;
                return a.row < b.row;
            });
            continue;
        }
        for (auto k = first; k != last; ++k) {
            const std::size_t length = k->length & Length;
            k->prefix = next < length ? prefixOf(textOf(*k).substr(next)) : 0;
        }
        std::sort(first, last, byPrefix);
        pushRuns(run.begin, run.end, next);
    }
    order.resize(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i)
        order[i] = keys[i].row;
}

} // namespace dirwise
