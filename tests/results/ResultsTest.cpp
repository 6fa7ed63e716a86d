// The results list: sorting, removal, and names escaped for display.

#include "ResultsList.h"
#include "TextForms.h"

#include <gtest/gtest.h>

namespace dirwise::test {
namespace {

struct RowSpec {
    Result result;
    std::string dir, name;
    std::int64_t masterSize = 0, compareSize = 0, masterTime = 0, compareTime = 0;
};

// A list with the given rows in order, appended as a compare run appends them.
ResultsList MakeList(const std::vector<RowSpec> &rows) {
    ResultsList list;
    list.SetRoots("/master", "/cmp");
    for (const RowSpec &r : rows) {
        ResultRow row{r.name, r.masterSize, r.masterTime, r.compareSize, r.compareTime};
        row.dir = list.InternDirectory(r.dir);
        row.result = r.result;
        list.Append(row);
    }
    return list;
}

// Match rows in the root with the given names.
ResultsList Named(const std::vector<std::string> &names) {
    std::vector<RowSpec> rows;
    for (const std::string &name : names)
        rows.push_back({Result::Match, "/", name});
    return MakeList(rows);
}

// The names of the rows in display order, joined by blanks.
std::string Names(const ResultsList &list) {
    std::string names;
    for (std::size_t i = 0; i < list.Count(); ++i)
        names += (i ? " " : "") + list.Row(i).name;
    return names;
}

// Six rows whose every column orders them differently. Text order is without regard to
// ASCII case, ties by bytes; numbers and times by value, which the texts would not give
// ("1,000,000,000" < "999,999,999" as text; "12/31/1969" > "01/01/2100" as text).
TEST(ResultsListSort, EveryColumnSortsByValueBothWays) {
    // clang-format off
    const std::vector<RowSpec> rows = {
        {Result::Size, "/b/", "beta", 10240, 5368709120, 1000000000, 4102444800},
        {Result::NotFound, "/", "Alpha", 1024, 0, -86400, 0},
        {Result::Match, "/B/", "alpha", 999999999, 999999999, 0, 0},
        {Result::Date, "/a/", "_x", 1000000000, 1000000000, 4102444800, 1000000000},
        {Result::SizeAndDate, "/a/b/", "Gamma", 0, 7, 2147483648, -86400},
        {Result::Match, "/ab/", "beta2", 2048, 4294967296, 1000000001, 5},
    };
    // Result is stable: the two Match rows keep their order both ways. The Not Found row
    // has no compare cells: first ascending, last descending.
    const struct {
        Column key;
        std::string ascending, descending;
    } cases[] = {
        {Column::Result, "_x alpha beta2 Alpha beta Gamma", "Gamma beta Alpha alpha beta2 _x"},
        {Column::ComparePath, "Alpha _x Gamma beta2 alpha beta", "beta alpha beta2 Gamma _x Alpha"},
        {Column::FileName, "_x Alpha alpha beta beta2 Gamma", "Gamma beta2 beta alpha Alpha _x"},
        {Column::MasterSize, "Gamma Alpha beta2 beta alpha _x", "_x alpha beta beta2 Alpha Gamma"},
        {Column::CompareSize, "Alpha Gamma alpha _x beta2 beta", "beta beta2 _x alpha Gamma Alpha"},
        {Column::MasterDate, "Alpha alpha beta beta2 Gamma _x", "_x Gamma beta2 beta alpha Alpha"},
        {Column::CompareDate, "Alpha Gamma alpha beta2 _x beta", "beta _x beta2 alpha Gamma Alpha"},
    };
    for (const auto &[key, ascending, descending] : cases) {
        for (SortOrder order : {SortOrder::Ascending, SortOrder::Descending}) {
            ResultsList list = MakeList(rows);
            list.Sort(key, order);
            EXPECT_EQ(Names(list), order == SortOrder::Ascending ? ascending : descending)
                << ColumnHeader(key) << " " << static_cast<int>(order);
            EXPECT_TRUE(list.Sorting().key == key && list.Sorting().order == order);
        }
    }
    // By their bytes É (C3 89) comes before é (C3 A9); without regard to case the second
    // letter decides, and Éb and éb, which differ only in case, tie by their bytes.
    ResultsList list = Named({"\xc3\x89" "b", "\xc3\xa9" "a", "\xc3\xa9" "b", "zed"});
    list.Sort(Column::FileName, SortOrder::Ascending);
    EXPECT_EQ(Names(list), "zed \xc3\xa9" "a \xc3\x89" "b \xc3\xa9" "b");
    // clang-format on
}

TEST(ResultsListSort, StaysStableBeyondSmallRuns) {
    // std::sort falls back to insertion sort below 16 elements, which happens to be stable:
    // a hundred equal keys show whether stability is real.
    std::vector<RowSpec> rows;
    std::string even, odd;
    for (int i = 0; i < 100; ++i) {
        rows.push_back({Result::Match, "/", "f" + std::to_string(i), i % 2});
        (i % 2 ? odd : even) += " f" + std::to_string(i);
    }
    for (SortOrder order : {SortOrder::Ascending, SortOrder::Descending}) {
        ResultsList list = MakeList(rows);
        list.Sort(Column::MasterSize, order);
        EXPECT_EQ(" " + Names(list), order == SortOrder::Ascending ? even + odd : odd + even);
    }
}

TEST(ResultsListRows, RemovalInAnyOrderOrTwiceAndANotFoundRowWithoutCompareSide) {
    ResultsList list = Named({"a", "b", "c", "d", "e"});
    list.Remove(std::vector<std::size_t>{3, 0, 3, 1});
    EXPECT_EQ(Names(list), "c e");
    list.Remove(1);
    EXPECT_EQ(Names(list), "c");
    const ResultsList gone = MakeList({{Result::NotFound, "/", "gone", 10, 99, 1000000000, 5}});
    EXPECT_FALSE(gone.Row(0).hasCompare());
    EXPECT_EQ(gone.Text(0, Column::CompareSize) + gone.Text(0, Column::CompareDate), "");
    EXPECT_EQ(gone.Row(0), MakeList({{Result::NotFound, "/", "gone", 10, 0, 1000000000}}).Row(0))
        << "compare values left in a row without a compare side";
}

TEST(DisplayEscape, NamesShowTheSameEverywhereAndCannotDriveATerminal) {
    // clang-format off
    const struct {
        const char *what;
        std::string bytes, shown;
    } cases[] = {
        {"plain UTF-8 is copied", "caf\xc3\xa9 \xe2\x82\xac", "caf\xc3\xa9 \xe2\x82\xac"},
        {"a backslash stays one", "a\\b", "a\\b"},
        {"tab, CR and LF by name", "a\tb\rc\nd", "a\\tb\\rc\\nd"},
        {"other controls and DEL in hex", "\x1b[2J\x7f", "\\x1b[2J\\x7f"},
        {"a byte that is no UTF-8", "\xe9t\xe9", "\\xe9t\\xe9"},
        {"a C1 control", "\xc2\x9b" "2J", "\\u009b2J"},
        {"an overlong slash", "\xc0\xaf", "\\xc0\\xaf"},
        {"a three-byte overlong form", "\xe0\x80\xaf", "\\xe0\\x80\\xaf"},
        {"a four-byte overlong form", "\xf0\x80\x80\xaf", "\\xf0\\x80\\x80\\xaf"},
        {"a surrogate", "\xed\xa0\x80", "\\xed\\xa0\\x80"},
        {"a sequence cut short", "a\xe2\x82", "a\\xe2\\x82"},
    };
    // clang-format on
    for (const auto &[what, bytes, shown] : cases)
        EXPECT_EQ(EscapeForDisplay(bytes), shown) << what;
}

} // namespace
} // namespace dirwise::test
