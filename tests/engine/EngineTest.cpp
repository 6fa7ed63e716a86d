// The engine: patterns, the scan, the roots, and the compare run through its one seam, with
// its classification, modes, stop, progress, links, special files, unreadable places and
// extremes.

#include "Compare.h"
#include "FileScan.h"
#include "ResultsList.h"
#include "TempTree.h"

namespace dirwise::test {
namespace {

constexpr std::int64_t T0 = 1000000000; // 09/09/2001 01:46:40 UTC

// A host that records every yield's progress and every diagnostic, and stops when its
// callback says so (called with the 1-based yield number).
class TestHost : public CompareHost {
public:
    std::function<bool(int, const Progress &)> onYield;
    std::vector<Progress> progress;
    std::vector<Diagnostic> diagnostics;
    int yields = 0;

    bool yield(const Progress &p) override {
        ++yields;
        progress.push_back(p);
        return onYield && onYield(yields, p);
    }
    void diagnostic(const Diagnostic &d) override { diagnostics.push_back(d); }
};

// Each row as "result /dir/name", one line each: short to write and readable when it differs.
std::string Rows(const ResultsList &list) {
    std::string out;
    for (std::size_t i = 0; i < list.Count(); ++i)
        out += list.Text(i, Column::Result) + " " + list.RelativeDir(i) + list.Row(i).name + "\n";
    return out;
}

struct PatternCase {
    const char *what;
    const char *pattern;
    const char *name;
    bool matches;
};

TEST(Pattern, WildcardsMatchAsDocumented) {
    const PatternCase cases[] = {
        {.what = "*.* matches a name without a dot",
         .pattern = "*.*",
         .name = "noextension",
         .matches = true},
        {.what = "ASCII letters fold", .pattern = "*.TXT", .name = "a.txt", .matches = true},
        {.what = "an extension needs its dot",
         .pattern = "*.txt",
         .name = "mytxt",
         .matches = false},
        {.what = "? takes one letter", .pattern = "*.t?t", .name = "a.tXt", .matches = true},
        {.what = "? takes a byte that is no UTF-8",
         .pattern = "?.txt",
         .name = "\xff.txt",
         .matches = true},
        {.what = "? takes a whole two-byte character",
         .pattern = "?.txt",
         .name = "\xc3\xa9.txt",
         .matches = true},
        {.what = "? takes a whole four-byte character",
         .pattern = "?",
         .name = "\xf0\x9f\x98\x80",
         .matches = true},
        {.what = "? takes no more than one character",
         .pattern = "?.txt",
         .name = "ab.txt",
         .matches = false},
        {.what = "letters of any language fold",
         .pattern = "*.TX\xc3\x89", // TXÉ
         .name = "o.tx\xc3\xa9",    // txé
         .matches = true},
        {.what = "Greek folds, final sigma too",
         .pattern = "\xce\xa3\xce\x8a\xce\xa3", // ΣΊΣ
         .name = "\xcf\x83\xce\xaf\xcf\x82",    // σίς
         .matches = true},
        {.what = "the Kelvin sign folds to k",
         .pattern = "\xe2\x84\xaa", // KELVIN SIGN
         .name = "K",
         .matches = true},
        {.what = "a byte that is not UTF-8 never equals a letter",
         .pattern = "\xe9",  // the byte E9 alone
         .name = "\xc3\xa9", // U+00E9
         .matches = false},
        {.what = "* may match nothing", .pattern = "a*b", .name = "ab", .matches = true},
        {.what = "* backtracks", .pattern = "*a*b", .name = "xaxxb", .matches = true},
        {.what = "the name must be used up", .pattern = "a", .name = "ab", .matches = false},
    };
    for (const PatternCase &c : cases)
        EXPECT_EQ(MatchPattern(c.pattern, c.name), c.matches) << c.what;
}

class Scan : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char *f :
             {"z.log", "b.txt", "\xc3\xa9.txt", "B.txt", "a.txt", ".dot.txt", "sub2/s.txt",
              "sub2/deeper/y.txt", "Sub1/t.txt", "data.old/d.txt", ".hidden/h.txt"})
            t.file(std::string("m/") + f, 1);
    }
    // The listed files relative to the root, each followed by a blank.
    std::string List(const std::string &root, bool recursive) {
        state = ScanState{};
        ScanDirectory(state, host, root, {"*.*"}, ScanRules{.recursive = recursive});
        std::string got;
        for (std::size_t i = 0; i < state.ScanFileNames.size(); ++i) {
            const std::string rel =
                state.RelativeDir(state.ScanFileDirs[i]) + state.ScanFileNames[i];
            got += rel + " ";
            EXPECT_EQ(state.ScanFilePath(i), t.path("m") + rel)
                << "one separator, whatever the root";
        }
        EXPECT_EQ(state.ScanFileCount, static_cast<std::int64_t>(state.ScanFileNames.size()));
        return got;
    }
    const std::string top = "/.dot.txt /B.txt /a.txt /b.txt /z.log /\xc3\xa9.txt ";
    TempTree t;
    ScanState state;
    TestHost host;
};

