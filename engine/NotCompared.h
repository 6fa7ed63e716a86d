#pragma once

#include "Compare.h"

namespace dirwise {

class ResultsList;

// Appends one Not Compared row to `list` for every place of `summary.notCompared`, in that
// order, so a report or a view of the list names every place the run could not look at: in
// the diagnostic's tree, a file (facts or contents not read) or a folder (not listed). A
// folder's row names the folder in its parent's directory; the root itself is the directory
// "/" with an empty name. A root lost during the run and a folder walked already get their
// own details (see Detail). The summary's counts are not changed.
void AppendNotComparedRows(const CompareSummary &summary, ResultsList &list);

} // namespace dirwise
