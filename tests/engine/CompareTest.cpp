// The compare run: classification, modes, pairing, stop, vanishing files, special files,
// unreadable places, deep trees, large sizes and times, and the summary.

#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dirwise::test {
namespace {

constexpr std::int64_t T0 = 1000000000;

class CompareRun : public ::testing::Test {
protected:
    void SetUp() override { UseTimeZone("UTC0"); }
    CompareSummary run(const CompareOptions &o) { return RunCompare(o, state, list, host); }
    TempTree t;
    ScanState state;
    ResultsList list;
    TestHost host;
};

struct ClassCase {
    int checkSize;
    int checkDate;
    bool sizeDiffers;
    bool dateDiffers;
    const char *expected; // nullptr: no row, counted as matching
    const char *icon;
};

TEST_F(CompareRun, ClassificationTableIncludingGrayedValues) {
    const ClassCase cases[] = {
        {1, 0, false, false, "Match", "Match"},   {1, 0, false, true, "Match", "Match"},
        {1, 0, true, false, "Size", "Different"}, {1, 0, true, true, "Size", "Different"},
        {0, 1, false, false, "Match", "Match"},   {0, 1, true, false, "Match", "Match"},
        {0, 1, false, true, "Date", "Different"}, {0, 1, true, true, "Date", "Different"},
        {1, 1, false, false, "Match", "Match"},   {1, 1, true, false, "Size", "Different"},
        {1, 1, false, true, "Date", "Different"}, {1, 1, true, true, "Size&Date", "Different"},
        // 2 is the grayed check box: it counts as clear.
        {2, 1, true, false, "Match", "Match"},    {2, 1, false, true, "Date", "Different"},
        {1, 2, true, true, "Size", "Different"},  {0, 0, true, true, nullptr, nullptr},
        {2, 2, true, true, nullptr, nullptr},     {2, 0, true, false, nullptr, nullptr},
        {0, 2, false, true, nullptr, nullptr},
    };
    for (const ClassCase &c : cases) {
        for (bool hide : {false, true}) {
            TempTree tree;
            tree.file("m/f.bin", 10, T0);
            tree.file("c/f.bin", c.sizeDiffers ? 11 : 10, c.dateDiffers ? T0 + 60 : T0);
            CompareOptions o = TreeOptions(tree);
            o.checkSize = c.checkSize;
            o.checkDate = c.checkDate;
            o.hideMatches = hide;
            const CompareSummary s = run(o);
            SCOPED_TRACE(::testing::Message() << "size " << c.checkSize << " date " << c.checkDate
                                              << " sizeDiffers " << c.sizeDiffers << " dateDiffers "
                                              << c.dateDiffers << " hide " << hide);
            const bool different = c.expected && std::string(c.expected) != "Match";
            const bool rowDue = c.expected && (different || !hide);
            ASSERT_EQ(list.Count(), rowDue ? 1u : 0u);
            if (rowDue) {
                EXPECT_EQ(list.Text(0, Column::Result), c.expected);
                EXPECT_STREQ(IconKeyText(IconKeyOf(list.Row(0).result)), c.icon);
                EXPECT_EQ(list.Text(0, Column::MasterSize), "000,000,010");
                EXPECT_EQ(list.Text(0, Column::CompareSize), c.sizeDiffers ? "000,000,011" : "000,000,010");
                EXPECT_EQ(list.Row(0).masterTime, T0);
                EXPECT_EQ(list.Row(0).compareTime, c.dateDiffers ? T0 + 60 : T0);
            }
            EXPECT_EQ(s.total(), 1);
            EXPECT_EQ(s.different, different ? 1 : 0);
            EXPECT_EQ(s.matching(), different ? 0 : 1);
        }
    }
}

TEST_F(CompareRun, DatesCompareToTheSecond) {
    t.file("m/f", 1);
    t.file("c/f", 1);
    t.setTime("m/f", T0, 100000000);
    t.setTime("c/f", T0, 900000000);
    t.file("m/g", 1, T0);
    t.file("c/g", 1, T0 + 1);
    CompareOptions o = TreeOptions(t);
    o.checkDate = 1;
    run(o);
    const std::vector<RowKey> expected = {{"Match", "/", "f"}, {"Date", "/", "g"}};
    EXPECT_EQ(RowKeys(list), expected);
}

TEST_F(CompareRun, NotFoundRowAndPairingByRelativePath) {
    t.file("m/root.txt", 3);
    t.file("c/root.txt", 3);
    t.file("m/sub/gone.txt", 5, T0);
    t.file("c/only-here.txt", 1);
    t.file("c/sub/other.txt", 1);
    const CompareSummary s = run(TreeOptions(t));
    ASSERT_EQ(list.Count(), 2u);
    EXPECT_EQ(list.Text(0, Column::ComparePath), t.path("c") + "/");
    EXPECT_EQ(list.Text(1, Column::Result), "Not Found");
    EXPECT_STREQ(IconKeyText(IconKeyOf(list.Row(1).result)), "NotFound");
    EXPECT_EQ(list.Text(1, Column::ComparePath), t.path("c/sub") + "/");
    EXPECT_EQ(list.Text(1, Column::FileName), "gone.txt");
    EXPECT_EQ(list.Text(1, Column::MasterSize), "000,000,005");
    EXPECT_EQ(list.Text(1, Column::MasterDate), "09/09/2001 01:46:40");
    EXPECT_EQ(list.Text(1, Column::CompareSize), "");
    EXPECT_EQ(list.Text(1, Column::CompareDate), "");
    EXPECT_EQ(s.total(), 2);
    EXPECT_EQ(s.different, 1);
}

TEST_F(CompareRun, RootsWithTrailingSeparatorGiveTheSameRows) {
    t.file("m/a.txt", 1);
    t.file("m/s/b.txt", 2);
    t.file("c/a.txt", 1);
    run(TreeOptions(t));
    const std::vector<RowKey> plain = RowKeys(list);
    const std::string plainPath = list.Text(1, Column::ComparePath);
    CompareOptions o = TreeOptions(t);
    o.masterDir += "/";
    o.compareDir += "/";
    run(o);
    EXPECT_EQ(RowKeys(list), plain);
    EXPECT_EQ(list.Text(1, Column::ComparePath), plainPath);
    EXPECT_EQ(plainPath, t.path("c/s") + "/");
}

TEST_F(CompareRun, HiddenMatchesAddNoRowButCount) {
    t.file("m/a", 1);
    t.file("c/a", 2);
    t.file("m/b", 1);
    t.file("c/b", 1);
    CompareOptions o = TreeOptions(t);
    o.hideMatches = true;
    const CompareSummary s = run(o);
    ASSERT_EQ(list.Count(), 1u);
    EXPECT_EQ(list.Text(0, Column::FileName), "a");
    EXPECT_EQ(list.Text(0, Column::CompareSize), "000,000,002");
    EXPECT_EQ(s.matching(), 1);
    EXPECT_EQ(s.different, 1);
}

struct ModeCase {
    bool exclude;
    std::vector<std::string> typed; // box texts as typed, rewritten as a run does
    std::vector<std::string> rows;  // relative paths of the rows, in order
    std::int64_t excluded;
};

TEST_F(CompareRun, IncludeAndExcludeModesWithTheBoxRewrite) {
    for (const char *f : {"a.txt", "A.TXT", "mytxt", "b.log", "c.tar.gz", "d.gz", "s/z.txt"}) {
        t.file(std::string("m/") + f, 1);
        t.file(std::string("c/") + f, 1);
    }
    const std::vector<std::string> all = {"/A.TXT", "/a.txt", "/b.log", "/c.tar.gz",
                                          "/d.gz", "/mytxt", "/s/z.txt"};
    const ModeCase cases[] = {
        {true, {"txt"}, {"/b.log", "/c.tar.gz", "/d.gz", "/mytxt"}, 3},
        {true, {"*.txt"}, {"/b.log", "/c.tar.gz", "/d.gz", "/mytxt"}, 3},
        {true, {".TXT"}, {"/b.log", "/c.tar.gz", "/d.gz", "/mytxt"}, 3},
        {true, {" txt"}, all, 0},
        {true, {"tar.gz"}, {"/A.TXT", "/a.txt", "/b.log", "/mytxt", "/s/z.txt"}, 2},
        {true, {"*.tar.gz"}, {"/A.TXT", "/a.txt", "/b.log", "/d.gz", "/mytxt", "/s/z.txt"}, 1},
        {true, {"*.", "."}, all, 0},
        {true, {"", "LOG", "", "gz"}, {"/A.TXT", "/a.txt", "/mytxt", "/s/z.txt"}, 3},
        {false, {"txt"}, {"/A.TXT", "/a.txt", "/s/z.txt"}, 0},
        {false, {" log "}, {"/b.log"}, 0},
        {false, {"tar.gz"}, {"/c.tar.gz", "/d.gz"}, 0},
        {false, {"*.tar.gz"}, {"/c.tar.gz"}, 0},
        {false, {"txt", "TXT"}, {"/A.TXT", "/a.txt", "/A.TXT", "/a.txt", "/s/z.txt", "/s/z.txt"}, 0},
        {false, {"*.", "."}, {}, 0},
        {false, {}, {}, 0},
    };
    for (const ModeCase &c : cases) {
        CompareOptions o = TreeOptions(t);
        o.excludeMode = c.exclude;
        for (std::size_t k = 0; k < c.typed.size(); ++k)
            o.extensions[k] = RewriteExtensionBox(c.typed[k]);
        const CompareSummary s = run(o);
        std::vector<std::string> rows;
        for (const RowKey &k : RowKeys(list))
            rows.push_back(k.dir + k.name);
        SCOPED_TRACE(::testing::Message() << (c.exclude ? "exclude " : "include ")
                                          << ::testing::PrintToString(c.typed));
        EXPECT_EQ(rows, c.rows);
        EXPECT_EQ(s.excluded, c.excluded);
        EXPECT_EQ(s.total(), static_cast<std::int64_t>(c.rows.size()));
        EXPECT_EQ(s.matching(), s.total());
    }
}

TEST(ExtensionBoxes, RewriteOnEveryRun) {
    EXPECT_EQ(RewriteExtensionBox("*.txt"), "txt");
    EXPECT_EQ(RewriteExtensionBox(".txt"), "txt");
    EXPECT_EQ(RewriteExtensionBox("tar.gz"), "gz");
    EXPECT_EQ(RewriteExtensionBox("*.tar.gz"), "tar.gz");
    EXPECT_EQ(RewriteExtensionBox(RewriteExtensionBox("*.tar.gz")), "gz");
    EXPECT_EQ(RewriteExtensionBox("*."), "");
    EXPECT_EQ(RewriteExtensionBox("."), "");
    EXPECT_EQ(RewriteExtensionBox("txt"), "txt");
    EXPECT_EQ(RewriteExtensionBox("  "), "  ");
    EXPECT_EQ(RewriteExtensionBox(" *.txt"), "txt");
}

TEST_F(CompareRun, RecursionOffComparesOnlyTheRoot) {
    t.file("m/a", 1);
    t.file("m/s/b", 1);
    t.dir("c");
    CompareOptions o = TreeOptions(t);
    o.subDirs = false;
    const CompareSummary s = run(o);
    const std::vector<RowKey> expected = {{"Not Found", "/", "a"}};
    EXPECT_EQ(RowKeys(list), expected);
    EXPECT_EQ(s.listed, 1);
}

TEST_F(CompareRun, TenFilesExampleAndSummaryTexts) {
    // 2 excluded, 1 not found, 2 of other sizes, 5 matching.
    for (const char *f : {"x.log", "y.LOG", "gone.txt", "s1.txt", "s2.txt", "m1", "m2", "m3",
                          "sub/m4", "sub/m5"})
        t.file(std::string("m/") + f, 4);
    for (const char *f : {"x.log", "m1", "m2", "m3", "sub/m4", "sub/m5"})
        t.file(std::string("c/") + f, 4);
    t.file("c/s1.txt", 5);
    t.file("c/s2.txt", 3);
    CompareOptions o = TreeOptions(t);
    o.extensions[0] = "log";
    const CompareSummary s = run(o);
    EXPECT_EQ(s.listed, 10);
    EXPECT_EQ(SummaryText(s), "Dirwise complete.\r\rTotal Files: 8\rMatching Files: 5\rDifferent Files: 3");
    const std::vector<std::string> lines = {"Dirwise complete.", "", "Total Files: 8",
                                            "Matching Files: 5", "Different Files: 3"};
    EXPECT_EQ(SummaryLines(s), lines);

    CompareSummary stopped = s;
    stopped.stopped = true;
    EXPECT_EQ(SummaryText(stopped), "Dirwise stopped.");
    CompareSummary incomplete = s;
    incomplete.notCompared.resize(2);
    EXPECT_EQ(SummaryText(incomplete), "Dirwise complete.\r\rTotal Files: 8\rMatching Files: 5"
                                       "\rDifferent Files: 3\rNot Compared: 2");
}

// Every file is Not Found, so every compare-phase yield follows a new row: the list's count
// at a yield tells the scan (0) from the compare phase.
TEST_F(CompareRun, StopAtEveryYieldOfTheScanAndOfTheComparePhase) {
    for (const char *f : {"a", "b", "c", "s/d", "s/e", "s/t/f"})
        t.file(std::string("m/") + f, 1);
    t.dir("c");
    std::vector<std::size_t> rowsAt = {0};
    host.onYield = [&](int) { rowsAt.push_back(list.Count()); };
    const CompareSummary full = run(TreeOptions(t));
    ASSERT_FALSE(full.stopped);
    const std::vector<RowKey> fullRows = RowKeys(list);
    ASSERT_EQ(fullRows.size(), 6u);
    // At least one yield before the scan, one per directory entry (8) and one per file (6).
    const int total = host.yields;
    ASSERT_GE(total, 1 + 8 + 6);
    for (int k = 1; k <= total; ++k) {
        TestHost stopper;
        stopper.onYield = [&](int n) {
            if (n == k)
                state.StopRequested = true;
        };
        const CompareSummary s = RunCompare(TreeOptions(t), state, list, stopper);
        SCOPED_TRACE(::testing::Message() << "stop at yield " << k << " of " << total);
        EXPECT_FALSE(state.StopRequested);
        if (k == 1) {
            // The yield before the scan: the reset of the scanner discards that stop.
            EXPECT_FALSE(s.stopped);
            EXPECT_EQ(RowKeys(list), fullRows);
            continue;
        }
        EXPECT_TRUE(s.stopped);
        EXPECT_EQ(SummaryText(s), "Dirwise stopped.");
        const std::vector<RowKey> rows = RowKeys(list);
        ASSERT_EQ(rows.size(), rowsAt[static_cast<std::size_t>(k)]);
        // No file is compared after the stop: in the compare phase not even one more yield;
        // a stop in the scan may still pass the one yield between the phases.
        EXPECT_LE(stopper.yields, rows.empty() ? k + 1 : k);
        EXPECT_TRUE(std::equal(rows.begin(), rows.end(), fullRows.begin()));
    }
    // The flag was cleared: the next run completes.
    TestHost plain;
    EXPECT_FALSE(RunCompare(TreeOptions(t), state, list, plain).stopped);
    EXPECT_EQ(RowKeys(list), fullRows);
}

// Enough files that the metadata is read ahead of the loop: rows must still come in scan
// order, and a stop in the middle keeps exactly the rows appended before it.
TEST_F(CompareRun, ManyFilesKeepTheirOrderAndStopMidway) {
    constexpr int Files = 1500;
    TempTree many(true);
    for (int i = 0; i < Files; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "f%04d", i);
        many.file(std::string("m/") + name, 2);
        many.file(std::string("c/") + name, i % 3 == 0 ? 3 : 2);
    }
    run(TreeOptions(many));
    ASSERT_EQ(list.Count(), static_cast<std::size_t>(Files));
    for (int i = 0; i < Files; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "f%04d", i);
        ASSERT_EQ(list.Row(static_cast<std::size_t>(i)).name, name);
        ASSERT_EQ(list.Text(static_cast<std::size_t>(i), Column::Result), i % 3 == 0 ? "Size" : "Match");
    }
    host.onYield = [&](int) {
        if (list.Count() == 700)
            state.StopRequested = true;
    };
    const CompareSummary s = run(TreeOptions(many));
    EXPECT_TRUE(s.stopped);
    EXPECT_EQ(list.Count(), 700u);
    EXPECT_EQ(list.Row(699).name, "f0699");
}

