#include "ResultRow.h"

namespace dirwise {

const char *ResultText(Result r) {
    switch (r) {
    case Result::Match:
        return "Match";
    case Result::Size:
        return "Size";
    case Result::Date:
        return "Date";
    case Result::SizeAndDate:
        return "Size&Date";
    case Result::NotFound:
        return "Not Found";
    case Result::Content:
        return "Content";
    case Result::Extra:
        return "Extra";
    case Result::NotCompared:
        return "Not Compared";
    }
    return "";
}

IconKey IconKeyOf(Result r) {
    switch (r) {
    case Result::Match:
        return IconKey::Match;
    case Result::NotFound:
        return IconKey::NotFound;
    case Result::Extra:
        return IconKey::Extra;
    default:
        return IconKey::Different;
    }
}

const char *IconKeyText(IconKey k) {
    switch (k) {
    case IconKey::Match:
        return "Match";
    case IconKey::Different:
        return "Different";
    case IconKey::NotFound:
        return "NotFound";
    case IconKey::Extra:
        return "Extra";
    }
    return "";
}

bool ResultRow::has(Column c) const {
    switch (c) {
    case Column::MasterSize:
        return hasMaster();
    case Column::MasterDate:
        return hasMaster() && masterTimeKnown;
    case Column::CompareSize:
        return hasCompare();
    case Column::CompareDate:
        return hasCompare() && compareTimeKnown;
    case Column::Difference:
        return result != Result::Match || detail != Detail::None;
    default:
        return true;
    }
}

std::int64_t ResultRow::number(Column c) const {
    switch (c) {
    case Column::MasterSize:
        return masterSize;
    case Column::CompareSize:
        return compareSize;
    case Column::MasterDate:
        return masterTime;
    case Column::CompareDate:
        return compareTime;
    default:
        return 0;
    }
}

const char *ColumnHeader(Column c) {
    static const char *const headers[ColumnCount] = {"Result",       "Compare Path", "File Name",
                                                     "Master Size",  "Compare Size", "Master Date",
                                                     "Compare Date", "Difference"};
    const int i = static_cast<int>(c);
    return (i >= 0 && i < ColumnCount) ? headers[i] : "";
}

} // namespace dirwise
