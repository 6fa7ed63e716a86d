// The scanner: patterns, path helpers, FileExists, listing order, recursion, links, stop.

#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dirwise::test {
namespace {

struct PatternCase {
    const char *pattern;
    const char *name;
    bool matches;
};

TEST(MatchPattern, WildcardsAndCase) {
    const PatternCase cases[] = {
        {"*.*", "noextension", true},
        {"*.*", ".hidden", true},
        {"*.txt", "a.txt", true},
        {"*.txt", "A.TXT", true},
        {"*.TXT", "notes.txt", true},
        {"*.txt", ".txt", true},
        {"*.txt", "mytxt", false},
        {"*.txt", "a.txt.bak", false},
        {"*.tar.gz", "x.tar.gz", true},
        {"*.tar.gz", "x.gz", false},
        {"*.t?t", "a.tXt", true},
        {"?.txt", "\xc3\xa9.txt", true}, // one UTF-8 character
        {"?.txt", "\xff.txt", true},     // one byte that is not UTF-8
        {"?.txt", "ab.txt", false},
        {"*.\xc3\x89", "a.\xc3\xa9", false}, // only ASCII letters fold
    };
    for (const PatternCase &c : cases)
        EXPECT_EQ(MatchPattern(c.pattern, c.name), c.matches) << c.pattern << " vs " << c.name;
}

TEST(PathHelpers, ParentAndLastPart) {
    EXPECT_EQ(GetParentPath("/c/sub/a.txt"), "/c/sub/");
    EXPECT_EQ(GetParentPath("/c/sub/"), "/c/");
    EXPECT_EQ(GetParentPath("/a.txt"), "/");
    EXPECT_EQ(GetLastPathPart("/c/sub/a.txt"), "a.txt");
    EXPECT_EQ(GetLastPathPart("/c/sub/"), "sub");
    EXPECT_EQ(GetLastPathPart("/a.txt"), "a.txt");
}

TEST(FileExists, RegularReadableFilesOnly) {
    TempTree t;
    t.file("f.txt", 3);
    t.dir("d");
    t.symlink("link", "f.txt");
    t.symlink("dangling", "nothing");
    t.fifo("pipe");
    EXPECT_TRUE(FileExists(t.path("f.txt")));
    EXPECT_TRUE(FileExists(t.path("link")));
    EXPECT_FALSE(FileExists(t.path("missing")));
    EXPECT_FALSE(FileExists(t.path("d")));
    EXPECT_FALSE(FileExists(t.path("dangling")));
    EXPECT_FALSE(FileExists(""));
    // A FIFO without a writer would block an open: the child fails the test if it hangs.
    const ChildResult r = RunInChild([&](std::string &) { return FileExists(t.path("pipe")) ? 1 : 0; }, 20);
    EXPECT_EQ(r.status, 0) << "FileExists on a FIFO hung or said true";
}

TEST(FileExists, UnreadableFileIsFalse) {
    TempTree t;
    t.chmod("", 0755);
    t.file("secret.txt", 3);
    t.chmod("secret.txt", 0);
    const ChildResult r = RunInChild([&](std::string &) {
        if (!DropRootInChild())
            return 76;
        if (::access(t.path("secret.txt").c_str(), R_OK) == 0)
            return 77; // modes are not enforced here
        return FileExists(t.path("secret.txt")) ? 1 : 0;
    });
    if (r.status == 76 || r.status == 77)
        GTEST_SKIP() << "cannot make a file unreadable for this process";
    EXPECT_EQ(r.status, 0);
}

// A tree whose names come in no particular order on disk, created out of byte order.
class ScanOrder : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char *f : {"z.log", "b.txt", "\xc3\xa9.txt", "B.txt", "a.txt", "_x.txt", ".dot.txt"})
            t.file(std::string("m/") + f, 1);
        t.file("m/sub2/s.txt", 1);
        t.file("m/sub2/deeper/y.txt", 1);
        t.file("m/Sub1/t.txt", 1);
        t.file("m/Sub1/inner/z.txt", 1);
        t.file("m/data.old/d.txt", 1);
        t.file("m/.hidden/h.txt", 1);
    }
    std::vector<std::string> scan(const std::string &root, const std::vector<std::string> &patterns,
                                  bool recursive) {
        ResetScan(state);
        ScanDirectory(state, host, root, patterns, recursive);
        EXPECT_EQ(state.ScanFileCount, static_cast<std::int64_t>(state.ScanFileNames.size()));
        EXPECT_EQ(state.ScanFileNames.size(), state.ScanFileDirs.size());
        return ScannedPaths(state);
    }
    TempTree t;
    ScanState state;
    TestHost host;
    const std::vector<std::string> rootFiles = {"/.dot.txt", "/B.txt", "/_x.txt", "/a.txt",
                                                "/b.txt", "/z.log", "/\xc3\xa9.txt"};
};

