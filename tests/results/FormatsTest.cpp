// The machine formats and the Difference column: the bytes of csv and JSON Lines for odd
// names, extreme sizes and times, in any locale; the words that say why a row differs.

#include "Report.h"
#include "ResultsList.h"
#include "TempTree.h"
#include "TextForms.h"

#include <clocale>

namespace dirwise::test {
namespace {

constexpr std::int64_t T0 = 1000000000; // 2001-09-09T01:46:40Z

ResultsList OddRows() {
    ResultsList list;
    list.SetRoots("/m", "/c");
    list.Append({.name = "a,b \"q\"\nline",
                 .masterSize = 5368709120,
                 .masterTime = -1000000000,
                 .compareSize = 5368709121,
                 .compareTime = -1000000000,
                 .dir = list.InternDirectory("/sub/deep/"),
                 .result = Result::Size});
    list.Append({.name = "back\\slash\xff\xc3\xa9",
                 .masterSize = 1,
                 .masterTime = T0,
                 .dir = list.InternDirectory("/"),
                 .result = Result::NotFound});
    list.Append({.name = "x\n.cpp",
                 .compareSize = 7,
                 .compareTime = T0,
                 .dir = list.InternDirectory("/sub/"),
                 .result = Result::Extra});
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

TEST_F(Formats, CsvQuotesFieldsAndWritesPlainNumbersAndUtcDates) {
    EXPECT_EQ(Saved(OddRows(), ReportFormat::Csv),
              "result,path,master_size,compare_size,master_date,compare_date,difference\n"
              "Size,\"sub/deep/a,b \"\"q\"\"\nline\",5368709120,5368709121,"
              "1938-04-24T22:13:20Z,1938-04-24T22:13:20Z,+1 byte\n"
              "Not Found,back\\\\slash\\xff\xc3\xa9,1,,2001-09-09T01:46:40Z,,"
              "not in the compare directory\n"
              "Extra,\"sub/x\n.cpp\",,7,,2001-09-09T01:46:40Z,not in the master directory\n");
}

TEST_F(Formats, JsonLinesCarryTheSameKeysWithNullsForAbsentValues) {
    EXPECT_EQ(
        Saved(OddRows(), ReportFormat::Json),
        "{\"result\":\"Size\",\"path\":\"sub/deep/a,b \\\"q\\\"\\nline\","
        "\"master_size\":5368709120,\"compare_size\":5368709121,"
        "\"master_date\":\"1938-04-24T22:13:20Z\",\"compare_date\":\"1938-04-24T22:13:20Z\","
        "\"difference\":\"+1 byte\"}\n"
        "{\"result\":\"Not Found\",\"path\":\"back\\\\\\\\slash\\\\xff\xc3\xa9\","
        "\"master_size\":1,\"compare_size\":null,\"master_date\":\"2001-09-09T01:46:40Z\","
        "\"compare_date\":null,\"difference\":\"not in the compare directory\"}\n"
        "{\"result\":\"Extra\",\"path\":\"sub/x\\n.cpp\",\"master_size\":null,\"compare_size\":7,"
        "\"master_date\":null,\"compare_date\":\"2001-09-09T01:46:40Z\","
        "\"difference\":\"not in the master directory\"}\n");
}

TEST_F(Formats, MachineFormatsReadTheSameInAnotherLocaleAndTimeZone) {
    const ResultsList list = OddRows();
    const std::string csv = Saved(list, ReportFormat::Csv);
    const std::string json = Saved(list, ReportFormat::Json);
    if (!std::setlocale(LC_ALL, "C.UTF-8"))
        GTEST_SKIP() << "no C.UTF-8 locale";
    ::setenv("LC_NUMERIC", "de_DE.UTF-8", 1); // takes when installed; harmless when not
    std::setlocale(LC_ALL, "");
    ReloadLocaleForms();
    UseTimeZone("JST-9");
    EXPECT_EQ(Saved(list, ReportFormat::Csv), csv);
    EXPECT_EQ(Saved(list, ReportFormat::Json), json);
    ::unsetenv("LC_NUMERIC");
}

TEST_F(Formats, AnEmptyListGivesTheCsvHeaderAndNoJson) {
    EXPECT_EQ(Saved(ResultsList{}, ReportFormat::Csv),
              "result,path,master_size,compare_size,master_date,compare_date,difference\n");
    EXPECT_EQ(Saved(ResultsList{}, ReportFormat::Json), "");
}

struct DifferenceCase {
    const char *what;
    ResultRow row;
    const char *text;
};

TEST(Difference, SaysWhyARowDiffersAndByHowMuch) {
    const DifferenceCase cases[] = {
        {.what = "a plain match says nothing",
         .row = {.name = "f", .result = Result::Match},
         .text = ""},
        {.what = "a smaller copy",
         .row = {.name = "f", .masterSize = 5000, .compareSize = 1, .result = Result::Size},
         .text = "-4,999 bytes"},
        {.what = "a newer copy by a whole hour",
         .row = {.name = "f", .masterTime = T0, .compareTime = T0 + 3600, .result = Result::Date},
         .text = "compare newer by 1 h (whole hours: time zone or daylight saving?)"},
        {.what = "an older copy by FAT rounding",
         .row = {.name = "f", .masterTime = T0, .compareTime = T0 - 1, .result = Result::Date},
         .text = "compare older by 1 s (FAT rounding?)"},
        {.what = "days, hours, minutes and seconds",
         .row = {.name = "f",
                 .masterTime = T0,
                 .compareTime = T0 + 2 * 86400 + 3 * 3600 + 4 * 60 + 5,
                 .result = Result::Date},
         .text = "compare newer by 2 d 3 h 4 min 5 s"},
        {.what = "both size and date",
         .row = {.name = "f",
                 .masterSize = 1,
                 .masterTime = T0,
                 .compareSize = 2,
                 .compareTime = T0 + 60,
                 .result = Result::SizeAndDate},
         .text = "+1 byte; compare newer by 1 min"},
        {.what = "a two-hour shift ignored",
         .row = {.name = "f",
                 .masterTime = T0,
                 .compareTime = T0 - 7201,
                 .result = Result::Match,
                 .detail = Detail::HourShiftIgnored},
         .text = "2-hour shift ignored"},
        {.what = "a content difference",
         .row = {.name = "f",
                 .masterSize = 9,
                 .compareSize = 9,
                 .contentOffset = 4096,
                 .result = Result::Content},
         .text = "contents differ from offset 4,096"},
        {.what = "the far ends of time",
         .row = {.name = "f",
                 .masterTime = INT64_MIN,
                 .compareTime = INT64_MAX,
                 .result = Result::Date},
         .text = "compare newer by 213503982334601 d 7 h 15 s"},
    };
    for (const DifferenceCase &c : cases)
        EXPECT_EQ(DifferenceText(c.row, ","), c.text) << c.what;
}

} // namespace
} // namespace dirwise::test
