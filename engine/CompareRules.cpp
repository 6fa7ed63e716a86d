#include "CompareRules.h"

#include "Ascii.h"
#include "CaseFold.h"

#include <algorithm>

namespace dirwise {

std::string NormalizeRoot(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string TrimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

std::string RewriteExtensionBox(std::string_view text) {
    if (TrimBlanks(text).empty())
        return std::string(text);
    const auto dot = text.find('.');
    return std::string(dot == std::string_view::npos ? text : text.substr(dot + 1));
}

std::vector<std::string> BuildPatternList(const CompareOptions &options) {
    if (options.excludeMode)
        return {"*.*"};
    std::vector<std::string> patterns;
    for (const std::string &box : options.extensions) {
        std::string ext = TrimBlanks(box);
        if (!ext.empty())
            patterns.push_back("*." + ext);
    }
    return patterns;
}

namespace {

bool endsWithIgnoringCase(std::string_view name, std::string_view suffix) {
    if (!HasNonAscii(name) && !HasNonAscii(suffix)) {
        if (suffix.size() > name.size())
            return false;
        const std::string_view tail = name.substr(name.size() - suffix.size());
        for (std::size_t i = 0; i < suffix.size(); ++i)
            if (FoldAscii(tail[i]) != FoldAscii(suffix[i]))
                return false;
        return true;
    }
    // Folding keeps the number of characters but not always of bytes: compare folded forms.
    const std::string n = FoldCaseUtf8(name), x = FoldCaseUtf8(suffix);
    return n.size() >= x.size() && n.compare(n.size() - x.size(), x.size(), x) == 0;
}

} // namespace

bool MatchPattern(std::string_view pattern, std::string_view name) {
    if (pattern == "*.*")
        return true;
    // Iterative glob with one backtrack point: linear in practice, no recursion. Both sides
    // go one character at a time, letters folded (see FoldedUnitAt).
    std::size_t p = 0, n = 0;
    std::size_t starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && pattern[p] == '?') {
            ++p;
            n += FoldedUnitAt(name, n).length;
        } else if (p < pattern.size() &&
                   FoldedUnitAt(pattern, p).key == FoldedUnitAt(name, n).key) {
            p += FoldedUnitAt(pattern, p).length;
            n += FoldedUnitAt(name, n).length;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            starN += FoldedUnitAt(name, starN).length;
            n = starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

bool IsExcluded(std::string_view name, const std::array<std::string, 4> &boxes) {
    for (const std::string &box : boxes) {
        if (TrimBlanks(box).empty())
            continue;
        // An extension, not any ending: "txt" passes over "a.txt" but not "mytxt".
        if (endsWithIgnoringCase(name, "." + box))
            return true;
    }
    return false;
}

TimeMatch CompareTimes(std::int64_t masterTime, std::int64_t compareTime, std::int64_t tolerance,
                       int hourShifts) {
    if (masterTime == compareTime)
        return TimeMatch::Exact;
    // The gap of two 64-bit times needs 65 bits.
    const __int128 gap = static_cast<__int128>(compareTime) - masterTime;
    const __int128 size = gap < 0 ? -gap : gap;
    if (size <= tolerance)
        return TimeMatch::WithinTolerance;
    if (hourShifts > 0) {
        // The allowed number of hours nearest the gap is the only one worth trying.
        __int128 hours = (size + 1800) / 3600;
        hours = std::clamp<__int128>(hours, 1, hourShifts);
        const __int128 off = size - hours * 3600;
        if ((off < 0 ? -off : off) <= tolerance)
            return TimeMatch::HourShift;
    }
    return TimeMatch::Differs;
}

std::optional<Verdict> Classify(const CompareOptions &o, const PairFacts &p) {
    if (!o.matchSize && !o.matchDate)
        return std::nullopt;
    const bool sizeDiffers = o.matchSize && p.masterSize != p.compareSize;
    const TimeMatch time =
        o.matchDate ? CompareTimes(p.masterTime, p.compareTime, o.timeTolerance, o.hourShifts)
                    : TimeMatch::Exact;
    const bool dateDiffers = time == TimeMatch::Differs;
    if (sizeDiffers && dateDiffers)
        return Verdict{Result::SizeAndDate};
    if (sizeDiffers)
        return Verdict{Result::Size};
    if (dateDiffers) {
        Verdict v{Result::Date};
        if (p.content == PairFacts::Content::Same)
            v.detail = Detail::SameContent;
        else if (p.content == PairFacts::Content::Differs)
            v.detail = Detail::ContentDiffers;
        return v;
    }
    if (p.content == PairFacts::Content::Differs)
        return Verdict{Result::Content};
    if (time == TimeMatch::WithinTolerance)
        return Verdict{Result::Match, Detail::WithinTolerance};
    if (time == TimeMatch::HourShift)
        return Verdict{Result::Match, Detail::HourShiftIgnored};
    return Verdict{Result::Match};
}

bool WantsContent(const Verdict &metadata, const PairFacts &pair) {
    return metadata.result == Result::Match ||
           (metadata.result == Result::Date && pair.masterSize == pair.compareSize);
}

} // namespace dirwise
