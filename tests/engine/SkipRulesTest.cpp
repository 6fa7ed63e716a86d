// Skip rules against git itself: each scenario is a tree with .gitignore files (and lines
// that stand where --skip lines stand, which git reads as its info/exclude); the files our
// rules keep must be exactly those `git ls-files -o --exclude-standard` lists on a copy.

#include "SkipRules.h"
#include "TempTree.h"

#include <dirent.h>

#include <filesystem>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <set>

namespace dirwise::test {
namespace {

using Paths = std::set<std::string>;

struct Scenario {
    std::vector<std::string> files;                          // parents made as needed
    std::vector<std::pair<std::string, std::string>> links;  // link, target
    std::vector<std::pair<std::string, std::string>> ignore; // folder ("" root), file bytes
    std::string skipLines;                                   // read before the tree's files
};

bool HaveGit() { return RunProcess({"git", "--version"}).status == 0; }

// Lists the kept files below folder `rel` (open as `fd`) as a walk with skip rules does:
// entries by lstat, skipped folders never entered, links never followed.
void Walk(int fd, const std::string &rel, const std::shared_ptr<const SkipScope> &scope,
          Paths &kept) {
    DIR *dir = fdopendir(fd);
    ASSERT_NE(dir, nullptr);
    while (const dirent *e = readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == ".." || (rel.empty() && name == ".git"))
            continue;
        struct stat st {};
        ASSERT_EQ(fstatat(dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW), 0);
        const std::string path = rel + name;
        if (scope->Skips(path, S_ISDIR(st.st_mode)))
            continue;
        if (!S_ISDIR(st.st_mode)) {
            kept.insert(path);
            continue;
        }
        const int child = openat(dirfd(dir), e->d_name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ASSERT_GE(child, 0);
        std::string bytes;
        ASSERT_EQ(ReadIgnoreFile(child, bytes), 0);
        IgnoreList list(path + "/");
        list.AddLines(bytes);
        Walk(child, path + "/", SkipScope::Enter(scope, std::move(list)), kept);
    }
    closedir(dir);
}

Paths OurKeptFiles(const std::string &root, const std::string &skipLines) {
    IgnoreList rootList;
    rootList.AddLines(skipLines, false);
    const int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::string bytes;
    EXPECT_EQ(ReadIgnoreFile(fd, bytes), 0);
    rootList.AddLines(bytes);
    Paths kept;
    Walk(fd, "", std::make_shared<const SkipScope>(nullptr, std::move(rootList)), kept);
    return kept;
}

// git on a copy of `root`, with no template, no user or system configuration and no global
// excludes file: only the tree's .gitignore files and our info/exclude count.
Paths GitKeptFiles(const TempTree &t, const std::string &root, const std::string &skipLines) {
    setenv("GIT_CONFIG_NOSYSTEM", "1", 1);
    setenv("GIT_CONFIG_GLOBAL", "/dev/null", 1);
    const std::string copy = t.path("git");
    EXPECT_EQ(RunProcess({"cp", "-a", root, copy}).status, 0);
    EXPECT_EQ(RunProcess({"git", "init", "-q", "--template=", copy}).status, 0);
    std::filesystem::create_directories(copy + "/.git/info");
    WriteFile(copy + "/.git/info/exclude", skipLines);
    const ProcessResult r = RunProcess({"git", "-C", copy, "-c", "core.excludesFile=/dev/null",
                                        "ls-files", "-z", "-o", "--exclude-standard"});
    EXPECT_EQ(r.status, 0) << r.err;
    Paths kept;
    for (std::size_t at = 0; at < r.out.size();) {
        const std::size_t nul = r.out.find('\0', at);
        kept.insert(r.out.substr(at, nul - at));
        at = nul + 1;
    }
    return kept;
}

std::string Show(const Paths &paths) {
    std::string out;
    for (const std::string &p : paths)
        out += "  [" + p + "]\n";
    return out;
}

// Builds the scenario and compares our kept files with git's.
void ExpectSameAsGit(const Scenario &s, const std::string &what = {}) {
    TempTree t;
    const std::string root = t.path("tree");
    t.dir("tree");
    for (const std::string &f : s.files)
        t.file("tree/" + f, 1);
    for (const auto &[link, target] : s.links)
        t.symlink("tree/" + link, target);
    for (const auto &[folder, bytes] : s.ignore) {
        t.dir("tree/" + folder);
        WriteFile(t.path("tree/" + folder + (folder.empty() ? "" : "/") + ".gitignore"), bytes);
    }
    const Paths ours = OurKeptFiles(root, s.skipLines);
    const Paths git = GitKeptFiles(t, root, s.skipLines);
    Paths onlyOurs, onlyGit;
    std::set_difference(ours.begin(), ours.end(), git.begin(), git.end(),
                        std::inserter(onlyOurs, onlyOurs.end()));
    std::set_difference(git.begin(), git.end(), ours.begin(), ours.end(),
                        std::inserter(onlyGit, onlyGit.end()));
    EXPECT_TRUE(onlyOurs.empty() && onlyGit.empty()) << what << "\nkept by us only:\n"
                                                     << Show(onlyOurs) << "kept by git only:\n"
                                                     << Show(onlyGit);
}

class SkipRulesGit : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveGit())
            GTEST_SKIP() << "git is not installed: it is the oracle of these tests";
    }
};

