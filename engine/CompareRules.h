#pragma once

// The compare rules: what a run is asked to compare (CompareOptions), which names count
// (the patterns and the exclude test), and how a found pair is classified. Pure functions
// of their arguments: no file system, no threads.

#include "ResultRow.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dirwise {

// What one run compares, as plain values: a snapshot the host takes once when a run begins
// (the window maps its check boxes to these). The run never reads a control.
struct CompareOptions {
    std::string masterDir;    // as given: the run normalises it (see NormalizeRoot)
    std::string compareDir;   // likewise
    bool subDirs = true;      // walk subdirectories
    bool matchSize = true;    // sizes must be equal
    bool matchDate = false;   // modification times must be equal
    bool hideMatches = false; // no row for a match
    bool excludeMode = true;  // true: the extensions are passed over; false: only they count
    std::array<std::string, 4> extensions; // as rewritten (RewriteExtensionBox); blank: unused
    std::int64_t timeTolerance = 0;        // seconds two times may differ and still count as equal
    int hourShifts = 0;                    // whole-hour shifts of 1 to N hours count as equal
    bool listExtras = false;               // also list compare files that have no master file
    bool verifyContents = false; // read the files of matching pairs and compare their bytes
    bool followLinks = true;     // enter links to directories (never onto pseudo file systems)
    // Skip rules in .gitignore syntax, one a line, read as a .gitignore at the master root
    // that comes before the tree's own; they leave paths out of both trees alike.
    std::string skipRules;
    bool useGitignore = false; // also the master tree's .gitignore files; .git folders passed over
};

// A root as the run uses it: trailing separators removed, except that "/" (or "///") stays
// "/". The empty string stays empty.
[[nodiscard]] std::string NormalizeRoot(std::string path);

// The box text with blanks (spaces) removed from both ends.
[[nodiscard]] std::string TrimBlanks(std::string_view text);
// The rewrite a run applies to each extension box: a blank box stays as it is; otherwise
// the text after its first "." (untrimmed), or the whole text when it holds no ".".
// "*.txt" and ".txt" give "txt", "tar.gz" gives "gz", "*." and "." give "".
[[nodiscard]] std::string RewriteExtensionBox(std::string_view text);
// The scanner's patterns: exclude mode "*.*"; include mode "*." and the trimmed text of each
// non-blank box, in box order (none when all four are blank).
[[nodiscard]] std::vector<std::string> BuildPatternList(const CompareOptions &options);
// Exclude test: the name ends with "." and a non-blank box's whole (untrimmed) text,
// letters of any language compared without regard to case (Unicode simple case folding,
// see CaseFold.h).
[[nodiscard]] bool IsExcluded(std::string_view name, const std::array<std::string, 4> &boxes);

// Whether `name` matches the wildcard `pattern`: "*" matches any run of bytes (also none,
// also a leading "."), "?" one character (one UTF-8 sequence, or one byte that is not valid
// UTF-8), letters of any language match without regard to case (Unicode simple case
// folding, see CaseFold.h; a byte that is not UTF-8 matches only itself), and "*.*" matches
// every name.
[[nodiscard]] bool MatchPattern(std::string_view pattern, std::string_view name);

// How two modification times compare under the options' tolerance and hour shifts.
enum class TimeMatch : std::uint8_t { Exact, WithinTolerance, HourShift, Differs };
// Exact when equal; WithinTolerance when they differ by at most `tolerance` seconds;
// HourShift when the difference lies within `tolerance` of k whole hours, 1 <= |k| <=
// `hourShifts`; Differs otherwise. Safe for any two times (no overflow).
[[nodiscard]] TimeMatch CompareTimes(std::int64_t masterTime, std::int64_t compareTime,
                                     std::int64_t tolerance, int hourShifts);

// What is known of a found pair when it is classified.
struct PairFacts {
    std::int64_t masterSize = 0, compareSize = 0;
    std::int64_t masterTime = 0, compareTime = 0;
    enum class Content : std::uint8_t { NotRead, Same, Differs } content = Content::NotRead;
    std::int64_t firstDifference = 0; // with Differs
};

// A pair's result and what the Difference column needs beyond the values.
struct Verdict {
    Result result;
    Detail detail = Detail::None;
};

// The one place that decides how a found pair compares: sizes (when matched), times (when
// matched, under the tolerance and hour shifts), and contents once they were read. A pair
// whose metadata matches but whose contents differ is Content; a Date pair with equal sizes
// keeps Date and notes whether its contents were the same. Returns no value when no row is
// due for these options (neither size nor date is matched).
[[nodiscard]] std::optional<Verdict> Classify(const CompareOptions &options, const PairFacts &pair);

// Whether a pair with this metadata verdict has its contents read under --verify: a Match,
// or a Date pair whose sizes are equal.
[[nodiscard]] bool WantsContent(const Verdict &metadata, const PairFacts &pair);

} // namespace dirwise
