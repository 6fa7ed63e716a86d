// The report: its bytes, and saving it without ever losing or half-writing a file.

#include "Report.h"
#include "ResultsTestSupport.h"
#include "TempTree.h"
#include "TextForms.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace dirwise::test {
namespace {

class ReportTest : public ::testing::Test {
protected:
    void SetUp() override {
        UseTimeZone("UTC0");
        std::setlocale(LC_ALL, "C");
        ReloadLocaleForms();
    }
    // A list whose report is `rows` lines of about 70 bytes.
    static ResultsList manyRows(int rows) {
        std::vector<RowSpec> specs;
        for (int i = 0; i < rows; ++i) {
            specs.push_back(NameRow(Result::Size, "/dir/", "file" + std::to_string(i)));
            specs.back().masterSize = i;
            specs.back().compareSize = i + 1;
            specs.back().masterTime = 1000000000;
        }
        return MakeList(specs);
    }
    static std::string reportOf(const ResultsList &list) {
        std::string out;
        for (std::size_t i = 0; i < list.Count(); ++i)
            AppendReportLine(out, list, i);
        return out;
    }
    static mode_t modeOf(const std::string &path) {
        struct stat st {};
        return ::lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
    }
    TempTree t;
};

TEST_F(ReportTest, SixFieldsCrLfNoHeaderAndNoCompareDate) {
    const ResultsList list = MakeList({
        {Result::Size, "/sub/", "a.txt", 1234, 1235, 1000000000, 2000000000},
        {Result::NotFound, "/", "b.txt", 10, {}, 0, {}},
        {Result::Match, "/x/y/", "c", 5368709120, 5368709120, -1, -1},
    });
    const std::string expected =
        "Size\t/cmp/sub/\ta.txt\t000,001,234\t000,001,235\t09/09/2001 01:46:40\r\n"
        "Not Found\t/cmp/\tb.txt\t000,000,010\t\t01/01/1970\r\n"
        "Match\t/cmp/x/y/\tc\t5,368,709,120\t5,368,709,120\t12/31/1969 23:59:59\r\n";
    ASSERT_TRUE(SaveReport(list, t.path("dw.txt")).ok);
    const std::string bytes = ReadFile(t.path("dw.txt"));
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(bytes.find("05/18/2033"), std::string::npos); // the compare date of row 1
}

TEST_F(ReportTest, FieldsAreEscapedAndOtherBytesKept) {
    const ResultsList list = MakeList({
        NameRow(Result::NotFound, "/d\tir/", "tab\there"),
        NameRow(Result::NotFound, "/back\\slash/", "new\nline\rcr"),
        NameRow(Result::NotFound, "/", "sp ace \xff\xfe\xc3\xa9\x01"),
    }, "/root\\dir");
    EXPECT_EQ(reportOf(list), "Not Found\t/root\\\\dir/d\\tir/\ttab\\there\t\t\t\r\n"
                              "Not Found\t/root\\\\dir/back\\\\slash/\tnew\\nline\\rcr\t\t\t\r\n"
                              "Not Found\t/root\\\\dir/\tsp ace \xff\xfe\xc3\xa9\x01\t\t\t\r\n");
}

TEST_F(ReportTest, EmptyListGivesAnEmptyFile) {
    WriteFile(t.path("dw.txt"), "an older, longer report\r\n");
    ASSERT_TRUE(SaveReport(ResultsList{}, t.path("dw.txt")).ok);
    EXPECT_EQ(ReadFile(t.path("dw.txt")), "");
    EXPECT_TRUE(S_ISREG(modeOf(t.path("dw.txt"))));
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    EXPECT_TRUE(WriteReport(ResultsList{}, fds[1]).ok);
    ::close(fds[1]);
    char c;
    EXPECT_EQ(::read(fds[0], &c, 1), 0);
    ::close(fds[0]);
}

TEST_F(ReportTest, FollowsTheDisplayedOrderAfterSortAndRemove) {
    ResultsList list = MakeList({NameRow(Result::Match, "/", "c"), NameRow(Result::Match, "/", "a"),
                                 NameRow(Result::Match, "/", "b")});
    list.Sort(Column::FileName, SortOrder::Ascending);
    list.Remove(1);
    EXPECT_EQ(reportOf(list), "Match\t/cmp/\ta\t\t\t\r\nMatch\t/cmp/\tc\t\t\t\r\n");
    std::string viaFd;
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ASSERT_TRUE(WriteReport(list, fds[1]).ok);
    ::close(fds[1]);
    char buf[256];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;)
        viaFd.append(buf, static_cast<std::size_t>(n));
    ::close(fds[0]);
    EXPECT_EQ(viaFd, reportOf(list));
}

