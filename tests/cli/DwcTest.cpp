// dwc, the command-line twin: options, exit status, the report on standard output or in a
// file, the summary and diagnostics on standard error, Ctrl-C, and the progress line.

#include "Compare.h"
#include "Report.h"
#include "ResultsList.h"
#include "TempTree.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

namespace dirwise::test {
namespace {

constexpr std::int64_t T0 = 1000000000;
const std::vector<std::string> Env = {"TZ=UTC0", "LC_ALL=C"};

class Dwc : public ::testing::Test {
protected:
    void SetUp() override {
        UseTimeZone("UTC0");
        t.file("m/a.txt", 3, T0);
        t.file("c/a.txt", 3, T0);
        t.file("m/b.txt", 4, T0);
        t.file("c/b.txt", 5, T0);
        t.file("m/sub/c.txt", 1, T0);
        t.file("m/data.old/d.log", 2, T0);
        t.file("c/data.old/d.log", 2, T0);
    }
    ProcessResult dwc(const std::vector<std::string> &args) {
        std::vector<std::string> argv = {DWC_PATH};
        argv.insert(argv.end(), args.begin(), args.end());
        return RunProcess(argv, 60, Env);
    }
    // The file names of a report's lines, in order.
    static std::vector<std::string> names(const std::string &report) {
        std::vector<std::string> out;
        for (std::size_t pos = 0; pos < report.size();) {
            const std::size_t end = report.find("\r\n", pos);
            const std::string line = report.substr(pos, end - pos);
            const std::size_t f1 = line.find('\t'), f2 = line.find('\t', f1 + 1);
            out.push_back(line.substr(f2 + 1, line.find('\t', f2 + 1) - f2 - 1));
            pos = end == std::string::npos ? report.size() : end + 2;
        }
        return out;
    }
    std::string m() const { return t.path("m"); }
    std::string c() const { return t.path("c"); }
    TempTree t;
};

TEST_F(Dwc, VersionAndHelp) {
    const ProcessResult v = dwc({"--version"});
    EXPECT_EQ(v.status, 0);
    EXPECT_EQ(v.out, "dwc 7.0.0\n");
    const ProcessResult h = dwc({"--help"});
    EXPECT_EQ(h.status, 0);
    EXPECT_EQ(h.out.rfind("Usage: dwc [options] MASTER COMPARE\n", 0), 0u) << h.out;
    EXPECT_EQ(h.err, "");
}

TEST_F(Dwc, TroubleWithTheCommandLineIsStatusTwo) {
    t.file("plain", 1);
    const std::vector<std::vector<std::string>> cases = {
        {"--bogus", m(), c()},
        {"--size=1", m(), c()},
        {"--sort", "size", m(), c()},
        {m(), c(), "--sort"},
        {"--include", "txt", "--exclude", "log", m(), c()},
        {"--include", "a", "--include", "b", "--include", "c", "--include", "d", "--include", "e", m(), c()},
        {"--no-size", m(), c()},
        {"--no-size", "--no-date", "--date", "--no-date", m(), c()},
        {m()},
        {m(), c(), c()},
        {m(), t.path("missing")},
        {t.path("missing"), c()},
        {m(), t.path("plain")},
        {"-o", "", m(), c()},
    };
    for (const std::vector<std::string> &args : cases) {
        const ProcessResult r = dwc(args);
        SCOPED_TRACE(::testing::PrintToString(args));
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("dwc: ", 0), 0u) << r.err;
    }
    // Five extensions would be too many only when a fifth is given.
    EXPECT_EQ(dwc({"--exclude", "a", "--exclude", "b", "--exclude", "c", "--exclude", "d", m(), c()}).status, 1);
}

TEST_F(Dwc, ExitStatusAndSummary) {
    const ProcessResult differs = dwc({m(), c()});
    EXPECT_EQ(differs.status, 1);
    EXPECT_EQ(differs.err, "Dirwise complete.\n\nTotal Files: 4\nMatching Files: 2\nDifferent Files: 2\n");
    EXPECT_EQ(names(differs.out), (std::vector<std::string>{"a.txt", "b.txt", "d.log", "c.txt"}));

    const ProcessResult same = dwc({"--include", "*.log", m(), c()});
    EXPECT_EQ(same.status, 0);
    EXPECT_EQ(names(same.out), std::vector<std::string>{"d.log"});
    EXPECT_EQ(same.err, "Dirwise complete.\n\nTotal Files: 1\nMatching Files: 1\nDifferent Files: 0\n");

    const ProcessResult hidden = dwc({"-q", "--hide-matches", "--no-subdirs", "--date", m(), c()});
    EXPECT_EQ(hidden.status, 1);
    EXPECT_EQ(hidden.err, "");
    EXPECT_EQ(names(hidden.out), std::vector<std::string>{"b.txt"});

    // A place not compared is trouble, and trouble wins over differences.
    t.symlink("m/e.lnk", "nowhere");
    const ProcessResult incomplete = dwc({m(), c()});
    EXPECT_EQ(incomplete.status, 2);
    EXPECT_NE(incomplete.err.find("dwc: not compared: " + t.path("m/e.lnk") + ": " + std::strerror(ENOENT) + "\n"),
              std::string::npos) << incomplete.err;
    EXPECT_NE(incomplete.err.find("Different Files: 2\nNot Compared: 1\n"), std::string::npos) << incomplete.err;
}

TEST_F(Dwc, ReportOnStandardOutputEqualsTheSavedReport) {
    t.file("m/x\ty\\z", 7, -1000000000);
    t.file("c/x\ty\\z", 7, -1000000000);
    const ProcessResult out = dwc({"--date", m(), c()});
    ASSERT_EQ(out.status, 1);
    const ProcessResult file = dwc({"--date", "-o", t.path("dw.txt"), m(), c()});
    ASSERT_EQ(file.status, 1);
    EXPECT_EQ(file.out, "");
    EXPECT_EQ(ReadFile(t.path("dw.txt")), out.out);

    // The window's Save List writes the same bytes for the same compare.
    CompareOptions o;
    o.masterDir = m();
    o.compareDir = c();
    o.checkDate = 1;
    ScanState state;
    ResultsList list;
    struct : CompareHost {
        void yield() override {}
    } host;
    RunCompare(o, state, list, host);
    ASSERT_TRUE(SaveReport(list, t.path("window.txt")).ok);
    EXPECT_EQ(ReadFile(t.path("window.txt")), out.out);
    EXPECT_NE(out.out.find("\tx\\ty\\\\z\t000,000,007\t000,000,007\t04/24/1938 22:13:20\r\n"),
              std::string::npos) << out.out;
}

TEST_F(Dwc, TrailingSeparatorsOnTheRootsChangeNothing) {
    const ProcessResult plain = dwc({m(), c()});
    const ProcessResult slashed = dwc({m() + "/", c() + "//"});
    EXPECT_EQ(slashed.status, plain.status);
    EXPECT_EQ(slashed.out, plain.out);
    EXPECT_NE(plain.out.find("\t" + c() + "/sub/\tc.txt\t"), std::string::npos) << plain.out;
}

TEST_F(Dwc, SortAndIncludeOptions) {
    EXPECT_EQ(names(dwc({"--sort", "name", "--descending", m(), c()}).out),
              (std::vector<std::string>{"d.log", "c.txt", "b.txt", "a.txt"}));
    EXPECT_EQ(names(dwc({"--sort=master-size", m(), c()}).out),
              (std::vector<std::string>{"c.txt", "d.log", "a.txt", "b.txt"}));
    EXPECT_EQ(names(dwc({"--sort", "compare-size", m(), c()}).out),
              (std::vector<std::string>{"c.txt", "d.log", "a.txt", "b.txt"}));
    EXPECT_EQ(names(dwc({"--include", "*.TXT", "--include", ".txt", m(), c()}).out),
              (std::vector<std::string>{"a.txt", "b.txt", "a.txt", "b.txt", "c.txt", "c.txt"}));
    EXPECT_EQ(names(dwc({"--exclude", "txt", m(), c()}).out), std::vector<std::string>{"d.log"});
}

TEST_F(Dwc, ReportToAClosedPipeIsTrouble) {
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    ::close(fds[0]);
    const int err = ::open(t.path("err").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    const pid_t pid = SpawnProcess({DWC_PATH, m(), c()}, -1, fds[1], err, Env);
    ::close(fds[1]);
    ::close(err);
    EXPECT_EQ(WaitProcess(pid, 60), 2);
    EXPECT_NE(ReadFile(t.path("err")).find("dwc: cannot write the report"), std::string::npos)
        << ReadFile(t.path("err"));
}

TEST_F(Dwc, ReportToADeviceOrAFifo) {
    std::string device = t.path("null");
    if (::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0)
        device = RunningAsRoot() ? "" : "/dev/null";
    if (!device.empty()) {
        const ProcessResult r = dwc({"-o", device, m(), c()});
        EXPECT_EQ(r.status, 1) << r.err;
        struct stat st {};
        ASSERT_EQ(::stat(device.c_str(), &st), 0);
        EXPECT_TRUE(S_ISCHR(st.st_mode));
    }
    t.fifo("pipe");
    const ProcessResult f = dwc({"-o", t.path("pipe"), m(), c()});
    EXPECT_EQ(f.status, 2) << "-1 means dwc hung on a FIFO without a reader";
    struct stat st {};
    ASSERT_EQ(::stat(t.path("pipe").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(Dwc, DiagnosticsShowControlCharactersEscaped) {
    t.symlink("m/bad\x1b[31m\tname\x7f", "nowhere");
    const ProcessResult r = dwc({m(), c()});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("bad\\x1b[31m\\tname\\x7f"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos);
    EXPECT_EQ(r.err.find('\x7f'), std::string::npos);
    EXPECT_EQ(r.err.find('\t'), std::string::npos);
    const ProcessResult missing = dwc({t.path("no\apath"), c()});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("no\\x07path"), std::string::npos) << missing.err;
    EXPECT_EQ(missing.err.find('\a'), std::string::npos);
}

// U+009B is the one-character form of the escape sequence introducer: terminals that honour
// C1 controls act on it as on ESC [, so "\xc2\x9b" "2J" in a name would clear the screen.
TEST_F(Dwc, DiagnosticsEscapeC1ControlCharactersToo) {
    t.symlink("m/c1\xc2\x9b" "2Jname", "nowhere");
    const ProcessResult r = dwc({m(), c()});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("2Jname"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("\xc2\x9b"), std::string::npos) << "a C1 control reached the terminal";
}

// Reads `fd` until end of file, error or the deadline; true when it reached the end.
bool drain(int fd, std::string &out, int seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    char buf[65536];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) < 0 && errno != EINTR)
            return false;
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0)
            out.append(buf, static_cast<std::size_t>(n));
        else if (n == 0 || errno != EAGAIN)
            return true; // end of file, or EIO once a terminal's other side is closed
    }
}