TEST_F(CompareRun, NamesAreKeptByteExactIntoTheReport) {
    const std::vector<std::string> names = {"with space", "tab\there", "new\nline", "cr\rname",
                                            "back\\slash", "bytes\xff\xfe", "\xc3\xa9t\xc3\xa9"};
    for (const std::string &n : names) {
        t.file("m/d\tir/" + n, 2, T0);
        t.file("c/d\tir/" + n, 2, T0);
    }
    run(TreeOptions(t));
    ASSERT_EQ(list.Count(), names.size());
    std::vector<std::string> sorted = names;
    std::sort(sorted.begin(), sorted.end());
    std::string report;
    std::string expected;
    const std::string dirField = t.path("c") + "/d\\tir/";
    for (std::size_t i = 0; i < list.Count(); ++i) {
        EXPECT_EQ(list.Text(i, Column::FileName), sorted[i]);
        AppendReportLine(report, list, i);
        std::string escaped;
        for (char ch : sorted[i]) {
            switch (ch) {
            case '\t': escaped += "\\t"; break;
            case '\n': escaped += "\\n"; break;
            case '\r': escaped += "\\r"; break;
            case '\\': escaped += "\\\\"; break;
            default: escaped += ch;
            }
        }
        expected += "Match\t" + dirField + "\t" + escaped +
                    "\t000,000,002\t000,000,002\t09/09/2001 01:46:40\r\n";
    }
    EXPECT_EQ(report, expected);
}

