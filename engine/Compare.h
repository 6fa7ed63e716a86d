#pragma once

#include "FileScan.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dirwise {

class ResultsList;
enum class Result : std::uint8_t;

// A snapshot of the window's choices, taken once when a run begins, after the extension
// boxes were rewritten. The run never reads a control.
struct CompareOptions {
    std::string masterDir;
    std::string compareDir;
    bool subDirs = true;      // check box "not 0"
    int checkSize = 1;        // check box value: only 1 counts as set (2, grayed, does not)
    int checkDate = 0;        // likewise
    bool hideMatches = false; // check box "not 0"
    bool excludeMode = true;  // true: the boxes name extensions to pass over
    std::array<std::string, 4> extensions; // the four boxes, as rewritten
};

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

// The one place that decides how a found pair compares. Returns the row's result, or no
// value when no row is due for these options (neither size nor date is set).
[[nodiscard]] std::optional<Result> Classify(bool matchSize, bool matchDate,
                                             std::int64_t masterSize, std::int64_t compareSize,
                                             std::int64_t masterTime, std::int64_t compareTime);

// The totals of one run.
struct CompareSummary {
    bool stopped = false;
    std::int64_t listed = 0;             // ScanFileCount
    std::int64_t excluded = 0;           // passed over by the exclude test
    std::int64_t different = 0;          // reported as different or not found
    std::int64_t notComparedFiles = 0;   // listed files whose metadata could not be read
    std::vector<Diagnostic> notCompared; // every place not compared, directories included

    [[nodiscard]] std::int64_t total() const { return listed - excluded - notComparedFiles; }
    [[nodiscard]] std::int64_t matching() const { return total() - different; }
};

// "Dirwise stopped." for a stopped run; otherwise "Dirwise complete.", CR, CR, "Total Files: "
// T, CR, "Matching Files: " M, CR, "Different Files: " D, and when places were not compared,
// CR, "Not Compared: " and their number. Lines are joined by a single CR; nothing follows
// the last number.
[[nodiscard]] std::string SummaryText(const CompareSummary &summary);
// The same message as lines, for printing or showing (no CR in them).
[[nodiscard]] std::vector<std::string> SummaryLines(const CompareSummary &summary);

// Runs one compare: clears `list` and sets its roots, yields once, resets the scanner, lists
// the master tree (state.Phase Scanning), yields once more (Phase Comparing), then for every
// listed file applies the exclude test, reads both files' metadata with stat (never opening
// them; worker threads read ahead, the rows and yields stay on the caller's thread),
// classifies the pair, appends at most one row and yields. A stop during the scan leaves the list
// empty; a stop during the compare phase keeps the rows appended so far. Clears StopRequested
// before returning. The options' roots are used as given; the callers remove trailing separators.
CompareSummary RunCompare(const CompareOptions &options, ScanState &state, ResultsList &list,
                          CompareHost &host);

} // namespace dirwise
