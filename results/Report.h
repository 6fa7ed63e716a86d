#pragma once

#include "ResultsList.h"

#include <string>

namespace dirwise {

// Appends the report line of row i: Result, Compare Path, File Name, Master Size, Compare
// Size and Master Date, joined by single tabs, each field escaped (AppendEscapedField), and
// CR LF. The Compare Date is never written.
void AppendReportLine(std::string &out, const ResultsList &list, std::size_t i);

// The outcome of writing a report. `error` is a sentence for the user when ok is false.
struct ReportStatus {
    bool ok = true;
    std::string error;
};

// Writes every row, in display order, to the open descriptor `fd`, checking every write
// (EINTR is retried; EPIPE and every other failure stop the writing and are reported).
// Does not close `fd`. An empty list writes nothing.
[[nodiscard]] ReportStatus WriteReport(const ResultsList &list, int fd);

// Saves the report at `path` without ever leaving a half-written file. A regular target
// (symlinks resolved) with one link is replaced atomically: a temporary file in the same
// directory is written, flushed, synced and renamed over it, keeping the old permissions
// (a new file gets 0666 less the umask). An existing target the user may not write is
// refused. A non-regular target (/dev/null, a FIFO with a reader, a terminal) is written
// in place and never replaced; for a regular file with several links the complete report is
// first written to a temporary file and then copied into the old file, so every link sees it. On
// failure the old file is left as it was, no temporary file remains, and the status says why.
[[nodiscard]] ReportStatus SaveReport(const ResultsList &list, const std::string &path);

} // namespace dirwise
