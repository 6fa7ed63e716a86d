// The engine: patterns, the scan, the roots, and the compare run through its one seam, with
// its classification, modes, stop, progress, links, special files, unreadable places and
// extremes.

#include "EngineTestSupport.h"

namespace dirwise::test {
namespace {

TEST(Pattern, WildcardsFoldCaseInAnyLanguage) {
    const struct {
        const char *what, *pattern, *name;
        bool matches;
    } cases[] = {
        // The letters below: TXÉ against txé, ΣΊΣ against σίς, the Kelvin sign U+212A, the byte
        // E9 alone against the two-byte é.
        {"*.* matches a name without a dot", "*.*", "noextension", true},
        {"ASCII letters fold", "*.TXT", "a.txt", true},
        {"an extension needs its dot", "*.txt", "mytxt", false},
        {"? takes one letter", "*.t?t", "a.tXt", true},
        {"? takes a byte that is no UTF-8", "?.txt", "\xff.txt", true},
        {"? takes a whole two-byte character", "?.txt", "\xc3\xa9.txt", true},
        {"? takes a whole four-byte character", "?", "\xf0\x9f\x98\x80", true},
        {"? takes no more than one character", "?.txt", "ab.txt", false},
        {"letters of any language fold (TXE acute)", "*.TX\xc3\x89", "o.tx\xc3\xa9", true},
        {"Greek, final sigma too", "\xce\xa3\xce\x8a\xce\xa3", "\xcf\x83\xce\xaf\xcf\x82", true},
        {"the Kelvin sign folds to k", "\xe2\x84\xaa", "K", true},
        {"a byte that is not UTF-8 never equals a letter", "\xe9", "\xc3\xa9", false},
        {"* may match nothing", "a*b", "ab", true},
        {"* backtracks", "*a*b", "xaxxb", true},
        {"the name must be used up", "a", "ab", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(MatchPattern(c.pattern, c.name), c.matches) << c.what;
}

TEST(Pattern, ExcludedExtensionsFoldCaseAsWildcardsDo) {
    const std::array<std::string, 4> boxes = {"TX\xc3\x89", "", "", ""};
    EXPECT_TRUE(IsExcluded("o.tx\xc3\xa9", boxes));
    EXPECT_TRUE(IsExcluded(".TX\xc3\x89", boxes)) << "a name that is only the extension";
    EXPECT_FALSE(IsExcluded("otx\xc3\xa9", boxes)) << "an ending without its dot";
}

TEST(Scan, ListsEachFoldersFilesInByteOrderBeforeItsSubfolders) {
    TempTree t;
    for (const char *f :
         {"z.log", "b.txt", "\xc3\xa9.txt", "B.txt", "a.txt", ".dot.txt", "sub2/s.txt",
          "sub2/deeper/y.txt", "Sub1/t.txt", "data.old/d.txt", ".hidden/h.txt"})
        t.file(std::string("m/") + f, 1);
    // The listed files, then the errno of every diagnostic.
    const auto scan = [&](const std::string &root, bool recursive) {
        ScanState state;
        TestHost host;
        ScanDirectory(state, host, root, {"*.*"}, ScanRules{.recursive = recursive});
        std::string got = Listed(state);
        EXPECT_EQ(state.ScanFileCount, static_cast<std::int64_t>(state.ScanFileNames.size()));
        EXPECT_EQ(host.diagnostics, state.Diagnostics);
        for (const Diagnostic &d : state.Diagnostics)
            got += "error " + std::to_string(d.error);
        return got;
    };
    const std::string top = "/.dot.txt /B.txt /a.txt /b.txt /z.log /\xc3\xa9.txt ";
    EXPECT_EQ(scan(t.path("m"), true),
              top + "/.hidden/h.txt /Sub1/t.txt /data.old/d.txt /sub2/s.txt /sub2/deeper/y.txt ");
    EXPECT_EQ(scan(t.path("m") + "/", true), scan(t.path("m"), true));
    EXPECT_EQ(scan(t.path("m"), false), top) << "without subdirectories";
    const std::string missing = "error " + std::to_string(ENOENT);
    EXPECT_EQ(scan(t.path("nothing"), true), missing);
    EXPECT_EQ(scan("", true), missing) << "an empty root is never the file system's root";
}

TEST(Roots, LoseTrailingSeparatorsButTheRootFolderStays) {
    const std::pair<const char *, const char *> cases[] = {
        {"/a/b/", "/a/b"}, {"/a/b//", "/a/b"}, {"/a", "/a"}, {"///", "/"}, {"/", "/"}, {"", ""}};
    for (const auto &[given, normal] : cases)
        EXPECT_EQ(NormalizeRoot(given), normal) << given;
}

TEST(Roots, TheCheckNamesWhyARootIsUnusable) {
    TempTree t;
    t.file("plain", 1);
    t.dir("d");
    EXPECT_EQ(CheckRoot(t.path("d")), 0);
    EXPECT_EQ(CheckRoot(t.path("d") + "/"), 0);
    EXPECT_EQ(CheckRoot(t.path("missing")), ENOENT);
    EXPECT_EQ(CheckRoot(t.path("plain")), ENOTDIR);
    EXPECT_EQ(CheckRoot(""), ENOENT);
    // A directory the child, as nobody, may enter but not list.
    ::chmod(t.root().c_str(), 0755);
    ::chmod(t.path("d").c_str(), 0711);
    const ChildResult r = RunInChild([&](std::string &out) {
        if (!DropRootInChild() || ::access(t.path("d").c_str(), R_OK) == 0)
            return 77;
        out = std::to_string(CheckRoot(t.path("d")));
        return 0;
    });
    if (r.status == 77)
        GTEST_SKIP() << "cannot make a directory unreadable for this process";
    EXPECT_EQ(r.out, std::to_string(EACCES));
}

class CompareRun : public EngineRun {};

// A name that begins another comes first, folders as files: "x" before "x-1", though
// "x/" sorts after "x-1/" and "/x/f" after "/x-1/f". Made in the other order on the compare
// side, so the file system's own order cannot help.
TEST_F(CompareRun, ANameThatBeginsAnotherComesFirst) {
    for (const char *f : {"m/a", "m/a.txt", "m/x/f", "m/x-1/f", "c/x-1/f", "c/x/f", "c/a.txt"})
        t.file(f, 1, T0);
    run();
    EXPECT_EQ(Rows(list), "Not Found /a\nMatch /a.txt\nMatch /x/f\nMatch /x-1/f\n");
}

TEST_F(CompareRun, ClassificationFollowsTheMatchOptions) {
    const struct {
        bool matchSize, matchDate, sizeDiffers, dateDiffers;
        const char *result; // nullptr: no row, counted as matching
    } cases[] = {
        // clang-format off
        {true, false, false, false, "Match"},
        {true, false, false, true, "Match"},
        {true, false, true, true, "Size"},
        {false, true, true, false, "Match"},
        {false, true, true, true, "Date"},
        {true, true, false, false, "Match"},
        {true, true, true, false, "Size"},
        {true, true, false, true, "Date"},
        {true, true, true, true, "Size&Date"},
        {false, false, true, true, nullptr},
        // clang-format on
    };
    t.file("m/f.bin", 10, T0);
    for (const auto &c : cases) {
        t.file("c/f.bin", c.sizeDiffers ? 11 : 10, c.dateDiffers ? T0 + 60 : T0);
        for (bool hide : {false, true}) {
            CompareOptions o = Options(t);
            o.matchSize = c.matchSize;
            o.matchDate = c.matchDate;
            o.hideMatches = hide;
            const CompareSummary s = run(o);
            SCOPED_TRACE(::testing::Message() << "row " << &c - cases + 1 << ", hide " << hide);
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

TEST_F(CompareRun, RewrittenExtensionBoxesPickTheFilesCompared) {
    for (const char *f : {"a.txt", "A.TXT", "mytxt", "b.log", "c.tar.gz", "d.gz", "s/z.txt"}) {
        t.file(std::string("m/") + f, 1);
        t.file(std::string("c/") + f, 1);
    }
    // A leading blank stays part of an excluded extension; a double extension keeps its last
    // part, a starred one what follows its first dot; an included extension given twice lists
    // its files twice; boxes that rewrite to nothing include nothing.
    const struct {
        bool exclude;
        std::vector<std::string> typed; // the boxes as typed; a run rewrites them
        const char *rows;
        std::int64_t excluded;
    } cases[] = {
        {true, {"txt"}, "/b.log /c.tar.gz /d.gz /mytxt ", 3},
        {true, {" *.TXT"}, "/b.log /c.tar.gz /d.gz /mytxt ", 3},
        {true, {" txt"}, "/A.TXT /a.txt /b.log /c.tar.gz /d.gz /mytxt /s/z.txt ", 0},
        {true, {"tar.gz"}, "/A.TXT /a.txt /b.log /mytxt /s/z.txt ", 2},
        {true, {"*.tar.gz"}, "/A.TXT /a.txt /b.log /d.gz /mytxt /s/z.txt ", 1},
        {true, {"", "LOG", "", "gz"}, "/A.TXT /a.txt /mytxt /s/z.txt ", 3},
        {false, {" log "}, "/b.log ", 0},
        {false, {"*.tar.gz"}, "/c.tar.gz ", 0},
        {false, {"txt", "TXT"}, "/A.TXT /a.txt /A.TXT /a.txt /s/z.txt /s/z.txt ", 0},
        {false, {"*.", "."}, "", 0},
    };
    for (const auto &c : cases) {
        CompareOptions o = Options(t);
        o.excludeMode = c.exclude;
        for (std::size_t k = 0; k < c.typed.size(); ++k)
            o.extensions[k] = RewriteExtensionBox(c.typed[k]);
        const CompareSummary s = run(o);
        std::string rows;
        for (std::size_t i = 0; i < list.Count(); ++i)
            rows += list.RelativeDir(i) + list.Row(i).name + " ";
        SCOPED_TRACE(::testing::Message() << "row " << &c - cases + 1);
        EXPECT_EQ(rows, c.rows);
        EXPECT_EQ(s.excluded, c.excluded);
        EXPECT_EQ(s.total(), static_cast<std::int64_t>(list.Count()));
    }
}

// Every file is Not Found, so every compare-phase yield follows a new row: the list's count
// at a yield tells the listing (0) from the compare phase.
TEST_F(CompareRun, AStopAtAnyYieldKeepsTheRowsSoFar) {
    for (const char *f : {"a", "b", "c", "s/d", "s/e", "s/t/f"})
        t.file(std::string("m/") + f, 1);
    std::vector<std::size_t> rowsAt = {0};
    host.onYield = [&](int, const Progress &) {
        rowsAt.push_back(list.Count());
        return false;
    };
    ASSERT_FALSE(run().stopped);
    Progress last;
    for (const Progress &p : host.progress) {
        EXPECT_FALSE(last.phase == Phase::Comparing && p.phase == Phase::Listing) << "went back";
        EXPECT_GE(p.listed, last.listed);
        EXPECT_GE(p.compared, last.compared);
        EXPECT_TRUE(p.phase == Phase::Comparing ? p.listed == 6 : p.compared == 0);
        last = p;
    }
    EXPECT_EQ(last.phase, Phase::Comparing);
    EXPECT_EQ(last.compared, 6);
    const std::string fullRows = Rows(list);
    // One yield before the listing, one per entry (8), one between the phases, one per file.
    const auto total = static_cast<int>(host.progress.size());
    ASSERT_GE(total, 1 + 8 + 1 + 6);
    for (int k = 1; k <= total; ++k) {
        TestHost stopper;
        stopper.onYield = [&](int n, const Progress &) { return n == k; };
        const CompareSummary s = RunCompare(Options(t), list, stopper);
        SCOPED_TRACE(::testing::Message() << "stop at yield " << k << " of " << total);
        EXPECT_EQ(SummaryText(s), "Dirwise stopped.");
        EXPECT_EQ(list.Count(), rowsAt[static_cast<std::size_t>(k)]);
        EXPECT_EQ(stopper.progress.size(), static_cast<std::size_t>(k))
            << "the run yielded again after it was told to stop";
        EXPECT_EQ(fullRows.rfind(Rows(list), 0), 0u);
    }
    // Nothing of a stop stays behind: the next run completes.
    EXPECT_EQ(SummaryText(run()),
              "Dirwise complete.\r\rTotal Files: 6\rMatching Files: 0\rDifferent Files: 6");
}

TEST_F(CompareRun, LinksLoopsFifosOrFoldersInTheWayNeverHangTheRun) {
    for (const char *f :
         {"m/a.txt", "c/a.txt", "m/c.txt", "m/f", "m/dsub/g", "c/dsub", "m/sub/d.txt",
          "c/sub/d.txt", "m/sub/x/e.txt", "c/sub/x/e.txt", "c/only-here"})
        t.file(f, 1);
    t.symlink("m/b.lnk", "b.lnk");   // master side: a loop of links, its facts unreadable
    t.symlink("c/c.txt", "nowhere"); // compare side: a link leading nowhere, its own facts
    t.dir("c/f");                    // a directory where the master has a file
    for (const char *f : {"m/p", "c/p", "m/q", "c/r"})
        t.fifo(f); // opening one would block
    t.file("m/r", 0);
    t.symlink("m/sub/up", "..");
    t.symlink("m/sub/self", ".");
    t.symlink("m/sub/abs", t.path("m"));
    t.symlink("m/sub/x/top", "../..");
    t.symlink("m/y", "sub/x"); // not an ancestor, but walked already as sub/x: not again
    for (const std::string fs : {"proc", "sys", "dev"})
        t.symlink("m/" + fs, "/" + fs); // the kernel's file systems: never entered
    const ChildResult r = CompareInChild(Options(t), host);
    EXPECT_EQ(r.status, 0) << "hung, crashed or ran away";
    EXPECT_EQ(r.out, "Match /a.txt\nSize /c.txt\nNot Found /f\nMatch /p\nNot Found /q\nMatch /r\n"
                     "Not Found /dsub/g\nMatch /sub/d.txt\nMatch /sub/x/e.txt\n" +
                         NotComparedLine(t.path("m/y/"), 0) +
                         NotComparedLine(t.path("m/b.lnk"), ELOOP) + "Not Compared: 2\n");
}

// The roots come with trailing separators, which the run removes.
TEST_F(CompareRun, LinksOutOfTheTreeAreEnteredOnlyWhenFollowed) {
    t.file("m/a", 1);
    t.file("c/a", 1);
    t.file("outside/o", 1);
    t.symlink("m/out", t.path("outside"));
    t.symlink("m/b.lnk", "b.lnk");
    t.symlink("m/c.lnk", "c.lnk");
    CompareOptions o = Options(t);
    o.masterDir += "//";
    o.compareDir += "//";
    const CompareSummary s = run(o);
    EXPECT_EQ(Rows(list), "Match /a\nNot Found /out/o\n");
    EXPECT_EQ(list.MasterPath(1) + " " + list.ComparePath(1),
              t.path("m/out/o") + " " + t.path("c/out/o"));
    ASSERT_EQ(s.notCompared.size(), 2u);
    EXPECT_EQ(s.notCompared[0].Path(), t.path("m/b.lnk"));
    EXPECT_EQ(host.diagnostics, s.notCompared) << "each reaches the host once, as it is found";
    o.followLinks = false;
    run(o);
    EXPECT_EQ(Rows(list), "Match /a\n");
}

TEST_F(CompareRun, PlacesVanishingDuringTheRun) {
    const struct {
        Phase phase; // the victim goes at the first yield in this phase (and stays away)
        const char *victim, *rows, *lastLine;
    } cases[] = {
        {Phase::Comparing, "m/b", "Match /a\nMatch /c\n", "Not Compared: 1"},
        {Phase::Comparing, "c/b", "Match /a\nNot Found /b\nMatch /c\n", "Different Files: 1"},
        {Phase::Listing, "c", "", "Not Compared: 3"}, // the compare root: nothing is Not Found
    };
    for (const auto &c : cases) {
        for (const char *f : {"m/a", "c/a", "m/b", "c/b", "m/c", "c/c"})
            t.file(f, 1);
        host.onYield = [&](int, const Progress &p) {
            if (p.phase == c.phase)
                t.remove(c.victim);
            return false;
        };
        const CompareSummary s = run();
        SCOPED_TRACE(c.victim);
        EXPECT_EQ(Rows(list), c.rows);
        EXPECT_EQ(s.total(), static_cast<std::int64_t>(list.Count()));
        EXPECT_EQ(SummaryLines(s).back(), c.lastLine);
    }
}

TEST_F(CompareRun, UnreadablePlacesAreNotComparedWhileTheRunGoesOn) {
    ::chmod(t.root().c_str(), 0755);
    for (const char *f :
         {"m/a", "m/locked/x", "m/noread", "m/nosearch/y", "c/a", "c/noread", "c/nosearch/y"})
        t.file(f, 1);
    ::chmod(t.path("m/locked").c_str(), 0);
    ::chmod(t.path("c/noread").c_str(), 0); // still compared: its metadata is readable
    ::chmod(t.path("c/nosearch").c_str(), 0600);
    const ChildResult r = CompareInChild(Options(t), host, [&] {
        return DropRootInChild() && ::access(t.path("m/locked").c_str(), R_OK) != 0;
    });
    if (r.status == 77)
        GTEST_SKIP() << "cannot make a directory unreadable for this process";
    EXPECT_EQ(r.out, "Match /a\nMatch /noread\n" +
                         NotComparedLine(t.path("m/locked") + "/", EACCES) +
                         NotComparedLine(t.path("c/nosearch/y"), EACCES) + "Not Compared: 2\n");
}

TEST_F(CompareRun, TenThousandDeepTreeWithFewDescriptors) {
    constexpr int Depth = 10000;
    TempTree deep(true);
    ASSERT_TRUE(deep.deepFile("m", Depth, "d", "bottom.txt", 1, T0));
    ASSERT_TRUE(deep.deepFile("c", Depth, "d", "bottom.txt", 2, T0));
    const rlimit few{256, 256}; // a walk holding a descriptor per level runs out
    const ChildResult r =
        CompareInChild(Options(deep), host, [&] { return ::setrlimit(RLIMIT_NOFILE, &few) == 0; });
    std::string dirs;
    for (int i = 0; i < Depth; ++i)
        dirs += "/d";
    EXPECT_EQ(r.status, 0) << "crashed or hung on a deep tree";
    EXPECT_EQ(r.out, "Size " + dirs + "/bottom.txt\nDifferent Files: 1\n");
}

} // namespace
} // namespace dirwise::test
