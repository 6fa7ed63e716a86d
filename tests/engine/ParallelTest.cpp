// The engine's workers: the packed names of a listing, the directories listed ahead of the
// walk, the facts read ahead of the compare, and contents read by several workers at once.
// Whatever the workers do, the walk, the rows and their order are those of one thread.

#include "Compare.h"
#include "FileScan.h"
#include "Io.h"
#include "Listing.h"
#include "ResultsList.h"
#include "TempTree.h"
#include "TextForms.h"

#include <algorithm>
#include <map>
#include <random>

namespace dirwise::test {
namespace {

constexpr std::int64_t T0 = 1000000000; // 09/09/2001 01:46:40 UTC

class QuietHost : public CompareHost {
public:
    std::function<bool(const Progress &)> onYield;
    bool yield(const Progress &p) override { return onYield && onYield(p); }
};

// Each row as "result /dir/name difference", one line each.
std::string Rows(const ResultsList &list) {
    std::string out;
    for (std::size_t i = 0; i < list.Count(); ++i)
        out += list.Text(i, Column::Result) + " " + list.RelativeDir(i) + list.Row(i).name + " " +
               list.Text(i, Column::Difference) + "\n";
    return out;
}

TEST(ScanNamesTest, NamesKeepTheirBytesAndOrderAcrossManyBlocks) {
    ScanNames names;
    std::vector<std::string> given;
    std::mt19937 random(7);
    // Enough long names to fill several blocks, so some end right at a block's edge.
    for (int i = 0; given.size() < 20000; ++i) {
        std::string name(1 + random() % 255, 'a');
        for (char &c : name)
            c = static_cast<char>(1 + random() % 255); // any byte but NUL and '/'
        std::replace(name.begin(), name.end(), '/', '_');
        name += std::to_string(i);
        given.push_back(name.substr(0, 255));
        names.push_back(given.back());
    }
    ASSERT_EQ(names.size(), given.size());
    std::size_t wrong = 0;
    for (std::size_t i = 0; i < given.size(); ++i)
        wrong += names.view(i) != given[i] || std::string(names[i]) != given[i];
    EXPECT_EQ(wrong, 0u);
}

// A tree of several hundred directories, three deep, its names made in an order that is
// not byte order; the expected listing is worked out here from the same names. Only the
// root and the deepest directories hold files.
class WideTree : public ::testing::Test {
protected:
    void SetUp() override {
        const std::vector<std::string> level = {"z", "B", "a", "\xc3\xa9", ".d", "b", "A0", "_"};
        const std::vector<std::string> files = {"y.txt", "X.txt", ".h"};
        for (const std::string &a : level)
            for (const std::string &b : level)
                for (const std::string &c : level)
                    for (const std::string &f : files)
                        t.file("m/" + a + "/" + b + "/" + c + "/" + f, 1);
        for (const std::string &f : files)
            t.file("m/" + f, 1);
        std::vector<std::string> dirs = level, names = files;
        std::sort(dirs.begin(), dirs.end());
        std::sort(names.begin(), names.end());
        auto add = [&](const std::string &dir) {
            for (const std::string &f : names)
                expected += dir + f + " ";
        };
        add("/");
        for (const std::string &a : dirs)
            for (const std::string &b : dirs)
                for (const std::string &c : dirs)
                    add("/" + a + "/" + b + "/" + c + "/");
    }
    std::string List(const ScanRules &rules) {
        ScanState state;
        ScanDirectory(state, host, t.path("m"), {"*.*"}, rules);
        std::string got;
        for (std::size_t i = 0; i < state.ScanFileNames.size(); ++i)
            got += state.RelativeDir(state.ScanFileDirs[i]) + state.ScanFileNames[i] + " ";
        return got;
    }
    TempTree t{true};
    QuietHost host;
    std::string expected;
};

TEST_F(WideTree, ListsInByteOrderDepthFirstWhateverTheWorkersListFirst) {
    for (int run = 0; run < 3; ++run)
        EXPECT_EQ(List(ScanRules{}), expected) << "run " << run;
}

class Ahead : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char *f : {"m/one/b", "m/one/a", "m/one/sub/x", "m/two/c"})
            t.file(f, 1);
    }
    static std::string Position(std::initializer_list<std::uint32_t> steps) {
        std::string p;
        for (std::uint32_t s : steps)
            detail::ListingAhead::AppendStep(p, s);
        return p;
    }
    static std::string Names(const detail::Listing &l) {
        std::string out;
        for (const detail::ListedEntry &e : l.entries)
            out += std::string(l.name(e)) + (e.isDir ? "/ " : " ");
        return out;
    }
    TempTree t;
};

