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
    EXPECT_EQ(toStdout.err, "Snapshot: 5 entries.\n");
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
