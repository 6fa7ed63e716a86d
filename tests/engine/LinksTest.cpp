// Symbolic links as the compare meets them: a link that leads nowhere is compared by its own
// facts, and a folder reached through links is walked once, however many links lead to it.

#include "EngineTestSupport.h"
#include "NotCompared.h"

#include <algorithm>

namespace dirwise::test {
namespace {

using LinksRun = EngineRun;

TEST_F(LinksRun, ALinkLeadingNowhereIsComparedByItsOwnFacts) {
    const struct {
        const char *what;
        const char *master; // the master link's target (nullptr: a one-byte file)
        const char *compare;
        std::int64_t compareTime; // of the compare link itself
        bool dates;
        bool verify; // a link's target stands for its contents
        Result result;
    } cases[] = {
        {"both to the same missing target", "gone/x", "gone/x", T0, false, false, Result::Match},
        {"targets of other lengths", "gone/x", "gone/xyz", T0, false, false, Result::Size},
        {"the compare link newer, dates compared", "gone/x", "gone/x", T0 + 60, true, false,
         Result::Date},
        {"a file on the master side", nullptr, "nowhere", T0, false, false, Result::Size},
        {"the same target, verified", "gone/x", "gone/x", T0, true, true, Result::Match},
        {"other targets of one length, verified", "gone/x", "gone/y", T0, true, true,
         Result::Content},
        {"a file against a target of its length, verified", nullptr, "n", T0, true, true,
         Result::Content},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        t.remove("m");
        t.remove("c");
        if (c.master) {
            t.symlink("m/l", c.master);
            t.setTime("m/l", T0);
        } else {
            t.file("m/l", 1, T0);
        }
        t.symlink("c/l", c.compare);
        t.setTime("c/l", c.compareTime);
        CompareOptions o = Options(t);
        o.matchDate = c.dates;
        o.verifyContents = c.verify;
        const CompareSummary s = run(o);
        EXPECT_TRUE(s.notCompared.empty()) << "a link leading nowhere is there to compare";
        ASSERT_EQ(list.Count(), 1u);
        EXPECT_EQ(list.Row(0).result, c.result);
        EXPECT_EQ(list.Row(0).compareSize, static_cast<std::int64_t>(std::strlen(c.compare)));
        if (c.result == Result::Content && c.master) {
            EXPECT_EQ(list.Row(0).contentOffset, 5) << "the first byte where the targets differ";
        }
    }
}

// Folders L0 to L26, each with a file f and two links, a and b, to the next one: followed
// blindly, 2^26 paths. A folder is walked once through links, and once at its own place.
TEST_F(LinksRun, TwoLinksPerLevelWalkEachFolderOnce) {
    std::vector<std::string> levels;
    for (int k = 0; k <= 26; ++k) {
        levels.push_back("L" + std::to_string(k));
        t.file("m/" + levels.back() + "/f", 1, T0);
        if (k < 26)
            for (const char *link : {"/a", "/b"})
                t.symlink("m/" + levels.back() + link, "../L" + std::to_string(k + 1));
    }
    host.onYield = [](int n, const Progress &) { return n > 100000; };
    const CompareSummary s = run();
    ASSERT_FALSE(s.stopped) << "the walk went on past the tree's size";
    const auto viaA = [](int n) {
        std::string path = "L0/";
        for (int k = 0; k < n; ++k)
            path += "a/";
        return path;
    };
    // Along L0's first links: L0/f, L0/a/f, L0/a/a/f, ...; then each other level's own f.
    std::string expected;
    for (int k = 0; k <= 26; ++k)
        expected += "Not Found /" + viaA(k) + "f\n";
    std::sort(levels.begin(), levels.end());
    for (std::size_t k = 1; k < levels.size(); ++k)
        expected += "Not Found /" + levels[k] + "/f\n";
    EXPECT_EQ(Rows(list), expected);
    // Every other link is one place not compared: the b links along the way, and both links
    // of L1 to L25 at their own places.
    ASSERT_EQ(s.notCompared.size(), 26u + 2u * 25u);
    for (const Diagnostic &d : s.notCompared)
        EXPECT_EQ(d.problem, Problem::WalkedAlready) << d.relative;
    EXPECT_EQ(s.notCompared[0].relative, viaA(25) + "b/") << "the deepest b link comes first";
    EXPECT_EQ(s.notCompared[0].walkedAs, viaA(26));
    EXPECT_EQ(s.notCompared.back().relative, "L9/b/") << "L9 is the last level in byte order";
    EXPECT_EQ(s.notCompared.back().walkedAs, viaA(10));
    AppendNotComparedRows(s, list);
    EXPECT_EQ(list.Text(list.Count() - 1, Column::Difference), "already compared as " + viaA(10));
}

} // namespace
} // namespace dirwise::test
