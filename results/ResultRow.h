#pragma once

#include <cstdint>
#include <string>

namespace dirwise {

// What a compare found for one master file.
enum class Result : std::uint8_t { Match, Size, Date, SizeAndDate, NotFound };

// The picture a row shows: every difference shares one.
enum class IconKey : std::uint8_t { Match, Different, NotFound };

// The columns of the results list, in display order.
enum class Column : int {
    Result = 0,
    ComparePath = 1,
    FileName = 2,
    MasterSize = 3,
    CompareSize = 4,
    MasterDate = 5,
    CompareDate = 6,
};
inline constexpr int ColumnCount = 7;

// "Match", "Size", "Date", "Size&Date" or "Not Found". Never null.
[[nodiscard]] const char *ResultText(Result r);
// Match for a match, NotFound for a missing file, Different for every difference.
[[nodiscard]] IconKey IconKeyOf(Result r);
// "Match", "Different" or "NotFound": the key of the row's picture. Never null.
[[nodiscard]] const char *IconKeyText(IconKey k);
// The column's header text ("Result", "Compare Path", ...). Never null; "" out of range.
[[nodiscard]] const char *ColumnHeader(Column c);

// One row of the results list, as values: the list derives the column texts on demand, so
// a million rows stay small. The compare side is present exactly when the result has one
// (every result but Not Found); a row without it holds zeros there and shows empty cells.
struct ResultRow {
    std::string name;             // file name exactly as the master listing returned it
    std::int64_t masterSize = 0;  // bytes
    std::int64_t masterTime = 0;  // last modification, seconds since the epoch
    std::int64_t compareSize = 0; // bytes; 0 without a compare side
    std::int64_t compareTime = 0; // seconds since the epoch; 0 without a compare side
    std::uint32_t dir = 0;        // relative directory: an index into the owning list's table
    Result result = Result::Match;

    [[nodiscard]] bool hasCompare() const { return result != Result::NotFound; }
    // Whether column c holds a value in this row: every column but the compare side's two,
    // which follow hasCompare(). The texts, the report and the sort all ask this.
    [[nodiscard]] bool has(Column c) const {
        return (c != Column::CompareSize && c != Column::CompareDate) || hasCompare();
    }
    // The number behind a numeric column (a size in bytes or a time in seconds); 0 for the
    // text columns.
    [[nodiscard]] std::int64_t number(Column c) const;

    friend bool operator==(const ResultRow &, const ResultRow &) = default;
};

} // namespace dirwise