TEST_F(CompareRun, DanglingLinksAndLoops) {
    t.file("m/a.txt", 1);
    t.file("c/a.txt", 1);
    t.symlink("m/b.lnk", "nowhere");  // master side: metadata unreadable
    t.file("m/c.txt", 1);
    t.symlink("c/c.txt", "nowhere");  // compare side: looked for, not there
    t.file("m/sub/d.txt", 1);
    t.file("c/sub/d.txt", 1);
    t.symlink("m/sub/loop", "..");
    // In a child: a walk that follows the loop must fail this test, not hang the suite.
    const ChildResult r = RunInChild([&](std::string &out) {
        const CompareSummary s = run(TreeOptions(t));
        for (const RowKey &k : RowKeys(list))
            out += k.result + " " + k.dir + k.name + "\n";
        for (const Diagnostic &d : s.notCompared)
            out += "not compared " + d.path + " " + std::to_string(d.error) + "\n";
        for (const Diagnostic &d : host.diagnostics)
            out += "host " + d.path + "\n";
        out += "total " + std::to_string(s.total()) + " different " + std::to_string(s.different) +
               "\n" + SummaryLines(s).back() + "\n";
        return 0;
    }, 30);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Match /a.txt\nNot Found /c.txt\nMatch /sub/d.txt\n"
                     "not compared " + t.path("m/b.lnk") + " " + std::to_string(ENOENT) + "\n"
                     "host " + t.path("m/b.lnk") + "\n"
                     "total 3 different 1\nNot Compared: 1\n");
}