TEST_F(ScanOrder, ByteOrderDepthFirstDottedAndHiddenDirectoriesEntered) {
    std::vector<std::string> expected = rootFiles;
    for (const char *p : {"/.hidden/h.txt", "/Sub1/t.txt", "/Sub1/inner/z.txt", "/data.old/d.txt",
                          "/sub2/s.txt", "/sub2/deeper/y.txt"})
        expected.push_back(p);
    EXPECT_EQ(scan(t.path("m"), {"*.*"}, true), expected);
    EXPECT_TRUE(host.diagnostics.empty());
}

TEST_F(ScanOrder, WithoutRecursionOnlyTheRootsFiles) {
    EXPECT_EQ(scan(t.path("m"), {"*.*"}, false), rootFiles);
}

TEST_F(ScanOrder, PatternGivenTwiceListsEachFileOncePerPatternGroupedPerDirectory) {
    std::vector<std::string> txt;
    for (const std::string &f : rootFiles)
        if (f != "/z.log")
            txt.push_back(f);
    std::vector<std::string> expected = txt;
    expected.insert(expected.end(), txt.begin(), txt.end());
    for (const char *p : {"/.hidden/h.txt", "/Sub1/t.txt", "/Sub1/inner/z.txt", "/data.old/d.txt",
                          "/sub2/s.txt", "/sub2/deeper/y.txt"}) {
        expected.push_back(p);
        expected.push_back(p);
    }
    EXPECT_EQ(scan(t.path("m"), {"*.txt", "*.TXT"}, true), expected);
}

TEST_F(ScanOrder, TrailingSeparatorGivesTheSamePaths) {
    scan(t.path("m"), {"*.*"}, true);
    std::vector<std::string> plain;
    for (std::size_t i = 0; i < state.ScanFileNames.size(); ++i)
        plain.push_back(state.ScanFilePath(i));
    scan(t.path("m") + "/", {"*.*"}, true);
    std::vector<std::string> slashed;
    for (std::size_t i = 0; i < state.ScanFileNames.size(); ++i)
        slashed.push_back(state.ScanFilePath(i));
    EXPECT_EQ(plain, slashed);
    ASSERT_FALSE(plain.empty());
    for (const std::string &p : plain) {
        EXPECT_EQ(p.rfind(t.path("m") + "/", 0), 0u) << p;
        EXPECT_EQ(p.find("//"), std::string::npos) << p;
        EXPECT_EQ(p.find("/./"), std::string::npos) << p;
        EXPECT_EQ(p.find("/../"), std::string::npos) << p;
    }
}

TEST_F(ScanOrder, EmptyPatternListStillVisitsEveryDirectory) {
    EXPECT_TRUE(scan(t.path("m"), {}, true).empty());
    std::vector<std::string> dirs;
    for (std::uint32_t d = 0; d < state.ScanDirs.size(); ++d)
        dirs.push_back(state.RelativeDir(d));
    std::sort(dirs.begin(), dirs.end());
    const std::vector<std::string> expected = {"/", "/.hidden/", "/Sub1/", "/Sub1/inner/",
                                               "/data.old/", "/sub2/", "/sub2/deeper/"};
    EXPECT_EQ(dirs, expected);
}

TEST_F(ScanOrder, StopAtEveryYieldEndsTheWalkAtOnceAndKeepsAPrefix) {
    const std::vector<std::string> full = scan(t.path("m"), {"*.*"}, true);
    const int total = host.yields;
    ASSERT_GT(total, static_cast<int>(full.size()));
    for (int k = 1; k <= total; ++k) {
        TestHost stopper;
        stopper.onYield = [&](int n) {
            if (n == k)
                state.StopRequested = true;
        };
        ResetScan(state);
        ScanDirectory(state, stopper, t.path("m"), {"*.*"}, true);
        EXPECT_EQ(stopper.yields, k) << "the walk went on after the stop at yield " << k;
        EXPECT_EQ(state.ScanFileCount, static_cast<std::int64_t>(state.ScanFileNames.size()));
        const std::vector<std::string> got = ScannedPaths(state);
        ASSERT_LE(got.size(), full.size());
        EXPECT_TRUE(std::equal(got.begin(), got.end(), full.begin())) << "stop at yield " << k;
    }
}

