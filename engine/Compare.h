#pragma once

// The engine's front: one compare run of two trees (RunCompare), its totals and their text.
// The picture behind it: engine/README.md.

#include "CompareHost.h"
#include "CompareRules.h"
#include "FileSystem.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dirwise {

class ResultsList;
class TreeSource;
class WalkFilter;

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
// compared reaches the host as it is found and is kept in the summary. Each source notes
// its root as the run starts (TreeSource::NoteRoot); a root that goes away or is replaced
// during the run (an unmounted drive, a renamed folder) makes every later file of the run
// Not Compared (Problem::RootGone), never Not Found or Extra, and ends the walk of its tree.
// The roots are not checked here (see CheckRoot); a master root that cannot be listed is a
// diagnostic.
CompareSummary RunCompare(const CompareOptions &options, ResultsList &list, CompareHost &host);

// The same run between two sources (see TreeSource.h): `master` is walked, `compare` looked
// up at the same relative paths (and walked for extras). The list's roots are the sources'
// roots; the options' folders are not read. Rows, yields and the host's calls come as above.
// `skip`, when given, is asked by both walks what to leave out (see WalkFilter); otherwise
// the options' skip rules are (see SkipFilter), and counted in the summary.
CompareSummary RunCompare(const CompareOptions &options, TreeSource &master, TreeSource &compare,
                          ResultsList &list, CompareHost &host, WalkFilter *skip = nullptr);

} // namespace dirwise