TEST_F(CompareRun, FifosOnBothSidesAreComparedWithoutBlocking) {
    t.fifo("m/p");
    t.fifo("c/p");
    t.fifo("m/q");
    t.file("m/r", 0);
    t.fifo("c/r");
    const ChildResult r = RunInChild([&](std::string &out) {
        run(TreeOptions(t));
        for (const RowKey &k : RowKeys(list))
            out += k.result + " " + k.name + "\n";
        return 0;
    }, 20);
    EXPECT_EQ(r.status, 0) << "the compare hung or crashed on a FIFO";
    EXPECT_EQ(r.out, "Match p\nNot Found q\nMatch r\n");
}

TEST_F(CompareRun, FileVanishingBetweenScanAndCompare) {
    for (const char *side : {"m", "c"}) {
        TempTree tree;
        for (const char *f : {"a", "b", "c"}) {
            tree.file(std::string("m/") + f, 1);
            tree.file(std::string("c/") + f, 1);
        }
        bool done = false;
        host = TestHost{};
        host.onYield = [&](int) {
            if (!done && state.Phase == ScanPhase::Comparing) {
                tree.remove(std::string(side) + "/b");
                done = true;
            }
        };
        const CompareSummary s = run(TreeOptions(tree));
        ASSERT_TRUE(done);
        SCOPED_TRACE(side);
        if (std::string(side) == "m") {
            const std::vector<RowKey> expected = {{"Match", "/", "a"}, {"Match", "/", "c"}};
            EXPECT_EQ(RowKeys(list), expected);
            ASSERT_EQ(s.notCompared.size(), 1u);
            EXPECT_EQ(s.notCompared[0].path, tree.path("m/b"));
            EXPECT_EQ(s.total(), 2);
            EXPECT_EQ(SummaryLines(s).back(), "Not Compared: 1");
        } else {
            const std::vector<RowKey> expected = {
                {"Match", "/", "a"}, {"Not Found", "/", "b"}, {"Match", "/", "c"}};
            EXPECT_EQ(RowKeys(list), expected);
            EXPECT_TRUE(s.notCompared.empty());
            EXPECT_EQ(s.total(), 3);
        }
    }
}