// Names that stress the syntax: each file stands in the root and in "d/" and "d/e/".
const std::vector<std::string> StressNames = {"#hash",
                                              "!bang",
                                              "[x]",
                                              "x]",
                                              "a*b",
                                              "q?",
                                              "back\\slash",
                                              "trail ",
                                              "two  ",
                                              " lead",
                                              "\xC3\xBCn\xC3\xAF",
                                              "\xFF\xFE",
                                              "foo.o",
                                              "foo.c",
                                              "Build",
                                              "a-b",
                                              "**",
                                              "x\ty"};

Scenario StressTree(std::string rules) {
    Scenario s;
    for (const std::string dir : {"", "d/", "d/e/", "build/", "keep/build/"})
        for (const std::string &n : StressNames)
            s.files.push_back(dir + n);
    s.ignore.push_back({"", std::move(rules)});
    return s;
}

TEST_F(SkipRulesGit, LineSyntax) {
    ExpectSameAsGit(StressTree("#hash\n\\#hash\n\\!bang\n\\[x\\]\na\\*b\nq\\?\n"
                               "back\\\\slash\ntrail\\ \ntwo  \n   \n\n"));
}

TEST_F(SkipRulesGit, BracketForms) {
    ExpectSameAsGit(StressTree("[[]x]\n[!a-z]*\n[^#]ang\n[]x]\n[a-]-b\n[[:space:]]lead\n"
                               "x[[:blank:]]y\n[[:punct:]][[:punct:]]\nfoo.[!o]\n[\\xFF]\xFE\n"));
}

TEST_F(SkipRulesGit, BrokenBracketsMatchNothing) {
    ExpectSameAsGit(StressTree("[foo.o\n[[:nope:]]*\n[[:alpha:]\nfoo.o\\\n"));
}

TEST_F(SkipRulesGit, DoubleStarForms) {
    ExpectSameAsGit(StressTree("**/e/foo.o\nd/**/a*b\nkeep/**\n!keep/build/\n"
                               "bu**/q?\n/d**/#hash\nd/**x\n"));
}

TEST_F(SkipRulesGit, AnchoringBySlash) {
    ExpectSameAsGit(StressTree("/foo.c\nd/foo.o\n/d/e/Build\ne/trail \n*/two  \n"));
}

TEST_F(SkipRulesGit, NegationBelowExcludedFolderHasNoEffect) {
    ExpectSameAsGit(StressTree("build\n!build/foo.o\nd/*\n!d/e\n!d/foo.c\n"));
}

TEST_F(SkipRulesGit, TrailingSlashAsksTheEntryOwnType) {
    Scenario s = StressTree("build/\nlinked/\nblink/\nfoo.c/\n");
    s.links = {{"linked", "d"}, {"d/blink", "../build"}};
    ExpectSameAsGit(s);
}

TEST_F(SkipRulesGit, FilesWrittenOnWindows) {
    ExpectSameAsGit(StressTree("\xEF\xBB\xBF"
                               "foo.o\r\nBuild\r\n\r\n\xEF\xBB\xBF"
                               "a-b\n"
                               "q\\?\r"));
}

TEST_F(SkipRulesGit, DeeperFilesOverrideShallowerOnes) {
    Scenario s = StressTree("*.o\n*.c\n");
    s.ignore.push_back({"d", "!foo.o\n"});
    s.ignore.push_back({"d/e", "!*.c\n/foo.o\n"});
    s.ignore.push_back({"build", "#only a comment\n"});
    ExpectSameAsGit(s);
}

TEST_F(SkipRulesGit, SkipLinesYieldToTheTreeFiles) {
    Scenario s = StressTree("!foo.c\n");
    s.skipLines = "foo.c\nd/\n\\#hash\n";
    s.ignore.push_back({"keep", "!#hash\n"});
    ExpectSameAsGit(s);
}