TEST(Scan, MissingRootListsNothing) {
    TempTree t;
    // A missing root and the empty path each list nothing and say so; the empty path is
    // never taken for the file system's root.
    for (const std::string &root : {t.path("nothing"), std::string()}) {
        ScanState state;
        TestHost host;
        ScanDirectory(state, host, root, {"*.*"}, true);
        EXPECT_EQ(state.ScanFileCount, 0) << root;
        EXPECT_TRUE(state.ScanFileNames.empty()) << root;
        ASSERT_EQ(state.Diagnostics.size(), 1u) << root;
        EXPECT_EQ(state.Diagnostics[0].error, ENOENT) << root;
        EXPECT_EQ(state.ScanDirs.size(), root.empty() ? 0u : 1u) << root;
    }
}

TEST(Scan, SpecialFilesAreListedWithoutBeingOpened) {
    TempTree t;
    t.fifo("m/pipe");
    t.file("m/a.txt");
    const ChildResult r = RunInChild([&](std::string &out) {
        ScanState state;
        TestHost host;
        ScanDirectory(state, host, t.path("m"), {"*.*"}, true);
        for (const std::string &p : ScannedPaths(state))
            out += p + "\n";
        return 0;
    }, 20);
    EXPECT_EQ(r.status, 0) << "the scan hung or crashed on a FIFO";
    EXPECT_EQ(r.out, "/a.txt\n/pipe\n");
}

TEST(Scan, LinksToAncestorsArePassedOverSilently) {
    TempTree t;
    t.file("m/f.txt");
    t.file("m/a/g.txt");
    t.file("m/a/b/h.txt");
    t.symlink("m/a/up", "..");
    t.symlink("m/a/self", ".");
    t.symlink("m/a/b/top", "../..");
    t.symlink("m/a/b/abs", t.path("m"));
    const ChildResult r = RunInChild([&](std::string &out) {
        ScanState state;
        TestHost host;
        ScanDirectory(state, host, t.path("m"), {"*.*"}, true);
        for (const std::string &p : ScannedPaths(state))
            out += p + "\n";
        return static_cast<int>(host.diagnostics.size());
    }, 30);
    EXPECT_EQ(r.status, 0) << "hung, crashed or reported the loop as a problem";
    EXPECT_EQ(r.out, "/f.txt\n/a/g.txt\n/a/b/h.txt\n");
}

TEST(Scan, LinkToANonAncestorDirectoryIsEnteredAndDanglingLinkIsAFile) {
    TempTree t;
    t.file("m/x/file.txt");
    t.symlink("m/y", "x");
    t.symlink("m/gone", "nothing-here");
    ScanState state;
    TestHost host;
    ScanDirectory(state, host, t.path("m"), {"*.*"}, true);
    const std::vector<std::string> expected = {"/gone", "/x/file.txt", "/y/file.txt"};
    EXPECT_EQ(ScannedPaths(state), expected);
}

TEST(Scan, UnreadableDirectoryIsADiagnosticAndTheWalkGoesOn) {
    TempTree t;
    t.chmod("", 0755);
    t.file("m/a.txt");
    t.file("m/locked/secret.txt");
    t.file("m/z/after.txt");
    t.chmod("m/locked", 0);
    const ChildResult r = RunInChild([&](std::string &out) {
        if (!DropRootInChild())
            return 76;
        if (DIR *probe = ::opendir(t.path("m/locked").c_str())) {
            ::closedir(probe);
            return 77;
        }
        ScanState state;
        TestHost host;
        ScanDirectory(state, host, t.path("m"), {"*.*"}, true);
        for (const std::string &p : ScannedPaths(state))
            out += p + "\n";
        for (const Diagnostic &d : host.diagnostics)
            out += "diag " + d.path + " " + std::to_string(d.error) + (d.directory ? " dir" : "") + "\n";
        return state.Diagnostics.size() == host.diagnostics.size() ? 0 : 1;
    });
    if (r.status == 76 || r.status == 77)
        GTEST_SKIP() << "cannot make a directory unreadable for this process";
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "/a.txt\n/z/after.txt\ndiag " + t.path("m/locked") + "/ " +
                         std::to_string(EACCES) + " dir\n");
}

} // namespace
} // namespace dirwise::test
