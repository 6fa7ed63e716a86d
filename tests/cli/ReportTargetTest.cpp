// Where dwc's report may go: never onto a file of either tree, whatever name leads there;
// through a descriptor when -o names one; and never over an earlier report when the run is
// stopped before its end.

#include "DwcSupport.h"

#include <cstring>
#include <filesystem>
#include <poll.h>
#include <sys/sysmacros.h>

namespace dirwise::test {
namespace {

std::string Refusal(const std::string &tree, const std::string &target) {
    return "dwc: the report would overwrite a file inside the " + tree + " directory: " + target +
           "\n";
}

class ReportTarget : public ::testing::Test {
protected:
    void SetUp() override {
        UseTimeZone("UTC0");
        ::setenv("LC_ALL", "C", 1);
        t.file("m/a.txt", 3);
        t.file("m/b.txt", 4);
        t.file("c/a.txt", 3);
    }
    std::string m() const { return t.path("m"); }
    std::string c() const { return t.path("c"); }
    TempTree t;
};

// A file of a tree is known by its device and inode, whichever name leads to it: its own
// path, a link to it, a hard link made outside the trees (as cp -al and rsnapshot make them),
// a folder the compare tree reaches through a link (a new name there too), a bind mount of
// the master tree.
TEST_F(ReportTarget, ATreeFileReachedByAnyNameIsRefused) {
    t.symlink("into-compare", "c/a.txt");
    t.dir("elsewhere");
    ASSERT_EQ(::link(t.path("m/b.txt").c_str(), t.path("elsewhere/hard.txt").c_str()), 0);
    t.file("outside/kept.txt", 7);
    t.symlink("c/linked", "../outside");
    const std::pair<const char *, const char *> cases[] = {
        {"m/a.txt", "master"},
        {"into-compare", "compare"},
        {"elsewhere/hard.txt", "master"},
        {"outside/kept.txt", "compare"},
        {"outside/new.txt", "compare"},
    };
    for (const auto &[target, tree] : cases) {
        const ProcessResult r = Dwc({"-o", t.path(target), m(), c()});
        EXPECT_EQ(r.status, 2) << target;
        EXPECT_EQ(r.err, Refusal(tree, t.path(target)));
    }
    EXPECT_EQ(ReadFile(t.path("m/a.txt")) + ReadFile(t.path("c/a.txt")), "xxxxxx");
    EXPECT_EQ(ReadFile(t.path("m/b.txt")), "xxxx");
    EXPECT_EQ(ReadFile(t.path("outside/kept.txt")), "xxxxxxx");
    EXPECT_FALSE(std::filesystem::exists(t.path("outside/new.txt")));
    // The bind mount lives in a private mount namespace: nothing outside dwc sees it.
    t.dir("view");
    const ProcessResult bound = RunProcess(
        {"unshare", "--mount", "--propagation", "private", "sh", "-c",
         "mount --bind \"$0\" \"$1\" || exit 77; exec '" DWC_PATH "' -o \"$1/a.txt\" \"$0\" \"$2\"",
         m(), t.path("view"), c()});
    if (bound.status == 77 || bound.err.rfind("unshare: ", 0) == 0)
        GTEST_SKIP() << "no bind mount here (needs root): " << bound.err;
    EXPECT_EQ(bound.err, Refusal("master", t.path("view/a.txt")));
    EXPECT_EQ(ReadFile(t.path("m/a.txt")), "xxx");
}

// A FIFO or a device is written into: no file of the tree is replaced and no name is made
// in it, so such a target is accepted even inside the master tree, and the tree keeps its
// entries. (A private null device where one may be made: root must not risk the real one.)
TEST_F(ReportTarget, ATargetWrittenIntoInsideATreeIsAccepted) {
    t.fifo("m/pipe");
    const bool device = ::mknod(t.path("m/null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    const std::string report = Dwc({m(), c()}).out;
    ASSERT_NE(report, "");
    const int reader = ::open(t.path("m/pipe").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    const ProcessResult piped = Dwc({"-q", "-o", t.path("m/pipe"), m(), c()});
    EXPECT_EQ(piped.status, 1) << piped.err;
    std::string got(report.size() + 1, '\0');
    const ssize_t n = ::read(reader, got.data(), got.size());
    ::close(reader);
    EXPECT_EQ(got.substr(0, n > 0 ? static_cast<std::size_t>(n) : 0), report);
    if (device) {
        const ProcessResult r = Dwc({"-q", "-o", t.path("m/null"), m(), c()});
        EXPECT_EQ(r.status, 1) << r.err;
    }
    struct stat st {};
    EXPECT_TRUE(::stat(t.path("m/pipe").c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
    EXPECT_TRUE(!device || (::stat(t.path("m/null").c_str(), &st) == 0 && S_ISCHR(st.st_mode)));
    EXPECT_EQ(Dwc({m(), c()}).out, report);
}

// -o /dev/stdout, /proc/self/fd/1 or /dev/fd/N is the descriptor itself, as the shell's ">"
// onto it: a file opened for appending keeps its lines and its inode, a pipe gets the bytes.
TEST_F(ReportTarget, ADescriptorsNameIsWrittenThroughThatDescriptor) {
    const std::string report = Dwc({m(), c()}).out, log = t.path("log.txt");
    ASSERT_NE(report, "");
    WriteFile(log, "earlier line\n");
    struct stat before {
    }, after{};
    ASSERT_EQ(::stat(log.c_str(), &before), 0);
    const std::string dwc = "'" DWC_PATH "' -q -o ";
    EXPECT_EQ(RunProcess({"sh", "-c",
                          dwc + "/dev/stdout \"$0\" \"$1\" >>\"$2\"; " + dwc +
                              "/proc/self/fd/1 \"$0\" \"$1\" >>\"$2\"",
                          m(), c(), log})
                  .status,
              1);
    EXPECT_EQ(ReadFile(log), "earlier line\n" + report + report);
    ASSERT_EQ(::stat(log.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "the file was replaced";
    const ProcessResult piped =
        RunProcess({"sh", "-c", dwc + "/dev/fd/3 \"$0\" \"$1\" 3>&1 | cat", m(), c()});
    EXPECT_EQ(piped.out, report) << piped.err;
}

// The rows of a report are gathered beside its target, so a full $TMPDIR (a tiny tmpfs, in a
// private mount namespace) is no reason to fail.
TEST_F(ReportTarget, AFullTemporaryFolderDoesNotStopTheReport) {
    t.dir("tmp");
    const std::string report = t.path("r.txt");
    const ProcessResult r = RunProcess(
        {"unshare", "--mount", "--propagation", "private", "sh", "-c",
         "mount -t tmpfs -o size=8k none \"$0\" || exit 77; head -c 64k /dev/zero >\"$0/fill\";"
         "TMPDIR=\"$0\" exec '" DWC_PATH "' -q -o \"$1\" \"$2\" \"$3\"",
         t.path("tmp"), report, m(), c()});
    if (r.status == 77 || r.err.rfind("unshare: ", 0) == 0)
        GTEST_SKIP() << "no tmpfs mount here (needs root): " << r.err;
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(ReadFile(report), Dwc({m(), c()}).out);
}

// dwc held in the middle of a run: the master tree holds 2000 folders that cannot be listed,
// each a diagnostic on standard error, a pipe that nobody reads yet. Root ignores modes, so
// as root dwc runs as nobody (setpriv), for whom they hold.
class HeldRun : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("LC_ALL", "C", 1);
        ::chmod(tree.root().c_str(), 0755);
        tree.file("m/a0", 1);
        tree.dir("c");
        for (int i = 0; i < 2000; ++i) {
            tree.dir("m/d" + std::to_string(i));
            ::chmod(tree.path("m/d" + std::to_string(i)).c_str(), 0);
        }
        tree.dir("out");
        ::chmod(tree.path("out").c_str(), 0777);
    }

    // Starts dwc with `args` and returns once it is held (false when it never was).
    bool Start(std::vector<std::string> args) {
        args.insert(args.begin(), DWC_PATH);
        args = AsNobody(std::move(args));
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0 || ::fcntl(fds[0], F_SETPIPE_SZ, 4096) < 0)
            return false;
        m_pid = SpawnProcess(args, -1, -1, fds[1]);
        ::close(fds[1]);
        pollfd p{m_err = fds[0], POLLIN, 0};
        return ::poll(&p, 1, 60000) == 1;
    }

    // Reads standard error to its end and returns dwc's exit status.
    int Finish() {
        char buf[65536];
        pollfd p{m_err, POLLIN, 0};
        for (ssize_t n; ::poll(&p, 1, 60000) == 1 && (n = ::read(m_err, buf, sizeof buf)) > 0;)
            err.append(buf, static_cast<std::size_t>(n));
        ::close(m_err);
        return WaitProcess(m_pid, 60);
    }

    TempTree tree{true};
    pid_t m_pid = -1;
    int m_err = -1;
    std::string err;
};

// Ctrl-C, SIGTERM and SIGHUP alike stop the run, and a complete earlier report stays as it
// was rather than being replaced by the few rows found so far.
TEST_F(HeldRun, AStoppedRunLeavesAnEarlierReportAsItWas) {
    const std::string report = tree.path("out/r.txt");
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal));
        WriteFile(report, "an earlier, complete report\r\n");
        ::chmod(report.c_str(), 0666);
        err.clear();
        ASSERT_TRUE(Start({"-o", report, tree.path("m"), tree.path("c")})) << "never held";
        ASSERT_EQ(::kill(m_pid, signal), 0);
        EXPECT_EQ(Finish(), 128 + signal);
        EXPECT_EQ(ReadFile(report), "an earlier, complete report\r\n");
        EXPECT_NE(err.find("the report was not written and " + report + " is as it was\n"),
                  std::string::npos);
    }
}

// The target is looked at again just before the report is written: a name that came to
// lead to a master file during the run is refused then, and the master file keeps its bytes.
TEST_F(HeldRun, ATargetThatBecameATreeFileDuringTheRunIsRefused) {
    ::chmod(tree.path("m/a0").c_str(), 0666); // writable by nobody: only the check protects it
    const std::string report = tree.path("out/r.txt");
    ASSERT_TRUE(Start({"-o", report, tree.path("m"), tree.path("c")})) << "never held";
    ASSERT_EQ(::link(tree.path("m/a0").c_str(), report.c_str()), 0);
    EXPECT_EQ(Finish(), 2);
    EXPECT_EQ(ReadFile(tree.path("m/a0")), "x");
    EXPECT_NE(err.find(Refusal("master", report)), std::string::npos) << err;
}

} // namespace
} // namespace dirwise::test
