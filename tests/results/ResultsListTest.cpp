// The results list: text forms, sorting by every column, removal, clearing.

#include "ResultsTestSupport.h"
#include "TempTree.h"
#include "TextForms.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <sys/stat.h>
#include <limits>

namespace dirwise::test {
namespace {

class TextFormsTest : public ::testing::Test {
protected:
    void SetUp() override {
        UseTimeZone("UTC0");
        std::setlocale(LC_ALL, "C");
        ReloadLocaleForms();
    }
    void TearDown() override {
        std::setlocale(LC_ALL, "C");
        ReloadLocaleForms();
    }
};

TEST_F(TextFormsTest, SizeTextPadsAndGroupsEveryDigit) {
    const std::pair<std::int64_t, const char *> cases[] = {
        {0, "000,000,000"},
        {1234, "000,001,234"},
        {999999999, "999,999,999"},
        {1000000000, "1,000,000,000"},
        {4294967297, "4,294,967,297"},
        {5368709120, "5,368,709,120"},
        {std::numeric_limits<std::int64_t>::max(), "9,223,372,036,854,775,807"},
    };
    for (const auto &[bytes, text] : cases)
        EXPECT_EQ(SizeText(bytes), text) << bytes;
    // A UTF-8 C locale has no separator either: "," stands in.
    if (std::setlocale(LC_ALL, "C.UTF-8")) {
        ReloadLocaleForms();
        EXPECT_EQ(SizeText(1234), "000,001,234");
    }
}

TEST_F(TextFormsTest, DateTextInTheCLocale) {
    const std::pair<std::int64_t, const char *> cases[] = {
        {1000000000, "09/09/2001 01:46:40"},
        {0, "01/01/1970"}, // midnight: the date alone
        {-1, "12/31/1969 23:59:59"},
        {-1000000000, "04/24/1938 22:13:20"},
        {2147483648, "01/19/2038 03:14:08"},
        {4102444800, "01/01/2100"},
        {4102444801, "01/01/2100 00:00:01"},
    };
    for (const auto &[seconds, text] : cases)
        EXPECT_EQ(DateText(seconds), text) << seconds;
}

TEST_F(TextFormsTest, DateTextFollowsTheTimeZone) {
    UseTimeZone("EST5");
    EXPECT_EQ(DateText(1000000000), "09/08/2001 20:46:40");
    EXPECT_EQ(DateText(18000), "01/01/1970");
    UseTimeZone("UTC0");
}

// A German locale, compiled into a private directory when the system has none installed
// (the locale sources come with Debian's "locales" package), so the test never depends on
// what the machine happens to have generated.
bool UseGermanLocale(TempTree &t) {
    if (std::setlocale(LC_ALL, "de_DE.UTF-8"))
        return true;
    const std::string dir = t.path("locales");
    ::mkdir(dir.c_str(), 0755);
    const ProcessResult r =
        RunProcess({"localedef", "-i", "de_DE", "-f", "UTF-8", dir + "/de_DE.UTF-8"}, 120);
    if (r.status != 0 && r.status != 1) // 1: warnings only, the locale is written
        return false;
    ::setenv("LOCPATH", dir.c_str(), 1);
    const bool ok = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    ::unsetenv("LOCPATH");
    return ok;
}

TEST_F(TextFormsTest, SizeAndDateTextFollowTheLocale) {
    TempTree t;
    if (!UseGermanLocale(t))
        GTEST_SKIP() << "no German locale installed and none could be compiled (localedef and "
                        "the locales package)";
    ReloadLocaleForms();
    EXPECT_EQ(SizeText(1234), "000.001.234");
    EXPECT_EQ(SizeText(5368709120), "5.368.709.120");
    // The German short date is day first with a four-digit year; the time keeps its seconds.
    EXPECT_EQ(DateText(1000000000), "09.09.2001 01:46:40");
    EXPECT_EQ(DateText(0), "01.01.1970");
}

TEST(ResultTexts, ResultsIconsAndHeaders) {
    const std::tuple<Result, const char *, const char *> cases[] = {
        {Result::Match, "Match", "Match"},
        {Result::Size, "Size", "Different"},
        {Result::Date, "Date", "Different"},
        {Result::SizeAndDate, "Size&Date", "Different"},
        {Result::NotFound, "Not Found", "NotFound"},
    };
    for (const auto &[r, text, icon] : cases) {
        EXPECT_STREQ(ResultText(r), text);
        EXPECT_STREQ(IconKeyText(IconKeyOf(r)), icon);
    }
    const char *headers[] = {"Result", "Compare Path", "File Name", "Master Size",
                             "Compare Size", "Master Date", "Compare Date"};
    for (int c = 0; c < ColumnCount; ++c)
        EXPECT_STREQ(ColumnHeader(static_cast<Column>(c)), headers[c]);
}

TEST(ResultsListModel, CellsOfAFoundAndANotFoundRow) {
    UseTimeZone("UTC0");
    const ResultsList list = MakeList({
        {Result::Size, "/a/b/", "x.txt", 1234, 99, 1000000000, 0},
        {Result::NotFound, "/", "y.txt", 5, {}, 0, {}},
    });
    EXPECT_EQ(list.Text(0, Column::Result), "Size");
    EXPECT_EQ(list.Text(0, Column::ComparePath), "/cmp/a/b/");
    EXPECT_EQ(list.Text(0, Column::FileName), "x.txt");
    EXPECT_EQ(list.Text(0, Column::MasterSize), "000,001,234");
    EXPECT_EQ(list.Text(0, Column::CompareSize), "000,000,099");
    EXPECT_EQ(list.Text(0, Column::MasterDate), "09/09/2001 01:46:40");
    EXPECT_EQ(list.Text(0, Column::CompareDate), "01/01/1970");
    EXPECT_EQ(list.ComparePath(0), "/cmp/a/b/x.txt");
    EXPECT_EQ(list.MasterPath(0), "/master/a/b/x.txt");
    EXPECT_EQ(list.Text(1, Column::ComparePath), "/cmp/");
    EXPECT_EQ(list.Text(1, Column::CompareSize), "");
    EXPECT_EQ(list.Text(1, Column::CompareDate), "");
    // The compare root "/" is not doubled.
    EXPECT_EQ(MakeList({NameRow(Result::Match, "/s/", "z")}, "/").Text(0, Column::ComparePath), "/s/");
}

// Six rows whose every column orders them differently. Text order is without regard to
// ASCII case, ties by bytes; numbers and times by value, which the texts would not give
// ("1,000,000,000" < "999,999,999" as text; "12/31/1969" > "01/01/2100" as text).
std::vector<RowSpec> SortRows() {
    return {
        {Result::Size, "/b/", "beta", 10240, 5368709120, 1000000000, 4102444800},
        {Result::NotFound, "/", "Alpha", 1024, {}, -86400, {}},
        {Result::Match, "/B/", "alpha", 999999999, 999999999, 0, 0},
        {Result::Date, "/a/", "_x", 1000000000, 1000000000, 4102444800, 1000000000},
        {Result::SizeAndDate, "/a/b/", "Gamma", 0, 7, 2147483648, -86400},
        {Result::Match, "/ab/", "beta2", 2048, 4294967296, 1000000001, 5},
    };
}

struct SortCase {
    Column key;
    std::vector<int> ascending; // row numbers of SortRows() in the expected order
    std::vector<int> descending;
};

TEST(ResultsListSort, EveryColumnBothWays) {
    const SortCase cases[] = {
        {Column::Result, {3, 2, 5, 1, 0, 4}, {4, 0, 1, 2, 5, 3}}, // equal "Match" rows stay in order
        {Column::ComparePath, {1, 3, 4, 5, 2, 0}, {0, 2, 5, 4, 3, 1}},
        {Column::FileName, {3, 1, 2, 0, 5, 4}, {4, 5, 0, 2, 1, 3}},
        {Column::MasterSize, {4, 1, 5, 0, 2, 3}, {3, 2, 0, 5, 1, 4}},
        {Column::CompareSize, {1, 4, 2, 3, 5, 0}, {0, 5, 3, 2, 4, 1}}, // empty first, then last
        {Column::MasterDate, {1, 2, 0, 5, 4, 3}, {3, 4, 5, 0, 2, 1}},
        {Column::CompareDate, {1, 4, 2, 5, 3, 0}, {0, 3, 5, 2, 4, 1}},
    };
    const std::vector<RowSpec> rows = SortRows();
    for (const SortCase &c : cases) {
        for (SortOrder order : {SortOrder::Ascending, SortOrder::Descending}) {
            ResultsList list = MakeList(rows);
            list.Sort(c.key, order);
            const std::vector<int> &want = order == SortOrder::Ascending ? c.ascending : c.descending;
            std::vector<std::string> expected;
            for (int i : want)
                expected.push_back(rows[static_cast<std::size_t>(i)].name);
            EXPECT_EQ(Names(list), expected) << ColumnHeader(c.key)
                                             << (order == SortOrder::Ascending ? " ascending" : " descending");
            EXPECT_EQ(list.Sorting().key, c.key);
            EXPECT_EQ(list.Sorting().order, order);
            EXPECT_TRUE(list.Sorting().sorted);
        }
    }
}

TEST(ResultsListSort, StableBothWaysAndAcrossSorts) {
    std::vector<RowSpec> rows;
    const char *names[] = {"e", "D", "c", "B", "a", "f"};
    for (int i = 0; i < 6; ++i) {
        rows.push_back(NameRow(i % 2 ? Result::Match : Result::NotFound, "/", names[i]));
        rows.back().masterSize = 7;
    }
    ResultsList list = MakeList(rows);
    EXPECT_FALSE(list.Sorting().sorted);
    // All sizes equal and all compare sizes empty: no sort may move a row.
    const std::vector<std::string> original = Names(list);
    for (Column key : {Column::MasterSize, Column::CompareSize, Column::CompareDate})
        for (SortOrder order : {SortOrder::Ascending, SortOrder::Descending}) {
            list.Sort(key, order);
            EXPECT_EQ(Names(list), original) << ColumnHeader(key);
        }
    // Sorting by name, then by result, keeps the name order within each result.
    list.Sort(Column::FileName, SortOrder::Ascending);
    list.Sort(Column::Result, SortOrder::Ascending);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"B", "D", "f", "a", "c", "e"}));
    list.Sort(Column::Result, SortOrder::Descending);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"a", "c", "e", "B", "D", "f"}));
}

