// The engine: patterns, the scan, and the compare run with its
// classification, modes, stop, links, special files, unreadable places and extremes.

#include "Compare.h"
#include "FileScan.h"
#include "Report.h"
#include "ResultsList.h"
#include "TempTree.h"

namespace dirwise::test {
namespace {

constexpr std::int64_t T0 = 1000000000; // 09/09/2001 01:46:40 UTC

// A host that counts yields and runs a callback at each (1-based number).
class TestHost : public CompareHost {
public:
    std::function<void(int)> onYield;
    int yields = 0;
    void yield() override {
        ++yields;
        if (onYield) onYield(yields);
    }
};

// Each row as "result /dir/name", one line each: short to write and readable when it differs.
std::string Rows(const ResultsList &list) {
    std::string out;
    for (std::size_t i = 0; i < list.Count(); ++i)
        out += list.Text(i, Column::Result) + " " + list.RelativeDir(i) + list.Row(i).name + "\n";
    return out;
}

TEST(Scan, PatternsByteOrderDepthFirstDottedDirectoriesRecursionAndRoots) {
    const std::tuple<const char *, const char *, bool> patterns[] = {
        {"*.*", "noextension", true}, {"*.TXT", "a.txt", true},   {"*.txt", "mytxt", false},
        {"*.t?t", "a.tXt", true},     {"?.txt", "\xff.txt", true}, {"?.txt", "ab.txt", false},
        {"*.\xc3\x89", "a.\xc3\xa9", false}}; // only ASCII letters fold
    for (const auto &[pattern, name, matches] : patterns)
        EXPECT_EQ(MatchPattern(pattern, name), matches) << pattern << " vs " << name;
    TempTree t;
    for (const char *f : {"z.log", "b.txt", "\xc3\xa9.txt", "B.txt", "a.txt", ".dot.txt", "sub2/s.txt",
                          "sub2/deeper/y.txt", "Sub1/t.txt", "data.old/d.txt", ".hidden/h.txt"})
        t.file(std::string("m/") + f, 1);
    const std::string top = "/.dot.txt /B.txt /a.txt /b.txt /z.log /\xc3\xa9.txt ";
    const std::string all = top + "/.hidden/h.txt /Sub1/t.txt /data.old/d.txt /sub2/s.txt /sub2/deeper/y.txt ";
    // A missing or empty root lists nothing and says so; the empty one is never "/".
    const std::tuple<std::string, bool, std::string> cases[] = {
        {t.path("m"), true, all}, {t.path("m") + "/", true, all}, {t.path("m"), false, top},
        {t.path("nothing"), true, ""}, {"", true, ""}};
    for (const auto &[root, recursive, expected] : cases) {
        ScanState state;
        TestHost host;
        ScanDirectory(state, host, root, {"*.*"}, recursive);
        std::string got;
        for (std::size_t i = 0; i < state.ScanFileNames.size(); ++i) {
            const std::string rel = state.RelativeDir(state.ScanFileDirs[i]) + state.ScanFileNames[i];
            got += rel + " ";
            EXPECT_EQ(state.ScanFilePath(i), t.path("m") + rel); // one separator, whatever the root
        }
        EXPECT_EQ(got, expected) << root;
        EXPECT_EQ(state.ScanFileCount, static_cast<std::int64_t>(state.ScanFileNames.size()));
        EXPECT_EQ(state.Diagnostics.size(), expected.empty() ? 1u : 0u);
    }
}

class CompareRun : public ::testing::Test {
protected:
    void SetUp() override { UseTimeZone("UTC0"); }
    CompareOptions options(const TempTree &tree) const {
        CompareOptions o; // the first-start defaults: subdirectories, size only, exclude mode
        o.masterDir = tree.path("m");
        o.compareDir = tree.path("c");
        return o;
    }
    CompareSummary run(const CompareOptions &o) { return RunCompare(o, state, list, host); }
    CompareSummary run() { return run(options(t)); }
    // Runs the compare in a child under a watchdog, so a hang or a loop fails only this test.
    // `prepare` runs first in the child; when it returns false the child ends with 77.
    ChildResult runInChild(const CompareOptions &o, const std::function<bool()> &prepare = {}) {
        return RunInChild([&](std::string &out) {
            if (prepare && !prepare()) return 77;
            const CompareSummary s = run(o);
            out = Rows(list);
            for (const Diagnostic &d : s.notCompared)
                out += "not compared " + d.path + " " + std::to_string(d.error) + "\n";
            out += SummaryLines(s).back() + "\n";
            return 0;
        }, 120);
    }
    TempTree t;
    ScanState state;
    ResultsList list;
    TestHost host;
};

TEST_F(CompareRun, ClassificationTableIncludingGrayedValues) {
    // Size and date check boxes, whether size and date differ, the result (none: no row,
    // counted as matching).
    const std::tuple<int, int, bool, bool, const char *> cases[] = {
        {1, 0, false, false, "Match"}, {1, 0, false, true, "Match"}, {1, 0, true, false, "Size"},
        {1, 0, true, true, "Size"},    {0, 1, false, false, "Match"}, {0, 1, true, false, "Match"},
        {0, 1, false, true, "Date"},   {0, 1, true, true, "Date"},    {1, 1, false, false, "Match"},
        {1, 1, true, false, "Size"},   {1, 1, false, true, "Date"},   {1, 1, true, true, "Size&Date"},
        // 2 is the grayed check box: it counts as clear.
        {2, 1, true, false, "Match"},  {2, 1, false, true, "Date"},   {1, 2, true, true, "Size"},
        {0, 0, true, true, nullptr},   {2, 2, true, true, nullptr},   {2, 0, true, false, nullptr},
        {0, 2, false, true, nullptr},
    };
    t.file("m/f.bin", 10, T0);
    for (const auto &[checkSize, checkDate, sizeDiffers, dateDiffers, expected] : cases) {
        t.file("c/f.bin", sizeDiffers ? 11 : 10, dateDiffers ? T0 + 60 : T0);
        for (bool hide : {false, true}) {
            CompareOptions o = options(t);
            o.checkSize = checkSize;
            o.checkDate = checkDate;
            o.hideMatches = hide;
            const CompareSummary s = run(o);
            SCOPED_TRACE(::testing::Message() << checkSize << checkDate << sizeDiffers << dateDiffers << hide);
            const bool different = expected && std::string(expected) != "Match";
            ASSERT_EQ(list.Count(), expected && (different || !hide) ? 1u : 0u);
            if (list.Count() == 1) {
                EXPECT_EQ(list.Text(0, Column::Result), expected);
                EXPECT_STREQ(IconKeyText(IconKeyOf(list.Row(0).result)), different ? "Different" : "Match");
            }
            EXPECT_EQ(s.total(), 1);
            EXPECT_EQ(s.different, different ? 1 : 0);
        }
    }
}

TEST_F(CompareRun, IncludeAndExcludeModesWithTheBoxRewrite) {
    for (const char *f : {"a.txt", "A.TXT", "mytxt", "b.log", "c.tar.gz", "d.gz", "s/z.txt"}) {
        t.file(std::string("m/") + f, 1);
        t.file(std::string("c/") + f, 1);
    }
    // Exclude mode or not, the boxes as typed (rewritten as a run does), the rows, excluded.
    const std::tuple<bool, std::vector<std::string>, std::string, std::int64_t> cases[] = {
        {true, {"txt"}, "/b.log /c.tar.gz /d.gz /mytxt ", 3},
        {true, {" *.TXT"}, "/b.log /c.tar.gz /d.gz /mytxt ", 3},
        {true, {" txt"}, "/A.TXT /a.txt /b.log /c.tar.gz /d.gz /mytxt /s/z.txt ", 0},
        {true, {"tar.gz"}, "/A.TXT /a.txt /b.log /mytxt /s/z.txt ", 2},
        {true, {"*.tar.gz"}, "/A.TXT /a.txt /b.log /d.gz /mytxt /s/z.txt ", 1},
        {true, {"", "LOG", "", "gz"}, "/A.TXT /a.txt /mytxt /s/z.txt ", 3},
        {false, {" log "}, "/b.log ", 0},
        {false, {"*.tar.gz"}, "/c.tar.gz ", 0},
        {false, {"txt", "TXT"}, "/A.TXT /a.txt /A.TXT /a.txt /s/z.txt /s/z.txt ", 0}, // given twice
        {false, {"*.", "."}, "", 0},
    };
    for (const auto &[exclude, typed, expected, excluded] : cases) {
        CompareOptions o = options(t);
        o.excludeMode = exclude;
        for (std::size_t k = 0; k < typed.size(); ++k)
            o.extensions[k] = RewriteExtensionBox(typed[k]);
        const CompareSummary s = run(o);
        std::string rows;
        for (std::size_t i = 0; i < list.Count(); ++i)
            rows += list.RelativeDir(i) + list.Row(i).name + " ";
        SCOPED_TRACE(::testing::Message() << exclude << ::testing::PrintToString(typed));
        EXPECT_EQ(rows, expected);
        EXPECT_EQ(s.excluded, excluded);
        EXPECT_EQ(s.total(), static_cast<std::int64_t>(list.Count()));
    }
}

// Every file is Not Found, so every compare-phase yield follows a new row: the list's count
// at a yield tells the scan (0) from the compare phase.
TEST_F(CompareRun, StopAtEveryYieldOfTheScanAndOfTheComparePhase) {
    for (const char *f : {"a", "b", "c", "s/d", "s/e", "s/t/f"}) t.file(std::string("m/") + f, 1);
    t.dir("c");
    std::vector<std::size_t> rowsAt = {0};
    host.onYield = [&](int) { rowsAt.push_back(list.Count()); };
    ASSERT_FALSE(run().stopped);
    const std::string fullRows = Rows(list);
    const int total = host.yields; // one before the scan, per directory entry (8), per file (6)
    ASSERT_GE(total, 1 + 8 + 6);
    for (int k = 1; k <= total; ++k) {
        TestHost stopper;
        stopper.onYield = [&](int n) { state.StopRequested = state.StopRequested || n == k; };
        const CompareSummary s = RunCompare(options(t), state, list, stopper);
        SCOPED_TRACE(::testing::Message() << "stop at yield " << k << " of " << total);
        EXPECT_FALSE(state.StopRequested);
        // The yield before the scan: the reset of the scanner discards that stop.
        EXPECT_EQ(SummaryText(s) == "Dirwise stopped." && s.stopped, k > 1);
        ASSERT_EQ(list.Count(), k == 1 ? 6 : rowsAt[static_cast<std::size_t>(k)]);
        // No file is compared after the stop: in the compare phase not even one more yield;
        // a stop in the scan may still pass the one yield between the phases.
        EXPECT_LE(stopper.yields, k == 1 ? total : list.Count() == 0 ? k + 1 : k);
        EXPECT_EQ(fullRows.rfind(Rows(list), 0), 0u);
    }
    // The flag was cleared: the next run completes.
    EXPECT_EQ(SummaryText(run()), "Dirwise complete.\r\rTotal Files: 6\rMatching Files: 0\rDifferent Files: 6");
}

TEST_F(CompareRun, LinksLoopsFifosAndThingsInTheWayOnBothSides) {
    for (const char *f : {"m/a.txt", "c/a.txt", "m/c.txt", "m/f", "m/dsub/g", "c/dsub", "m/sub/d.txt",
                          "c/sub/d.txt", "m/sub/x/e.txt", "c/sub/x/e.txt", "c/only-here"})
        t.file(f, 1);
    t.symlink("m/b.lnk", "nowhere"); // master side: metadata unreadable
    t.symlink("c/c.txt", "nowhere"); // compare side: looked for, not there
    t.dir("c/f");                    // a directory where the master has a file
    for (const char *f : {"m/p", "c/p", "m/q", "c/r"}) t.fifo(f); // opening one would block
    t.file("m/r", 0);
    t.symlink("m/sub/up", "..");
    t.symlink("m/sub/self", ".");
    t.symlink("m/sub/abs", t.path("m"));
    t.symlink("m/sub/x/top", "../..");
    t.symlink("m/y", "sub/x"); // not an ancestor: entered, and its loop passed over there
    const ChildResult r = runInChild(options(t));
    EXPECT_EQ(r.status, 0) << "hung or crashed";
    EXPECT_EQ(r.out, "Match /a.txt\nNot Found /c.txt\nNot Found /f\nMatch /p\nNot Found /q\nMatch /r\n"
                     "Not Found /dsub/g\nMatch /sub/d.txt\nMatch /sub/x/e.txt\nNot Found /y/e.txt\n"
                     "not compared " + t.path("m/b.lnk") + " " + std::to_string(ENOENT) + "\n"
                     "Not Compared: 1\n");
}

TEST_F(CompareRun, PlacesVanishingDuringTheRunThroughTheYieldSeam) {
    const std::tuple<std::string, bool, std::string, std::size_t, std::string> cases[] = {
        {"m/b", true, "Match /a\nMatch /c\n", 1, "Not Compared: 1"},
        {"c/b", true, "Match /a\nNot Found /b\nMatch /c\n", 0, "Different Files: 1"},
        // The compare root gone before the scan: nothing was looked for, nothing is Not Found.
        {"c", false, "", 3, "Not Compared: 3"},
    };
    for (const auto &[victim, inComparePhase, rows, notCompared, last] : cases) {
        for (const char *f : {"m/a", "c/a", "m/b", "c/b", "m/c", "c/c"}) t.file(f, 1);
        bool done = false;
        host.onYield = [&](int) {
            if (!done && (!inComparePhase || state.Phase == ScanPhase::Comparing)) {
                t.remove(victim);
                done = true;
            }
        };
        const CompareSummary s = run();
        SCOPED_TRACE(victim);
        EXPECT_TRUE(done);
        EXPECT_EQ(Rows(list), rows);
        EXPECT_EQ(s.notCompared.size(), notCompared);
        EXPECT_EQ(s.total(), static_cast<std::int64_t>(list.Count()));
        EXPECT_EQ(SummaryLines(s).back(), last);
    }
}

TEST_F(CompareRun, UnreadablePlaces) {
    ::chmod(t.root().c_str(), 0755);
    for (const char *f : {"m/a", "m/locked/x", "m/noread", "m/nosearch/y", "c/a", "c/noread", "c/nosearch/y"})
        t.file(f, 1);
    ::chmod(t.path("m/locked").c_str(), 0);
    ::chmod(t.path("c/noread").c_str(), 0); // still compared: its metadata is readable
    ::chmod(t.path("c/nosearch").c_str(), 0600);
    const ChildResult r = runInChild(options(t), [&] {
        return DropRootInChild() && ::access(t.path("m/locked").c_str(), R_OK) != 0;
    });
    if (r.status == 77) GTEST_SKIP() << "cannot make a directory unreadable for this process";
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Match /a\nMatch /noread\nnot compared " + t.path("m/locked") + "/ " +
                         std::to_string(EACCES) + "\nnot compared " + t.path("c/nosearch/y") + " " +
                         std::to_string(EACCES) + "\nNot Compared: 2\n");
}

TEST_F(CompareRun, TenThousandDeepTreeWithFewDescriptors) {
    constexpr int Depth = 10000;
    TempTree deep(true);
    ASSERT_TRUE(deep.deepFile("m", Depth, "d", "bottom.txt", 1, T0));
    ASSERT_TRUE(deep.deepFile("c", Depth, "d", "bottom.txt", 2, T0));
    const rlimit few{256, 256}; // a walk holding a descriptor per level runs out
    const ChildResult r = runInChild(options(deep), [&] { return ::setrlimit(RLIMIT_NOFILE, &few) == 0; });
    std::string dirs;
    for (int i = 0; i < Depth; ++i) dirs += "/d";
    EXPECT_EQ(r.status, 0) << "crashed or hung on a deep tree";
    EXPECT_EQ(r.out, "Size " + dirs + "/bottom.txt\nDifferent Files: 1\n");
}

} // namespace
} // namespace dirwise::test
