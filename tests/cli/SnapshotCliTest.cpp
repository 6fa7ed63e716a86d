// dwc --snapshot: the manifest on standard output or in a file, checked by NetBSD's mtree,
// and the refusals that leave standard output empty.

#include "DwcSupport.h"

namespace dirwise::test {
namespace {

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

TEST_F(DwcSnapshot, EveryTargetGetsTheSameManifest) {
    t.dir("out");
    const ProcessResult toStdout = Dwc({"--snapshot", "--verify", t.path("tree")});
    ASSERT_EQ(toStdout.status, 0) << toStdout.err;
    EXPECT_EQ(toStdout.err, "Snapshot: 5 entries, 0 not read.\n");
    const ProcessResult toFile =
        Dwc({"-q", "--snapshot", "--verify", t.path("tree"), "-o", t.path("out/snap")});
    ASSERT_EQ(toFile.status, 0) << toFile.err;
    EXPECT_EQ(toFile.out + toFile.err, "");
    EXPECT_EQ(ReadFile(t.path("out/snap")), toStdout.out);
    EXPECT_NE(toStdout.out.find("./a\\040b.txt type=file size=3 time=1000000000.123456789 "
                                "sha256digest=ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410"
                                "ff61f20015ad\n"),
              std::string::npos)
        << toStdout.out;
}

TEST_F(DwcSnapshot, ARefusedSnapshotWritesNothing) {
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

// Master and compare trees with every result kind, odd names, links inside the tree and
// dangling ones (one pair to other targets of one length), nanosecond times and a time before 1970.
class SnapshotRoots : public ::testing::Test {
protected:
    void SetUp() override {
        UseTimeZone("UTC0");
        ::setenv("LC_ALL", "C", 1);
        for (const char *side : {"m/", "c/"}) {
            const std::string s = side;
            t.file(s + "same", 4, T0);
            t.file(s + "odd name\t\xe9=#\\", 2, T0);
            t.file(s + "sub/deep/old", 1, -101);
            t.setTime(s + "sub/deep/old", -102, 750000000);
            t.symlink(s + "to-same", "same");
            t.symlink(s + "sub/up", "../odd name\t\xe9=#\\");
        }
        t.file("m/size", 3, T0), t.file("c/size", 4, T0);
        t.file("m/date", 3, T0), t.file("c/date", 3, T0 + 7);
        t.file("m/both", 3, T0), t.file("c/both", 5, T0 + 7);
        t.file("m/gone", 3, T0), t.file("c/extra", 3, T0);
        WriteFile(t.path("m/content"), "abc"), WriteFile(t.path("c/content"), "abd");
        t.setTime("m/content", T0, 5), t.setTime("c/content", T0, 5);
        t.symlink("m/dangling", "nowhere"), t.symlink("c/dangling", "nowhere");
        t.symlink("m/retargeted", "nowhere-a"), t.symlink("c/retargeted", "nowhere-b");
        for (const char *side : {"m", "c"})
            ASSERT_EQ(Dwc({"-q", "--snapshot", "--verify", t.path(side), "-o",
                           t.path(std::string(side) + ".snap")})
                          .status,
                      0);
    }

    TempTree t;
};

TEST_F(SnapshotRoots, ResultsAreThoseOfTheLiveTreesUnderEveryOption) {
    const std::vector<std::vector<std::string>> optionSets = {
        {}, {"--date", "--extra"}, {"--date", "--verify", "--extra"}, {"--no-size", "--date"}};
    for (const auto &options : optionSets)
        for (const char *format : {"csv", "json"}) {
            auto run = [&](const std::string &m, const std::string &c) {
                std::vector<std::string> args = options;
                for (const std::string &a :
                     {std::string("-q"), std::string("--format"), std::string(format), m, c})
                    args.push_back(a);
                return Dwc(args);
            };
            const ProcessResult live = run(t.path("m"), t.path("c"));
            // Digests say that contents differ, never where.
            std::string expected = live.out;
            for (std::size_t at; (at = expected.find("from offset 2")) != std::string::npos;)
                expected.replace(at, 13, "(their sha256 digests differ)");
            for (const auto &[m, c] : {std::pair{t.path("m"), t.path("c.snap")},
                                       std::pair{t.path("m.snap"), t.path("c")},
                                       std::pair{t.path("m.snap"), t.path("c.snap")}}) {
                const ProcessResult snap = run(m, c);
                EXPECT_EQ(snap.status, live.status) << m << " " << c << snap.err;
                const std::string &want =
                    c.ends_with(".snap") || m.ends_with(".snap") ? expected : live.out;
                EXPECT_EQ(snap.out, want) << format << " " << m << " " << c;
            }
        }
}

// The report's compare-path column names the snapshot where the live run names the folder.
TEST_F(SnapshotRoots, ReportShowsTheSnapshotInPlaceOfTheCompareRoot) {
    const ProcessResult live = Dwc({"-q", "--date", "--extra", t.path("m"), t.path("c")});
    const ProcessResult snap = Dwc({"-q", "--date", "--extra", t.path("m"), t.path("c.snap")});
    std::string expected = live.out;
    const std::string root = "\t" + t.path("c") + "/";
    for (std::size_t at = 0; (at = expected.find(root, at)) != std::string::npos; at += root.size())
        expected.replace(at, root.size(), "\t" + t.path("c.snap") + "/");
    ASSERT_NE(expected, live.out); // the folder is named at least once
    EXPECT_EQ(snap.status, live.status) << snap.err;
    EXPECT_EQ(snap.out, expected);
}

TEST_F(SnapshotRoots, SnapshotsThatCannotServeAreRefusedBeforeTheRun) {
    WriteFile(t.path("plain.txt"), "#!/bin/sh\n");
    ASSERT_EQ(Dwc({"-q", "--snapshot", t.path("m"), "-o", t.path("nodigest.snap")}).status, 0);
    const ProcessResult bsdtar = RunProcess({"bsdtar", "--format=mtree", "--options=!all,type,size",
                                             "-cf", t.path("notime.snap"), "-C", t.path("m"), "."});
    ASSERT_EQ(bsdtar.status, 0) << bsdtar.err;
    WriteFile(t.path("broken.snap"), "#mtree\n. type=dir\n./a size=x\n");
    struct Case {
        std::vector<std::string> args;
        const char *says;
    } const cases[] = {
        {.args = {t.path("plain.txt"), t.path("c")}, .says = "not a folder or snapshot"},
        {.args = {"--verify", t.path("m"), t.path("nodigest.snap")},
         .says = "dwc --snapshot --verify"},
        {.args = {"--date", t.path("notime.snap"), t.path("c")}, .says = "--date needs"},
        {.args = {t.path("m"), t.path("broken.snap")}, .says = "line 3"},
        {.args = {"-x:dir", t.path("c")}, .says = "unknown"},
        {.args = {"--", "-x:dir", t.path("c")}, .says = "cannot begin with"},
    };
    for (const Case &c : cases) {
        const ProcessResult r = Dwc(c.args);
        EXPECT_EQ(r.status, 2) << c.args[0];
        EXPECT_EQ(r.out, "") << c.args[0];
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
    // A snapshot that cannot be opened is told as such, not as something else.
    ASSERT_EQ(::chmod(t.root().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(t.path("nodigest.snap").c_str(), 0), 0);
    const ProcessResult locked = DwcAsNobody({t.path("nodigest.snap"), t.path("c")});
    EXPECT_EQ(locked.status, 2);
    EXPECT_NE(locked.err.find(t.path("nodigest.snap") + ": Permission denied"), std::string::npos)
        << locked.err;
}

// A snapshot that bsdtar wrote without times, compared by size: its side has no dates to
// show, in none of the formats, while the live side keeps its own.
TEST_F(SnapshotRoots, SnapshotWithoutTimesLeavesItsDatesEmpty) {
    const ProcessResult bsdtar =
        RunProcess({"bsdtar", "--format=mtree", "--options=!all,type,size,link", "-cf",
                    t.path("notime.snap"), "-C", t.path("m"), "."});
    ASSERT_EQ(bsdtar.status, 0) << bsdtar.err;
    struct Case {
        const char *format;
        const char *row; // the "size" row, its master side from the snapshot
    } const cases[] = {
        {.format = "report", .row = "\tsize\t000,000,003\t000,000,004\t\r\n"},
        {.format = "csv", .row = "Size,size,3,4,,2001-09-09T01:46:40Z,+1 byte"},
        {.format = "json",
         .row = "\"master_size\":3,\"compare_size\":4,\"master_date\":null,"
                "\"compare_date\":\"2001-09-09T01:46:40Z\""},
    };
    const int live = Dwc({"-q", t.path("m"), t.path("c")}).status;
    for (const Case &c : cases) {
        const ProcessResult r =
            Dwc({"-q", "--format", c.format, t.path("notime.snap"), t.path("c")});
        EXPECT_EQ(r.status, live) << r.err;
        EXPECT_NE(r.out.find(c.row), std::string::npos) << c.format << ":\n" << r.out;
    }
}

} // namespace
} // namespace dirwise::test

#include "MtreeReader.h"
#include "PrivateSshd.h"
#include "RemoteRoot.h"
#include "SnapshotTree.h"

#include <chrono>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace dirwise::test {
namespace {

// Whether some process has `text` in its command line.
bool ProcessWith(const std::string &text) {
    DIR *proc = ::opendir("/proc");
    bool found = false;
    while (dirent *d = proc ? ::readdir(proc) : nullptr) {
        // Read with read(2): a process that ends meanwhile fails the read (ESRCH), which a
        // stream would throw for.
        std::string cmdline;
        const int fd =
            ::open((std::string("/proc/") + d->d_name + "/cmdline").c_str(), O_RDONLY | O_CLOEXEC);
        char buffer[4096];
        for (ssize_t n; fd >= 0 && (n = ::read(fd, buffer, sizeof buffer)) > 0;)
            cmdline.append(buffer, static_cast<std::size_t>(n));
        if (fd >= 0)
            ::close(fd);
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

TEST_F(RemoteSnapshots, EveryFailureComesBackWithinSeconds) {
    t.dir("tree");
    struct Case {
        std::vector<std::string> rsh;
        std::string remoteDwc, path;
        int status;
        const char *says;
    } const cases[] = {
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

TEST_F(RemoteSnapshots, RemoteRootComparesAsTheLiveTree) {
    ::setenv("LC_ALL", "C", 1);
    // A folder name the remote shell must get quoted: blanks, quotes and a dollar.
    const std::string m = "it's a $HOME \"dir\"";
    t.file(m + "/a", 3), t.file("c/a", 4);
    t.file(m + "/sub/b c", 2), t.file("c/sub/b c", 2);
    t.file("c/extra", 1);
    const std::vector<std::string> common = {"-q",     "--format", "csv",          "--extra",
                                             "--date", "--verify", "--remote-dwc", DWC_PATH};
    auto dwc = [&](std::vector<std::string> args) {
        args.insert(args.begin(), common.begin(), common.end());
        return Dwc(args);
    };
    const ProcessResult live = dwc({t.path(m), t.path("c")});
    const ProcessResult remote = dwc({"--rsh", sshd->rsh(), "127.0.0.1:" + t.path(m), t.path("c")});
    EXPECT_EQ(remote.status, live.status) << remote.err;
    EXPECT_EQ(remote.out, live.out);
    EXPECT_NE(live.out.find("Extra,extra"), std::string::npos) << live.err;
    // DWC_RSH stands in for --rsh, and --rsh wins over it.
    ::setenv("DWC_RSH", sshd->rsh().c_str(), 1);
    EXPECT_EQ(dwc({t.path(m), "127.0.0.1:" + t.path("c")}).out, live.out);
    ::setenv("DWC_RSH", "/no/such/ssh", 1);
    EXPECT_EQ(dwc({"--rsh", sshd->rsh(), t.path(m), "127.0.0.1:" + t.path("c")}).out, live.out);
    ::unsetenv("DWC_RSH");
}

// As a missing folder: exit 2, the transport's reason, no row for the files of the other side.
TEST_F(RemoteSnapshots, TransportFailureIsExitTwoWithItsReasonWithinSeconds) {
    t.file("m/a", 1);
    std::string wrongPort = sshd->rsh();
    wrongPort.replace(wrongPort.find(std::to_string(sshd->port())),
                      std::to_string(sshd->port()).size(), std::to_string(FreePort()));
    const auto start = std::chrono::steady_clock::now();
    const ProcessResult r =
        Dwc({"-q", "--rsh", wrongPort, "--remote-dwc", DWC_PATH, t.path("m"), "127.0.0.1:/x"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("refused"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("not compared"), std::string::npos) << r.err;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
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

// Ctrl-C while ssh still connects (to a port that takes the connection and never answers)
// ends dwc at once, and its ssh with it.
TEST_F(RemoteSnapshots, CtrlCWhileSshConnectsEndsDwc) {
    const int silent = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(silent, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof at;
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr *>(&at), sizeof at), 0);
    ASSERT_EQ(::listen(silent, 4), 0);
    ASSERT_EQ(::getsockname(silent, reinterpret_cast<sockaddr *>(&at), &length), 0);
    std::string rshSilent = sshd->rsh();
    const std::string port = std::to_string(sshd->port());
    rshSilent.replace(rshSilent.find(port), port.size(), std::to_string(ntohs(at.sin_port)));
    t.file("m/a", 1);
    const pid_t dwc = SpawnProcess({DWC_PATH, "-q", "--rsh", rshSilent, "--remote-dwc", DWC_PATH,
                                    t.path("m"), "127.0.0.1:" + t.path("m")},
                                   -1, -1, -1);
    ASSERT_GT(dwc, 0);
    ::usleep(500000);
    ASSERT_EQ(::kill(dwc, SIGINT), 0);
    EXPECT_EQ(WaitProcess(dwc, 10), 130);
    EXPECT_FALSE(ProcessWith(rshSilent)) << "ssh still runs";
    ::close(silent);
}

// Ctrl-C while dwc waits for a remote tree ends the wait, the transport and the remote dwc,
// and dwc says it was stopped: a compare tree whose next folder is far off, and a master tree,
// which the walk needs whole.
TEST_F(RemoteSnapshots, CtrlCEndsTheWaitAndTheRemoteDwc) {
    t.file("slow/a", 1);
    ASSERT_EQ(::truncate(t.path("slow/a").c_str(), 200LL << 30), 0) << std::strerror(errno);
    t.file("m/a", 1);
    const std::string remote = "127.0.0.1:" + t.path("slow");
    for (const bool remoteMaster : {false, true}) {
        // What dwc says goes to a file: a stopped run tells of no failure it caused itself.
        const int said =
            ::open(t.path("said").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ASSERT_GE(said, 0);
        const pid_t dwc = SpawnProcess(
            {DWC_PATH, "-q", "--verify", "--rsh", sshd->rsh(), "--remote-dwc", DWC_PATH,
             remoteMaster ? remote : t.path("m"), remoteMaster ? t.path("m") : remote},
            -1, -1, said);
        ::close(said);
        ASSERT_GT(dwc, 0);
        // The remote dwc digests the huge file, so its line for it is far off.
        const auto start = std::chrono::steady_clock::now();
        while (!ProcessWith("--verify -- " + t.path("slow")) &&
               std::chrono::steady_clock::now() - start < std::chrono::seconds(10))
            ::usleep(20000);
        ASSERT_TRUE(ProcessWith("--verify -- " + t.path("slow")));
        ::usleep(300000);
        ASSERT_EQ(::kill(dwc, SIGINT), 0);
        EXPECT_EQ(WaitProcess(dwc, 10), 130) << remoteMaster;
        EXPECT_EQ(ReadFile(t.path("said")), "") << remoteMaster;
        const auto stopped = std::chrono::steady_clock::now();
        while (ProcessWith(t.path("slow")) &&
               std::chrono::steady_clock::now() - stopped < std::chrono::seconds(10))
            ::usleep(20000);
        EXPECT_FALSE(ProcessWith(t.path("slow"))) << remoteMaster << ": the remote dwc still runs";
    }
}

} // namespace
} // namespace dirwise::test