TEST_F(ReportTest, ReplacesAtomicallyKeepingTheModeAndLeavesNoTemporaryFile) {
    const std::string target = t.path("dw.txt");
    WriteFile(target, std::string(10000, 'o'));
    ASSERT_EQ(::chmod(target.c_str(), 0604), 0);
    struct stat before {};
    ASSERT_EQ(::stat(target.c_str(), &before), 0);
    const ResultsList list = manyRows(3);
    ASSERT_TRUE(SaveReport(list, target).ok);
    struct stat after {};
    ASSERT_EQ(::stat(target.c_str(), &after), 0);
    EXPECT_EQ(ReadFile(target), reportOf(list));
    EXPECT_EQ(after.st_mode & 07777, 0604u);
    EXPECT_NE(after.st_ino, before.st_ino) << "written in place, not replaced";
    EXPECT_EQ(ListDirectory(t.root()), std::vector<std::string>{"dw.txt"});
}

TEST_F(ReportTest, NewFileGetsTheModeLessTheUmask) {
    for (mode_t mask : {mode_t{027}, mode_t{002}, mode_t{0}}) {
        const mode_t old = ::umask(mask);
        const std::string target = t.path("new" + std::to_string(mask) + ".txt");
        const ReportStatus s = SaveReport(manyRows(1), target);
        ::umask(old);
        ASSERT_TRUE(s.ok) << s.error;
        EXPECT_EQ(modeOf(target) & 07777, 0666u & ~mask) << "umask " << mask;
    }
}

TEST_F(ReportTest, SymlinkedTargetIsWrittenThroughAndKept) {
    t.dir("real");
    WriteFile(t.path("real/dw.txt"), "old");
    t.symlink("link.txt", "real/dw.txt");
    const ResultsList list = manyRows(2);
    ASSERT_TRUE(SaveReport(list, t.path("link.txt")).ok);
    EXPECT_TRUE(S_ISLNK(modeOf(t.path("link.txt"))));
    char buf[64] = {};
    ASSERT_GT(::readlink(t.path("link.txt").c_str(), buf, sizeof buf - 1), 0);
    EXPECT_STREQ(buf, "real/dw.txt");
    EXPECT_EQ(ReadFile(t.path("real/dw.txt")), reportOf(list));
    EXPECT_EQ(ListDirectory(t.path("real")), std::vector<std::string>{"dw.txt"});
}

TEST_F(ReportTest, HardLinkedTargetIsRewrittenForEveryLink) {
    WriteFile(t.path("a.txt"), "old");
    ASSERT_EQ(::link(t.path("a.txt").c_str(), t.path("b.txt").c_str()), 0);
    const ResultsList list = manyRows(2);
    ASSERT_TRUE(SaveReport(list, t.path("a.txt")).ok);
    EXPECT_EQ(ReadFile(t.path("a.txt")), reportOf(list));
    EXPECT_EQ(ReadFile(t.path("b.txt")), reportOf(list));
}

// Saves `list` at `target` in a child whose file size limit is 512 bytes; SIGXFSZ is
// ignored, so the limit shows up as a failed write.
ChildResult saveUnderSizeLimit(const ResultsList &list, const std::string &target) {
    return RunInChild([&](std::string &out) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{512, 512};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return 76;
        const ReportStatus s = SaveReport(list, target);
        out = s.error;
        return s.ok ? 1 : 0;
    }, 30);
}

TEST_F(ReportTest, FailedWriteLeavesTheOldFileAndNoTemporaryFile) {
    const std::string old = "the previous report\r\n";
    WriteFile(t.path("dw.txt"), old);
    const ChildResult r = saveUnderSizeLimit(manyRows(200), t.path("dw.txt"));
    ASSERT_NE(r.status, 76);
    EXPECT_EQ(r.status, 0) << "a save past the file size limit was reported as done";
    EXPECT_FALSE(r.out.empty()) << "the failure has no description";
    EXPECT_EQ(ReadFile(t.path("dw.txt")), old);
    EXPECT_EQ(ListDirectory(t.root()), std::vector<std::string>{"dw.txt"});
}

TEST_F(ReportTest, FailedWriteToAHardLinkedTargetLeavesTheOldFile) {
    const std::string old = "the previous report\r\n";
    WriteFile(t.path("dw.txt"), old);
    ASSERT_EQ(::link(t.path("dw.txt").c_str(), t.path("other.txt").c_str()), 0);
    const ChildResult r = saveUnderSizeLimit(manyRows(200), t.path("dw.txt"));
    ASSERT_NE(r.status, 76);
    EXPECT_EQ(r.status, 0) << "a save past the file size limit was reported as done";
    EXPECT_EQ(ReadFile(t.path("dw.txt")), old) << "the old report was overwritten in part";
    EXPECT_EQ(ListDirectory(t.root()), (std::vector<std::string>{"dw.txt", "other.txt"}));
}

