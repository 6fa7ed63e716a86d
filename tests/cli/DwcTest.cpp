// dwc, the command-line twin: options, exit status, the report on standard output or in a
// file, the summary and diagnostics on standard error, Ctrl-C, and the progress line. The
// rules behind the rows (patterns, classification, texts, formats) have their own tests;
// these show that dwc hands the options to them and keeps its own promises.

#include "DwcSupport.h"

#include <algorithm>
#include <clocale>
#include <filesystem>
#include <poll.h>
#include <sstream>
#include <sys/sysmacros.h>

namespace dirwise::test {
namespace {

// The file names of a report's lines, each followed by a blank.
std::string Names(const std::string &report) {
    std::string names;
    for (std::size_t pos = 0; pos < report.size();) {
        const std::size_t end = report.find("\r\n", pos);
        const std::size_t f2 = report.find('\t', report.find('\t', pos) + 1);
        names += report.substr(f2 + 1, report.find('\t', f2 + 1) - f2 - 1) + " ";
        pos = end == std::string::npos ? report.size() : end + 2;
    }
    return names;
}

// The characters of UTF-8 `text`: its bytes less the continuation bytes.
std::size_t Characters(const std::string &text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char ch) { return (ch & 0xc0) != 0x80; }));
}

std::string Summary(int total, int matching, int different) {
    return "Dirwise complete.\n\nTotal Files: " + std::to_string(total) +
           "\nMatching Files: " + std::to_string(matching) +
           "\nDifferent Files: " + std::to_string(different) + "\n";
}

class DwcRun : public ::testing::Test {
protected:
    void SetUp() override {
        UseTimeZone("UTC0"); // dwc runs with this process's environment
        ::setenv("LC_ALL", "C", 1);
        t.file("m/a.txt", 3, T0);
        t.file("m/sub/c.txt", 1, T0);
        t.file("m/b.txt", 4, T0);
        t.file("c/b.txt", 5, T0);
        WriteFile(t.path("c/a.txt"), "xYx"); // differs in its contents only
        t.setTime("c/a.txt", T0);
        for (const char *f : {"m/data.old/d.log", "c/data.old/d.log", "c/data.old/extra.log"})
            t.file(f, 2, T0);
    }
    std::string m() const { return t.path("m"); }
    std::string c() const { return t.path("c"); }
    // The words of `line`, M and C standing for the roots.
    std::vector<std::string> Args(const std::string &line) const {
        std::vector<std::string> args;
        std::istringstream words(line);
        for (std::string w; words >> w;)
            args.push_back(w == "M" ? m() : w == "C" ? c() : w);
        return args;
    }
    TempTree t;
};

TEST_F(DwcRun, HelpTextsGoToStandardOutput) {
    const std::string version = Dwc({"--version"}).out;
    EXPECT_EQ(version.rfind("dwc (Dirwise) 7.0.0\nCopyright ", 0), 0u) << version;
    EXPECT_NE(version.find("\nLicense MIT: "), std::string::npos) << version;
    const ProcessResult h = Dwc({"--help"});
    EXPECT_EQ(h.status, 0);
    EXPECT_EQ(h.out.rfind("Usage: dwc [options] MASTER COMPARE\n", 0), 0u) << h.out;
    EXPECT_NE(h.out.find("\nReport bugs to: "), std::string::npos) << h.out;
    EXPECT_EQ(Dwc({"-h"}).out, h.out);
}

TEST_F(DwcRun, UsageErrorsExitTwoWithAMessage) {
    const std::pair<const char *, const char *> cases[] = {
        {"an unknown option", "--bogus M C"},
        {"an ambiguous abbreviation", "--no M C"},
        {"a value missing at the end", "M C --sort"},
        {"an unknown sort column", "--sort size M C"},
        {"a flag given a value", "--size=0 M C"},
        {"descending without a sort", "--descending M C"},
        {"include with exclude", "--include txt --exclude log M C"},
        {"five extensions", "--include a --include b --include c --include d --include e M C"},
        {"nothing to match", "--no-size M C"},
        {"one root", "M"},
        {"three roots", "M C C"},
        {"an empty report name", "--output= M C"},
        {"a compare root that is a file", "M " DWC_PATH},
        {"an option after -- is a root", "-- --date M C"},
        {"a tolerance that is no number", "--time-tolerance 2s M C"},
        {"a negative tolerance", "--time-tolerance=-1 M C"},
        {"negative hour shifts", "--hour-shifts -1 M C"},
        {"an unknown format", "--format xml M C"},
    };
    for (const auto &[what, line] : cases) {
        const ProcessResult r = Dwc(Args(line));
        SCOPED_TRACE(what);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("dwc: ", 0), 0u) << r.err;
    }
}

