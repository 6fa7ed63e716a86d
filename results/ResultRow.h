#pragma once

#include <cstdint>
#include <string>

namespace dirwise {

// What a compare found for one master file.
enum class Result : std::uint8_t { Match, Size, Date, SizeAndDate, NotFound };

// The picture a row shows: every difference shares one.
enum class IconKey : std::uint8_t { Match, Different, NotFound };

// The seven columns of the results list, in display order. Column 0 is the row's own text;
// 1 to 6 are its sub-items.
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
// The column's header text ("Result", "Compare Path", ...). Never null.
[[nodiscard]] const char *ColumnHeader(Column c);

// One row of the results list. It keeps values, not texts: the list derives the column
// texts on demand, so a million rows stay small. A cell that was never set is empty
// (a Not Found row has no compare size or date).
struct ResultRow {
    std::string name;             // file name exactly as the master listing returned it
    std::int64_t masterSize = 0;  // bytes
    std::int64_t compareSize = 0; // bytes
    std::int64_t masterTime = 0;  // last modification, seconds since the epoch
    std::int64_t compareTime = 0; // last modification, seconds since the epoch
    std::uint32_t dir = 0;        // relative directory, an index into the owning list's table
    Result result = Result::Match;
    std::uint8_t cells = 0; // bit k set: sub-item k (1 to 6) holds a value

    [[nodiscard]] bool has(Column c) const {
        return c == Column::Result || (cells & (1u << static_cast<int>(c))) != 0;
    }
};

} // namespace dirwise