TEST_F(ReportTest, ReadOnlyTargetIsRefusedAndKept) {
    t.chmod("", 0777);
    WriteFile(t.path("dw.txt"), "keep me");
    t.chmod("dw.txt", 0444);
    const ResultsList list = manyRows(3);
    const ChildResult r = RunInChild([&](std::string &out) {
        if (!DropRootInChild())
            return 76;
        if (::access(t.path("dw.txt").c_str(), W_OK) == 0)
            return 77;
        const ReportStatus s = SaveReport(list, t.path("dw.txt"));
        out = s.error;
        return s.ok ? 1 : 0;
    });
    if (r.status == 76 || r.status == 77)
        GTEST_SKIP() << "cannot make a file read-only for this process";
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find(std::strerror(EACCES)), std::string::npos) << r.out;
    EXPECT_EQ(ReadFile(t.path("dw.txt")), "keep me");
    EXPECT_EQ(modeOf(t.path("dw.txt")) & 07777, 0444u);
    EXPECT_EQ(ListDirectory(t.root()), std::vector<std::string>{"dw.txt"});
}

// A private copy of /dev/null where we may make one, so a fault cannot replace the real one.
std::string NullDevice(TempTree &t) {
    if (::mknod(t.path("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0)
        return t.path("null");
    return RunningAsRoot() ? std::string() : "/dev/null";
}

TEST_F(ReportTest, DeviceTargetIsWrittenInPlaceAndStaysADevice) {
    const std::string device = NullDevice(t);
    if (device.empty())
        GTEST_SKIP() << "cannot make a device node, and root must not risk the real /dev/null";
    const ReportStatus s = SaveReport(manyRows(5), device);
    EXPECT_TRUE(s.ok) << s.error;
    EXPECT_TRUE(S_ISCHR(modeOf(device)));
    EXPECT_EQ(ListDirectory(t.root()).size(), device == "/dev/null" ? 0u : 1u);
}

TEST_F(ReportTest, FifoTargetWithoutAReaderFailsAtOnce) {
    t.fifo("pipe");
    const ResultsList list = manyRows(2);
    const ChildResult r = RunInChild([&](std::string &) {
        return SaveReport(list, t.path("pipe")).ok ? 1 : 0;
    }, 20);
    EXPECT_EQ(r.status, 0) << "saving to a FIFO without a reader hung or succeeded";
    EXPECT_TRUE(S_ISFIFO(modeOf(t.path("pipe"))));
    EXPECT_EQ(ListDirectory(t.root()), std::vector<std::string>{"pipe"});
}

TEST_F(ReportTest, FifoTargetWithAReaderGetsTheReport) {
    t.fifo("pipe");
    const int reader = ::open(t.path("pipe").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const ResultsList list = manyRows(3);
    const ChildResult r = RunInChild([&](std::string &) {
        return SaveReport(list, t.path("pipe")).ok ? 0 : 1;
    }, 20);
    EXPECT_EQ(r.status, 0);
    std::string got;
    char buf[4096];
    for (ssize_t n; (n = ::read(reader, buf, sizeof buf)) > 0;)
        got.append(buf, static_cast<std::size_t>(n));
    ::close(reader);
    EXPECT_EQ(got, reportOf(list));
    EXPECT_TRUE(S_ISFIFO(modeOf(t.path("pipe"))));
}

TEST_F(ReportTest, ClosedPipeAndDirectoryTargetsFail) {
    const ResultsList list = manyRows(3);
    const ChildResult r = RunInChild([&](std::string &) {
        std::signal(SIGPIPE, SIG_IGN);
        int fds[2];
        if (::pipe(fds) != 0)
            return 76;
        ::close(fds[0]);
        return WriteReport(list, fds[1]).ok ? 1 : 0;
    }, 20);
    EXPECT_EQ(r.status, 0) << "writing to a closed pipe was reported as done";
    t.dir("adir");
    const ReportStatus s = SaveReport(list, t.path("adir"));
    EXPECT_FALSE(s.ok);
    EXPECT_TRUE(S_ISDIR(modeOf(t.path("adir"))));
    EXPECT_FALSE(SaveReport(list, t.path("missing/dw.txt")).ok);
}

} // namespace
} // namespace dirwise::test