TEST_F(Scan, ListsFilesInByteOrderBeforeSubdirectoriesDepthFirstDottedOnesToo) {
    EXPECT_EQ(List(t.path("m"), true),
              top + "/.hidden/h.txt /Sub1/t.txt /data.old/d.txt /sub2/s.txt /sub2/deeper/y.txt ");
    EXPECT_TRUE(state.Diagnostics.empty());
}

TEST_F(Scan, RootWithATrailingSeparatorListsTheSame) {
    EXPECT_EQ(List(t.path("m") + "/", true), List(t.path("m"), true));
}

TEST_F(Scan, WithoutSubdirectoriesListsTheRootsOwnFiles) {
    EXPECT_EQ(List(t.path("m"), false), top);
}

TEST_F(Scan, MissingRootIsADiagnosticForTheHostAndTheState) {
    EXPECT_EQ(List(t.path("nothing"), true), "");
    ASSERT_EQ(state.Diagnostics.size(), 1u);
    EXPECT_EQ(state.Diagnostics[0].error, ENOENT);
    EXPECT_EQ(host.diagnostics, state.Diagnostics);
}

TEST_F(Scan, EmptyRootIsNeverTheFileSystemRoot) {
    EXPECT_EQ(List("", true), "");
    EXPECT_EQ(state.Diagnostics.size(), 1u);
}

TEST(Exclude, ExtensionsCompareWithoutCaseInAnyLanguage) {
    const std::array<std::string, 4> boxes = {"TX\xc3\x89", "", "", ""};
    EXPECT_TRUE(IsExcluded("o.tx\xc3\xa9", boxes));
    EXPECT_TRUE(IsExcluded(".TX\xc3\x89", boxes)) << "a name that is only the extension";
    EXPECT_FALSE(IsExcluded("otx\xc3\xa9", boxes)) << "an ending without its dot";
}

TEST(Roots, NormalisedWithoutTrailingSeparatorsButTheRootStays) {
    const struct {
        const char *given, *normal;
    } cases[] = {{"/a/b/", "/a/b"}, {"/a/b//", "/a/b"}, {"/a", "/a"},
                 {"///", "/"},      {"/", "/"},         {"", ""}};
    for (const auto &c : cases)
        EXPECT_EQ(NormalizeRoot(c.given), c.normal) << c.given;
}

TEST(Roots, OneCheckNamesWhyARootIsUnusable) {
    TempTree t;
    t.file("plain", 1);
    t.dir("d");
    EXPECT_EQ(CheckRoot(t.path("d")), 0);
    EXPECT_EQ(CheckRoot(t.path("d") + "/"), 0);
    EXPECT_EQ(CheckRoot(t.path("missing")), ENOENT);
    EXPECT_EQ(CheckRoot(t.path("plain")), ENOTDIR);
    EXPECT_EQ(CheckRoot(""), ENOENT);
}

