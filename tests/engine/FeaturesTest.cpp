// The compare's options beyond size and date: time tolerance, hour shifts, files only in
// the compare tree, and content verification.

#include "EngineTestSupport.h"
#include "Io.h"

namespace dirwise::test {
namespace {

TEST(TimeRule, BoundariesOfToleranceOrHourShiftsHoldBothWays) {
    const struct {
        std::int64_t gap, tolerance; // the gap: compare time minus master time
        int hourShifts;
        TimeMatch expected;
    } cases[] = {
        {0, 0, 0, TimeMatch::Exact},
        {1, 0, 0, TimeMatch::Differs},
        {2, 2, 0, TimeMatch::WithinTolerance},
        {-2, 2, 0, TimeMatch::WithinTolerance},
        {3, 2, 0, TimeMatch::Differs},
        {-3, 2, 0, TimeMatch::Differs},
        {3600, 0, 0, TimeMatch::Differs},
        {3600, 0, 1, TimeMatch::HourShift},
        {-3600, 0, 1, TimeMatch::HourShift},
        {3601, 0, 1, TimeMatch::Differs},
        {3602, 2, 1, TimeMatch::HourShift},
        {-3597, 2, 1, TimeMatch::Differs},
        {7200, 0, 1, TimeMatch::Differs},
        {-7200, 0, 2, TimeMatch::HourShift},
        {5400, 1800, 1, TimeMatch::HourShift}, // half way to the next hour
        {0, 5, 3, TimeMatch::Exact},           // equal stays exact whatever is allowed
        // Shifts of two hours and more, at the tolerance's edges on both sides of the hour.
        {7202, 2, 2, TimeMatch::HourShift},
        {7203, 2, 2, TimeMatch::Differs},
        {-7198, 2, 2, TimeMatch::HourShift},
        {-7197, 2, 2, TimeMatch::Differs},
        {10798, 2, 3, TimeMatch::HourShift},
        {-10802, 2, 3, TimeMatch::HourShift},
        {10800, 2, 2, TimeMatch::Differs}, // three hours with two allowed
        {14398, 2, 3, TimeMatch::Differs}, // near the fourth hour, not allowed
    };
    for (const auto &c : cases)
        EXPECT_EQ(CompareTimes(T0, T0 + c.gap, c.tolerance, c.hourShifts), c.expected)
            << c.gap << " s apart, " << c.tolerance << " s allowed, " << c.hourShifts << " h";
    EXPECT_EQ(CompareTimes(INT64_MIN, INT64_MAX, INT64_MAX, 1000), TimeMatch::Differs)
        << "a gap beyond 64 bits must not wrap into the tolerance";
}

class Features : public EngineRun {};

TEST_F(Features, AllowedTimeGapsMakeMatchesThatSayWhy) {
    t.file("m/fat", 1, T0);
    t.file("c/fat", 1, T0 + 2);
    t.file("m/dst", 1, T0);
    t.file("c/dst", 1, T0 - 3600);
    CompareOptions o = Options(t);
    o.matchDate = true;
    o.timeTolerance = 2;
    o.hourShifts = 1;
    run(o);
    EXPECT_EQ(Rows(list, true),
              "Match /dst 1-hour shift ignored\n"
              "Match /fat within tolerance (compare newer by 2 s (FAT rounding?))\n");
    o.timeTolerance = 1;
    o.hourShifts = 0;
    EXPECT_EQ(run(o).different, 2) << "the options are not remembered";
}

// Times that count as equal leave a size difference alone: Size, never Size&Date.
TEST_F(Features, ASizeDifferenceWithTimesThatCountAsEqualIsSizeAlone) {
    t.file("m/far", 1, T0);
    t.file("c/far", 2, T0 + 3);
    t.file("m/shift", 1, T0);
    t.file("c/shift", 2, T0 - 7200 + 2);
    t.file("m/tol", 1, T0);
    t.file("c/tol", 2, T0 - 2);
    CompareOptions o = Options(t);
    o.matchDate = true;
    o.timeTolerance = 2;
    o.hourShifts = 2;
    run(o);
    EXPECT_EQ(Rows(list), "Size&Date /far\nSize /shift\nSize /tol\n");
}

TEST_F(Features, ExtrasFollowTheFiltersButCountApart) {
    for (const char *f : {"m/a.txt", "c/a.txt", "c/left.txt", "c/left.log", "c/.hidden.txt",
                          "c/only/deep/x.txt", "c/sub/y.txt", "m/sub/z.txt", "c/sub/z.txt"})
        t.file(f, 1);
    t.dir("m/sub/y.txt"); // a directory where the compare tree has a file
    CompareOptions o = Options(t);
    o.listExtras = true;
    o.hideMatches = true;
    o.excludeMode = false;
    o.extensions[0] = "txt";
    const CompareSummary s = run(o);
    EXPECT_EQ(Rows(list),
              "Extra /.hidden.txt\nExtra /left.txt\nExtra /only/deep/x.txt\nExtra /sub/y.txt\n")
        << "matches are hidden, extras never; the log is not included";
    EXPECT_EQ(SummaryText(s), "Dirwise complete.\r\rTotal Files: 2\rMatching Files: 2\r"
                              "Different Files: 0\rExtra Files: 4");
    EXPECT_EQ(list.Text(0, Column::MasterSize) + list.Text(0, Column::MasterDate), "");
    EXPECT_EQ(list.Row(0).compareSize, 1);
    o.subDirs = false;
    run(o);
    EXPECT_EQ(Rows(list), "Extra /.hidden.txt\nExtra /left.txt\n");
}

// Five compare-only files, and a link in a loop that cannot be read.
struct Extras : EngineRun {
    Extras() {
        t.file("m/a", 1);
        t.file("c/a", 1);
        for (int i = 0; i < 5; ++i)
            t.file("c/x" + std::to_string(i), 1);
        t.symlink("c/looping", "looping");
        o.listExtras = true;
    }
    CompareOptions o = Options(t);
};

TEST_F(Extras, AnUnreadableCompareFileIsNamedOnTheCompareSide) {
    const CompareSummary s = run(o);
    EXPECT_EQ(s.notCompared, (std::vector<Diagnostic>{{Side::Compare, Problem::FactsNotRead,
                                                       t.path("c"), "looping", ELOOP}}));
    EXPECT_EQ(s.extras, 5);
    EXPECT_EQ(s.total(), 1) << "an unreadable compare-only file is no master file";
}

TEST_F(Extras, AStopDuringTheExtrasPassKeepsTheExtrasSoFar) {
    host.onYield = [](int, const Progress &p) {
        return p.phase == Phase::Extras && p.compared == 3;
    };
    const CompareSummary stopped = run(o);
    EXPECT_TRUE(stopped.stopped);
    EXPECT_LT(stopped.extras, 5);
}

TEST_F(Extras, AMasterRootGoneMeanwhileMakesNoExtras) {
    // The master root goes (a drive unplugged) while the compare tree is walked.
    host.onYield = [&](int, const Progress &p) {
        if (p.phase == Phase::Extras)
            t.remove("m");
        return false;
    };
    const CompareSummary gone = run(o);
    EXPECT_EQ(gone.extras, 0) << "an unplugged master drive made every file an extra";
    EXPECT_EQ(gone.notCompared.size(), 7u) << "every compare file";
    EXPECT_EQ(gone.notCompared[0].side, Side::Master) << "the master file that went";
    EXPECT_EQ(gone.total(), 1) << "the master file compared before the drive went";
    EXPECT_EQ(gone.matching(), 1);
}

TEST_F(Features, VerificationReadsPairsTheirMetadataLeavesOpen) {
    const std::string big(3 * 1024 * 1024 + 17, 'b'); // crosses several read blocks
    std::string lastDiffers = big, firstDiffers = big;
    lastDiffers.back() = 'x';
    firstDiffers.front() = 'x';
    const struct {
        std::string master, compare; // contents
        bool matchSize;
        std::int64_t gap; // compare time minus master time
        std::string result, difference;
    } cases[] = {
        {big, big, true, 0, "Match", ""},
        {big, firstDiffers, true, 0, "Content", "contents differ from offset 0"},
        {big, lastDiffers, true, 0, "Content", "contents differ from offset 3,145,744"},
        {"", "", true, 0, "Match", ""},
        {"abc", "abcd", false, 0, "Content", "+1 byte; contents differ from offset 3"},
        {"hello", "hello", true, 60, "Date", "compare newer by 1 min; same content"},
        {"hello", "hellO", true, 60, "Date", "compare newer by 1 min; content differs"},
    };
    for (const auto &c : cases) {
        WriteFile(t.path("m/f"), c.master);
        WriteFile(t.path("c/f"), c.compare);
        t.setTime("m/f", T0);
        t.setTime("c/f", T0 + c.gap);
        CompareOptions o = Options(t);
        o.verifyContents = true;
        o.matchSize = c.matchSize;
        o.matchDate = true;
        const CompareSummary s = run(o);
        EXPECT_EQ(Rows(list, true), c.result + " /f " + c.difference + "\n");
        EXPECT_EQ(s.different, c.result == "Match" ? 0 : 1) << c.difference;
    }
}

// FIFOs are never opened; a file that cannot be read, small or larger than a read block (then
// read on its own by a worker), is not compared, and the run goes on.
TEST_F(Features, VerificationNeverOpensSpecialFilesButNamesUnreadableOnes) {
    for (const std::string side : {"m/", "c/"}) {
        t.fifo(side + "pipe");
        for (const char *f : {"big", "big-secret"})
            t.file(side + f, 600 * 1024);
        for (const char *f : {"small", "small-secret"})
            t.file(side + f, 3);
    }
    ::chmod(t.root().c_str(), 0755);
    ::chmod(t.path("m/big-secret").c_str(), 0);
    ::chmod(t.path("c/small-secret").c_str(), 0);
    CompareOptions o = Options(t);
    o.verifyContents = true;
    const ChildResult r = CompareInChild(o, host, [&] {
        return DropRootInChild() && ::access(t.path("c/small-secret").c_str(), R_OK) != 0;
    });
    if (r.status == 77)
        GTEST_SKIP() << "cannot make a file unreadable for this process";
    EXPECT_EQ(r.status, 0) << "-1: hung opening a FIFO";
    EXPECT_EQ(r.out, "Match /big\nMatch /pipe\nMatch /small\n" +
                         NotComparedLine(t.path("m/big-secret"), EACCES) +
                         NotComparedLine(t.path("c/small-secret"), EACCES) + "Not Compared: 2\n");
}

// Listed as a file, a FIFO may take a file's place before its bytes are read.
TEST_F(Features, OpeningForBytesNeverBlocksOnAFifoPutInAFilesPlace) {
    t.fifo("m/p");
    const ChildResult r = RunInChild(
        [&](std::string &out) {
            const UniqueFd m(::open(t.path("m").c_str(), O_PATH | O_DIRECTORY));
            const OpenedFile f = OpenRegular(m.get(), "p", 4096);
            out = !f.regular && !f.fd ? "not regular" : "opened";
            return 0;
        },
        10);
    EXPECT_EQ(r.status, 0) << "-1: hung opening a FIFO";
    EXPECT_EQ(r.out, "not regular");
}

} // namespace
} // namespace dirwise::test