TEST_F(Ahead, AQueuedDirectoryIsListedByAWorkerAndItsSubdirectoriesQueuedToo) {
    detail::ListingAhead ahead(t.path("m") + "/", true, {.start = 2, .most = 2});
    ahead.Queue("", "", {"one", "two"}, {false, false});
    ahead.WaitUntilIdle();
    detail::AheadAnswer one = ahead.Take(Position({0}), "one/", false);
    ASSERT_EQ(one.kind, detail::AheadAnswer::Kind::Listed);
    EXPECT_EQ(Names(*one.listing), "a b sub/ ");
    EXPECT_TRUE(one.childrenQueued);
    detail::AheadAnswer sub = ahead.Take(Position({0, 0}), "one/sub/", false);
    ASSERT_EQ(sub.kind, detail::AheadAnswer::Kind::Listed) << "queued by the worker itself";
    EXPECT_EQ(Names(*sub.listing), "x ");
    EXPECT_GE(ahead.Workers(), 1u);
}

struct TakeCase {
    const char *what;
    std::string position;
    std::string relative;
    bool viaLink;
};

TEST_F(Ahead, ATakeThatDoesNotFitWhatWasQueuedIsListedByTheWalk) {
    const TakeCase cases[] = {
        {.what = "never queued", .position = Position({5}), .relative = "five/", .viaLink = false},
        {.what = "queued under another path",
         .position = Position({1}),
         .relative = "three/",
         .viaLink = false},
        {.what = "queued as no link, entered through one",
         .position = Position({0}),
         .relative = "one/",
         .viaLink = true},
    };
    for (const TakeCase &c : cases) {
        detail::ListingAhead ahead(t.path("m") + "/", true, {.start = 2, .most = 2});
        ahead.Queue("", "", {"one", "two"}, {false, false});
        ahead.WaitUntilIdle();
        EXPECT_EQ(ahead.Take(c.position, c.relative, c.viaLink).kind,
                  detail::AheadAnswer::Kind::ListHere)
            << c.what;
    }
}

TEST_F(Ahead, WhatTheWalkHasPassedIsDroppedAndListedAgainOnlyByTheWalk) {
    detail::ListingAhead ahead(t.path("m") + "/", true, {.start = 2, .most = 2});
    ahead.Queue("", "", {"one", "two"}, {false, false});
    ahead.WaitUntilIdle();
    ASSERT_EQ(ahead.Take(Position({1}), "two/", false).kind, detail::AheadAnswer::Kind::Listed);
    EXPECT_EQ(ahead.Take(Position({0}), "one/", false).kind, detail::AheadAnswer::Kind::ListHere)
        << "a listing the walk has passed was kept";
}

TEST_F(Ahead, APathTooLongToListByPathIsLeftToTheWalk) {
    detail::ListingAhead ahead(t.path("m") + "/", true, {.start = 2, .most = 2});
    std::vector<char> buffer;
    const std::string longPath(5000, 'd');
    EXPECT_EQ(ahead.ListByPath(longPath + "/", false, buffer).kind,
              detail::AheadAnswer::Kind::ListHere);
    EXPECT_EQ(ahead.ListByPath("one/", false, buffer).kind, detail::AheadAnswer::Kind::Listed);
}

class ManyFiles : public ::testing::Test {
protected:
    void SetUp() override { UseTimeZone("UTC0"); }
    CompareOptions Options() const {
        CompareOptions o;
        o.masterDir = t.path("m");
        o.compareDir = t.path("c");
        return o;
    }
    TempTree t{true};
    ResultsList list;
    QuietHost host;
};

TEST_F(ManyFiles, RowsComeInListingOrderPastTheReadAheadWindow) {
    // More files than the workers may read ahead, in large and tiny directories, so the
    // window wraps and chunks cross directories; every 7th file is missing, every 11th has
    // another size.
    std::string expected;
    int n = 0;
    for (int d = 0; d < 60; ++d) {
        const int files = d % 3 == 0 ? 1 : 450;
        char dir[16];
        std::snprintf(dir, sizeof dir, "d%02d", d);
        for (int f = 0; f < files; ++f, ++n) {
            char name[16];
            std::snprintf(name, sizeof name, "f%04d", f);
            const std::string rel = std::string(dir) + "/" + name;
            t.file("m/" + rel, 0);
            const char *result = "Match";
            if (n % 7 == 0)
                result = "Not Found";
            else if (n % 11 == 0)
                t.file("c/" + rel, 1), result = "Size";
            else
                t.file("c/" + rel, 0);
            expected += std::string(result) + " /" + dir + "/" + name + "\n";
        }
    }
    ASSERT_GT(n, 17000);
    // The compare loop dawdles at its start, so the workers run as far ahead as they may.
    bool paused = false;
    host.onYield = [&](const Progress &p) {
        if (p.phase == Phase::Comparing && p.compared == 1 && !paused)
            ::usleep(300 * 1000), paused = true;
        return false;
    };
    const ChildResult r = RunInChild(
        [&](std::string &out) {
            const CompareSummary s = RunCompare(Options(), list, host);
            for (std::size_t i = 0; i < list.Count(); ++i)
                out += list.Text(i, Column::Result) + " " + list.RelativeDir(i) + list.Row(i).name +
                       "\n";
            return s.total() == n ? 0 : 1;
        },
        60);
    EXPECT_EQ(r.status, 0) << "-1: hung";
    EXPECT_TRUE(r.out == expected)
        << "first difference at byte "
        << std::mismatch(r.out.begin(), r.out.end(), expected.begin(), expected.end()).first -
               r.out.begin();
}