TEST(Roots, ADirectoryThisUserCannotListFailsTheCheck) {
    TempTree t;
    ::chmod(t.root().c_str(), 0755);
    t.dir("locked");
    ::chmod(t.path("locked").c_str(), 0300); // enterable, not listable
    const ChildResult r = RunInChild([&](std::string &out) {
        if (!DropRootInChild() || ::access(t.path("locked").c_str(), R_OK) == 0)
            return 77;
        out = std::to_string(CheckRoot(t.path("locked")));
        return 0;
    });
    if (r.status == 77)
        GTEST_SKIP() << "cannot make a directory unreadable for this process";
    EXPECT_EQ(r.out, std::to_string(EACCES));
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
    CompareSummary run(const CompareOptions &o) { return RunCompare(o, list, host); }
    CompareSummary run() { return run(options(t)); }
    // Runs the compare in a child under a watchdog, so a hang or a loop fails only this test.
    // `prepare` runs first in the child; when it returns false the child ends with 77.
    ChildResult runInChild(const CompareOptions &o, const std::function<bool()> &prepare = {}) {
        return RunInChild(
            [&](std::string &out) {
                if (prepare && !prepare())
                    return 77;
                const CompareSummary s = run(o);
                out = Rows(list);
                for (const Diagnostic &d : s.notCompared)
                    out += "not compared " + d.path + " " + std::to_string(d.error) + "\n";
                out += SummaryLines(s).back() + "\n";
                return 0;
            },
            120);
    }
    TempTree t;
    ResultsList list;
    TestHost host;
};

struct ClassifyCase {
    const char *what;
    bool matchSize, matchDate, sizeDiffers, dateDiffers;
    const char *result; // nullptr: no row, counted as matching
};

TEST_F(CompareRun, ClassificationFollowsTheMatchOptions) {
    const ClassifyCase cases[] = {
        {.what = "size only, same",
         .matchSize = true,
         .matchDate = false,
         .sizeDiffers = false,
         .dateDiffers = false,
         .result = "Match"},
        {.what = "size only, date differs",
         .matchSize = true,
         .matchDate = false,
         .sizeDiffers = false,
         .dateDiffers = true,
         .result = "Match"},
        {.what = "size only, size differs",
         .matchSize = true,
         .matchDate = false,
         .sizeDiffers = true,
         .dateDiffers = true,
         .result = "Size"},
        {.what = "date only, size differs",
         .matchSize = false,
         .matchDate = true,
         .sizeDiffers = true,
         .dateDiffers = false,
         .result = "Match"},
        {.what = "date only, date differs",
         .matchSize = false,
         .matchDate = true,
         .sizeDiffers = true,
         .dateDiffers = true,
         .result = "Date"},
        {.what = "both, same",
         .matchSize = true,
         .matchDate = true,
         .sizeDiffers = false,
         .dateDiffers = false,
         .result = "Match"},
        {.what = "both, size differs",
         .matchSize = true,
         .matchDate = true,
         .sizeDiffers = true,
         .dateDiffers = false,
         .result = "Size"},
        {.what = "both, date differs",
         .matchSize = true,
         .matchDate = true,
         .sizeDiffers = false,
         .dateDiffers = true,
         .result = "Date"},
        {.what = "both differ",
         .matchSize = true,
         .matchDate = true,
         .sizeDiffers = true,
         .dateDiffers = true,
         .result = "Size&Date"},
        {.what = "neither matched",
         .matchSize = false,
         .matchDate = false,
         .sizeDiffers = true,
         .dateDiffers = true,
         .result = nullptr},
    };
    t.file("m/f.bin", 10, T0);
    for (const ClassifyCase &c : cases) {
        t.file("c/f.bin", c.sizeDiffers ? 11 : 10, c.dateDiffers ? T0 + 60 : T0);
        for (bool hide : {false, true}) {
            CompareOptions o = options(t);
            o.matchSize = c.matchSize;
            o.matchDate = c.matchDate;
            o.hideMatches = hide;
            const CompareSummary s = run(o);
            SCOPED_TRACE(::testing::Message() << c.what << (hide ? ", matches hidden" : ""));
            const bool different = c.result && std::string(c.result) != "Match";
            ASSERT_EQ(list.Count(), c.result && (different || !hide) ? 1u : 0u);
            if (list.Count() == 1) {
                EXPECT_EQ(list.Text(0, Column::Result), c.result);
                EXPECT_STREQ(IconKeyText(IconKeyOf(list.Row(0).result)),
                             different ? "Different" : "Match");
            }
            EXPECT_EQ(s.total(), 1);
            EXPECT_EQ(s.different, different ? 1 : 0);
        }
    }
}

struct ModeCase {
    const char *what;
    bool exclude;
    std::vector<std::string> typed; // the boxes as typed; a run rewrites them
    std::string rows;
    std::int64_t excluded;
};