TEST(ResultsListSort, NamesThatShareALongPrefixOrLeadingCase) {
    ResultsList list = MakeList({NameRow(Result::Match, "/", "prefix-prefix-prefix-b"),
                                 NameRow(Result::Match, "/", "PREFIX-PREFIX-PREFIX-A"),
                                 NameRow(Result::Match, "/", "prefix-prefix-prefix-a"),
                                 NameRow(Result::Match, "/", "prefix-prefix-prefix"),
                                 NameRow(Result::Match, "/", "\xc3\xa9"),
                                 NameRow(Result::Match, "/", "Z")});
    list.Sort(Column::FileName, SortOrder::Ascending);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"prefix-prefix-prefix", "PREFIX-PREFIX-PREFIX-A",
                                                      "prefix-prefix-prefix-a", "prefix-prefix-prefix-b",
                                                      "Z", "\xc3\xa9"}));
}

TEST(ResultsListRemove, SingleAdjacentAndScatteredRows) {
    std::vector<RowSpec> rows;
    for (const char *n : {"r0", "r1", "r2", "r3", "r4", "r5", "r6"})
        rows.push_back(NameRow(Result::Match, "/", n));
    ResultsList list = MakeList(rows);
    list.Remove(2);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"r0", "r1", "r3", "r4", "r5", "r6"}));
    list.Remove(std::vector<std::size_t>{1, 2}); // adjacent
    EXPECT_EQ(Names(list), (std::vector<std::string>{"r0", "r4", "r5", "r6"}));
    list.Remove(std::vector<std::size_t>{3, 0, 3}); // scattered, unordered, repeated
    EXPECT_EQ(Names(list), (std::vector<std::string>{"r4", "r5"}));
    list.Remove(std::vector<std::size_t>{});
    EXPECT_EQ(list.Count(), 2u);
    list.Remove(std::vector<std::size_t>{0, 1});
    EXPECT_EQ(list.Count(), 0u);
}

