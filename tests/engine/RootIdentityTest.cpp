// A root that goes away during a run: a mount taken away lazily, a folder renamed or replaced.
// Whatever the tree still answers, nothing after the loss may read as Not Found or Extra.

#include "EngineTestSupport.h"

#include <cstdio>
#include <sys/mount.h>

namespace dirwise::test {
namespace {

// The relative paths MakeThousandFolders makes, in the walk's order (byte order per folder).
std::vector<std::string> ThousandFolderFiles() {
    std::vector<std::string> paths;
    char name[32];
    for (int g = 0; g < 50; ++g)
        for (int d = 0; d < 20; ++d)
            for (int f = 0; f < 20; ++f) {
                std::snprintf(name, sizeof name, "g%02d/d%02d/f%02d", g, d, f);
                paths.emplace_back(name);
            }
    return paths;
}

// Both trees hold the same 20,000 files; one of them is reached through a bind mount.
class LostRoot : public EngineRun {
protected:
    LostRoot() : EngineRun(true) {}
    // Fresh trees "m" and "c", `side` ("m" or "c") a bind mount of its twin "m.src" or "c.src".
    std::unique_ptr<BindMount> mountRoot(const std::string &side) {
        for (const char *rel : {"m", "c", "m.src", "c.src"})
            t.remove(rel);
        const std::string other = side == "m" ? "c" : "m";
        MakeThousandFolders(t, side + ".src", T0);
        MakeThousandFolders(t, other, T0);
        t.dir(side);
        return std::make_unique<BindMount>(t.path(side + ".src"), t.path(side));
    }
};

TEST_F(LostRoot, NothingAfterAMountIsTakenAwayReadsAsMissing) {
    const struct {
        const char *what;
        const char *mounted; // "m" or "c"
        Phase phase;         // the mount goes at the 200th yield of this phase
        bool extras;
    } cases[] = {
        {"the compare root, while files are compared", "c", Phase::Comparing, false},
        {"the master root, while extras are sought", "m", Phase::Extras, true},
        {"the master root, while it is listed", "m", Phase::Listing, false},
    };
    const std::vector<std::string> files = ThousandFolderFiles();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const std::unique_ptr<BindMount> mount = mountRoot(c.mounted);
        if (mount->error() != 0)
            GTEST_SKIP() << "no bind mount here (" << std::strerror(mount->error())
                         << "): needs root";
        int yields = 0;
        host.onYield = [&](int, const Progress &p) {
            if (p.phase == c.phase && ++yields == 200)
                mount->detach();
            return false;
        };
        CompareOptions o = Options(t);
        o.listExtras = c.extras;
        const CompareSummary s = run(o);
        const Side lost = c.mounted[0] == 'm' ? Side::Master : Side::Compare;
        for (std::size_t i = 0; i < list.Count(); ++i)
            ASSERT_EQ(list.Row(i).result, Result::Match) << Rows(list);
        ASSERT_FALSE(s.notCompared.empty()) << "the loss went unseen";
        for (const Diagnostic &d : s.notCompared) {
            EXPECT_EQ(d.problem, Problem::RootGone) << d.Path();
            EXPECT_EQ(d.side, lost) << d.Path();
        }
        EXPECT_EQ(s.extras, 0);
        if (c.phase == Phase::Comparing) {
            // Every file is a row or lost, and the lost ones are all those after the loss.
            ASSERT_EQ(list.Count() + s.notCompared.size(), files.size());
            for (std::size_t k = 0; k < s.notCompared.size(); ++k)
                ASSERT_EQ(s.notCompared[k].relative, files[list.Count() + k]);
        }
    }
}

TEST_F(LostRoot, ARootRenamedDuringTheCompareIsLostFromThen) {
    const struct {
        const char *what;
        bool replaced; // an empty folder takes the old name
    } cases[] = {{"renamed", false}, {"renamed, and a new folder by its name", true}};
    MakeThousandFolders(t, "m", T0);
    MakeThousandFolders(t, "c", T0);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        host.onYield = [&](int, const Progress &p) {
            if (p.phase == Phase::Comparing && p.compared == 100) {
                ::rename(t.path("c").c_str(), t.path("c.moved").c_str());
                if (c.replaced)
                    t.dir("c");
            }
            return false;
        };
        const CompareSummary s = run();
        for (std::size_t i = 0; i < list.Count(); ++i)
            ASSERT_EQ(list.Row(i).result, Result::Match) << list.Row(i).name;
        ASSERT_FALSE(s.notCompared.empty());
        EXPECT_EQ(s.notCompared.back().problem, Problem::RootGone);
        EXPECT_EQ(s.notCompared.back().relative, "g49/d19/f19");
        t.remove("c");
        ASSERT_EQ(::rename(t.path("c.moved").c_str(), t.path("c").c_str()), 0);
    }
}

} // namespace
} // namespace dirwise::test