TEST_F(CompareRun, IncludeAndExcludeModesWithTheBoxRewrite) {
    for (const char *f : {"a.txt", "A.TXT", "mytxt", "b.log", "c.tar.gz", "d.gz", "s/z.txt"}) {
        t.file(std::string("m/") + f, 1);
        t.file(std::string("c/") + f, 1);
    }
    const ModeCase cases[] = {
        {.what = "exclude an extension in any case",
         .exclude = true,
         .typed = {"txt"},
         .rows = "/b.log /c.tar.gz /d.gz /mytxt ",
         .excluded = 3},
        {.what = "exclude a pattern typed with a star",
         .exclude = true,
         .typed = {" *.TXT"},
         .rows = "/b.log /c.tar.gz /d.gz /mytxt ",
         .excluded = 3},
        {.what = "a leading blank stays part of the extension",
         .exclude = true,
         .typed = {" txt"},
         .rows = "/A.TXT /a.txt /b.log /c.tar.gz /d.gz /mytxt /s/z.txt ",
         .excluded = 0},
        {.what = "a double extension keeps its last part",
         .exclude = true,
         .typed = {"tar.gz"},
         .rows = "/A.TXT /a.txt /b.log /mytxt /s/z.txt ",
         .excluded = 2},
        {.what = "a starred double extension keeps what follows the first dot",
         .exclude = true,
         .typed = {"*.tar.gz"},
         .rows = "/A.TXT /a.txt /b.log /d.gz /mytxt /s/z.txt ",
         .excluded = 1},
        {.what = "blank boxes are passed over",
         .exclude = true,
         .typed = {"", "LOG", "", "gz"},
         .rows = "/A.TXT /a.txt /mytxt /s/z.txt ",
         .excluded = 3},
        {.what = "include trims blanks",
         .exclude = false,
         .typed = {" log "},
         .rows = "/b.log ",
         .excluded = 0},
        {.what = "include a double extension",
         .exclude = false,
         .typed = {"*.tar.gz"},
         .rows = "/c.tar.gz ",
         .excluded = 0},
        {.what = "an extension given twice lists its files twice",
         .exclude = false,
         .typed = {"txt", "TXT"},
         .rows = "/A.TXT /a.txt /A.TXT /a.txt /s/z.txt /s/z.txt ",
         .excluded = 0},
        {.what = "boxes that rewrite to nothing include nothing",
         .exclude = false,
         .typed = {"*.", "."},
         .rows = "",
         .excluded = 0},
    };
    for (const ModeCase &c : cases) {
        CompareOptions o = options(t);
        o.excludeMode = c.exclude;
        for (std::size_t k = 0; k < c.typed.size(); ++k)
            o.extensions[k] = RewriteExtensionBox(c.typed[k]);
        const CompareSummary s = run(o);
        std::string rows;
        for (std::size_t i = 0; i < list.Count(); ++i)
            rows += list.RelativeDir(i) + list.Row(i).name + " ";
        SCOPED_TRACE(c.what);
        EXPECT_EQ(rows, c.rows);
        EXPECT_EQ(s.excluded, c.excluded);
        EXPECT_EQ(s.total(), static_cast<std::int64_t>(list.Count()));
    }
}

TEST_F(CompareRun, RootsAreNormalisedByTheRun) {
    t.file("m/s/a", 1);
    t.file("c/s/a", 1);
    CompareOptions o = options(t);
    o.masterDir += "//";
    o.compareDir += "/";
    run(o);
    EXPECT_EQ(list.MasterRoot() + " " + list.CompareRoot(), t.path("m") + " " + t.path("c"));
    EXPECT_EQ(list.Text(0, Column::ComparePath), t.path("c") + "/s/");
}