TEST(ResultsListRemove, AfterSortTheDisplayedRowGoes) {
    ResultsList list = MakeList(SortRows());
    list.Sort(Column::MasterSize, SortOrder::Ascending);
    list.Remove(0); // the smallest: Gamma
    EXPECT_EQ(Names(list), (std::vector<std::string>{"Alpha", "beta2", "beta", "alpha", "_x"}));
}

TEST(ResultsListModel, ClearEmptiesAndKeepsTheSortState) {
    ResultsList empty;
    empty.Clear();
    EXPECT_EQ(empty.Count(), 0u);
    ResultsList list = MakeList(SortRows());
    list.Sort(Column::FileName, SortOrder::Descending);
    list.Clear();
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_EQ(list.Sorting().key, Column::FileName);
    EXPECT_EQ(list.Sorting().order, SortOrder::Descending);
    EXPECT_TRUE(list.Sorting().sorted);
    // Directories interned before the clear do not leak into the next run's rows.
    const std::size_t i = list.Add(Result::Match);
    list.SetSubItem(i, Column::ComparePath, std::string("/new/"));
    list.SetSubItem(i, Column::FileName, std::string("n"));
    EXPECT_EQ(list.Text(0, Column::ComparePath), "/cmp/new/");
    list.Sort(Column::ComparePath, SortOrder::Ascending);
    EXPECT_EQ(list.Text(0, Column::ComparePath), "/cmp/new/");
}

} // namespace
} // namespace dirwise::test
