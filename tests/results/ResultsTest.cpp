// The results list and its report: sorting and removal; the report, csv and JSON Lines
// bytes for odd names and extreme values, and what a failed save says; sizes and dates in the
// locale's forms, the machine formats alike in every locale.

#include "Report.h"
#include "ResultsList.h"
#include "TempTree.h"
#include "TextForms.h"

#include <clocale>
#include <limits>

namespace dirwise::test {
namespace {

constexpr std::int64_t T0 = 1000000000; // 2001-09-09T01:46:40Z

struct RowData {
    Result result;
    std::string dir, name;
    std::int64_t masterSize = 0, compareSize = 0, masterTime = 0, compareTime = 0;
};

// A list with the given rows in order, appended as a compare run appends them.
ResultsList MakeList(const std::vector<RowData> &rows, const std::string &compareRoot = "/c\\d") {
    ResultsList list;
    list.SetRoots("/m", compareRoot);
    for (const RowData &r : rows) {
        ResultRow row{r.name, r.masterSize, r.masterTime, r.compareSize, r.compareTime};
        row.dir = list.InternDirectory(r.dir);
        row.result = r.result;
        list.Append(row);
    }
    return list;
}

// Match rows in the root with the given names.
ResultsList Named(const std::vector<std::string> &names) {
    std::vector<RowData> rows;
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

// Names that need quoting or escaping, sizes beyond 32 bits, times before 1970 and at
// midnight, one row of each kind that leaves a side empty.
const std::vector<RowData> OddRows = {
    {Result::Size, "/sub/deep/", "a,b \"q\"\nline", 5368709120, 5368709121, -T0, -T0},
    {Result::NotFound, "/", "back\\slash\xff\xc3\xa9\x01", 1, 0, 0, 0},
    {Result::Extra, "/s\tub/", "x\r\n.cpp", 0, 7, 0, T0},
};

// Six rows whose every column orders them differently. Text order is without regard to
// ASCII case, ties by bytes; numbers and times by value, which the texts would not give
// ("1,000,000,000" < "999,999,999" as text; "12/31/1969" > "01/01/2100" as text).
TEST(ResultsListSort, EveryColumnSortsByValueBothWays) {
    // clang-format off
    const std::vector<RowData> rows = {
        {Result::Size, "/b/", "beta", 10240, 5368709120, T0, 4102444800},
        {Result::NotFound, "/", "Alpha", 1024, 0, -86400, 0},
        {Result::Match, "/B/", "alpha", 999999999, 999999999, 0, 0},
        {Result::Date, "/a/", "_x", T0, T0, 4102444800, T0},
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
        }
    }
    // By their bytes É (C3 89) comes before é (C3 A9); without regard to case the second
    // letter decides, and Éb and éb, which differ only in case, tie by their bytes.
    ResultsList list = Named({"\xc3\x89" "b", "\xc3\xa9" "a", "\xc3\xa9" "b", "zed"});
    list.Sort(Column::FileName, SortOrder::Ascending);
    EXPECT_EQ(Names(list), "zed \xc3\xa9" "a \xc3\x89" "b \xc3\xa9" "b");
    // clang-format on
}

// Names alike for more than eight bytes, and beyond sixteen, are ordered by the whole of
// their folded text: the shorter first where one begins the other, ties of case by bytes,
// a name given twice by its place in the list both ways.
TEST(ResultsListSort, NamesAlikeForLongOrderByTheirWholeText) {
    const std::vector<std::string> names = {
        "report-2024-01.txt",     // a
        "Report-2024-01.TXT",     // b
        "report-2024-1.txt",      // c
        "report-2024-01",         // d
        "report-2024-01.txt.bak", // e
        "REPORT-2024-01.txt",     // f
        "report-2024-01.txt",     // g: a again
        "report-2024-\xc3\x9c"
        "1.txt", // h: "Ü1", folded "ü1"
        "report-2024-\xc3\xbc"
        "0.txt", // i: "ü0", before h once folded
    };
    std::vector<RowData> rows;
    for (std::size_t i = 0; i < names.size(); ++i)
        rows.push_back({Result::Match, "/", names[i], static_cast<std::int64_t>(i)});
    for (SortOrder order : {SortOrder::Ascending, SortOrder::Descending}) {
        ResultsList list = MakeList(rows);
        list.Sort(Column::FileName, order);
        std::string places; // each row's place before the sort, as its letter
        for (std::size_t i = 0; i < list.Count(); ++i)
            places += static_cast<char>('a' + list.Row(i).masterSize);
        EXPECT_EQ(places, order == SortOrder::Ascending ? "dfbagecih" : "hiceagbfd");
    }
}

TEST(ResultsListSort, StaysStableBeyondSmallRuns) {
    // std::sort falls back to insertion sort below 16 elements, which happens to be stable:
    // a hundred equal keys show whether stability is real.
    std::vector<RowData> rows;
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

TEST(ResultsListRows, RemovalTakesIndicesInAnyOrderOrTwice) {
    ResultsList list = Named({"a", "b", "c", "d", "e"});
    list.Remove(std::vector<std::size_t>{3, 0, 3, 1, 0});
    EXPECT_EQ(Names(list), "c e");
    list.Remove(1);
    EXPECT_EQ(Names(list), "c");
}

TEST(ResultsListRows, ANotFoundRowHasNoCompareSide) {
    const ResultsList gone = MakeList({{Result::NotFound, "/", "gone", 10, 99, T0, 5}});
    EXPECT_FALSE(gone.Row(0).hasCompare());
    EXPECT_EQ(gone.Text(0, Column::CompareSize) + gone.Text(0, Column::CompareDate), "");
    EXPECT_EQ(gone.Row(0), MakeList({{Result::NotFound, "/", "gone", 10, 0, T0}}).Row(0))
        << "compare values left in a row without a compare side";
}

// Rows come back whole from the packed list: names across the name blocks' edges, one name
// far beyond any block, the numbers Content and Not Compared rows keep after their names.
TEST(ResultsListRows, EveryRowReadsBackAsAppended) {
    ResultsList list;
    const std::uint32_t dir = list.InternDirectory("/d/");
    std::vector<ResultRow> rows;
    for (int i = 0; i < 30000; ++i) { // 30,000 names of 60 bytes: two blocks, four chunks
        ResultRow r{.name = std::string(55, 'a' + i % 26) + std::to_string(10000 + i),
                    .masterSize = i,
                    .masterTime = -i,
                    .compareSize = std::int64_t{1} << 40,
                    .compareTime = INT64_MAX - i,
                    .dir = dir,
                    .result = i % 3 ? Result::Date : Result::Content};
        if (r.result == Result::Content)
            r.contentOffset = INT64_MAX - 7 * i;
        rows.push_back(r);
    }
    rows.push_back({.name = std::string(700000, 'L'),
                    .masterSize = 5,
                    .compareSize = 6,
                    .dir = dir,
                    .result = Result::Size});
    rows.push_back({.name = "after-the-long-one",
                    .contentOffset = 13,
                    .dir = dir,
                    .result = Result::NotCompared,
                    .detail = Detail::CompareFolder});
    for (const ResultRow &r : rows)
        list.Append(r);
    ASSERT_EQ(list.Count(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        ASSERT_EQ(list.Row(i), rows[i]) << i;
        ASSERT_EQ(list.Name(i), rows[i].name) << i;
    }
    list.Clear();
    EXPECT_EQ(list.Count(), 0u);
    list.Append({.name = "fresh", .dir = list.InternDirectory("/")});
    EXPECT_EQ(list.Row(0).name, "fresh");
}

class Report : public ::testing::Test {
protected:
    void SetUp() override {
        UseTimeZone("UTC0");
        std::setlocale(LC_ALL, "C");
        ReloadLocaleForms();
    }
    void TearDown() override { SetUp(); }
    // The whole output of one format, as SaveReport writes it.
    std::string Saved(const ResultsList &list, ReportFormat format) {
        EXPECT_TRUE(SaveReport(list, t.path("out"), format).ok);
        return ReadFile(t.path("out"));
    }
    // Switches to a German locale, compiled into a private directory when the system has
    // none installed; false when neither is possible.
    bool UseGerman() {
        if (!UseLocale("de_DE", t.path("locales")) || !std::setlocale(LC_ALL, "de_DE.UTF-8"))
            return false;
        ReloadLocaleForms();
        return true;
    }
    TempTree t;
};

// The report: six fields escaped and joined by tabs, CR LF, no header, no compare date.
TEST_F(Report, EachFormatWritesItsExactBytes) {
    const ResultsList list = MakeList(OddRows);
    EXPECT_EQ(Saved(list, ReportFormat::Report),
              "Size\t/c\\\\d/sub/deep/\ta,b \"q\"\\nline\t5,368,709,120\t5,368,709,121\t"
              "04/24/1938 22:13:20\r\n"
              "Not Found\t/c\\\\d/\tback\\\\slash\xff\xc3\xa9\x01\t000,000,001\t\t01/01/1970\r\n"
              "Extra\t/c\\\\d/s\\tub/\tx\\r\\n.cpp\t\t000,000,007\t\r\n");
    const std::string header =
        "result,path,master_size,compare_size,master_date,compare_date,difference\n";
    EXPECT_EQ(
        Saved(list, ReportFormat::Csv),
        header +
            "Size,\"sub/deep/a,b \"\"q\"\"\nline\",5368709120,5368709121,"
            "1938-04-24T22:13:20Z,1938-04-24T22:13:20Z,+1 byte\n"
            "Not Found,back\\slash\xff\xc3\xa9\x01,1,,1970-01-01T00:00:00Z,,"
            "not in the compare directory\n"
            "Extra,\"s\tub/x\r\n.cpp\",,7,,2001-09-09T01:46:40Z,not in the master directory\n");
    EXPECT_EQ(Saved(list, ReportFormat::Json),
              "{\"result\":\"Size\",\"path\":\"sub/deep/a,b \\\"q\\\"\\nline\","
              "\"master_size\":5368709120,\"compare_size\":5368709121,"
              "\"master_date\":\"1938-04-24T22:13:20Z\",\"compare_date\":\"1938-04-24T22:13:20Z\","
              "\"difference\":\"+1 byte\"}\n"
              "{\"result\":\"Not Found\",\"path\":\"back\\\\slash\xef\xbf\xbd\xc3\xa9\\u0001\","
              "\"path_base64\":\"YmFja1xzbGFzaP/DqQE=\","
              "\"master_size\":1,\"compare_size\":null,\"master_date\":\"1970-01-01T00:00:00Z\","
              "\"compare_date\":null,\"difference\":\"not in the compare directory\"}\n"
              "{\"result\":\"Extra\",\"path\":\"s\\tub/x\\r\\n.cpp\",\"master_size\":null,"
              "\"compare_size\":7,\"master_date\":null,\"compare_date\":\"2001-09-09T01:46:40Z\","
              "\"difference\":\"not in the master directory\"}\n");
    EXPECT_EQ(Saved(ResultsList{}, ReportFormat::Report), "");
    EXPECT_EQ(Saved(ResultsList{}, ReportFormat::Csv), header);
    EXPECT_EQ(Saved(ResultsList{}, ReportFormat::Json), "");
}

TEST_F(Report, AFailedSaveNamesTheFileWithTheReason) {
    EXPECT_EQ(SaveReport(MakeList(OddRows), t.root()).error,
              t.root() + ": " + std::strerror(EISDIR));
}

TEST_F(Report, TheCompareRootSlashIsNotDoubled) {
    EXPECT_EQ(MakeList(OddRows, "/").Text(0, Column::ComparePath), "/sub/deep/");
}

// The test vectors of RFC 4648, every padding length among them.
TEST(MachineFormats, Base64GivesTheRfcTestVectors) {
    const std::pair<const char *, const char *> vectors[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    for (const auto &[bytes, text] : vectors)
        EXPECT_EQ(Base64(bytes), text) << bytes;
    EXPECT_EQ(Base64(std::string("\xff\x00\xfe", 3)), "/wD+");
}

// The common cases come through the report tests and dwc's; these are the extremes. The C
// locale has no thousands separator: "," stands in.
TEST_F(Report, LocaleFormsFollowTheLocale) {
    EXPECT_EQ(SizeText(std::numeric_limits<std::int64_t>::max()), "9,223,372,036,854,775,807");
    EXPECT_EQ(SizeText(999999999) + " " + SizeText(1000000000), "999,999,999 1,000,000,000");
    EXPECT_EQ(DateText(0) + " " + DateText(-1), "01/01/1970 12/31/1969 23:59:59");
    EXPECT_EQ(DateText(5), "01/01/1970 00:00:05"); // seconds after midnight keep the time
    EXPECT_EQ(DateText(36610), "01/01/1970 10:10:10");
    EXPECT_EQ(DateText(253402300800), "01/01/10000"); // a five-digit year stays whole
    if (!UseGerman())
        GTEST_SKIP() << "no German locale and none could be compiled (localedef, locales)";
    EXPECT_EQ(SizeText(5368709120), "5.368.709.120");
    // Day first with a four-digit year; the time keeps its seconds.
    EXPECT_EQ(DateText(T0), "09.09.2001 01:46:40");
    EXPECT_EQ(DateText(0), "01.01.1970");
}

TEST_F(Report, MachineFormatsStayTheSameInEveryLocale) {
    const ResultsList list = MakeList(OddRows);
    const std::string csv = Saved(list, ReportFormat::Csv);
    const std::string json = Saved(list, ReportFormat::Json);
    if (!UseGerman())
        GTEST_SKIP() << "no German locale and none could be compiled (localedef, locales)";
    UseTimeZone("JST-9");
    EXPECT_EQ(Saved(list, ReportFormat::Csv), csv);
    EXPECT_EQ(Saved(list, ReportFormat::Json), json);
}

} // namespace
} // namespace dirwise::test
