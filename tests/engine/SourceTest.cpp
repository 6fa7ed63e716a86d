// The run and the walk over sources written in the tests: the run does not know which
// source it has, and the cases a real tree cannot arrange reach the one diagnostic type.

#include "EngineTestSupport.h"
#include "TestSource.h"
#include "WorkerPool.h"

namespace dirwise::test {
namespace {

struct Sources : ::testing::Test {
    Sources() { UseTimeZone("UTC0"); }
    CompareSummary run() { return RunCompare(CompareOptions{}, master, compare, list, host); }
    TestSource master{"/m"}, compare{"/c"};
    ResultsList list;
    TestHost host;
};

TEST_F(Sources, ATestSourceDrivesTheRunAsALiveTreeWould) {
    master.add("a", {.size = 1}).add("d/b", {.size = 1}).add("d/c", {.size = 1}).add("e/");
    compare.add("a", {.size = 2}).add("d/b", {.size = 1}).add("d/c/");
    const CompareSummary s = run();
    EXPECT_EQ(Rows(list), "Size /a\nMatch /d/b\nNot Found /d/c\n");
    EXPECT_EQ(list.MasterPath(0) + " " + list.ComparePath(0), "/m/a /c/a");
    EXPECT_EQ(SummaryLines(s).back(), "Different Files: 2");
}

TEST_F(Sources, AListingThatFailsPartWayKeepsTheNamesReadBeforeIt) {
    master.add("d/a").add("d/b").add("d/c");
    compare.add("d/a").add("d/b").add("d/c");
    master.failListing("d/", EIO, 1);
    const CompareSummary s = run();
    EXPECT_EQ(Rows(list), "Match /d/a\n");
    const Diagnostic folder{Side::Master, Problem::FolderNotListed, "/m", "d/", EIO};
    EXPECT_EQ(s.notCompared, std::vector<Diagnostic>{folder});
    EXPECT_EQ(host.diagnostics, s.notCompared);
    EXPECT_EQ(folder.Path(), "/m/d/");
}

// A real mount taken away lazily goes on answering through folders held open, but which file
// a worker reads that way first cannot be chosen on a real tree; here it can.
TEST_F(Sources, FilesStillAnsweredAfterTheRootIsFoundGoneAreNotTaken) {
    master.add("a").add("b").add("c");
    compare.add("a").add("c");
    compare.gone = true; // found when b is not found
    const CompareSummary s = run();
    EXPECT_EQ(Rows(list), "Match /a\n");
    ASSERT_EQ(s.notCompared.size(), 2u);
    for (const Diagnostic &d : s.notCompared)
        EXPECT_EQ(d.problem, Problem::RootGone) << d.relative;
    EXPECT_EQ(s.notCompared.back().relative, "c") << "answered, but after the loss";
}

TEST_F(Sources, AFileTheCompareSideCannotReadIsNotComparedOnThatSide) {
    master.add("f").add("g");
    compare.add("f", {.error = EIO}).add("g");
    const CompareSummary s = run();
    EXPECT_EQ(Rows(list), "Match /g\n");
    EXPECT_EQ(s.notCompared,
              (std::vector<Diagnostic>{{Side::Compare, Problem::FactsNotRead, "/c", "f", EIO}}));
    EXPECT_EQ(s.total(), 1) << "a file not compared is in no total";
}

// What a skip rule will ask: the walk asks before it lists a folder or keeps a file.
struct SkipLogsAndBuild : WalkFilter {
    bool SkipFolder(std::string_view relative, bool) override { return relative == "build/"; }
    bool SkipFile(std::string_view dir, std::string_view name) override {
        return dir == "src/" && name.ends_with(".log");
    }
};

TEST_F(Sources, ASkippedFolderIsNeverAskedOfTheSource) {
    master.add("build/out").add("src/a.c").add("src/a.log").add("top.log");
    SkipLogsAndBuild filter;
    ScanState state;
    WorkerPool pool;
    Walk(master, pool, state, host, {"*.*"}, ScanRules{.filter = &filter});
    EXPECT_EQ(Listed(state), "/top.log /src/a.c ");
    EXPECT_EQ(master.listed, (std::vector<std::string>{"", "src/"}));
}

} // namespace
} // namespace dirwise::test
