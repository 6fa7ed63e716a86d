#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace dirwise {

// What a compare found for one master file, or (Extra) for a compare file with no master, or
// (NotCompared) for a place that could not be looked at: a folder or file that could not be
// read, a root that went away.
enum class Result : std::uint8_t {
    Match,
    Size,
    Date,
    SizeAndDate,
    NotFound,
    Content,
    Extra,
    NotCompared,
};
// The number of Result values.
inline constexpr std::size_t ResultCount = static_cast<std::size_t>(Result::NotCompared) + 1;

// The picture a row shows: every difference shares one.
enum class IconKey : std::uint8_t { Match, Different, NotFound, Extra };

// Why a row came out as it did, beyond its result and values: what the Difference column
// needs that the sizes and dates cannot tell.
enum class Detail : std::uint8_t {
    None,
    WithinTolerance,  // a Match whose times differ within the time tolerance
    HourShiftIgnored, // a Match whose times differ by whole hours (within the tolerance)
    SameContent,      // a Date row whose contents were read and are equal
    ContentDiffers,   // a Date row whose contents were read and differ
    // A NotCompared row: which place could not be read.
    MasterFile,
    MasterFolder,
    CompareFile,
    CompareFolder,
    // A NotCompared row: that tree's root went away or was replaced during the run.
    MasterGone,
    CompareGone,
    // A NotCompared folder reached through a link whose folder that tree's walk had entered
    // already; `contentOffset` holds the list's directory index of where it was entered.
    MasterWalkedAlready,
    CompareWalkedAlready,
};

// The columns of the results list, in display order.
enum class Column : int {
    Result = 0,
    ComparePath = 1,
    FileName = 2,
    MasterSize = 3,
    CompareSize = 4,
    MasterDate = 5,
    CompareDate = 6,
    Difference = 7,
};
inline constexpr int ColumnCount = 8;

// "Match", "Size", "Date", "Size&Date", "Not Found", "Content", "Extra" or "Not Compared".
// Never null.
[[nodiscard]] const char *ResultText(Result r);
// Match for a match, NotFound for a missing file, Extra for a file only in the compare tree,
// Different for every other difference and for a place not compared.
[[nodiscard]] IconKey IconKeyOf(Result r);
// "Match", "Different", "NotFound" or "Extra": the key of the row's picture. Never null.
[[nodiscard]] const char *IconKeyText(IconKey k);
// The column's header text ("Result", "Compare Path", ...). Never null; "" out of range.
[[nodiscard]] const char *ColumnHeader(Column c);

// One row of the results list, as values: the list derives the column texts on demand, so
// a million rows stay small. Each side is present exactly when the result has one (Not
// Found has no compare side, Extra no master side, Not Compared neither); an absent side
// holds zeros and shows empty cells. A Not Compared row names the place (its folder, or a
// file in `dir`; the root itself is `dir` "/" with an empty name), says in `detail` which
// tree and whether a file or a folder, and keeps the errno in `contentOffset` (for a folder
// walked already, the directory index of its first place instead).
struct ResultRow {
    std::string name;               // file name exactly as the listing returned it
    std::int64_t masterSize = 0;    // bytes
    std::int64_t masterTime = 0;    // last modification, seconds since the epoch
    std::int64_t compareSize = 0;   // bytes
    std::int64_t compareTime = 0;   // seconds since the epoch
    std::int64_t contentOffset = 0; // Content: offset of the first difference; NotCompared: errno
    std::uint32_t dir = 0;          // relative directory: an index into the owning list's table
    Result result = Result::Match;
    Detail detail = Detail::None;
    // False where the side's time is not known (a snapshot written without times): its date
    // cell is empty, in the list and in every report.
    bool masterTimeKnown = true;
    bool compareTimeKnown = true;

    [[nodiscard]] bool hasMaster() const {
        return result != Result::Extra && result != Result::NotCompared;
    }
    [[nodiscard]] bool hasCompare() const {
        return result != Result::NotFound && result != Result::NotCompared;
    }
    // Whether column c holds a value in this row: the master side's cells follow
    // hasMaster(), the compare side's hasCompare(), a date cell also its side's
    // ...TimeKnown, the Difference column holds text for
    // every row that is not a plain match. The texts, the report and the sort all ask this.
    [[nodiscard]] bool has(Column c) const;
    // The number behind a numeric column (a size in bytes or a time in seconds); 0 for the
    // text columns.
    [[nodiscard]] std::int64_t number(Column c) const;

    friend bool operator==(const ResultRow &, const ResultRow &) = default;
};

} // namespace dirwise
