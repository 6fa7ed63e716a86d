// Checks of dwc's roots and report target that keep what it writes off either tree.
#pragma once

#include "CliOptions.h"
#include "Io.h"
#include "OpenRoot.h"
#include "ReportTarget.h"

#include <string>

namespace dirwise::cli {

// What must hold before any work is done: two usable, different roots (opened into
// `master` and `compare`: folders, snapshots or remote roots, see OpenRoot), and a report
// target that can be written and is no file of either tree (`place` says where it lies).
// Returns 0 or the exit status, the reason written to standard error.
[[nodiscard]] int CheckBeforeTheRun(const CliOptions &o, ReportPlace &place, OpenedRoot &master,
                                    OpenedRoot &compare);

// Where the report or snapshot at `path` would land, into `place`, after checking that it
// can be written there. Returns 0 or the errno that stops it.
[[nodiscard]] int LocateTarget(const std::string &path, ReportPlace &place);

// Just before the report is written: the target is looked up again, and when it is no
// longer the file it was at the start, that file is checked against the trees as well.
// Returns 0 or the exit status, the reason written to standard error.
[[nodiscard]] int CheckAgainBeforeWriting(const CliOptions &o, const ReportPlace &before);

// An existing report target that is a device (a terminal, /dev/null), opened for writing
// as SafeWrite would: `special` tells whether it is one; when it is and cannot be opened,
// the result is empty with errno set. A FIFO is not one of them: its reader may come late,
// so it is opened, as before, only once the report is complete.
[[nodiscard]] UniqueFd OpenSpecialTarget(const std::string &path, bool &special);

} // namespace dirwise::cli