TEST_F(ManyFiles, ContentsOfManyPairsSmallAndLargeGetTheirVerdictsInOrder) {
    // Small pairs are read with their facts, pairs larger than a read block by whichever
    // worker is free; the rows still come in listing order with each pair's own offset.
    constexpr std::int64_t Block = 256 * 1024;
    const std::int64_t offsets[] = {
        -1, 0, 1, 63, 64, 65, 4095, Block - 1, Block, Block + 1, 2 * Block + 99};
    t.dir("m");
    t.dir("c");
    std::string expected;
    for (int i = 0; i < 40; ++i) {
        const bool large = i % 4 == 0;
        const std::int64_t size = large ? 2 * Block + 100 : 100 + i * 37;
        const std::int64_t at = offsets[i % 11];
        std::string bytes(static_cast<std::size_t>(size), 'v');
        std::string other = bytes;
        if (at >= 0 && at < size)
            other[static_cast<std::size_t>(at)] = 'w';
        char name[16];
        std::snprintf(name, sizeof name, "p%02d", i);
        WriteFile(t.path("m") + "/" + name, bytes);
        WriteFile(t.path("c") + "/" + name, other);
        t.setTime(std::string("m/") + name, T0);
        t.setTime(std::string("c/") + name, T0);
        if (at >= 0 && at < size)
            expected += std::string("Content /") + name + " contents differ from offset " +
                        GroupedNumber(at, ",") + "\n";
        else
            expected += std::string("Match /") + name + " \n";
    }
    CompareOptions o = Options();
    o.verifyContents = true;
    o.matchDate = true;
    const CompareSummary s = RunCompare(o, list, host);
    EXPECT_EQ(Rows(list), expected);
    EXPECT_TRUE(s.notCompared.empty());
}

TEST_F(ManyFiles, ALargeFileThatCannotBeReadIsNotCompared) {
    const std::string big(600 * 1024, 'q'); // more than one read block: read on its own
    t.dir("m");
    t.dir("c");
    for (const char *f : {"m/a", "c/a", "m/secret", "c/secret", "m/z", "c/z"})
        WriteFile(t.path(f), big);
    for (const char *f : {"m/a", "c/a", "m/secret", "c/secret", "m/z", "c/z"})
        t.setTime(f, T0);
    ::chmod(t.root().c_str(), 0755);
    for (const char *d : {"m", "c"})
        ::chmod(t.path(d).c_str(), 0755);
    ::chmod(t.path("m/secret").c_str(), 0);
    const ChildResult r = RunInChild(
        [&](std::string &out) {
            if (!DropRootInChild() || ::access(t.path("m/secret").c_str(), R_OK) == 0)
                return 77;
            CompareOptions o = Options();
            o.verifyContents = true;
            const CompareSummary s = RunCompare(o, list, host);
            out = Rows(list);
            for (const Diagnostic &d : s.notCompared)
                out += "not compared " + d.path + " " + std::to_string(d.error) + "\n";
            return 0;
        },
        60);
    if (r.status == 77)
        GTEST_SKIP() << "cannot make a file unreadable for this process";
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Match /a \nMatch /z \nnot compared " + t.path("m/secret") + " " +
                         std::to_string(EACCES) + "\n");
}

TEST_F(ManyFiles, StopInsideALargePairLeavesTheRowsBeforeIt) {
    // Many small pairs, then large ones: a stop during the first large pair's blocks keeps
    // the small pairs' rows and gives the large pair none.
    for (int i = 0; i < 300; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "a%03d", i);
        t.file(std::string("m/") + name, 10);
        t.file(std::string("c/") + name, 10);
    }
    const std::string big(4 * 1024 * 1024, 'L');
    for (const char *f : {"m/big1", "c/big1", "m/big2", "c/big2"})
        WriteFile(t.path(f), big);
    CompareOptions o = Options();
    o.verifyContents = true;
    std::int64_t before = -1;
    host.onYield = [&](const Progress &p) {
        if (p.phase != Phase::Comparing || p.compared < 300)
            return false;
        if (before < 0)
            before = p.bytesVerified;
        return p.bytesVerified > before;
    };
    const CompareSummary s = RunCompare(o, list, host);
    EXPECT_TRUE(s.stopped);
    EXPECT_EQ(list.Count(), 300u);
    EXPECT_EQ(list.Row(list.Count() - 1).name, "a299");
}

} // namespace
} // namespace dirwise::test