TEST_F(CompareRun, CompareRootThatDisappearsMeansNotComparedNotNotFound) {
    t.file("m/a", 1);
    t.file("m/s/b", 1);
    t.file("c/a", 1);
    host.onYield = [&](int n) {
        if (n == 1)
            t.remove("c");
    };
    const CompareSummary s = run(TreeOptions(t));
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_EQ(s.notCompared.size(), 2u);
    EXPECT_EQ(s.total(), 0);
    EXPECT_EQ(SummaryLines(s).back(), "Not Compared: 2");
}

TEST_F(CompareRun, DirectoryOrFileInTheWayOnTheCompareSideIsNotFound) {
    t.file("m/f", 1);
    t.dir("c/f");
    t.file("m/sub/g", 1);
    t.file("c/sub", 1); // a file where the master has a directory
    const CompareSummary s = run(TreeOptions(t));
    const std::vector<RowKey> expected = {{"Not Found", "/", "f"}, {"Not Found", "/sub/", "g"}};
    EXPECT_EQ(RowKeys(list), expected);
    EXPECT_TRUE(s.notCompared.empty());
}

TEST_F(CompareRun, UnreadablePlaces) {
    t.chmod("", 0755);
    t.file("m/a", 1);
    t.file("m/locked/x", 1);
    t.file("m/noread", 3);
    t.file("m/nosearch/y", 1);
    t.file("c/a", 1);
    t.file("c/noread", 3);
    t.file("c/nosearch/y", 1);
    t.chmod("m/locked", 0);
    t.chmod("c/noread", 0);
    t.chmod("c/nosearch", 0600);
    const ChildResult r = RunInChild([&](std::string &out) {
        if (!DropRootInChild())
            return 76;
        if (DIR *probe = ::opendir(t.path("m/locked").c_str())) {
            ::closedir(probe);
            return 77;
        }
        const CompareSummary s = run(TreeOptions(t));
        for (const RowKey &k : RowKeys(list))
            out += k.result + " " + k.dir + k.name + "\n";
        for (const Diagnostic &d : s.notCompared)
            out += "not compared " + d.path + " " + std::to_string(d.error) + "\n";
        out += SummaryLines(s).back() + "\n";
        return 0;
    });
    if (r.status == 76 || r.status == 77)
        GTEST_SKIP() << "cannot make a directory unreadable for this process";
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Match /a\nMatch /noread\n"
                     "not compared " + t.path("m/locked") + "/ " + std::to_string(EACCES) + "\n"
                     "not compared " + t.path("c/nosearch/y") + " " + std::to_string(EACCES) + "\n"
                     "Not Compared: 2\n");
}

