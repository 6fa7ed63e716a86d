#pragma once

#include "ResultsList.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace dirwise {

// The forms a report can take. Report is the tab-separated report people and Save List
// know; Csv and Json carry every column and read the same in every locale. Terminal is the
// Report as a terminal gets it: the same lines, with names escaped as messages show them.
enum class ReportFormat : std::uint8_t { Report, Csv, Json, Terminal };

// Appends the report line of row i: Result, Compare Path, File Name, Master Size, Compare
// Size and Master Date, joined by single tabs, each field escaped (AppendEscapedField), and
// CR LF. The Compare Date is never written.
void AppendReportLine(std::string &out, const ResultsList &list, std::size_t i);

// The csv header line: "result,path,master_size,compare_size,master_date,compare_date,
// difference" and LF.
[[nodiscard]] const char *CsvHeader();
// Appends the csv line of row i: RFC 4180 fields (quoted with doubled quotes where a field
// holds a comma, a quote, CR or LF), the path relative to the roots with "/" separators
// ("sub/deep/x.cpp") and its bytes as the file system has them, sizes as plain integers, dates as
// IsoUtcText, an absent value as an empty field, the Difference text without grouping; LF at the
// end.
void AppendCsvLine(std::string &out, const ResultsList &list, std::size_t i);
// Appends the JSON Lines object of row i with the csv's keys in the same order: sizes as
// numbers, dates as the same ISO strings, absent values as null; LF at the end. A path that
// is not valid UTF-8 is written with U+FFFD for each byte that is not (LossyUtf8) and is
// followed by "path_base64", its exact bytes in base64; other rows have no such key.
void AppendJsonLine(std::string &out, const ResultsList &list, std::size_t i);
// Appends the report line of row i for a terminal: the fields of AppendReportLine, each
// escaped for display (AppendEscapedForDisplay), so that no name can drive the terminal (an
// escape sequence, a carriage return, a bidirectional control); tabs between and CR LF.
void AppendTerminalLine(std::string &out, const ResultsList &list, std::size_t i);
// Appends row i in `format`: AppendReportLine, AppendCsvLine, AppendJsonLine or
// AppendTerminalLine.
void AppendLine(std::string &out, const ResultsList &list, std::size_t i, ReportFormat format);
// `bytes` with each byte that is not part of valid UTF-8 replaced by U+FFFD; valid
// sequences are kept as they are.
[[nodiscard]] std::string LossyUtf8(std::string_view bytes);
// `bytes` in base64 (RFC 4648, with "=" padding); "" for none.
[[nodiscard]] std::string Base64(std::string_view bytes);

// The outcome of writing a report. `error` is a sentence for the user when ok is false.
struct ReportStatus {
    bool ok = true;
    std::string error;
};

// Writes every row, in display order, to the open descriptor `fd`, checking every write
// (EINTR is retried; EPIPE and every other failure stop the writing and are reported).
// Does not close `fd`. An empty list writes nothing.
// Csv starts with its header line, also for an empty list.
[[nodiscard]] ReportStatus WriteReport(const ResultsList &list, int fd,
                                       ReportFormat format = ReportFormat::Report);

// Saves the report at `path` through SafeWrite (see there: a replaced or in-place written
// file, never a half-written one; a device, a FIFO with a reader or a terminal is written in
// place). On failure the old file is left as it was and the status says why.
[[nodiscard]] ReportStatus SaveReport(const ResultsList &list, const std::string &path,
                                      ReportFormat format = ReportFormat::Report);

} // namespace dirwise