TEST_F(SkipRulesGit, IgnoreFileThatIsALinkGivesNoRules) {
    Scenario s = StressTree("");
    s.files.push_back("rules");
    s.links = {{"d/.gitignore", "../rules"}};
    s.ignore = {{"", ""}};
    ExpectSameAsGit(s);
}

TEST_F(SkipRulesGit, CharacterClassesOverEveryByte) {
    Scenario s;
    for (int b = 1; b < 256; ++b)
        if (b != '/')
            s.files.push_back(std::string("n") + static_cast<char>(b));
    for (const std::string cls : {"alnum", "alpha", "blank", "cntrl", "digit", "graph", "lower",
                                  "print", "punct", "space", "upper", "xdigit"}) {
        s.ignore = {{"", "n[[:" + cls + ":]]\n"}};
        ExpectSameAsGit(s, cls);
    }
}

TEST_F(SkipRulesGit, LiteralRulesSkipExactlyTheirPath) {
    Scenario s = StressTree("");
    std::string rules = LiteralRule("keep/build", true) + "\n";
    Paths expected;
    for (const std::string &f : s.files) {
        if (f.starts_with("d/") && f.find('/', 2) == std::string::npos)
            rules += LiteralRule(f, false) + "\n";
        else if (!f.starts_with("keep/build/"))
            expected.insert(f);
    }
    s.ignore = {{"", rules}};
    expected.insert(".gitignore");
    TempTree t;
    for (const std::string &f : s.files)
        t.file(f, 1);
    WriteFile(t.path(".gitignore"), rules);
    EXPECT_EQ(OurKeptFiles(t.root(), ""), expected);
    ExpectSameAsGit(s);
}

// Random trees of the stress names and random rules built from them, each a separate seed.
class RuleMaker {
public:
    explicit RuleMaker(unsigned seed) : m_random(seed) {}
    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_random); }
    const std::string &name() { return StressNames[below(static_cast<int>(StressNames.size()))]; }

    // One byte as a glob piece: itself (escaped where needed) or a wildcard that takes it.
    std::string piece(unsigned char c) {
        const std::string lit =
            std::string(std::strchr("*?[\\", c) && c ? "\\" : "") + static_cast<char>(c);
        switch (below(9)) {
        case 0:
            return "?";
        case 1:
            return "*";
        case 2:
            return "[" + lit + "z]";
        case 3:
            return c == 'q' ? "[!r]" : "[!q]";
        case 4:
            return "[" + std::string(1, static_cast<char>(c > 1 ? c - 1 : c)) + "-\\" +
                   static_cast<char>(c) + "]";
        default:
            return lit;
        }
    }
    std::string glob(const std::string &n) {
        std::string g = n[0] == '#' || n[0] == '!' ? "\\" : "";
        for (std::size_t i = 0; i < n.size(); ++i)
            g += n[i] == ' ' && i + 1 == n.size() ? "\\ " : piece(static_cast<unsigned char>(n[i]));
        return g;
    }
    std::string rule() {
        static const std::vector<std::string> shapes = {
            "%",  "/%",   "%/", "**/%",  "d/%",   "d/**/%", "*/%", "d/**",   "/d/*",    "**/e/",
            "!%", "!d/%", "%*", "d**/%", "/**/%", "e/%",    "!e/", "build/", "!build/%"};
        std::string shape = shapes[below(static_cast<int>(shapes.size()))];
        const std::size_t at = shape.find('%');
        if (at != std::string::npos)
            shape.replace(at, 1, glob(name()));
        return shape + "\n";
    }
    std::string rules(int most) {
        std::string out;
        for (int n = 1 + below(most); n > 0; --n)
            out += rule();
        return out;
    }

private:
    std::mt19937 m_random;
};

TEST_F(SkipRulesGit, RandomScenarios) {
    for (unsigned seed = 1; seed <= 30; ++seed) {
        RuleMaker make(seed);
        Scenario s;
        for (const std::string dir : {"", "d/", "d/e/", "e/", "build/", "d/build/"})
            for (int n = 0; n < 8; ++n)
                s.files.push_back(dir + make.name());
        for (const std::string folder : {"", "d", "d/e", "e", "build"})
            if (make.below(3) != 0)
                s.ignore.push_back({folder, make.rules(5)});
        if (make.below(2) == 0)
            s.skipLines = make.rules(3);
        ExpectSameAsGit(s, "seed " + std::to_string(seed));
        if (HasFailure())
            return;
    }
}

} // namespace
} // namespace dirwise::test
