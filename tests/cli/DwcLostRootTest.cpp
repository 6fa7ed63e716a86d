// dwc when a root is taken away under it: a bind mount detached as `umount -l` does, while
// dwc waits to write its first rows into a pipe nobody reads yet. Nothing it reports after
// that may be Not Found or Extra, and the run ends in trouble (2).

#include "TempTree.h"

#include <poll.h>

namespace dirwise::test {
namespace {

constexpr std::int64_t T0 = 1000000000;

std::size_t LinesStartingWith(const std::string &text, const std::string &start) {
    std::size_t n = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        n += text.compare(pos, start.size(), start) == 0;
        const std::size_t end = text.find('\n', pos);
        pos = end == std::string::npos ? text.size() : end + 1;
    }
    return n;
}

TEST(DwcLostRoot, AMountTakenAwayMidRunGivesNoFalseFindings) {
    const struct {
        const char *what;
        const char *mounted;
        std::vector<std::string> options;
        const char *told;
    } cases[] = {
        {"the compare root", "c", {}, "compare folder went away"},
        {"the master root, extras sought", "m", {"--extra"}, "master folder went away"},
    };
    ::setenv("LC_ALL", "C", 1);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TempTree t(true);
        MakeThousandFolders(t, "m", T0);
        MakeThousandFolders(t, "c", T0);
        const std::string root = t.path(c.mounted);
        ASSERT_EQ(::rename(root.c_str(), (root + ".src").c_str()), 0);
        t.dir(c.mounted);
        BindMount mount(root + ".src", root);
        if (mount.error() != 0)
            GTEST_SKIP() << "no bind mount here (" << std::strerror(mount.error())
                         << "): needs root";
        // A pipe of one page: dwc's first batch of rows does not fit, so it waits there.
        int out[2];
        ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
        ::fcntl(out[0], F_SETPIPE_SZ, 4096);
        const int err = ::open(t.path("err").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        std::vector<std::string> args = {DWC_PATH};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.insert(args.end(), {t.path("m"), t.path("c")});
        const pid_t pid = SpawnProcess(args, -1, out[1], err);
        ::close(out[1]);
        ::close(err);
        pollfd p{out[0], POLLIN, 0};
        ASSERT_EQ(::poll(&p, 1, 60000), 1) << "no rows came";
        ASSERT_TRUE(mount.detach());
        std::string report;
        char buf[65536];
        for (ssize_t n; ::poll(&p, 1, 60000) == 1 && (n = ::read(out[0], buf, sizeof buf)) > 0;)
            report.append(buf, static_cast<std::size_t>(n));
        ::close(out[0]);
        EXPECT_EQ(WaitProcess(pid, 60), 2);
        EXPECT_EQ(LinesStartingWith(report, "Not Found\t"), 0u);
        EXPECT_EQ(LinesStartingWith(report, "Extra\t"), 0u);
        EXPECT_GT(LinesStartingWith(report, "Not Compared\t"), 0u) << "the loss went unseen";
        EXPECT_EQ(LinesStartingWith(report, "Match\t") +
                      LinesStartingWith(report, "Not Compared\t"),
                  20000u + (c.options.empty() ? 0u : 1u))
            << "every master file once; with --extra, the lost root once more";
        const std::string said = ReadFile(t.path("err"));
        const std::string line = "dwc: not compared: " + root + ": " + c.told + "\n";
        EXPECT_NE(said.find(line), std::string::npos) << said;
        EXPECT_EQ(said.find(line), said.rfind(line)) << "the loss is told once";
    }
}

} // namespace
} // namespace dirwise::test
