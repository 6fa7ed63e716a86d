// The text forms of a row: names escaped for display, and the words that say why a row
// differs.

#include "ResultRow.h"
#include "TextForms.h"

#include <gtest/gtest.h>

namespace dirwise::test {
namespace {

constexpr std::int64_t T0 = 1000000000; // 2001-09-09T01:46:40Z

// A row with the given sizes and times, master side first.
ResultRow Row(Result result, std::int64_t masterSize, std::int64_t compareSize,
              std::int64_t masterTime, std::int64_t compareTime, std::int64_t offset = 0,
              Detail detail = Detail::None) {
    return {"f", masterSize, masterTime, compareSize, compareTime, offset, 0, result, detail};
}

TEST(DisplayEscape, OnlyBytesThatPrintAsThemselvesStayUnescaped) {
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
        {"a right-to-left override", "a\xe2\x80\xaetxt.exe", "a\\u202etxt.exe"},
        {"the first and last embedding", "\xe2\x80\xaax\xe2\x80\xac", "\\u202ax\\u202c"},
        {"an isolate and its end", "\xe2\x81\xa6x\xe2\x81\xa9", "\\u2066x\\u2069"},
        {"directional marks", "\xd8\x9c\xe2\x80\x8e\xe2\x80\x8f", "\\u061c\\u200e\\u200f"},
        {"neighbours of the marks are text", "\xe2\x80\x8d\xe2\x80\x90\xe2\x81\xaa", "\xe2\x80\x8d\xe2\x80\x90\xe2\x81\xaa"},
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

// Every time has a valid ISO 8601 text, also where gmtime gives up (a year beyond an int).
TEST(IsoDate, EveryTimeGetsAValidIsoText) {
    const std::pair<std::int64_t, const char *> cases[] = {
        {T0, "2001-09-09T01:46:40Z"},
        {-1, "1969-12-31T23:59:59Z"},
        {951782400, "2000-02-29T00:00:00Z"},          // a leap day of a century year
        {-62167219200, "0000-01-01T00:00:00Z"},       // the first year of four digits
        {253402300799, "9999-12-31T23:59:59Z"},       // the last
        {253402300800, "+010000-01-01T00:00:00Z"},    // expanded beyond it
        {-62167219201, "-000001-12-31T23:59:59Z"},    // and before
        {INT64_MAX, "+292277026596-12-04T15:30:07Z"}, // past gmtime's range
        {INT64_MIN, "-292277022657-01-27T08:29:52Z"},
    };
    for (const auto &[seconds, text] : cases)
        EXPECT_EQ(IsoUtcText(seconds), text) << seconds;
}

// Sizes with dates and contents are joined in the engine's verification tests.
TEST(Difference, SaysWhyARowDiffersInWords) {
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
        {Row(Match, 0, 0, T0, T0 - 7201, 0, Detail::HourShiftIgnored), "2-hour shift ignored"},
        {Row(Date, 0, 0, INT64_MIN, INT64_MAX), "compare newer by 213503982334601 d 7 h 15 s"},
    };
    // clang-format on
    for (const auto &[row, text] : cases)
        EXPECT_EQ(DifferenceText(row, ","), text) << text;
}

} // namespace
} // namespace dirwise::test
