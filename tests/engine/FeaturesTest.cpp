// The compare's options beyond size and date: time tolerance, hour shifts, files only in
// the compare tree, and content verification.

#include "Compare.h"
#include "ContentCheck.h"
#include "Io.h"
#include "ResultsList.h"
#include "TempTree.h"
#include "TextForms.h"

#include <algorithm>

namespace dirwise::test {
namespace {

constexpr std::int64_t T0 = 1000000000; // 09/09/2001 01:46:40 UTC

class StopHost : public CompareHost {
public:
    std::function<bool(const Progress &)> onYield;
    std::int64_t mostBytes = 0;
    bool yield(const Progress &p) override {
        mostBytes = std::max(mostBytes, p.bytesVerified);
        return onYield && onYield(p);
    }
};

struct TimeCase {
    const char *what;
    std::int64_t gap; // compare time minus master time
    std::int64_t tolerance;
    int hourShifts;
    TimeMatch expected;
};

TEST(TimeRule, ToleranceAndHourShiftBoundariesBothWays) {
    const TimeCase cases[] = {
        {.what = "equal", .gap = 0, .tolerance = 0, .hourShifts = 0, .expected = TimeMatch::Exact},
        {.what = "one second with none allowed",
         .gap = 1,
         .tolerance = 0,
         .hourShifts = 0,
         .expected = TimeMatch::Differs},
        {.what = "at the tolerance, later",
         .gap = 2,
         .tolerance = 2,
         .hourShifts = 0,
         .expected = TimeMatch::WithinTolerance},
        {.what = "at the tolerance, earlier",
         .gap = -2,
         .tolerance = 2,
         .hourShifts = 0,
         .expected = TimeMatch::WithinTolerance},
        {.what = "past the tolerance, later",
         .gap = 3,
         .tolerance = 2,
         .hourShifts = 0,
         .expected = TimeMatch::Differs},
        {.what = "past the tolerance, earlier",
         .gap = -3,
         .tolerance = 2,
         .hourShifts = 0,
         .expected = TimeMatch::Differs},
        {.what = "an hour without shifts",
         .gap = 3600,
         .tolerance = 0,
         .hourShifts = 0,
         .expected = TimeMatch::Differs},
        {.what = "an hour later",
         .gap = 3600,
         .tolerance = 0,
         .hourShifts = 1,
         .expected = TimeMatch::HourShift},
        {.what = "an hour earlier",
         .gap = -3600,
         .tolerance = 0,
         .hourShifts = 1,
         .expected = TimeMatch::HourShift},
        {.what = "an hour and a second, exact",
         .gap = 3601,
         .tolerance = 0,
         .hourShifts = 1,
         .expected = TimeMatch::Differs},
        {.what = "an hour and two seconds within 2",
         .gap = 3602,
         .tolerance = 2,
         .hourShifts = 1,
         .expected = TimeMatch::HourShift},
        {.what = "an hour less three seconds within 2",
         .gap = -3597,
         .tolerance = 2,
         .hourShifts = 1,
         .expected = TimeMatch::Differs},
        {.what = "two hours with one allowed",
         .gap = 7200,
         .tolerance = 0,
         .hourShifts = 1,
         .expected = TimeMatch::Differs},
        {.what = "two hours with two allowed",
         .gap = -7200,
         .tolerance = 0,
         .hourShifts = 2,
         .expected = TimeMatch::HourShift},
        {.what = "half way to the next hour",
         .gap = 5400,
         .tolerance = 1800,
         .hourShifts = 1,
         .expected = TimeMatch::HourShift},
        {.what = "the far ends of time",
         .gap = 0,
         .tolerance = 5,
         .hourShifts = 3,
         .expected = TimeMatch::Exact},
    };
    for (const TimeCase &c : cases)
        EXPECT_EQ(CompareTimes(T0, T0 + c.gap, c.tolerance, c.hourShifts), c.expected) << c.what;
    EXPECT_EQ(CompareTimes(INT64_MIN, INT64_MAX, INT64_MAX, 1000), TimeMatch::Differs)
        << "a gap beyond 64 bits must not wrap into the tolerance";
}

class Features : public ::testing::Test {
protected:
    void SetUp() override {
        UseTimeZone("UTC0");
        t.dir("m");
        t.dir("c");
    }
    CompareOptions options() const {
        CompareOptions o;
        o.masterDir = t.path("m");
        o.compareDir = t.path("c");
        return o;
    }
    // "result /dir/name" per row.
    std::string Rows() const {
        std::string out;
        for (std::size_t i = 0; i < list.Count(); ++i)
            out +=
                list.Text(i, Column::Result) + " " + list.RelativeDir(i) + list.Row(i).name + "\n";
        return out;
    }
    TempTree t;
    ResultsList list;
    StopHost host;
};

TEST_F(Features, ToleranceAndHourShiftsMakeMatchesThatSayWhy) {
    t.file("m/fat", 1, T0);
    t.file("c/fat", 1, T0 + 2);
    t.file("m/dst", 1, T0);
    t.file("c/dst", 1, T0 - 3600);
    CompareOptions o = options();
    o.matchDate = true;
    o.timeTolerance = 2;
    o.hourShifts = 1;
    const CompareSummary s = RunCompare(o, list, host);
    EXPECT_EQ(s.different, 0);
    ASSERT_EQ(Rows(), "Match /dst\nMatch /fat\n");
    EXPECT_EQ(list.Text(0, Column::Difference), "1-hour shift ignored");
    EXPECT_EQ(list.Text(1, Column::Difference),
              "within tolerance (compare newer by 2 s (FAT rounding?))");
    o.timeTolerance = 1;
    o.hourShifts = 0;
    EXPECT_EQ(RunCompare(o, list, host).different, 2) << "the options are not remembered";
}

TEST_F(Features, ExtrasFollowTheFiltersAndCountApart) {
    for (const char *f : {"m/a.txt", "c/a.txt", "c/left.txt", "c/left.log", "c/.hidden.txt",
                          "c/only/deep/x.txt", "c/sub/y.txt", "m/sub/z.txt", "c/sub/z.txt"})
        t.file(f, 1);
    t.dir("m/sub/y.txt"); // a directory where the compare tree has a file
    CompareOptions o = options();
    o.listExtras = true;
    o.hideMatches = true;
    o.excludeMode = false;
    o.extensions[0] = "txt";
    const CompareSummary s = RunCompare(o, list, host);
    EXPECT_EQ(Rows(),
              "Extra /.hidden.txt\nExtra /left.txt\nExtra /only/deep/x.txt\nExtra /sub/y.txt\n")
        << "matches are hidden, extras never; the log is not included";
    EXPECT_EQ(s.extras, 4);
    EXPECT_EQ(s.total(), 2);
    EXPECT_EQ(s.different, 0);
    EXPECT_EQ(SummaryLines(s).back(), "Extra Files: 4");
    EXPECT_EQ(list.Text(0, Column::MasterSize) + list.Text(0, Column::MasterDate), "");
    EXPECT_EQ(list.Text(0, Column::CompareSize), SizeText(1));
    o.subDirs = false;
    RunCompare(o, list, host);
    EXPECT_EQ(Rows(), "Extra /.hidden.txt\nExtra /left.txt\n");
    o.listExtras = false;
    EXPECT_EQ(SummaryLines(RunCompare(o, list, host)).back(), "Different Files: 0");
}

TEST_F(Features, ExtrasPassDiagnosesUnreadableCompareFilesAndStops) {
    t.file("m/a", 1);
    t.file("c/a", 1);
    for (int i = 0; i < 5; ++i)
        t.file("c/x" + std::to_string(i), 1);
    t.symlink("c/dangling", "nowhere");
    CompareOptions o = options();
    o.listExtras = true;
    const CompareSummary s = RunCompare(o, list, host);
    ASSERT_EQ(s.notCompared.size(), 1u);
    EXPECT_EQ(s.notCompared[0].path, t.path("c/dangling"));
    EXPECT_EQ(s.extras, 5);
    int extraYields = 0;
    host.onYield = [&](const Progress &p) {
        return p.phase == Phase::Extras && ++extraYields == 4;
    };
    const CompareSummary stopped = RunCompare(o, list, host);
    EXPECT_TRUE(stopped.stopped);
    EXPECT_LT(stopped.extras, 5);
}

TEST_F(Features, ExtrasAreNotComparedWhenTheMasterRootVanishes) {
    t.file("m/a", 1);
    t.file("c/a", 1);
    t.file("c/b", 1);
    CompareOptions o = options();
    o.listExtras = true;
    host.onYield = [&](const Progress &p) {
        if (p.phase == Phase::Extras)
            t.remove("m");
        return false;
    };
    const CompareSummary s = RunCompare(o, list, host);
    EXPECT_EQ(s.extras, 0) << "an unplugged master drive made every file an extra";
    EXPECT_EQ(s.notCompared.size(), 2u);
}

struct VerifyCase {
    const char *what;
    std::string master, compare; // contents
    bool matchSize;
    const char *result;
    const char *difference;
};

TEST_F(Features, VerificationReadsMatchingPairs) {
    const std::string big(3 * 1024 * 1024 + 17, 'b'); // crosses several read blocks
    std::string lastDiffers = big, firstDiffers = big;
    lastDiffers.back() = 'x';
    firstDiffers.front() = 'x';
    const VerifyCase cases[] = {
        {.what = "the same bytes",
         .master = big,
         .compare = big,
         .matchSize = true,
         .result = "Match",
         .difference = ""},
        {.what = "the first byte differs",
         .master = big,
         .compare = firstDiffers,
         .matchSize = true,
         .result = "Content",
         .difference = "contents differ from offset 0"},
        {.what = "the last byte differs",
         .master = big,
         .compare = lastDiffers,
         .matchSize = true,
         .result = "Content",
         .difference = "contents differ from offset 3,145,744"},
        {.what = "two empty files",
         .master = "",
         .compare = "",
         .matchSize = true,
         .result = "Match",
         .difference = ""},
        {.what = "other sizes with sizes not matched",
         .master = "abc",
         .compare = "abcd",
         .matchSize = false,
         .result = "Content",
         .difference = "+1 byte; contents differ from offset 3"},
    };
    for (const VerifyCase &c : cases) {
        WriteFile(t.path("m/f"), c.master);
        WriteFile(t.path("c/f"), c.compare);
        t.setTime("m/f", T0);
        t.setTime("c/f", T0);
        CompareOptions o = options();
        o.verifyContents = true;
        o.matchSize = c.matchSize;
        o.matchDate = true;
        const CompareSummary s = RunCompare(o, list, host);
        SCOPED_TRACE(c.what);
        ASSERT_EQ(list.Count(), 1u);
        EXPECT_EQ(list.Text(0, Column::Result), c.result);
        EXPECT_EQ(list.Text(0, Column::Difference), c.difference);
        EXPECT_EQ(s.different, std::string(c.result) == "Match" ? 0 : 1);
    }
}

TEST_F(Features, ADateOnlyPairIsReadAndSaysWhetherItsContentIsTheSame) {
    WriteFile(t.path("m/same"), "hello");
    WriteFile(t.path("c/same"), "hello");
    WriteFile(t.path("m/other"), "hello");
    WriteFile(t.path("c/other"), "hellO");
    for (const char *f : {"m/same", "m/other"})
        t.setTime(f, T0);
    for (const char *f : {"c/same", "c/other"})
        t.setTime(f, T0 + 60);
    CompareOptions o = options();
    o.verifyContents = true;
    o.matchDate = true;
    RunCompare(o, list, host);
    ASSERT_EQ(Rows(), "Date /other\nDate /same\n");
    EXPECT_EQ(list.Text(0, Column::Difference), "compare newer by 1 min; content differs");
    EXPECT_EQ(list.Text(1, Column::Difference), "compare newer by 1 min; same content");
}

TEST_F(Features, VerificationNeverOpensSpecialFilesAndNamesUnreadableOnes) {
    t.fifo("m/pipe");
    t.fifo("c/pipe");
    WriteFile(t.path("m/secret"), "abc");
    WriteFile(t.path("c/secret"), "abc");
    WriteFile(t.path("m/ok"), "abc");
    WriteFile(t.path("c/ok"), "abc");
    ::chmod(t.root().c_str(), 0755);
    for (const char *d : {"m", "c"})
        ::chmod(t.path(d).c_str(), 0755);
    ::chmod(t.path("c/secret").c_str(), 0);
    const ChildResult r = RunInChild(
        [&](std::string &out) {
            if (!DropRootInChild() || ::access(t.path("c/secret").c_str(), R_OK) == 0)
                return 77;
            CompareOptions o = options();
            o.verifyContents = true;
            const CompareSummary s = RunCompare(o, list, host);
            out = Rows();
            for (const Diagnostic &d : s.notCompared)
                out += "not compared " + d.path + " " + std::to_string(d.error) + "\n";
            return 0;
        },
        30);
    if (r.status == 77)
        GTEST_SKIP() << "cannot make a file unreadable for this process";
    EXPECT_EQ(r.status, 0) << "-1: hung opening a FIFO";
    EXPECT_EQ(r.out, "Match /ok\nMatch /pipe\nnot compared " + t.path("c/secret") + " " +
                         std::to_string(EACCES) + "\n");
}

TEST_F(Features, TheContentCheckerNeverBlocksOnAFifoPutInAFilesPlace) {
    t.fifo("m/p");
    WriteFile(t.path("c/p"), "x");
    const ChildResult r = RunInChild(
        [&](std::string &out) {
            const UniqueFd m(::open(t.path("m").c_str(), O_PATH | O_DIRECTORY));
            const UniqueFd c(::open(t.path("c").c_str(), O_PATH | O_DIRECTORY));
            ContentChecker checker(4096);
            const ContentVerdict v = checker.Compare(m.get(), "p", c.get(), "p", {});
            out = v.outcome == ContentVerdict::Outcome::NotRegular ? "not regular" : "read";
            return 0;
        },
        10);
    EXPECT_EQ(r.status, 0) << "-1: the checker hung opening a FIFO";
    EXPECT_EQ(r.out, "not regular");
}

TEST_F(Features, StopIsSeenInsideALargeFile) {
    const std::string big(8 * 1024 * 1024, 'z');
    WriteFile(t.path("m/big"), big);
    WriteFile(t.path("c/big"), big);
    CompareOptions o = options();
    o.verifyContents = true;
    host.onYield = [](const Progress &p) { return p.bytesVerified > 0; };
    const CompareSummary s = RunCompare(o, list, host);
    EXPECT_TRUE(s.stopped);
    EXPECT_EQ(list.Count(), 0u) << "a pair stopped half way got a row";
    EXPECT_LT(host.mostBytes, static_cast<std::int64_t>(2 * big.size()))
        << "the stop waited for the end of the file";
}

} // namespace
} // namespace dirwise::test
