// The snapshot writer with its folders read ahead by the workers: the manifest's order
// whatever the workers finish first, folders that change under it, and Stop.

#include "SnapshotWriter.h"
#include "EngineTestSupport.h"
#include "Io.h"

#include <algorithm>
#include <filesystem>

namespace dirwise::test {
namespace {

namespace fs = std::filesystem;

// The walk's order, told from the tree itself: a folder, its entries that are no folders in
// byte order, then its folders in byte order, each followed by its own contents. Links are
// never entered. Names here need no escaping.
void WalkOrder(const std::string &root, const std::string &rel, std::vector<std::string> &out) {
    out.push_back(rel.empty() ? "." : "./" + rel);
    std::vector<std::string> files, folders;
    for (const fs::directory_entry &e : fs::directory_iterator(root + "/" + rel))
        (e.symlink_status().type() == fs::file_type::directory ? folders : files)
            .push_back(e.path().filename().string());
    std::sort(files.begin(), files.end());
    std::sort(folders.begin(), folders.end());
    const std::string prefix = rel.empty() ? "" : rel + "/";
    for (const std::string &f : files)
        out.push_back("./" + prefix + f);
    for (const std::string &f : folders)
        WalkOrder(root, prefix + f, out);
}

// The first word of every line after "#mtree"; a last line without its newline is kept as
// "<cut>" so that a test sees it.
std::vector<std::string> ManifestPaths(const std::string &text) {
    std::vector<std::string> paths;
    std::size_t at = text.find('\n') + 1;
    for (std::size_t nl; (nl = text.find('\n', at)) != std::string::npos; at = nl + 1)
        paths.push_back(text.substr(at, text.find(' ', at) - at));
    if (at < text.size())
        paths.push_back("<cut>");
    return paths;
}

struct Written {
    std::string text;
    SnapshotSummary summary;
};

Written Write(TempTree &t, const std::string &root, bool digests,
              const std::function<bool(int)> &stopAt = nullptr) {
    const std::string out = t.path("out.mtree");
    Written w;
    {
        UniqueFd fd(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
        TestHost host;
        if (stopAt)
            host.onYield = [&](int n, const Progress &) { return stopAt(n); };
        w.summary = WriteSnapshot(root, fd.get(), {digests}, host);
    }
    w.text = ReadFile(out);
    return w;
}

// Folders of very different sizes: the workers finish the small ones long before the large
// ones that come first, and the manifest must still follow the walk. NetBSD's mtree checks
// every line against the tree.
TEST(SnapshotAhead, FoldersComeInTheWalksOrderWhateverFinishesFirst) {
    TempTree t(true);
    for (int k = 0; k < 40; ++k) {
        const std::string top = "tree/d" + std::to_string(k);
        t.dir(top);
        for (int f = 0; f < (k % 8 == 0 ? 1500 : 2); ++f)
            t.file(top + "/f" + std::to_string(f), f % 3, 1000000000 + f);
        for (int s = 0; s < 6; ++s)
            t.file(top + "/s" + std::to_string(s) + "/x/y", s);
    }
    t.symlink("tree/d3/to-d4", "../d4");
    std::vector<std::string> expected;
    WalkOrder(t.path("tree"), "", expected);
    for (int round = 0; round < 3; ++round) {
        const Written w = Write(t, t.path("tree"), false);
        ASSERT_EQ(ManifestPaths(w.text), expected) << "round " << round;
        EXPECT_TRUE(w.summary.notRead.empty());
    }
    if (::access("/usr/bin/mtree", X_OK) != 0)
        GTEST_SKIP() << "NetBSD's mtree (mtree-netbsd) is not installed";
    const ProcessResult checked =
        RunProcess({"mtree", "-f", t.path("out.mtree"), "-p", t.path("tree")});
    EXPECT_EQ(checked.status, 0) << checked.out << checked.err;
}

// Folders removed, or made unreadable, after their parent was listed: whichever the workers
// read before the change is written whole; any other is written without its contents and
// reported, a removed one without its own line. The changes come at the line of their parent
// "a", and its 2,100 folders before them fill the workers' window, so none is read before.
TEST(SnapshotAhead, FolderChangedAfterItsParentWasListedIsWholeOrReported) {
    TempTree t(true);
    ::chmod(t.root().c_str(), 0755);
    for (int k = 0; k < 2100; ++k)
        t.dir("tree/a/" + std::to_string(k));
    for (int k = 0; k < 300; ++k)
        t.file("tree/a/zz" + std::to_string(1000 + k) + "/f", 1);
    // Owned by "nobody", who removes and locks folders while writing as itself.
    ASSERT_EQ(::lchown(t.path("tree").c_str(), 65534, 65534), 0);
    for (const fs::directory_entry &e : fs::recursive_directory_iterator(t.path("tree")))
        ASSERT_EQ(::lchown(e.path().c_str(), 65534, 65534), 0);
    const std::string out = t.path("out.mtree");
    UniqueFd outFd(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666));
    const ChildResult r = RunInChild([&](std::string &said) {
        if (!DropRootInChild())
            return 77;
        TestHost host;
        host.onYield = [&](int n, const Progress &) {
            if (n == 2) { // the line of "a": it is listed, its folders queued
                for (int k = 250; k < 300; k += 2)
                    t.remove("tree/a/zz" + std::to_string(1000 + k));
                for (int k = 251; k < 300; k += 2)
                    ::chmod(t.path("tree/a/zz" + std::to_string(1000 + k)).c_str(), 0);
            }
            return false;
        };
        const SnapshotSummary s = WriteSnapshot(t.path("tree"), outFd.get(), {}, host);
        for (const Diagnostic &d : host.diagnostics)
            said += d.relative + " " + std::to_string(d.error) + "\n";
        return s.stopped || s.writeError ? 1 : 0;
    });
    if (r.status == 77)
        GTEST_SKIP() << "cannot give up root for a folder this process may not read";
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> paths = ManifestPaths(ReadFile(out));
    const auto has = [&](const std::string &p) {
        return std::find(paths.begin(), paths.end(), p) != paths.end();
    };
    for (int k = 0; k < 300; ++k) {
        const std::string name = "a/zz" + std::to_string(1000 + k);
        const bool whole = has("./" + name) && has("./" + name + "/f");
        const bool removed = k >= 250 && k % 2 == 0;
        const std::string reported = name + "/ " + std::to_string(removed ? ENOENT : EACCES);
        if (k < 250 || whole) {
            EXPECT_TRUE(whole) << name;
            EXPECT_EQ(r.out.find(name + "/ "), std::string::npos) << r.out;
            continue;
        }
        EXPECT_NE(r.out.find(reported + "\n"), std::string::npos) << name << "\n" << r.out;

        EXPECT_FALSE(has("./" + name + "/f")) << name;
        EXPECT_EQ(has("./" + name), !removed) << name;
    }
}

// Past the path length a folder is opened from the root by, and past the system's own,
// the writer opens folders from their parents, within few descriptors.
TEST(SnapshotAhead, AnyDepthFitsInAFewDescriptors) {
    TempTree t(true);
    const std::string name(60, 'n');
    ASSERT_TRUE(t.deepFile("deep", 150, name, "f", 1, 1000000000)); // 9,150 bytes deep
    const ChildResult r = RunInChild([&](std::string &said) {
        const rlimit few{40, 40}; // far fewer than the tree is deep
        if (::setrlimit(RLIMIT_NOFILE, &few) != 0)
            return 77;
        const Written w = Write(t, t.path("deep"), false);
        const std::vector<std::string> paths = ManifestPaths(w.text);
        said = std::to_string(w.summary.entries) + " " + std::to_string(w.summary.notRead.size());
        return paths.empty() ? 1 : 0;
    });
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "152 0"); // the root, 150 folders, the file
    std::string bottom = ".";
    for (int k = 0; k < 150; ++k)
        bottom += "/" + name;
    const std::vector<std::string> paths = ManifestPaths(ReadFile(t.path("out.mtree")));
    EXPECT_TRUE(!paths.empty() && paths.back() == bottom + "/f");
}

// Stop leaves the manifest cut after a whole line: between entries, and inside a large
// file being hashed.
TEST(SnapshotAhead, StopLeavesWholeLinesInTheWalksOrder) {
    TempTree t(true);
    for (int k = 0; k < 30; ++k)
        for (int f = 0; f < 20; ++f)
            t.file("tree/d" + std::to_string(k) + "/f" + std::to_string(f), f);
    t.dir("tree/a");
    {
        UniqueFd big(::open(t.path("tree/a/big").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
        const std::string block(1 << 20, 'b');
        for (int k = 0; k < 40; ++k)
            ASSERT_EQ(::write(big.get(), block.data(), block.size()),
                      static_cast<ssize_t>(block.size()));
    }
    std::vector<std::string> expected;
    WalkOrder(t.path("tree"), "", expected);
    const struct {
        bool digests;
        int stopAt;                        // the yield that asks to stop
    } cases[] = {{false, 300}, {true, 3}}; // with digests, "./a/big" yields inside itself
    for (const auto &c : cases) {
        const Written w = Write(t, t.path("tree"), c.digests, [&](int n) { return n == c.stopAt; });
        EXPECT_TRUE(w.summary.stopped);
        ASSERT_FALSE(w.text.empty());
        EXPECT_EQ(w.text.back(), '\n') << "digests " << c.digests;
        const std::vector<std::string> paths = ManifestPaths(w.text);
        ASSERT_LE(paths.size(), expected.size());
        EXPECT_EQ(static_cast<std::int64_t>(paths.size()), w.summary.entries);
        EXPECT_TRUE(std::equal(paths.begin(), paths.end(), expected.begin()))
            << "digests " << c.digests;
    }
}

} // namespace
} // namespace dirwise::test