// Ctrl-C made deterministic: the master tree holds many dangling links, each a diagnostic on
// standard error, which is a pipe that nobody reads yet. dwc cannot finish before the pipe
// is read, and its first diagnostic comes from the compare phase, after the handler is set.
TEST_F(Dwc, InterruptStopsTheRunKeepsTheRowsAndExits130) {
    TempTree tree(true);
    tree.dir("c");
    for (int i = 0; i < 10; ++i)
        tree.file("m/a" + std::to_string(i), 1);
    constexpr int Links = 2000;
    for (int i = 0; i < Links; ++i)
        tree.symlink("m/l" + std::to_string(10000 + i), "nowhere");
    int err[2];
    ASSERT_EQ(::pipe2(err, O_CLOEXEC), 0);
    ::fcntl(err[0], F_SETPIPE_SZ, 4096);
    const int out = ::open(tree.path("out").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    const pid_t pid = SpawnProcess({DWC_PATH, tree.path("m"), tree.path("c")}, -1, out, err[1], Env);
    ::close(err[1]);
    ::close(out);
    pollfd p{err[0], POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 60000), 1) << "no diagnostic came";
    ASSERT_EQ(::kill(pid, SIGINT), 0);
    std::string errText;
    EXPECT_TRUE(drain(err[0], errText, 60));
    ::close(err[0]);
    EXPECT_EQ(WaitProcess(pid, 60), 130) << errText.substr(errText.size() > 300 ? errText.size() - 300 : 0);
    const std::string report = ReadFile(tree.path("out"));
    EXPECT_EQ(names(report), (std::vector<std::string>{"a0", "a1", "a2", "a3", "a4", "a5", "a6",
                                                        "a7", "a8", "a9"}));
    ASSERT_GE(errText.size(), 17u);
    EXPECT_EQ(errText.substr(errText.size() - 17), "Dirwise stopped.\n");
    std::size_t diagnostics = 0;
    for (std::size_t pos = 0; (pos = errText.find("dwc: not compared: ", pos)) != std::string::npos; ++pos)
        ++diagnostics;
    EXPECT_LT(diagnostics, static_cast<std::size_t>(Links));
}

