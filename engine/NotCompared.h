#pragma once

#include "Compare.h"

namespace dirwise {

class ResultsList;

// Appends one Not Compared row to `list` for every place of `summary.notCompared`, in that
// order, so a report or a view of the list names every place the run could not look at.
// `list` holds the run's roots (RunCompare sets them): a place under the compare root (the
// longer of the two when one root holds the other) belongs to the compare tree, any other to
// the master tree. A folder's row names the folder in its parent's directory; the root
// itself is the directory "/" with an empty name. The summary's counts are not changed.
void AppendNotComparedRows(const CompareSummary &summary, ResultsList &list);

} // namespace dirwise
