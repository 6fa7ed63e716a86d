// dwc's skip rules: --skip, --skip-from and --gitignore leave the same paths out of both
// trees, never open a skipped folder, count what they left out, and change nothing at all
// when no rule is in force. The rules themselves are checked against git with the engine.

#include "DwcSupport.h"

#include <sstream>

namespace dirwise::test {
namespace {

// The relative path of each report line ("dir/name"), each followed by a blank.
std::string Paths(const std::string &report, const std::string &compareRoot) {
    std::string out;
    std::istringstream lines(report);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t a = line.find('\t'), b = line.find('\t', a + 1);
        out += line.substr(a + 1 + compareRoot.size() + 1, b - a - compareRoot.size() - 2) +
               line.substr(b + 1, line.find('\t', b + 1) - b - 1) + " ";
    }
    return out;
}

class DwcSkip : public ::testing::Test {
protected:
    void SetUp() override {
        UseTimeZone("UTC0");
        ::setenv("LC_ALL", "C", 1);
        ::chmod(t.root().c_str(), 0755);
        for (const char *f : {"a.c", "a.o", "keep.o", "sub/b.c", "sub/b.o", "build/x.c"}) {
            t.file(std::string("m/") + f, 1, T0);
            t.file(std::string("c/") + f, 1, T0);
        }
        t.file("c/only/e.o", 1, T0);
        t.file("c/only/e.c", 1, T0);
    }
    std::string m() const { return t.path("m"); }
    std::string c() const { return t.path("c"); }
    TempTree t;
};

TEST_F(DwcSkip, RulesLeaveTheSamePathsOutOfBothTrees) {
    const ProcessResult r =
        DwcAsNobody({"--extra", "--skip=*.o", "--skip=build/", "--skip=!keep.o", m(), c()});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(Paths(r.out, c()), "a.c keep.o sub/b.c only/e.c ");
    EXPECT_EQ(r.err, "Dirwise complete.\n\nTotal Files: 3\nMatching Files: 3\nDifferent Files: 0\n"
                     "Extra Files: 1\nSkipped Folders: 1\nSkipped Files: 2\n");
}

TEST_F(DwcSkip, SkippedFolderIsNeverOpenedOnEitherSide) {
    ::chmod(t.path("m/build").c_str(), 0);
    ::chmod(t.path("c/only").c_str(), 0);
    const ProcessResult plain = DwcAsNobody({"--extra", m(), c()});
    if (plain.status != 2)
        GTEST_SKIP() << "folders with mode 0 can be read here";
    const ProcessResult r = DwcAsNobody({"--extra", "--skip=/build/", "--skip=only", m(), c()});
    EXPECT_EQ(r.status, 0) << r.err;
}

TEST_F(DwcSkip, NoRuleInForceChangesNoByte) {
    for (const char *format : {"report", "csv", "json"}) {
        const ProcessResult plain = DwcAsNobody({"--extra", "--format", format, m(), c()});
        const ProcessResult idle = DwcAsNobody(
            {"--extra", "--format", format, "--skip=#comment", "--skip=", "--skip=   ", m(), c()});
        EXPECT_EQ(idle.status, plain.status);
        EXPECT_EQ(idle.out, plain.out) << format;
        EXPECT_EQ(idle.err, plain.err) << format;
        EXPECT_EQ(plain.err.find("Skipped"), std::string::npos);
    }
}

TEST_F(DwcSkip, GitignoreTakesTheMasterTreesRuleFiles) {
    WriteFile(t.path("m/.gitignore"), "*.o\n");
    WriteFile(t.path("m/sub/.gitignore"), "!b.o\n");
    WriteFile(t.path("c/.gitignore"), "*.c\n"); // the compare tree's own files never count
    t.file("m/.git/HEAD", 1, T0);
    t.file("c/.git/HEAD", 1, T0);
    t.file("c/sub/.git/config", 1, T0);
    const ProcessResult r = DwcAsNobody({"--extra", "--gitignore", m(), c()});
    EXPECT_EQ(Paths(r.out, c()),
              ".gitignore a.c build/x.c sub/.gitignore sub/b.c sub/b.o only/e.c ")
        << r.err;
    EXPECT_NE(r.err.find("\nSkipped Folders: 0\nSkipped Files: 2\n"), std::string::npos) << r.err;
}

TEST_F(DwcSkip, SkipRulesCountInCommandLineOrder) {
    WriteFile(t.path("rules"), "\xEF\xBB\xBF*.c\r\n\r\nsub/\r\n");
    const ProcessResult later =
        DwcAsNobody({"--skip-from", t.path("rules"), "--skip=!a.c", m(), c()});
    EXPECT_EQ(Paths(later.out, c()), "a.c a.o keep.o ");
    const ProcessResult earlier =
        DwcAsNobody({"--skip=!a.c", "--skip-from=" + t.path("rules"), m(), c()});
    EXPECT_EQ(Paths(earlier.out, c()), "a.o keep.o ");
}

TEST_F(DwcSkip, UnreadableSkipFromIsTroubleBeforeAnyCompare) {
    for (const std::string &bad : {t.path("missing"), t.path("m")}) {
        const ProcessResult r = DwcAsNobody({"--skip-from", bad, m(), c()});
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("dwc: cannot read the skip rules: " + bad + ": ", 0), 0u) << r.err;
        EXPECT_EQ(r.err.find("Dirwise complete"), std::string::npos);
    }
}

TEST_F(DwcSkip, FolderRuleAsksTheMasterEntryOwnType) {
    t.dir("m/real");
    t.symlink("m/linked", "real");
    t.file("c/linked/f", 1, T0); // a folder in the compare tree, a link in the master tree
    t.file("c/newdir/f", 1, T0); // compare only: its own type counts
    const ProcessResult r = DwcAsNobody(
        {"--extra", "--skip=linked/", "--skip=newdir/", "--skip=*.?", "--skip=only/", m(), c()});
    EXPECT_EQ(Paths(r.out, c()), "linked/f ") << r.err;
}

} // namespace
} // namespace dirwise::test