// Every file is Not Found, so every compare-phase yield follows a new row: the list's count
// at a yield tells the listing (0) from the compare phase.
TEST_F(CompareRun, StopAtAnyYieldEndsTheRunKeepingTheRowsSoFar) {
    for (const char *f : {"a", "b", "c", "s/d", "s/e", "s/t/f"})
        t.file(std::string("m/") + f, 1);
    t.dir("c");
    std::vector<std::size_t> rowsAt = {0};
    host.onYield = [&](int, const Progress &) {
        rowsAt.push_back(list.Count());
        return false;
    };
    ASSERT_FALSE(run().stopped);
    const std::string fullRows = Rows(list);
    const int total = host.yields; // one before the listing, per entry (8), between, per file (6)
    ASSERT_GE(total, 1 + 8 + 1 + 6);
    for (int k = 1; k <= total; ++k) {
        TestHost stopper;
        stopper.onYield = [&](int n, const Progress &) { return n == k; };
        const CompareSummary s = RunCompare(options(t), list, stopper);
        SCOPED_TRACE(::testing::Message() << "stop at yield " << k << " of " << total);
        EXPECT_TRUE(s.stopped);
        EXPECT_EQ(SummaryText(s), "Dirwise stopped.");
        EXPECT_EQ(list.Count(), rowsAt[static_cast<std::size_t>(k)]);
        EXPECT_EQ(stopper.yields, k) << "the run yielded again after it was told to stop";
        EXPECT_EQ(fullRows.rfind(Rows(list), 0), 0u);
    }
    // Nothing of a stop stays behind: the next run completes.
    EXPECT_EQ(SummaryText(run()),
              "Dirwise complete.\r\rTotal Files: 6\rMatching Files: 0\rDifferent Files: 6");
}

TEST_F(CompareRun, ProgressCountsListedFilesThenComparedOnes) {
    for (const char *f : {"a", "b", "s/c"})
        t.file(std::string("m/") + f, 1);
    t.dir("c");
    run();
    std::int64_t listed = 0, compared = 0;
    bool comparing = false;
    for (const Progress &p : host.progress) {
        EXPECT_FALSE(comparing && p.phase == Phase::Listing) << "the phases came back";
        comparing = p.phase == Phase::Comparing;
        EXPECT_GE(p.listed, listed);
        EXPECT_GE(p.compared, compared);
        EXPECT_TRUE(comparing || p.compared == 0);
        EXPECT_TRUE(!comparing || p.listed == 3);
        listed = p.listed;
        compared = p.compared;
    }
    EXPECT_EQ(host.progress.back().phase, Phase::Comparing);
    EXPECT_EQ(compared, 3);
}

TEST_F(CompareRun, DiagnosticsReachTheHostAndAreKeptOnceInTheSummary) {
    t.file("m/a", 1);
    t.file("c/a", 1);
    t.symlink("m/b.lnk", "nowhere");
    t.symlink("m/c.lnk", "nowhere");
    const CompareSummary s = run();
    ASSERT_EQ(s.notCompared.size(), 2u);
    EXPECT_EQ(host.diagnostics, s.notCompared);
    EXPECT_EQ(s.notCompared[0].path, t.path("m/b.lnk"));
    EXPECT_EQ(SummaryLines(s).back(), "Not Compared: 2");
}

TEST_F(CompareRun, LinksLoopsFifosAndThingsInTheWayOnBothSides) {
    for (const char *f :
         {"m/a.txt", "c/a.txt", "m/c.txt", "m/f", "m/dsub/g", "c/dsub", "m/sub/d.txt",
          "c/sub/d.txt", "m/sub/x/e.txt", "c/sub/x/e.txt", "c/only-here"})
        t.file(f, 1);
    t.symlink("m/b.lnk", "nowhere"); // master side: metadata unreadable
    t.symlink("c/c.txt", "nowhere"); // compare side: looked for, not there
    t.dir("c/f");                    // a directory where the master has a file
    for (const char *f : {"m/p", "c/p", "m/q", "c/r"})
        t.fifo(f); // opening one would block
    t.file("m/r", 0);
    t.symlink("m/sub/up", "..");
    t.symlink("m/sub/self", ".");
    t.symlink("m/sub/abs", t.path("m"));
    t.symlink("m/sub/x/top", "../..");
    t.symlink("m/y", "sub/x"); // not an ancestor: entered, and its loop passed over there
    const ChildResult r = runInChild(options(t));
    EXPECT_EQ(r.status, 0) << "hung or crashed";
    EXPECT_EQ(r.out,
              "Match /a.txt\nNot Found /c.txt\nNot Found /f\nMatch /p\nNot Found /q\nMatch /r\n"
              "Not Found /dsub/g\nMatch /sub/d.txt\nMatch /sub/x/e.txt\nNot Found /y/e.txt\n"
              "not compared " +
                  t.path("m/b.lnk") + " " + std::to_string(ENOENT) +
                  "\n"
                  "Not Compared: 1\n");
}

