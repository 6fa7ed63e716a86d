#pragma once

#include "CompareHost.h"
#include "ResultRow.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dirwise {

class ResultsList;

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

// The one check a root must pass before a run: it exists (after links), is a directory, and
// this user may list and enter it. Returns 0, or the errno that fails it (ENOENT for the
// empty path, ENOTDIR for anything but a directory, EACCES when it cannot be listed).
[[nodiscard]] int CheckRoot(const std::string &path);

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
// ASCII letters compared without regard to case.
[[nodiscard]] bool IsExcluded(std::string_view name, const std::array<std::string, 4> &boxes);

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

// The totals of one run.
struct CompareSummary {
    bool stopped = false;
    std::int64_t listed = 0;             // files the master listing found
    std::int64_t excluded = 0;           // passed over by the exclude test
    std::int64_t different = 0;          // reported as different or not found
    std::int64_t notComparedFiles = 0;   // listed files whose metadata could not be read
    std::int64_t extras = 0;             // compare files without a master file
    bool extrasListed = false;           // the run looked for them
    bool skipping = false;               // a skip rule was in force
    std::int64_t skippedFolders = 0;     // master folders passed over by a rule (.git not counted)
    std::int64_t skippedFiles = 0;       // master files passed over in folders that were entered
    std::vector<Diagnostic> notCompared; // every place not compared, directories included

    [[nodiscard]] std::int64_t total() const { return listed - excluded - notComparedFiles; }
    [[nodiscard]] std::int64_t matching() const { return total() - different; }
};

// "Dirwise stopped." for a stopped run; otherwise "Dirwise complete.", CR, CR, "Total Files: "
// T, CR, "Matching Files: " M, CR, "Different Files: " D, when the run looked for extras CR,
// "Extra Files: " and their number, when a skip rule was in force CR, "Skipped Folders: " N,
// CR, "Skipped Files: " N, and when places were not compared, CR, "Not Compared: "
// and their number. Extras count in none of the other totals. Lines are joined by a single CR;
// nothing follows the last number.
[[nodiscard]] std::string SummaryText(const CompareSummary &summary);
// The same message as lines, for printing or showing (no CR in them).
[[nodiscard]] std::vector<std::string> SummaryLines(const CompareSummary &summary);

// Runs one compare: clears `list` and sets its normalised roots, yields once, lists the
// master tree (Phase::Listing), yields once more (Phase::Comparing), then for every listed
// file applies the exclude test, reads both files' metadata with stat (worker threads read
// ahead, the rows and yields stay on the caller's thread), with verifyContents reads the
// contents of the pairs WantsContent names (several pairs at once on the workers; the
// caller yields after each block pair in order, so Stop is seen within a large file;
// special files are never opened; a file that cannot be read is Not Compared), classifies
// the pair, appends at most one row and yields. With listExtras the
// compare tree is then walked by the same rules (Phase::Extras) and every file without a
// master file gets an Extra row. A stop during the listing leaves the list
// empty; a stop during the compare phase keeps the rows appended so far. Every place not
// compared reaches the host as it is found and is kept in the summary. A compare root that
// vanishes during the run makes its files Not Compared, never Not Found. The roots are not
// checked here (see CheckRoot); a master root that cannot be listed is a diagnostic.
CompareSummary RunCompare(const CompareOptions &options, ResultsList &list, CompareHost &host);

} // namespace dirwise