TEST_F(DwcRun, EveryOptionSpellingGivesTheSameRun) {
    ASSERT_EQ(Dwc({"--quiet", "--output", t.path("long.txt"), m(), c()}).status, 1);
    const std::string expected = ReadFile(t.path("long.txt"));
    ASSERT_NE(expected, "");
    EXPECT_EQ(Dwc({"-qo", t.path("bundled.txt"), m(), c()}).err, "");
    EXPECT_EQ(Dwc({"-q", "-o" + t.path("attached.txt"), m(), c()}).err, "");
    EXPECT_EQ(Dwc({m(), "--qui", c(), "--out=" + t.path("abbreviated.txt")}).err, "");
    for (const char *name : {"bundled.txt", "attached.txt", "abbreviated.txt"})
        EXPECT_EQ(ReadFile(t.path(name)), expected) << name;
    EXPECT_EQ(Dwc(Args("-q -o - M C")).out, expected) << "-o - writes to standard output";
    EXPECT_FALSE(std::filesystem::exists("-"));
    EXPECT_EQ(Dwc(Args("--exclude a --exclude b --exclude c --exclude d M C")).status, 1);
}

// Extras and content checks are done only when asked for; extras alone make the status 1.
TEST_F(DwcRun, ExitStatusSaysWhetherTheTreesDiffer) {
    const ProcessResult differs = Dwc({m(), c()});
    EXPECT_EQ(differs.status, 1);
    EXPECT_EQ(differs.err, Summary(4, 2, 2));
    EXPECT_EQ(Names(differs.out), "a.txt b.txt d.log c.txt ");
    const ProcessResult same = Dwc(Args("--include *.log M C"));
    EXPECT_EQ(same.status, 0);
    EXPECT_EQ(same.err, Summary(1, 1, 0));
    const ProcessResult extra = Dwc(Args("--include *.log --extra M C"));
    EXPECT_EQ(extra.status, 1);
    EXPECT_EQ(extra.err, Summary(1, 1, 0) + "Extra Files: 1\n");
}

TEST_F(DwcRun, OptionsChooseTheRowsWithTheirOrder) {
    const ProcessResult quiet = Dwc(Args("-q --hide-matches --no-subdirs --date M C"));
    EXPECT_EQ(quiet.status, 1);
    EXPECT_EQ(quiet.err + Names(quiet.out), "b.txt ");
    const ProcessResult asked = Dwc(Args("-q --hide-matches --verify --extra M C"));
    EXPECT_EQ(Names(asked.out), "a.txt b.txt c.txt extra.log ");
    EXPECT_EQ(Names(Dwc(Args("--sort name --descending M C")).out), "d.log c.txt b.txt a.txt ");
    EXPECT_EQ(Names(Dwc(Args("--sort=compare-size M C")).out), "c.txt d.log a.txt b.txt ");
    EXPECT_EQ(Names(Dwc(Args("--exclude *.TXT M C")).out), "d.log ");
}

