#pragma once

#include "Report.h"
#include "ResultsList.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dirwise {

// What a page says about its run besides the rows.
struct PageInfo {
    std::string options;   // the compare's options in words ("sizes, dates, subdirectories")
    std::int64_t when = 0; // when the compare ran, seconds since the epoch
};

// The results as one self-contained HTML page that any browser opens and nothing is fetched
// for (a Content-Security-Policy forbids every load): the two roots, the options and the
// date; a bar per result kind with its count; and the rows in a table (Result, Path, Master
// Size, Compare Size, Master Date, Compare Date, Difference). A few lines of plain script
// sort the table by a click on a header and filter it by a text; without script the page
// reads the same, unsorted and unfiltered. Every name and root is shown escaped as people see
// it (EscapeForDisplay) and then escaped for HTML, so no name can bring in markup or script.
// With `rows` (not owned; each < list.Count()) only those rows, in that order; the bars count
// the rows on the page.
[[nodiscard]] std::string HtmlPage(const ResultsList &list, const PageInfo &info,
                                   const std::vector<std::size_t> *rows = nullptr);

// Writes HtmlPage to `fd` (not closed), every write checked as WriteReport does.
[[nodiscard]] ReportStatus WriteHtmlPage(const ResultsList &list, const PageInfo &info, int fd,
                                         const std::vector<std::size_t> *rows = nullptr);
// Saves HtmlPage at `path` through SafeWrite, as SaveReport does.
[[nodiscard]] ReportStatus SaveHtmlPage(const ResultsList &list, const PageInfo &info,
                                        const std::string &path,
                                        const std::vector<std::size_t> *rows = nullptr);

} // namespace dirwise
