// The results core: text forms, sorting, and the report with its safe save.

#include "Report.h"
#include "ResultsList.h"
#include "TempTree.h"
#include "TextForms.h"

#include <clocale>
#include <filesystem>
#include <limits>

namespace dirwise::test {
namespace {

struct RowSpec {
    Result result;
    std::string dir, name;
    std::int64_t masterSize = 0, compareSize = 0, masterTime = 0, compareTime = 0;
};

// A list with the given rows in order, appended as a compare run appends them.
ResultsList MakeList(const std::vector<RowSpec> &rows, const std::string &compareRoot = "/cmp") {
    ResultsList list;
    list.SetRoots("/master", compareRoot);
    for (const RowSpec &r : rows)
        list.Append(ResultRow{.name = r.name,
                              .masterSize = r.masterSize,
                              .masterTime = r.masterTime,
                              .compareSize = r.compareSize,
                              .compareTime = r.compareTime,
                              .dir = list.InternDirectory(r.dir),
                              .result = r.result});
    return list;
}

// The names of the rows in display order, each followed by a blank.
std::string Names(const ResultsList &list) {
    std::string names;
    for (std::size_t i = 0; i < list.Count(); ++i)
        names += list.Row(i).name + " ";
    return names;
}

// `rows` Size rows whose report lines are about 70 bytes each.
ResultsList ManyRows(int rows) {
    std::vector<RowSpec> specs;
    for (int i = 0; i < rows; ++i)
        specs.push_back(
            {Result::Size, "/dir/", "file" + std::to_string(i), i, i + 1, 1000000000, 0});
    return MakeList(specs);
}

// How many entries directory `path` holds: a temporary file left behind shows here.
long Entries(const std::string &path) {
    return std::distance(std::filesystem::directory_iterator(path), {});
}

mode_t ModeOf(const std::string &path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

class Results : public ::testing::Test {
protected:
    void SetUp() override {
        UseTimeZone("UTC0");
        std::setlocale(LC_ALL, "C");
        ReloadLocaleForms();
    }
    void TearDown() override { SetUp(); }
    TempTree t;
};

// The common cases come through the report tests here and dwc's; these are the extremes.
TEST_F(Results, SizeAndDateTextsFollowTheLocale) {
    EXPECT_EQ(SizeText(std::numeric_limits<std::int64_t>::max()), "9,223,372,036,854,775,807");
    EXPECT_EQ(SizeText(999999999) + " " + SizeText(1000000000), "999,999,999 1,000,000,000");
    EXPECT_EQ(DateText(0) + " " + DateText(-1), "01/01/1970 12/31/1969 23:59:59");
    EXPECT_EQ(DateText(5), "01/01/1970 00:00:05"); // seconds after midnight keep the time
    if (std::setlocale(LC_ALL, "C.UTF-8")) {       // no separator there either: "," stands in
        ReloadLocaleForms();
        EXPECT_EQ(SizeText(1234), "000,001,234");
    }
    // A German locale, compiled into a private directory when the system has none installed
    // (the locale sources come with Debian's "locales" package).
    bool german = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    if (!german) {
        const std::string dir = t.path("locales");
        t.dir("locales");
        const ProcessResult r =
            RunProcess({"localedef", "-i", "de_DE", "-f", "UTF-8", dir + "/de_DE.UTF-8"}, 120);
        ::setenv("LOCPATH", dir.c_str(), 1); // status 1: warnings only, the locale is written
        german = (r.status == 0 || r.status == 1) && std::setlocale(LC_ALL, "de_DE.UTF-8");
        ::unsetenv("LOCPATH");
    }
    if (!german)
        GTEST_SKIP() << "no German locale and none could be compiled (localedef, locales)";
    ReloadLocaleForms();
    EXPECT_EQ(SizeText(5368709120), "5.368.709.120");
    // Day first with a four-digit year; the time keeps its seconds.
    EXPECT_EQ(DateText(1000000000), "09.09.2001 01:46:40");
    EXPECT_EQ(DateText(0), "01.01.1970");
}

// Six rows whose every column orders them differently. Text order is without regard to
// ASCII case, ties by bytes; numbers and times by value, which the texts would not give
// ("1,000,000,000" < "999,999,999" as text; "12/31/1969" > "01/01/2100" as text).
TEST(ResultsListSort, EveryColumnSortsByValueBothWays) {
    const std::vector<RowSpec> rows = {
        {Result::Size, "/b/", "beta", 10240, 5368709120, 1000000000, 4102444800},
        {Result::NotFound, "/", "Alpha", 1024, 0, -86400, 0},
        {Result::Match, "/B/", "alpha", 999999999, 999999999, 0, 0},
        {Result::Date, "/a/", "_x", 1000000000, 1000000000, 4102444800, 1000000000},
        {Result::SizeAndDate, "/a/b/", "Gamma", 0, 7, 2147483648, -86400},
        {Result::Match, "/ab/", "beta2", 2048, 4294967296, 1000000001, 5},
    };
    const struct {
        Column key;
        std::string ascending, descending;
    } cases[] = {
        {.key = Column::Result, // stable: the two Match rows keep their order both ways
         .ascending = "_x alpha beta2 Alpha beta Gamma ",
         .descending = "Gamma beta Alpha alpha beta2 _x "},
        {.key = Column::ComparePath,
         .ascending = "Alpha _x Gamma beta2 alpha beta ",
         .descending = "beta alpha beta2 Gamma _x Alpha "},
        {.key = Column::FileName,
         .ascending = "_x Alpha alpha beta beta2 Gamma ",
         .descending = "Gamma beta2 beta alpha Alpha _x "},
        {.key = Column::MasterSize,
         .ascending = "Gamma Alpha beta2 beta alpha _x ",
         .descending = "_x alpha beta beta2 Alpha Gamma "},
        {.key = Column::CompareSize, // the Not Found row has none: first, then last
         .ascending = "Alpha Gamma alpha _x beta2 beta ",
         .descending = "beta beta2 _x alpha Gamma Alpha "},
        {.key = Column::MasterDate,
         .ascending = "Alpha alpha beta beta2 Gamma _x ",
         .descending = "_x Gamma beta2 beta alpha Alpha "},
        {.key = Column::CompareDate,
         .ascending = "Alpha Gamma alpha beta2 _x beta ",
         .descending = "beta _x beta2 alpha Gamma Alpha "},
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
}

TEST(ResultsListSort, StaysStableBeyondSmallRuns) {
    // std::sort falls back to insertion sort below 16 elements, which happens to be stable:
    // a hundred equal keys show whether stability is real.
    std::vector<RowSpec> rows;
    for (int i = 0; i < 100; ++i)
        rows.push_back({Result::Match, "/", "f" + std::to_string(i), i % 2});
    std::string even, odd;
    for (int i = 0; i < 100; ++i)
        (i % 2 ? odd : even) += "f" + std::to_string(i) + " ";
    for (SortOrder order : {SortOrder::Ascending, SortOrder::Descending}) {
        ResultsList list = MakeList(rows);
        list.Sort(Column::MasterSize, order);
        EXPECT_EQ(Names(list), order == SortOrder::Ascending ? even + odd : odd + even);
    }
}

TEST(ResultsListSort, LettersBeyondAsciiSortWithoutRegardToCase) {
    // By their bytes, É (C3 89) comes before é (C3 A9); without regard to case the second
    // letter decides.
    ResultsList list = MakeList({{Result::Match, "/",
                                  "\xc3\x89"
                                  "b"}, // Éb
                                 {Result::Match, "/",
                                  "\xc3\xa9"
                                  "a"}, // éa
                                 {Result::Match, "/",
                                  "\xc3\xa9"
                                  "b"}, // éb
                                 {Result::Match, "/", "zed"}});
    list.Sort(Column::FileName, SortOrder::Ascending);
    EXPECT_EQ(Names(list), "zed \xc3\xa9"
                           "a \xc3\x89"
                           "b \xc3\xa9"
                           "b ")
        << "Éb and éb differ only in case, and tie by their bytes";
}

TEST(ResultsListRemove, RowsGivenInAnyOrderOrTwiceGoOnceAndTheRestKeepTheirOrder) {
    ResultsList list = MakeList({{Result::Match, "/", "a"},
                                 {Result::Match, "/", "b"},
                                 {Result::Match, "/", "c"},
                                 {Result::Match, "/", "d"},
                                 {Result::Match, "/", "e"}});
    list.Remove(std::vector<std::size_t>{3, 0, 3, 1});
    EXPECT_EQ(Names(list), "c e ");
    list.Remove(1);
    EXPECT_EQ(Names(list), "c ");
}

TEST(ResultsListRows, ANotFoundRowHasNoCompareSide) {
    const ResultsList list = MakeList({{Result::NotFound, "/", "gone", 10, 99, 1000000000, 5}});
    EXPECT_FALSE(list.Row(0).hasCompare());
    EXPECT_EQ(list.Text(0, Column::CompareSize) + list.Text(0, Column::CompareDate), "");
    EXPECT_EQ(list.Row(0), MakeList({{Result::NotFound, "/", "gone", 10, 0, 1000000000, 0}}).Row(0))
        << "compare values left in a row without a compare side";
}

struct EscapeCase {
    const char *what;
    std::string bytes, shown;
};

TEST(DisplayEscape, NamesShowTheSameEverywhereAndCannotDriveATerminal) {
    const EscapeCase cases[] = {
        {.what = "plain UTF-8 is copied",
         .bytes = "caf\xc3\xa9 \xe2\x82\xac",
         .shown = "caf\xc3\xa9 \xe2\x82\xac"},
        {.what = "a backslash stays one", .bytes = "a\\b", .shown = "a\\b"},
        {.what = "tab, CR and LF by name", .bytes = "a\tb\rc\nd", .shown = "a\\tb\\rc\\nd"},
        {.what = "other controls and DEL in hex", .bytes = "\x1b[2J\x7f", .shown = "\\x1b[2J\\x7f"},
        {.what = "a byte that is no UTF-8", .bytes = "\xe9t\xe9", .shown = "\\xe9t\\xe9"},
        {.what = "a C1 control",
         .bytes = "\xc2\x9b"
                  "2J",
         .shown = "\\u009b2J"},
        {.what = "an overlong slash", .bytes = "\xc0\xaf", .shown = "\\xc0\\xaf"},
        {.what = "a three-byte overlong form", .bytes = "\xe0\x80\xaf", .shown = "\\xe0\\x80\\xaf"},
        {.what = "a four-byte overlong form",
         .bytes = "\xf0\x80\x80\xaf",
         .shown = "\\xf0\\x80\\x80\\xaf"},
        {.what = "a surrogate", .bytes = "\xed\xa0\x80", .shown = "\\xed\\xa0\\x80"},
        {.what = "a sequence cut short", .bytes = "a\xe2\x82", .shown = "a\\xe2\\x82"},
    };
    for (const EscapeCase &c : cases)
        EXPECT_EQ(EscapeForDisplay(c.bytes), c.shown) << c.what;
}

TEST_F(Results, ReportBytesSixEscapedFieldsCrLfNoHeaderAndNoCompareDate) {
    const ResultsList list = MakeList(
        {
            {Result::Size, "/sub/", "a.txt", 1234, 1235, 1000000000, 2000000000},
            {Result::NotFound, "/d\tir/", "new\nline\rcr\\", 10, 0, 0, 0},
            {Result::Match, "/", "sp ace \xff\xfe\xc3\xa9\x01", 5368709120, 5368709120, -1, -1},
        },
        "/root\\dir");
    EXPECT_EQ(list.MasterPath(0) + " " + list.ComparePath(0),
              "/master/sub/a.txt /root\\dir/sub/a.txt");
    ASSERT_TRUE(SaveReport(list, t.path("dw.txt")).ok);
    EXPECT_EQ(ReadFile(t.path("dw.txt")),
              "Size\t/root\\\\dir/sub/\ta.txt\t000,001,234\t000,001,235\t09/09/2001 01:46:40\r\n"
              "Not Found\t/root\\\\dir/d\\tir/\tnew\\nline\\rcr\\\\\t000,000,010\t\t01/01/1970\r\n"
              "Match\t/root\\\\dir/\tsp ace \xff\xfe\xc3\xa9\x01\t5,368,709,120\t5,368,709,120\t"
              "12/31/1969 23:59:59\r\n");
    // The compare root "/" is not doubled.
    EXPECT_EQ(MakeList({{Result::Match, "/s/", "z"}}, "/").Text(0, Column::ComparePath), "/s/");
    ASSERT_TRUE(SaveReport(ResultsList{}, t.path("dw.txt")).ok);
    EXPECT_EQ(ReadFile(t.path("dw.txt")), "");
}

TEST_F(Results, SaveReplacesThroughSymlinksKeepingModesAndLinks) {
    t.dir("real");
    WriteFile(t.path("real/dw.txt"), std::string(10000, 'o'));
    ::chmod(t.path("real/dw.txt").c_str(), 0604);
    t.symlink("link.txt", "real/dw.txt");
    struct stat before {
    }, after{};
    ASSERT_EQ(::stat(t.path("real/dw.txt").c_str(), &before), 0);
    const ResultsList list = ManyRows(3);
    ASSERT_TRUE(SaveReport(list, t.path("link.txt")).ok);
    ASSERT_EQ(::stat(t.path("real/dw.txt").c_str(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino) << "written in place, not replaced";
    EXPECT_TRUE(S_ISLNK(ModeOf(t.path("link.txt"))));
    ASSERT_TRUE(SaveReport(list, t.path("fresh.txt")).ok);
    EXPECT_EQ(ReadFile(t.path("real/dw.txt")), ReadFile(t.path("fresh.txt")));
    EXPECT_EQ(ModeOf(t.path("real/dw.txt")) & 07777, 0604u);
    EXPECT_EQ(Entries(t.path("real")), 1); // no temporary file
    const mode_t mask = ::umask(027);      // a new file gets 0666 less the umask
    const ReportStatus s = SaveReport(list, t.path("new.txt"));
    ::umask(mask);
    EXPECT_TRUE(s.ok) << s.error;
    EXPECT_EQ(ModeOf(t.path("new.txt")) & 07777, 0640u);
}

// Each failure leaves the old file byte-identical with its mode, and no temporary file.
TEST_F(Results, FailedSavesLeaveTheTargetWhole) {
    ::chmod(t.root().c_str(), 0777);
    const std::string target = t.path("dw.txt"), old = "the previous report\r\n";
    const ResultsList list = ManyRows(200); // about 14 kB
    // A file size limit of 512 bytes with SIGXFSZ ignored, alone or with a second link to
    // the target; and a read-only target for a user other than root.
    for (const char *kind : {"limit", "limit+link", "read-only"}) {
        WriteFile(target, old);
        const bool readOnly = kind[0] == 'r', linked = std::strlen(kind) > 5 && !readOnly;
        ASSERT_TRUE(!linked || ::link(target.c_str(), t.path("other.txt").c_str()) == 0);
        ::chmod(target.c_str(), readOnly ? 0444 : 0644);
        const ChildResult r = RunInChild(
            [&](std::string &out) {
                std::signal(SIGXFSZ, SIG_IGN);
                const rlimit limit{512, 512};
                if (readOnly ? !DropRootInChild() || ::access(target.c_str(), W_OK) == 0
                             : ::setrlimit(RLIMIT_FSIZE, &limit) != 0)
                    return 77;
                const ReportStatus s = SaveReport(list, target);
                out = s.error;
                return s.ok ? 1 : 0;
            },
            30);
        if (r.status == 77)
            GTEST_SKIP() << kind << ": the process cannot be kept from writing the target";
        SCOPED_TRACE(kind);
        EXPECT_EQ(r.status, 0) << "the save was reported as done";
        EXPECT_NE(r.out, "") << "the failure has no description";
        EXPECT_TRUE(!readOnly || r.out.find(std::strerror(EACCES)) != std::string::npos) << r.out;
        EXPECT_EQ(ReadFile(target), old);
        EXPECT_EQ(ModeOf(target) & 07777, readOnly ? 0444u : 0644u);
        EXPECT_EQ(Entries(t.root()), linked || readOnly ? 2 : 1); // other.txt stays
    }
    EXPECT_FALSE(SaveReport(list, t.root()).ok); // a directory is no target either
}

} // namespace
} // namespace dirwise::test