TEST_F(CompareRun, TenThousandDeepTreeWithFewDescriptors) {
    constexpr int Depth = 10000;
    TempTree deep(true);
    ASSERT_TRUE(deep.deepFile("m", Depth, "d", "bottom.txt", 1, T0));
    ASSERT_TRUE(deep.deepFile("c", Depth, "d", "bottom.txt", 2, T0));
    const ChildResult r = RunInChild([&](std::string &out) {
        const rlimit few{256, 256};
        if (::setrlimit(RLIMIT_NOFILE, &few) != 0)
            return 76;
        const CompareSummary s = run(TreeOptions(deep));
        out += std::to_string(list.Count()) + " " + std::to_string(s.notCompared.size()) + "\n";
        if (list.Count() == 1) {
            out += list.Text(0, Column::Result) + " " + list.Row(0).name + " " +
                   std::to_string(list.RelativeDir(0).size()) + "\n";
        }
        return 0;
    }, 120);
    ASSERT_NE(r.status, 76);
    EXPECT_EQ(r.status, 0) << "crashed or hung on a deep tree";
    EXPECT_EQ(r.out, "1 0\nSize bottom.txt " + std::to_string(2 * Depth + 1) + "\n");
}

TEST_F(CompareRun, SizesOverFourGibibytes) {
    constexpr std::int64_t FourGiB = 4294967296;
    t.sparse("m/big", 5 * 1073741824LL);
    t.sparse("c/big", 5 * 1073741824LL);
    t.sparse("m/odd", FourGiB + 1);
    t.file("c/odd", 1);
    t.sparse("m/wrap", FourGiB);
    t.file("c/wrap", 0);
    const CompareSummary s = run(TreeOptions(t));
    ASSERT_EQ(list.Count(), 3u);
    EXPECT_EQ(list.Text(0, Column::Result), "Match");
    EXPECT_EQ(list.Text(0, Column::MasterSize), "5,368,709,120");
    EXPECT_EQ(list.Text(1, Column::Result), "Size");
    EXPECT_EQ(list.Text(1, Column::MasterSize), "4,294,967,297");
    EXPECT_EQ(list.Text(1, Column::CompareSize), "000,000,001");
    EXPECT_EQ(list.Text(2, Column::Result), "Size"); // 4 GiB must not wrap to 0
    EXPECT_EQ(s.different, 2);
}