struct VanishCase {
    const char *what;
    const char *victim;
    bool inComparePhase; // removed at the first yield of the compare phase, else at the first
    const char *rows;
    std::size_t notCompared;
    const char *lastLine;
};

TEST_F(CompareRun, PlacesVanishingDuringTheRun) {
    const VanishCase cases[] = {
        {.what = "a listed master file",
         .victim = "m/b",
         .inComparePhase = true,
         .rows = "Match /a\nMatch /c\n",
         .notCompared = 1,
         .lastLine = "Not Compared: 1"},
        {.what = "a compare file",
         .victim = "c/b",
         .inComparePhase = true,
         .rows = "Match /a\nNot Found /b\nMatch /c\n",
         .notCompared = 0,
         .lastLine = "Different Files: 1"},
        {.what = "the compare root: nothing is Not Found",
         .victim = "c",
         .inComparePhase = false,
         .rows = "",
         .notCompared = 3,
         .lastLine = "Not Compared: 3"},
    };
    for (const VanishCase &c : cases) {
        for (const char *f : {"m/a", "c/a", "m/b", "c/b", "m/c", "c/c"})
            t.file(f, 1);
        bool done = false;
        host.onYield = [&](int, const Progress &p) {
            if (!done && (!c.inComparePhase || p.phase == Phase::Comparing)) {
                t.remove(c.victim);
                done = true;
            }
            return false;
        };
        const CompareSummary s = run();
        SCOPED_TRACE(c.what);
        EXPECT_TRUE(done);
        EXPECT_EQ(Rows(list), c.rows);
        EXPECT_EQ(s.notCompared.size(), c.notCompared);
        EXPECT_EQ(s.total(), static_cast<std::int64_t>(list.Count()));
        EXPECT_EQ(SummaryLines(s).back(), c.lastLine);
    }
}

TEST_F(CompareRun, LinksToTheKernelsFileSystemsAreNeverEntered) {
    t.file("m/a", 1);
    t.file("c/a", 1);
    t.symlink("m/proc", "/proc");
    t.symlink("m/sys", "/sys");
    t.symlink("m/dev", "/dev");
    const ChildResult r = runInChild(options(t));
    EXPECT_EQ(r.status, 0) << "the walk ran away";
    EXPECT_EQ(r.out, "Match /a\nDifferent Files: 0\n");
}

TEST_F(CompareRun, WithoutFollowingLinksATreeNeverLeavesItself) {
    t.file("m/a", 1);
    t.file("c/a", 1);
    t.file("outside/o", 1);
    t.symlink("m/out", t.path("outside"));
    CompareOptions o = options(t);
    run(o);
    EXPECT_EQ(Rows(list), "Match /a\nNot Found /out/o\n");
    o.followLinks = false;
    run(o);
    EXPECT_EQ(Rows(list), "Match /a\n");
}

TEST_F(CompareRun, UnreadablePlacesAreNotComparedAndTheRunGoesOn) {
    ::chmod(t.root().c_str(), 0755);
    for (const char *f :
         {"m/a", "m/locked/x", "m/noread", "m/nosearch/y", "c/a", "c/noread", "c/nosearch/y"})
        t.file(f, 1);
    ::chmod(t.path("m/locked").c_str(), 0);
    ::chmod(t.path("c/noread").c_str(), 0); // still compared: its metadata is readable
    ::chmod(t.path("c/nosearch").c_str(), 0600);
    const ChildResult r = runInChild(options(t), [&] {
        return DropRootInChild() && ::access(t.path("m/locked").c_str(), R_OK) != 0;
    });
    if (r.status == 77)
        GTEST_SKIP() << "cannot make a directory unreadable for this process";
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
    const ChildResult r =
        runInChild(options(deep), [&] { return ::setrlimit(RLIMIT_NOFILE, &few) == 0; });
    std::string dirs;
    for (int i = 0; i < Depth; ++i)
        dirs += "/d";
    EXPECT_EQ(r.status, 0) << "crashed or hung on a deep tree";
    EXPECT_EQ(r.out, "Size " + dirs + "/bottom.txt\nDifferent Files: 1\n");
}

} // namespace
} // namespace dirwise::test