TEST_F(Dwc, ProgressLineOnlyOnATerminal) {
    TempTree tree(true);
    tree.dir("c");
    for (int i = 0; i < 1500; ++i)
        tree.file("m/f" + std::to_string(i), 1);
    const std::vector<std::string> args = {DWC_PATH, "-o", tree.path("dw.txt"), tree.path("m"), tree.path("c")};

    const ProcessResult piped = RunProcess(args, 60, Env);
    EXPECT_EQ(piped.status, 1);
    EXPECT_EQ(piped.err, "Dirwise complete.\n\nTotal Files: 1500\nMatching Files: 0\nDifferent Files: 1500\n");

    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
        GTEST_SKIP() << "no pseudo-terminal here";
    auto onTerminal = [&](std::vector<std::string> argv) {
        const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
        const pid_t pid = SpawnProcess(argv, -1, -1, slave, Env);
        ::close(slave);
        std::string text;
        // The terminal stays open in the child until it exits; read as it writes.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        int status = -2;
        while (status == -2 && std::chrono::steady_clock::now() < deadline) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 20) == 1 && (p.revents & POLLIN)) {
                char buf[4096];
                const ssize_t n = ::read(master, buf, sizeof buf);
                if (n > 0)
                    text.append(buf, static_cast<std::size_t>(n));
            }
            int raw = 0;
            if (::waitpid(pid, &raw, WNOHANG) == pid)
                status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        }
        if (status == -2)
            ::kill(pid, SIGKILL), ::waitpid(pid, nullptr, 0);
        std::string rest;
        int flags = ::fcntl(master, F_GETFL);
        ::fcntl(master, F_SETFL, flags | O_NONBLOCK);
        char buf[4096];
        for (ssize_t n; (n = ::read(master, buf, sizeof buf)) > 0;)
            text.append(buf, static_cast<std::size_t>(n));
        ::fcntl(master, F_SETFL, flags);
        EXPECT_EQ(status, 1);
        return text;
    };
    const std::string shown = onTerminal(args);
    // Whatever its wording, a progress line comes before the summary.
    const std::size_t summary = shown.find("Dirwise complete.");
    ASSERT_NE(summary, std::string::npos) << shown;
    EXPECT_GT(summary, 0u) << "no progress line on a terminal";
    EXPECT_NE(shown.find("Different Files: 1500"), std::string::npos) << shown;
    std::vector<std::string> quiet = args;
    quiet.insert(quiet.begin() + 1, "-q");
    EXPECT_EQ(onTerminal(quiet), "");
    ::close(master);
}

} // namespace
} // namespace dirwise::test
