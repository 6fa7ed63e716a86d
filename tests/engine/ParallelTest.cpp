// The engine's workers: the packed names of a listing, the directories listed ahead of the
// walk, the facts read ahead of the compare, and contents read by several workers at once.
// Whatever the workers do, the walk, the rows and their order are those of one thread.

#include "EngineTestSupport.h"

#include <algorithm>
#include <malloc.h>
#include <random>

namespace dirwise::test {
namespace {

TEST(ScanNamesTest, NamesKeepTheirBytesInOrderAcrossManyBlocks) {
    ScanNames names;
    std::vector<std::string> given;
    std::mt19937 random(7);
    // Enough long names to fill several blocks, so some end right at a block's edge.
    for (int i = 0; given.size() < 20000; ++i) {
        std::string name(1 + random() % 255, 'a');
        for (char &c : name)
            c = static_cast<char>(1 + random() % 255); // any byte but NUL and '/'
        std::replace(name.begin(), name.end(), '/', '_');
        given.push_back((name + std::to_string(i)).substr(0, 255));
        names.push_back(given.back());
    }
    ASSERT_EQ(names.size(), given.size());
    std::size_t wrong = 0;
    for (std::size_t i = 0; i < given.size(); ++i)
        wrong += std::string(names[i]) != given[i];
    EXPECT_EQ(wrong, 0u);
}

// The pass loop gives back the listing behind it: the memory of whole blocks of names and
// chunks of offsets and folder indexes goes back, and every file from the release point on
// reads as it was listed, at each block's and chunk's edge too.
TEST(ScanNamesTest, AReleaseFreesOnlyTheFilesBehindIt) {
    ScanState state;
    constexpr std::size_t Count = 300000; // about 6 MB of names: several blocks and chunks
    const auto nameOf = [](std::size_t i) { return "file-" + std::to_string(i * 7919) + ".dat"; };
    for (std::size_t i = 0; i < Count; ++i) {
        state.ScanFileNames.push_back(nameOf(i));
        state.ScanFileDirs.push_back(static_cast<std::uint32_t>(i % 977));
    }
    const auto inUse = [] {
        const struct mallinfo2 m = mallinfo2();
        return m.uordblks + m.hblkhd;
    };
    const std::size_t before = inUse();
    for (const std::size_t from : {std::size_t{0}, std::size_t{65535}, std::size_t{65536},
                                   std::size_t{150001}, Count - 1, Count}) {
        state.ReleaseFilesBefore(from);
        std::size_t wrong = 0;
        for (std::size_t i = from; i < Count; ++i)
            wrong += nameOf(i) != state.ScanFileNames[i] || state.ScanFileDirs[i] != i % 977;
        EXPECT_EQ(wrong, 0u) << "after a release before " << from;
        EXPECT_EQ(state.ScanFileNames.size(), Count);
    }
    // Behind the last file: every block but the last's (2 MiB each) and four chunks of
    // 65,536 offsets (8 bytes each) and folder indexes (4 bytes each).
    const std::size_t blocks = (Count * 20 / (std::size_t{2} << 20));
    EXPECT_GE(before - inUse(), blocks * (std::size_t{2} << 20) + 4 * 65536 * 12);
}

// A tree of several hundred directories, three deep, its names made in an order that is
// not byte order; the expected listing is worked out here from the same names sorted. Only
// the root and the deepest directories hold files.
TEST(WideTree, ListsInByteOrderDepthFirstWhateverTheWorkersListFirst) {
    const auto dirs = [](const std::vector<std::string> &level) {
        std::vector<std::string> out = {"/"};
        for (const std::string &a : level)
            for (const std::string &b : level)
                for (const std::string &c : level)
                    out.push_back("/" + a + "/" + b + "/" + c + "/");
        return out;
    };
    std::vector<std::string> level = {"z", "B", "a", "\xc3\xa9", ".d", "b", "A0", "_"};
    std::vector<std::string> files = {"y.txt", "X.txt", ".h"};
    TempTree t(true);
    for (const std::string &d : dirs(level))
        for (const std::string &f : files)
            t.file("m" + d + f, 1);
    std::sort(level.begin(), level.end());
    std::sort(files.begin(), files.end());
    std::string expected;
    for (const std::string &d : dirs(level))
        for (const std::string &f : files)
            expected += d + f + " ";
    TestHost host;
    for (int run = 0; run < 3; ++run) {
        ScanState state;
        ScanDirectory(state, host, t.path("m"), {"*.*"}, ScanRules{});
        EXPECT_EQ(Listed(state), expected) << "run " << run;
    }
}

struct ManyFiles : EngineRun {
    ManyFiles() : EngineRun(true) {}
};

TEST_F(ManyFiles, RowsComeInListingOrderPastTheReadAheadWindow) {
    // More files than the workers may read ahead, in large and tiny directories, so the
    // window wraps and chunks cross directories; every 7th file is missing, every 11th has
    // another size.
    std::string expected;
    int n = 0, different = 0;
    for (int d = 10; d < 70; ++d) {
        const int files = d % 3 == 0 ? 1 : 450;
        for (int f = 1000; f < 1000 + files; ++f, ++n) {
            const std::string rel = "d" + std::to_string(d) + "/f" + std::to_string(f);
            t.file("m/" + rel, 0);
            const char *result = n % 7 == 0 ? "Not Found" : n % 11 == 0 ? "Size" : "Match";
            if (n % 7 != 0)
                t.file("c/" + rel, n % 11 == 0 ? 1 : 0);
            different += n % 7 == 0 || n % 11 == 0;
            expected += std::string(result) + " /" + rel + "\n";
        }
    }
    expected += "Different Files: " + std::to_string(different) + "\n";
    // The compare loop dawdles at its start, so the workers run as far ahead as they may.
    host.onYield = [&](int, const Progress &p) {
        if (p.phase == Phase::Comparing && p.compared == 1)
            ::usleep(300 * 1000);
        return false;
    };
    const ChildResult r = CompareInChild(Options(t), host);
    EXPECT_EQ(r.status, 0) << "-1: hung";
    EXPECT_TRUE(r.out == expected)
        << "first difference at byte "
        << std::mismatch(r.out.begin(), r.out.end(), expected.begin(), expected.end()).first -
               r.out.begin();
}

TEST_F(ManyFiles, ContentsOfManyPairsGetTheirVerdictsInOrder) {
    // Small pairs are read with their facts, pairs larger than a read block by whichever
    // worker is free; the rows still come in listing order with each pair's own offset.
    constexpr std::int64_t Block = 256 * 1024;
    const std::int64_t offsets[] = {
        -1, 0, 1, 63, 64, 65, 4095, Block - 1, Block, Block + 1, 2 * Block + 99};
    std::string expected; // "result /name offset"; the offset's text is the results' business
    for (int i = 0; i < 40; ++i) {
        const std::int64_t size = i % 4 == 0 ? 2 * Block + 100 : 100 + i * 37;
        const std::int64_t at = offsets[i % 11];
        const bool differs = at >= 0 && at < size;
        std::string bytes(static_cast<std::size_t>(size), 'v'), other = bytes;
        if (differs)
            other[static_cast<std::size_t>(at)] = 'w';
        const std::string name = "p" + std::to_string(10 + i);
        WriteFile(t.path("m/") + name, bytes);
        WriteFile(t.path("c/") + name, other);
        expected += (differs ? "Content /" : "Match /") + name + " " +
                    std::to_string(differs ? at : 0) + "\n";
    }
    CompareOptions o = Options(t);
    o.verifyContents = true;
    const CompareSummary s = run(o);
    std::string got;
    for (std::size_t i = 0; i < list.Count(); ++i)
        got += list.Text(i, Column::Result) + " /" + list.Row(i).name + " " +
               std::to_string(list.Row(i).contentOffset) + "\n";
    EXPECT_EQ(got, expected);
    EXPECT_TRUE(s.notCompared.empty());
}

TEST_F(ManyFiles, AStopInsideALargePairKeepsOnlyTheRowsBeforeIt) {
    // Many small pairs, then large ones: a stop during the first large pair's blocks keeps
    // the small pairs' rows and gives the large pair none.
    for (int i = 100; i < 400; ++i) {
        t.file("m/a" + std::to_string(i), 10);
        t.file("c/a" + std::to_string(i), 10);
    }
    const std::string big(4 * 1024 * 1024, 'L');
    for (const char *f : {"m/big1", "c/big1", "m/big2", "c/big2"})
        WriteFile(t.path(f), big);
    CompareOptions o = Options(t);
    o.verifyContents = true;
    std::int64_t before = -1, most = 0;
    host.onYield = [&](int, const Progress &p) {
        most = std::max(most, p.bytesVerified);
        if (p.phase != Phase::Comparing || p.compared < 300)
            return false;
        if (before < 0)
            before = p.bytesVerified;
        return p.bytesVerified > before;
    };
    const CompareSummary s = run(o);
    EXPECT_TRUE(s.stopped);
    EXPECT_EQ(list.Count(), 300u);
    EXPECT_EQ(list.Row(list.Count() - 1).name, "a399");
    EXPECT_LT(most - before, static_cast<std::int64_t>(2 * big.size()))
        << "the stop waited for the end of the pair";
}

} // namespace
} // namespace dirwise::test