// Under every memory limit from too small to start up to enough, dwc either runs or says it
// is out of memory with status 2; an uncaught allocation failure would abort (134). Memory
// runs out in the workers too, reading contents ahead: a file is then not compared and the
// run goes on, or dwc says it is out of memory.
TEST_F(DwcRun, OutOfMemoryIsStatusTwoWithAMessageNeverACrash) {
    TempTree g(true);
    for (int i = 0; i < 120; ++i) {
        const std::string name = "d" + std::to_string(i % 6) + "/f" + std::to_string(i);
        for (const char *side : {"m/", "c/"})
            g.file(side + name, i % 3 == 0 ? 600 * 1024 : 1000, T0);
    }
    const auto run = [&](int kb) {
        return RunProcess(
            {"sh", "-c",
             "ulimit -v " + std::to_string(kb) + " && exec '" DWC_PATH "' --verify \"$0\" \"$1\"",
             g.path("m"), g.path("c")});
    };
    const auto notStarted = [](const ProcessResult &r) {
        return r.status == 127 ||
               r.err.find("error while loading shared libraries") != std::string::npos ||
               r.err.find("Sanitizer: ") != std::string::npos;
    };
    // Just above the least memory dwc starts in lies a narrow band where the C++ run-time
    // could set nothing aside for exceptions at start-up: it is swept in small steps.
    int low = 1000, high = 64000;
    while (high - low > 4) {
        const int mid = (low + high) / 2;
        (notStarted(run(mid)) ? low : high) = mid;
    }
    std::vector<int> limits;
    for (int kb = high; kb < high + 400; kb += 8)
        limits.push_back(kb);
    for (int kb = high + 400; kb <= 64000; kb += 1000)
        limits.push_back(kb);
    int outOfMemory = 0;
    for (const int kb : limits) {
        const ProcessResult r = run(kb);
        if (notStarted(r))
            continue; // the loader (or a sanitizer's run-time) itself found no room
        SCOPED_TRACE(::testing::Message() << kb << " KiB: " << r.err);
        const bool said = r.err.find("dwc: out of memory\n") != std::string::npos ||
                          r.err.find(std::strerror(ENOMEM)) != std::string::npos;
        EXPECT_TRUE(r.status == 0 || (r.status == 2 && said)) << "status " << r.status;
        outOfMemory += r.status == 2;
    }
    if (outOfMemory == 0)
        GTEST_SKIP() << "no limit made an allocation fail after start-up";
}

TEST_F(DwcRun, AReportInAMissingFolderIsRefusedBeforeTheRun) {
    const ProcessResult missing = Dwc({"-o", t.path("no/such/dir/r.txt"), m(), c()});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err.rfind("dwc: cannot write the report: ", 0), 0u) << missing.err;
    EXPECT_EQ(missing.err.find("Dirwise complete"), std::string::npos) << "the compare ran first";
}

TEST_F(DwcRun, TheSameFolderTwiceIsRefused) {
    const ProcessResult same = Dwc({m(), m() + "/"});
    EXPECT_EQ(same.status, 2);
    EXPECT_NE(same.err.find("the same directory"), std::string::npos) << same.err;
}