TEST_F(CompareRun, TimesBefore1970AndAfter2038) {
    const std::int64_t old = -1000000000;    // 1938-04-24 22:13:20 UTC
    const std::int64_t future = 4102444800;  // 2100-01-01 00:00:00 UTC
    const std::int64_t y2038 = 2147483648;   // one second past the 32-bit limit
    t.file("m/a_old", 1, old);
    t.file("c/a_old", 1, old);
    t.file("m/b_future", 1, future);
    t.file("c/b_future", 1, future + 1);
    t.file("m/c_2038", 1, y2038);
    t.file("c/c_2038", 1, y2038);
    struct stat st {};
    ASSERT_EQ(::stat(t.path("m/a_old").c_str(), &st), 0);
    if (st.st_mtime != old)
        GTEST_SKIP() << "this file system does not keep times before 1970";
    ASSERT_EQ(::stat(t.path("m/b_future").c_str(), &st), 0);
    ASSERT_EQ(st.st_mtime, future);
    CompareOptions o = TreeOptions(t);
    o.checkDate = 1;
    run(o);
    ASSERT_EQ(list.Count(), 3u);
    EXPECT_EQ(list.Text(0, Column::Result), "Match");
    EXPECT_EQ(list.Row(0).masterTime, old);
    EXPECT_EQ(list.Text(0, Column::MasterDate), "04/24/1938 22:13:20");
    EXPECT_EQ(list.Text(1, Column::Result), "Date");
    EXPECT_EQ(list.Text(1, Column::MasterDate), "01/01/2100");
    EXPECT_EQ(list.Text(1, Column::CompareDate), "01/01/2100 00:00:01");
    EXPECT_EQ(list.Text(2, Column::MasterDate), "01/19/2038 03:14:08");
    list.Sort(Column::MasterDate, SortOrder::Descending);
    EXPECT_EQ(list.Row(0).name, "b_future");
    EXPECT_EQ(list.Row(1).name, "c_2038");
    EXPECT_EQ(list.Row(2).name, "a_old");
}

} // namespace
} // namespace dirwise::test
