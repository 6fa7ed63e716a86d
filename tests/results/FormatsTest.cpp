// What people and machines read: the report, csv and JSON Lines bytes for odd names and
// extreme values, sizes and dates in the locale's forms, the machine formats alike in every
// locale, the words that say why a row differs, and what a failed save says.

#include "Report.h"
#include "ResultsList.h"
#include "TempTree.h"
#include "TextForms.h"

#include <clocale>
#include <limits>

namespace dirwise::test {
namespace {

constexpr std::int64_t T0 = 1000000000; // 2001-09-09T01:46:40Z

// A row with the given sizes and times, master side first.
ResultRow Row(Result result, std::int64_t masterSize, std::int64_t compareSize,
              std::int64_t masterTime, std::int64_t compareTime, std::int64_t offset = 0,
              Detail detail = Detail::None) {
    return {"f", masterSize, masterTime, compareSize, compareTime, offset, 0, result, detail};
}

ResultsList OddRows(const std::string &compareRoot = "/c\\d") {
    ResultsList list;
    list.SetRoots("/m", compareRoot);
    const auto add = [&list](const char *dir, const char *name, ResultRow row) {
        row.name = name;
        row.dir = list.InternDirectory(dir);
        list.Append(row);
    };
    add("/sub/deep/", "a,b \"q\"\nline", Row(Result::Size, 5368709120, 5368709121, -T0, -T0));
    add("/", "back\\slash\xff\xc3\xa9\x01", Row(Result::NotFound, 1, 0, 0, 0));
    add("/s\tub/", "x\r\n.cpp", Row(Result::Extra, 0, 7, 0, T0));
    return list;
}

class Formats : public ::testing::Test {
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
    TempTree t;
};

// The report: six fields escaped and joined by tabs, CR LF, no header, no compare date.
TEST_F(Formats, ReportCsvAndJsonLinesBytes) {
    const ResultsList list = OddRows();
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
            "Not Found,back\\\\slash\\xff\xc3\xa9\x01,1,,1970-01-01T00:00:00Z,,"
            "not in the compare directory\n"
            "Extra,\"s\tub/x\r\n.cpp\",,7,,2001-09-09T01:46:40Z,not in the master directory\n");
    EXPECT_EQ(Saved(list, ReportFormat::Json),
              "{\"result\":\"Size\",\"path\":\"sub/deep/a,b \\\"q\\\"\\nline\","
              "\"master_size\":5368709120,\"compare_size\":5368709121,"
              "\"master_date\":\"1938-04-24T22:13:20Z\",\"compare_date\":\"1938-04-24T22:13:20Z\","
              "\"difference\":\"+1 byte\"}\n"
              "{\"result\":\"Not Found\",\"path\":\"back\\\\\\\\slash\\\\xff\xc3\xa9\\u0001\","
              "\"master_size\":1,\"compare_size\":null,\"master_date\":\"1970-01-01T00:00:00Z\","
              "\"compare_date\":null,\"difference\":\"not in the compare directory\"}\n"
              "{\"result\":\"Extra\",\"path\":\"s\\tub/x\\r\\n.cpp\",\"master_size\":null,"
              "\"compare_size\":7,\"master_date\":null,\"compare_date\":\"2001-09-09T01:46:40Z\","
              "\"difference\":\"not in the master directory\"}\n");
    EXPECT_EQ(Saved(ResultsList{}, ReportFormat::Report), "");
    EXPECT_EQ(Saved(ResultsList{}, ReportFormat::Csv), header);
    EXPECT_EQ(Saved(ResultsList{}, ReportFormat::Json), "");
    // The compare root "/" is not doubled.
    EXPECT_EQ(OddRows("/").Text(0, Column::ComparePath), "/sub/deep/");
}

// The common cases come through the report tests and dwc's; these are the extremes. The C
// locale has no thousands separator: "," stands in.
TEST_F(Formats, SizesAndDatesFollowTheLocaleTheMachineFormatsNever) {
    EXPECT_EQ(SizeText(std::numeric_limits<std::int64_t>::max()), "9,223,372,036,854,775,807");
    EXPECT_EQ(SizeText(999999999) + " " + SizeText(1000000000), "999,999,999 1,000,000,000");
    EXPECT_EQ(DateText(0) + " " + DateText(-1), "01/01/1970 12/31/1969 23:59:59");
    EXPECT_EQ(DateText(5), "01/01/1970 00:00:05"); // seconds after midnight keep the time
    const ResultsList list = OddRows();
    const std::string csv = Saved(list, ReportFormat::Csv);
    const std::string json = Saved(list, ReportFormat::Json);
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
    EXPECT_EQ(DateText(T0), "09.09.2001 01:46:40");
    EXPECT_EQ(DateText(0), "01.01.1970");
    UseTimeZone("JST-9");
    EXPECT_EQ(Saved(list, ReportFormat::Csv), csv);
    EXPECT_EQ(Saved(list, ReportFormat::Json), json);
}

TEST(Difference, SaysWhyARowDiffersAndByHowMuch) {
    using enum Result;
    // clang-format off
    const std::pair<ResultRow, const char *> cases[] = {
        {Row(Match, 0, 0, 0, 0), ""},
        {Row(Size, 5000, 1, 0, 0), "-4,999 bytes"},
        {Row(Date, 0, 0, T0, T0 + 3600),
         "compare newer by 1 h (whole hours: time zone or daylight saving?)"},
        {Row(Date, 0, 0, T0, T0 - 1), "compare older by 1 s (FAT rounding?)"},
        {Row(Date, 0, 0, T0, T0 + 2 * 86400 + 3 * 3600 + 4 * 60 + 5),
         "compare newer by 2 d 3 h 4 min 5 s"},
        {Row(SizeAndDate, 1, 2, T0, T0 + 60), "+1 byte; compare newer by 1 min"},
        {Row(Match, 0, 0, T0, T0 - 7201, 0, Detail::HourShiftIgnored), "2-hour shift ignored"},
        {Row(Content, 9, 9, 0, 0, 4096), "contents differ from offset 4,096"},
        {Row(Date, 0, 0, INT64_MIN, INT64_MAX), "compare newer by 213503982334601 d 7 h 15 s"},
    };
    // clang-format on
    for (const auto &[row, text] : cases)
        EXPECT_EQ(DifferenceText(row, ","), text) << text;
}

// A read-only target for a user other than root, and a directory: the old file stays and
// the message names the file and the reason.
TEST_F(Formats, AFailedSaveKeepsTheFileAndSaysWhy) {
    ::chmod(t.root().c_str(), 0777);
    const std::string target = t.path("dw.txt"), old = "the previous report\r\n";
    WriteFile(target, old);
    ::chmod(target.c_str(), 0444);
    const ChildResult r = RunInChild([&](std::string &out) {
        if (!DropRootInChild() || ::access(target.c_str(), W_OK) == 0)
            return 77;
        out = SaveReport(OddRows(), target).error;
        return 0;
    });
    if (r.status == 77)
        GTEST_SKIP() << "the process cannot be kept from writing the target";
    EXPECT_EQ(r.out, target + ": " + std::strerror(EACCES));
    EXPECT_EQ(ReadFile(target), old);
    EXPECT_EQ(SaveReport(OddRows(), t.root()).error, t.root() + ": " + std::strerror(EISDIR));
}

} // namespace
} // namespace dirwise::test