// A place not compared is trouble, and trouble wins over differences. Its name is shown with
// control characters escaped (which ones: the display escape's tests).
TEST_F(DwcRun, ANotComparedPlaceIsTrouble) {
    t.symlink("m/bad\x1b[31m\tname\x7f", "bad\x1b[31m\tname\x7f"); // a loop: unreadable
    const ProcessResult r = Dwc({m(), c()});
    EXPECT_EQ(r.status, 2);
    const std::string bad = t.path("m/bad\\x1b[31m\\tname\\x7f");
    EXPECT_NE(r.err.find("dwc: not compared: " + bad + ": " + std::strerror(ELOOP) + "\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("Different Files: 2\nNot Compared: 1\n"), std::string::npos);
    for (const char *raw : {"\x1b", "\x7f", "\t"})
        EXPECT_EQ(r.err.find(raw), std::string::npos) << "a control character reached the terminal";
}

TEST_F(DwcRun, RootsInMessagesShowControlCharactersEscaped) {
    EXPECT_NE(Dwc({t.path("no\apath"), c()}).err.find("no\\x07path"), std::string::npos);
}

TEST_F(DwcRun, OptionsInMessagesShowControlCharactersEscaped) {
    const ProcessResult option = Dwc({"--x\x1b[2J", m(), c()});
    EXPECT_EQ(option.status, 2);
    EXPECT_NE(option.err.find("--x\\x1b[2J"), std::string::npos) << option.err;
    EXPECT_EQ(option.err.find('\x1b'), std::string::npos);
}

// Sizes beyond 32 bits (4 GiB + 1 would wrap to the compare side's 1 byte), times before 1970
// or after 2038 (2100) come through the scan whole; dates compare to the second. The texts
// themselves have their tests with the report.
TEST_F(DwcRun, ExtremeSizesWithTimesReachTheReportWhole) {
    TempTree g;
    const std::tuple<const char *, std::int64_t, std::int64_t> files[] = {
        {"future", 4102444800, 4102444801},
        {"old", -1000000000, -1000000000},
        {"sub", T0, T0},
        {"wrap", T0, T0}};
    for (const auto &[n, masterTime, compareTime] : files) {
        g.file(std::string("m/") + n, 1, masterTime);
        g.file(std::string("c/") + n, 1, compareTime);
    }
    ASSERT_EQ(::truncate(g.path("m/wrap").c_str(), 4294967297), 0) << std::strerror(errno);
    g.setTime("m/wrap", T0);
    g.setTime("m/sub", T0, 100000000);
    g.setTime("c/sub", T0, 900000000);
    struct stat st {};
    if (::stat(g.path("m/old").c_str(), &st) != 0 || st.st_mtime != -1000000000)
        GTEST_SKIP() << "this file system does not keep times before 1970";
    const ProcessResult out = Dwc({"--date", g.path("m"), g.path("c")});
    EXPECT_EQ(out.status, 1);
    // clang-format off
    const std::string c = "\t" + g.path("c") + "/\t";
    EXPECT_EQ(out.out,
        "Date" + c + "future\t000,000,001\t000,000,001\t01/01/2100\r\n"
        "Match" + c + "old\t000,000,001\t000,000,001\t04/24/1938 22:13:20\r\n"
        "Match" + c + "sub\t000,000,001\t000,000,001\t09/09/2001 01:46:40\r\n"
        "Size" + c + "wrap\t4,294,967,297\t000,000,001\t09/09/2001 01:46:40\r\n");
    // clang-format on
}

// A reader that goes away ends dwc as it ends other filters: by SIGPIPE, without a word.
TEST_F(DwcRun, AClosedPipeEndsDwcBySigpipeQuietly) {
    for (const char *line : {"M C", "--sort name M C", "--help"}) {
        SCOPED_TRACE(line);
        int fds[2];
        ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
        ::close(fds[0]);
        std::vector<std::string> args = Args(line);
        args.insert(args.begin(), DWC_PATH);
        const int err =
            ::open(t.path("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        EXPECT_EQ(WaitProcess(SpawnProcess(args, -1, fds[1], err), 60), 128 + SIGPIPE);
        ::close(fds[1]);
        ::close(err);
        EXPECT_EQ(ReadFile(t.path("err")), "");
    }
}

TEST_F(DwcRun, ReportToADeviceOrAFifoWithoutReader) {
    // A private /dev/null where one may be made: root must not risk the real one.
    std::string device = t.path("null");
    if (::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0)
        device = ::geteuid() == 0 ? "" : "/dev/null";
    struct stat st {};
    EXPECT_EQ(device.empty() ? 1 : Dwc({"-o", device, m(), c()}).status, 1);
    EXPECT_TRUE(device.empty() || (::stat(device.c_str(), &st) == 0 && S_ISCHR(st.st_mode)));
    t.fifo("pipe");
    EXPECT_EQ(Dwc({"-o", t.path("pipe"), m(), c()}).status, 2) << "-1: hung on a FIFO";
    EXPECT_TRUE(::stat(t.path("pipe").c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
}

// Ctrl-C made deterministic: the master tree holds many links in loops, each a diagnostic on
// standard error, which is a pipe that nobody reads yet. dwc cannot finish before the pipe
// is read, and its first diagnostic comes from the compare phase, after the handler is set.
TEST_F(DwcRun, AnInterruptEndsTheRunWithTheRowsFoundSoFar) {
    TempTree tree(true);
    tree.dir("c");
    for (int i = 0; i < 10; ++i)
        tree.file("m/a" + std::to_string(i), 1);
    for (int i = 0; i < 2000; ++i)
        tree.symlink("m/l" + std::to_string(10000 + i), "l" + std::to_string(10000 + i));
    int err[2];
    ASSERT_EQ(::pipe2(err, O_CLOEXEC), 0);
    ::fcntl(err[0], F_SETPIPE_SZ, 4096);
    const int out = ::open(tree.path("out").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    const pid_t pid = SpawnProcess({DWC_PATH, tree.path("m"), tree.path("c")}, -1, out, err[1]);
    ::close(err[1]);
    ::close(out);
    pollfd p{err[0], POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 60000), 1) << "no diagnostic came";
    ASSERT_EQ(::kill(pid, SIGINT), 0);
    std::string text;
    char buf[65536];
    for (ssize_t n; ::poll(&p, 1, 60000) == 1 && (n = ::read(err[0], buf, sizeof buf)) > 0;)
        text.append(buf, static_cast<std::size_t>(n));
    ::close(err[0]);
    EXPECT_EQ(WaitProcess(pid, 60), 130);
    // The ten files, then the places not compared before the stop, as Not Compared rows.
    const std::string names = Names(ReadFile(tree.path("out")));
    EXPECT_EQ(names.substr(0, 30), "a0 a1 a2 a3 a4 a5 a6 a7 a8 a9 ");
    EXPECT_LT(std::count(names.begin(), names.end(), 'l'), 2000) << names;
    EXPECT_EQ(text.substr(text.size() - std::min<std::size_t>(text.size(), 17)),
              "Dirwise stopped.\n");
    EXPECT_LT(std::count(text.begin(), text.end(), '\n'), 2000) << "the run went on to the end";
}

// Without --sort, dwc writes rows as the run appends them; a large run's report must still
// be the same bytes wherever it goes. Progress shows only on a terminal, and a report that
// fails ends the run.
// 5000 files in name order under m/ and c/: every third only in the master tree, every fifth
// of the rest with another size.
void MakeLargePair(TempTree &big) {
    for (int i = 0; i < 5000; ++i) {
        char name[8];
        std::snprintf(name, sizeof name, "f%04d", i);
        big.file(std::string("m/") + name, 1, T0);
        if (i % 3 != 0)
            big.file(std::string("c/") + name, i % 5 == 0 ? 2 : 1, T0);
    }
}

class DwcLargeRun : public DwcRun {
protected:
    void SetUp() override {
        DwcRun::SetUp();
        MakeLargePair(big);
    }
    TempTree big{true};
    const std::string file = big.path("r.txt"), M = big.path("m"), C = big.path("c");
};

TEST_F(DwcLargeRun, EveryRowIsStreamedOnce) {
    for (const std::string format : {"report", "csv", "json"}) {
        SCOPED_TRACE(format);
        const ProcessResult out = Dwc({"--format", format, M, C});
        ASSERT_EQ(out.status, 1) << out.err;
        ASSERT_EQ(Dwc({"--format", format, "-o", file, M, C}).status, 1);
        EXPECT_TRUE(ReadFile(file) == out.out) << "the file differs";
        const bool csv = format == "csv";
        EXPECT_EQ(std::count(out.out.begin(), out.out.end(), '\n'), 5000 + (csv ? 1 : 0));
        EXPECT_EQ(out.out.find('\r') == std::string::npos, format != "report");
        EXPECT_EQ(out.out.rfind("{\"result\":", 0) == 0, format == "json");
        EXPECT_EQ(out.out.rfind("result,path"), csv ? 0 : std::string::npos) << "one header";
        const std::size_t first = out.out.find("f0000"), middle = out.out.find("f2499");
        EXPECT_TRUE(first < middle && middle < out.out.find("f4999")) << "not in name order";
    }
    // A file with two links is written in place: its new contents are measured first and
    // written after, so the report's bytes are asked for twice.
    const ProcessResult out = Dwc({M, C});
    ASSERT_EQ(::link(file.c_str(), big.path("other.txt").c_str()), 0);
    ASSERT_EQ(Dwc({"-o", file, M, C}).status, 1);
    EXPECT_TRUE(ReadFile(file) == out.out);
    EXPECT_TRUE(ReadFile(big.path("other.txt")) == out.out) << "the link was replaced";
    // Without a temporary folder for the rows the file is the same.
    ASSERT_EQ(::unlink(file.c_str()), 0);
    ::setenv("TMPDIR", big.path("nowhere").c_str(), 1);
    const ProcessResult r = Dwc({"-o", file, M, C});
    ::unsetenv("TMPDIR");
    EXPECT_EQ(r.err, Summary(5000, 2667, 2333));
    EXPECT_TRUE(ReadFile(file) == out.out);
}

TEST_F(DwcLargeRun, ATerminalShowsProgressUntilTheSummary) {
    const std::string args = "-o " + file + " " + M + " " + C;
    const ProcessResult shown = OnTerminal("xterm", args);
    const std::size_t summary = shown.out.find("Dirwise complete.");
    // Whatever its wording, a progress line comes before the summary.
    EXPECT_TRUE(shown.status == 1 && summary != std::string::npos && summary > 0) << shown.out;
    EXPECT_NE(shown.out.find("Different Files: 2333"), std::string::npos) << shown.out;
    // The last line drawn is taken away: a clear, not a progress text, comes last.
    EXPECT_EQ(shown.out[shown.out.rfind("\033[K") - 1], '\r') << "the progress line stayed";
    EXPECT_EQ(OnTerminal("xterm", "-q " + args).out, "");
}

TEST_F(DwcLargeRun, AFailingReportStopsTheRun) {
    // The first piece of the report fails, long before the last file is compared, and the
    // run ends there.
    const ProcessResult full = Dwc({"-o", "/dev/full", M, C});
    EXPECT_EQ(full.status, 2);
    EXPECT_NE(full.err.find("dwc: cannot write the report: /dev/full: "), std::string::npos)
        << full.err;
    EXPECT_NE(full.err.find("Dirwise stopped."), std::string::npos) << full.err;
}

// Under a German locale dwc speaks German, the C library's error texts included, while the
// report keeps its words; sizes and dates take the locale's forms as the window's do.
TEST_F(DwcRun, GermanLocaleTranslatesMessagesButNotTheReport) {
    if (!UseLocale("de_DE", t.path("locales")))
        GTEST_SKIP() << "no German locale and none could be compiled (localedef, locales)";
    ::setenv("LC_ALL", "de_DE.UTF-8", 1);
    const ProcessResult run = Dwc(Args("--date M C"));
    const ProcessResult missing = Dwc({t.path("none"), c()});
    const ProcessResult bad = Dwc({"--bogus"});
    const std::string help = Dwc({"--help"}).out;
    ASSERT_NE(std::setlocale(LC_MESSAGES, "de_DE.UTF-8"), nullptr);
    const std::string notFound = std::strerror(ENOENT);
    std::setlocale(LC_MESSAGES, "C");
    ASSERT_NE(notFound, std::strerror(ENOENT)) << "the C library has no German texts";
    EXPECT_EQ(missing.err, "dwc: Masterverzeichnis " + t.path("none") + ": " + notFound + "\n");
    EXPECT_EQ(bad.err, "dwc: unbekannte oder mehrdeutige Option '--bogus'\n"
                       "»dwc --help« gibt weitere Informationen.\n");
    EXPECT_EQ(help.rfind("Aufruf: dwc [Optionen] MASTER COMPARE\n", 0), 0u) << help;
    std::istringstream lines(help);
    for (std::string line; std::getline(lines, line);)
        EXPECT_LE(Characters(line), 80u) << line;
    EXPECT_EQ(run.err, "Dirwise abgeschlossen.\n\nDateien insgesamt: 4\n"
                       "Übereinstimmende Dateien: 2\nAbweichende Dateien: 2\n");
    EXPECT_EQ(run.out.rfind("Match\t" + c() + "/\ta.txt\t000.000.003\t000.000.003\t09.09.2001 ", 0),
              0u)
        << run.out;
    const std::string germanCsv = Dwc(Args("-q --format csv M C")).out;
    ::setenv("LC_ALL", "C", 1);
    EXPECT_EQ(germanCsv, Dwc(Args("-q --format csv M C")).out);
}

// In a language dwc has no translation for, the C library's error texts stay English too, so
// one message never mixes two languages.
TEST_F(DwcRun, UntranslatedLocaleKeepsErrorTextsInEnglish) {
    if (!UseLocale("fr_FR", t.path("locales")))
        GTEST_SKIP() << "no French locale and none could be compiled (localedef, locales)";
    ASSERT_NE(std::setlocale(LC_MESSAGES, "fr_FR.UTF-8"), nullptr);
    const std::string french = std::strerror(ENOENT);
    std::setlocale(LC_MESSAGES, "C");
    if (french == std::strerror(ENOENT))
        GTEST_SKIP() << "the C library has no French texts (libc-l10n)";
    ::setenv("LC_ALL", "fr_FR.UTF-8", 1);
    EXPECT_EQ(Dwc({t.path("none"), c()}).err,
              "dwc: master directory " + t.path("none") + ": No such file or directory\n");
}

// Names with a backslash, a quote, a comma and a byte that is no UTF-8 reach a script as the
// file system has them: jq reads the JSON and base64 decodes the exact bytes.
TEST_F(DwcRun, MachineFormatsCarryNamesByteTrue) {
    TempTree g;
    g.file("m/back\\slash \"q\",x.txt", 1, T0);
    g.file("m/caf\xe9.txt", 1, T0);
    g.dir("c");
    const ProcessResult csv = Dwc({"-q", "--format", "csv", g.path("m"), g.path("c")});
    EXPECT_NE(csv.out.find("\nNot Found,\"back\\slash \"\"q\"\",x.txt\",1,"), std::string::npos)
        << csv.out;
    EXPECT_NE(csv.out.find("\nNot Found,caf\xe9.txt,1,"), std::string::npos) << csv.out;
    for (const char *tool : {"jq", "base64"})
        if (RunProcess({"sh", "-c", std::string("command -v ") + tool}).status != 0)
            GTEST_SKIP() << tool << " is not installed";
    const std::string dwc = "'" DWC_PATH "' -q --format json \"$0\" \"$1\"";
    EXPECT_EQ(RunProcess({"sh", "-c", dwc + " | jq -r 'select(.path_base64 == null) | .path'",
                          g.path("m"), g.path("c")})
                  .out,
              "back\\slash \"q\",x.txt\n");
    EXPECT_EQ(RunProcess({"sh", "-c", dwc + " | jq -r '.path_base64 // empty' | base64 -d",
                          g.path("m"), g.path("c")})
                  .out,
              "caf\xe9.txt");
}

// With the rows on the terminal that shows the progress, the progress line is taken away
// before rows are written: every row starts a line of its own.
TEST_F(DwcLargeRun, RowsOnTheProgressTerminalStartLinesOfTheirOwn) {
    const std::string shown = OnTerminal("xterm", M + " " + C).out;
    ASSERT_NE(shown.find("\033[K"), std::string::npos) << "no progress was shown";
    std::size_t rows = 0;
    for (const char *result : {"Match\t", "Size\t", "Not Found\t"}) {
        for (std::size_t at = shown.find(result); at != std::string::npos;
             at = shown.find(result, at + 1), ++rows) {
            const bool ownLine =
                at == 0 || shown[at - 1] == '\n' || shown.compare(at - 4, 4, "\r\033[K") == 0;
            ASSERT_TRUE(ownLine) << "a row glued to a progress line: "
                                 << shown.substr(at - std::min<std::size_t>(at, 40), 60);
        }
    }
    EXPECT_EQ(rows, 5000u);
}

// A terminal that cannot move its cursor gets no progress line, and no escape sequence.
TEST_F(DwcLargeRun, ADumbTerminalGetsNoProgress) {
    for (const char *term : {"dumb", ""}) {
        const ProcessResult shown = OnTerminal(term, M + " " + C);
        EXPECT_EQ(shown.status, 1);
        EXPECT_EQ(shown.out.find('\033'), std::string::npos) << "TERM='" << term << "'";
        EXPECT_NE(shown.out.find("Dirwise complete."), std::string::npos);
    }
}

} // namespace
} // namespace dirwise::test
