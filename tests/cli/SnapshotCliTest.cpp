// dwc --snapshot: the manifest on standard output or in a file, checked by NetBSD's mtree,
// and the refusals that leave standard output empty.

#include "TempTree.h"

namespace dirwise::test {
namespace {

ProcessResult Dwc(std::vector<std::string> args) {
    args.insert(args.begin(), DWC_PATH);
    return RunProcess(args, 60);
}

class DwcSnapshot : public ::testing::Test {
protected:
    void SetUp() override {
        t.file("tree/sub/c", 5, 1000000000);
        WriteFile(t.path("tree/a b.txt"), "abc");
        t.symlink("tree/sub/up", "../a b.txt");
        t.setTime("tree/a b.txt", 1000000000, 123456789);
    }
    TempTree t;
};

TEST_F(DwcSnapshot, StandardOutputAndFileHoldTheSameManifestThatMtreeAccepts) {
    t.dir("out");
    const ProcessResult toStdout = Dwc({"--snapshot", "--verify", t.path("tree")});
    ASSERT_EQ(toStdout.status, 0) << toStdout.err;
    EXPECT_EQ(toStdout.err, "Snapshot: 5 entries, 0 not read.\n");
    const ProcessResult toFile =
        Dwc({"-q", "--snapshot", "--verify", t.path("tree"), "-o", t.path("out/snap")});
    ASSERT_EQ(toFile.status, 0) << toFile.err;
    EXPECT_EQ(toFile.out + toFile.err, "");
    EXPECT_EQ(ReadFile(t.path("out/snap")), toStdout.out);
    const ProcessResult check =
        RunProcess({"mtree", "-f", t.path("out/snap"), "-p", t.path("tree")});
    EXPECT_EQ(check.status, 0) << check.out;
    EXPECT_NE(toStdout.out.find("./a\\040b.txt type=file size=3 time=1000000000.123456789 "
                                "sha256digest=ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410"
                                "ff61f20015ad\n"),
              std::string::npos)
        << toStdout.out;
}

TEST_F(DwcSnapshot, RefusalsWriteNothingAndExitTwo) {
    struct Case {
        std::vector<std::string> args;
        const char *says;
    } const cases[] = {
        {.args = {"--snapshot", t.path("missing")}, .says = "No such file"},
        {.args = {"--snapshot", t.path("tree/a b.txt")}, .says = "Not a directory"},
        {.args = {"--snapshot", t.path("tree"), "-o", t.path("nowhere/snap")}, .says = "No such"},
        {.args = {"--snapshot", t.path("tree"), "-o", t.path("tree/sub/snap")},
         .says = "inside the folder"},
        {.args = {"--snapshot", t.path("tree"), "--sort", "name"}, .says = "takes only"},
        {.args = {"--snapshot", t.path("tree"), t.path("tree")}, .says = "too many"},
    };
    for (const Case &c : cases) {
        const ProcessResult r = Dwc(c.args);
        EXPECT_EQ(r.status, 2) << c.args.back();
        EXPECT_EQ(r.out, "") << c.args.back();
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
    EXPECT_EQ(::access(t.path("tree/sub/snap").c_str(), F_OK), -1);
}

} // namespace
} // namespace dirwise::test

#include "MtreeReader.h"
#include "PrivateSshd.h"
#include "RemoteRoot.h"
#include "SnapshotTree.h"

#include <chrono>
#include <dirent.h>

namespace dirwise::test {
namespace {

// Whether some process has `text` in its command line.
bool ProcessWith(const std::string &text) {
    DIR *proc = ::opendir("/proc");
    bool found = false;
    while (dirent *d = proc ? ::readdir(proc) : nullptr) {
        std::string cmdline = ReadFile(std::string("/proc/") + d->d_name + "/cmdline");
        std::replace(cmdline.begin(), cmdline.end(), '\0', ' ');
        found = found || cmdline.find(text) != std::string::npos;
    }
    if (proc)
        ::closedir(proc);
    return found;
}

class RemoteSnapshots : public ::testing::Test {
protected:
    void SetUp() override {
        t.dir("sshd");
        sshd = std::make_unique<PrivateSshd>(t.path("sshd"));
        if (!sshd->skipReason().empty())
            GTEST_SKIP() << sshd->skipReason();
        ASSERT_TRUE(SplitCommand(sshd->rsh(), rsh));
    }
    TempTree t;
    std::unique_ptr<PrivateSshd> sshd;
    std::vector<std::string> rsh;
};

TEST_F(RemoteSnapshots, AFolderWithBlanksQuotesAndDollarsArrivesWhole) {
    const std::string awkward = "it's a $HOME \"dir\"";
    t.file(awkward + "/sub/f", 3, 1000000000);
    WriteFile(t.path(awkward + "/abc"), "abc");
    RemoteSnapshot remote(rsh, {"127.0.0.1", t.path(awkward)}, DWC_PATH, true);
    std::string error;
    ASSERT_TRUE(remote.Start(error)) << error;
    MtreeReader reader(remote.fd());
    SnapshotTree tree;
    EXPECT_TRUE(tree.Load(reader)) << tree.error();
    std::string said;
    EXPECT_EQ(remote.Finish(said), 0) << said;
    const std::uint32_t abc = tree.Find("abc", true);
    ASSERT_NE(abc, SnapshotTree::NoEntry);
    EXPECT_EQ(DigestHex(*tree.Get(abc).digest),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(tree.Get(tree.Find("sub/f", true)).time.seconds, 1000000000);
}

TEST_F(RemoteSnapshots, TransportAndRemoteErrorsComeBackWithinSeconds) {
    t.dir("tree");
    std::vector<std::string> wrongPort = rsh;
    *std::find(wrongPort.begin(), wrongPort.end(), std::to_string(sshd->port())) =
        std::to_string(FreePort());
    struct Case {
        std::vector<std::string> rsh;
        std::string remoteDwc, path;
        int status;
        const char *says;
    } const cases[] = {
        {.rsh = wrongPort,
         .remoteDwc = DWC_PATH,
         .path = t.path("tree"),
         .status = 255,
         .says = "refused"},
        {.rsh = rsh,
         .remoteDwc = "/no/such/dwc",
         .path = t.path("tree"),
         .status = 127,
         .says = "/no/such/dwc"},
        {.rsh = rsh,
         .remoteDwc = DWC_PATH,
         .path = t.path("missing"),
         .status = 2,
         .says = "No such file"},
        {.rsh = {"/no/such/ssh"},
         .remoteDwc = DWC_PATH,
         .path = "x",
         .status = 127,
         .says = "No such file"},
    };
    for (const Case &c : cases) {
        const auto start = std::chrono::steady_clock::now();
        RemoteSnapshot remote(c.rsh, {"127.0.0.1", c.path}, c.remoteDwc, false);
        std::string error, said;
        ASSERT_TRUE(remote.Start(error)) << error;
        MtreeReader reader(remote.fd());
        SnapshotEntry e;
        EXPECT_FALSE(reader.Next(e));
        EXPECT_EQ(remote.Finish(said), c.status) << said;
        EXPECT_NE(said.find(c.says), std::string::npos) << said;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    }
}

TEST_F(RemoteSnapshots, StoppingEndsTheRemoteDwcToo) {
    // A huge sparse file keeps the remote side digesting long after the first lines came.
    t.file("slow/a", 1);
    ASSERT_EQ(::truncate(t.path("slow/a").c_str(), 200LL << 30), 0) << std::strerror(errno);
    RemoteSnapshot remote(rsh, {"127.0.0.1", t.path("slow")}, DWC_PATH, true);
    std::string error, said;
    ASSERT_TRUE(remote.Start(error)) << error;
    MtreeReader reader(remote.fd());
    SnapshotEntry e;
    ASSERT_TRUE(reader.Next(e)); // the root's line: the remote dwc runs
    ASSERT_TRUE(ProcessWith(t.path("slow")));
    remote.Stop();
    (void)remote.Finish(said);
    const auto start = std::chrono::steady_clock::now();
    while (ProcessWith(t.path("slow")) &&
           std::chrono::steady_clock::now() - start < std::chrono::seconds(10))
        ::usleep(20000);
    EXPECT_FALSE(ProcessWith(t.path("slow"))) << "the remote dwc still runs";
}

} // namespace
} // namespace dirwise::test
